# The X11 back ends of the desktop and keyboard interfaces (Linux): libX11 and
# the XTest extension. Without a reachable display they find no window and
# inject nothing.
if(NOT PODIANT_PLATFORM STREQUAL "posix")
  return()
endif()
find_package(X11)
if(NOT X11_FOUND OR NOT X11_XTest_FOUND)
  message(STATUS "libX11 or XTest missing: no X11 back ends")
  return()
endif()

# The shared connection to the display and the text conversions.
podiant_library(platform_x11 posix/x11_connection.cpp posix/x11_text.cpp)
target_include_directories(platform_x11 PUBLIC ${X11_INCLUDE_DIR})
target_link_libraries(platform_x11 PUBLIC ${X11_X11_LIB} platform_single_byte_text)

podiant_library(platform_x11_desktop posix/desktop_x11.cpp)
target_link_libraries(platform_x11_desktop PUBLIC platform_x11 platform_timing)

podiant_library(platform_x11_keyboard posix/keyboard_x11.cpp)
target_include_directories(platform_x11_keyboard PUBLIC ${X11_XTest_INCLUDE_PATH})
target_link_libraries(platform_x11_keyboard PUBLIC platform_x11 ${X11_XTest_LIB})
