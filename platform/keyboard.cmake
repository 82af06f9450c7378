# Synthetic key events into the system's input stream.
if(PODIANT_PLATFORM STREQUAL "win32")
  podiant_library(platform_keyboard win32/keyboard_sendinput.cpp)
  target_link_libraries(platform_keyboard PUBLIC user32)
elseif(TARGET platform_x11)
  # X11, chosen at run time: with no display it finds no window and types nothing.
  podiant_library(platform_keyboard posix/keyboard_x11.cpp)
  target_link_libraries(platform_keyboard PUBLIC platform_x11 ${X11_XTest_LIB})
else()
  podiant_library(platform_keyboard posix/keyboard_none.cpp)
endif()
