#include "platform/posix/spawn_signals.h"

#include <signal.h>

#include <initializer_list>

void SetChildSignalDefaults(posix_spawnattr_t* attributes, short moreFlags) {
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(attributes, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signalNumber : {SIGPIPE, SIGCHLD, SIGTTIN, SIGTTOU, SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&defaults, signalNumber);
  }
  posix_spawnattr_setsigdefault(attributes, &defaults);
  posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | moreFlags);
}
