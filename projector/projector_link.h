// The projector's serial link.
#pragma once

#include <string>

// Opens and configures the device named by Settings.projectorPort; logs the
// success or failure line.
void OpenProjectorLink();

// Writes all bytes of `text` in one synchronous write; false when the link is
// not open or the write fails or is cut short.
bool WriteProjectorLink(const std::string& text);

// Closes the link if it is open.
void CloseProjectorLink();

bool ProjectorLinkIsOpen();
