// The signal state in which this program starts other programs.
#pragma once

#include <spawn.h>

// Sets up `attributes` so that the new program starts with no signal blocked
// and the default action for every signal that this program blocks (its close
// requests), ignores (SIGPIPE, SIGTTOU, SIGTTIN) or lets the system handle
// (SIGCHLD). `moreFlags` are further POSIX_SPAWN_* flags, such as SETSID.
void SetChildSignalDefaults(posix_spawnattr_t* attributes, short moreFlags);
