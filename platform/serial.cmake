# The serial back end of the projector link.
if(PODIANT_PLATFORM STREQUAL "win32")
  podiant_library(platform_serial win32/serial_comm.cpp)
else()
  podiant_library(platform_serial posix/serial_termios.cpp)
endif()
