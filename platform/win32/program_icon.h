// The resource number of the program's icon: the Windows resource script of
// podiant-server (packaging/windows/version.rc.in) defines the icon under it,
// and the main window shows it in its title bar and on the taskbar.
#pragma once

#define PODIANT_PROGRAM_ICON 1
