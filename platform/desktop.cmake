# Top-level windows: enumeration, title and foreground, for SEND, STOP and
# ACTIVATE.
if(PODIANT_PLATFORM STREQUAL "win32")
  podiant_library(platform_desktop win32/desktop_windows.cpp)
  target_link_libraries(platform_desktop PUBLIC user32 platform_timing)
elseif(TARGET platform_x11)
  # X11, chosen at run time: with no display it finds no window and types nothing.
  podiant_library(platform_desktop posix/desktop_x11.cpp)
  target_link_libraries(platform_desktop PUBLIC platform_x11 platform_timing)
else()
  podiant_library(platform_desktop posix/desktop_none.cpp)
endif()
