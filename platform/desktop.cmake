# Top-level windows: enumeration, title and foreground, for SEND, STOP and
# ACTIVATE.
if(PODIANT_PLATFORM STREQUAL "win32")
  podiant_library(platform_desktop win32/desktop_windows.cpp)
  target_link_libraries(platform_desktop PUBLIC user32)
else()
  podiant_library(platform_desktop posix/desktop_none.cpp)
endif()
