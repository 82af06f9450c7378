# X11 tests (Linux): the X11 back ends and the program on a private Xvfb
# display with openbox, and the program without any display.
if(NOT TARGET platform_x11)
  return()
endif()
find_package(X11 REQUIRED)

add_executable(x11-test-client x11/x11_test_client.cpp)
podiant_warnings(x11-test-client)
target_link_libraries(x11-test-client PRIVATE ${X11_X11_LIB})

add_library(podiant_x11_session STATIC x11/x11_session.cpp x11/x11_backend_keys.cpp)
podiant_warnings(podiant_x11_session)
target_include_directories(podiant_x11_session PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(podiant_x11_session
  PRIVATE PODIANT_X11_TEST_CLIENT="$<TARGET_FILE:x11-test-client>")
target_link_libraries(podiant_x11_session PUBLIC ${X11_X11_LIB} podiant_gtest)
add_dependencies(podiant_x11_session x11-test-client)

podiant_test(x11_backend_test SOURCES x11/x11_backend_test.cpp
  LIBRARIES platform_x11_desktop platform_x11_keyboard podiant_x11_session)
set_tests_properties(x11_backend_test PROPERTIES TIMEOUT 180)

podiant_test(x11_bare_display_test SOURCES x11/x11_bare_display_test.cpp
  LIBRARIES platform_x11_desktop platform_x11_keyboard podiant_x11_session)
set_tests_properties(x11_bare_display_test PROPERTIES TIMEOUT 120)

podiant_test(x11_no_display_test SOURCES x11/x11_no_display_test.cpp
  LIBRARIES platform_x11_desktop platform_x11_keyboard podiant_x11_session)
set_tests_properties(x11_no_display_test PROPERTIES TIMEOUT 120)
