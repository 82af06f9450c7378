# Synthetic key events into the system's input stream.
if(PODIANT_PLATFORM STREQUAL "win32")
  podiant_library(platform_keyboard win32/keyboard_sendinput.cpp)
  target_link_libraries(platform_keyboard PUBLIC user32)
else()
  podiant_library(platform_keyboard posix/keyboard_none.cpp)
endif()
