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

# The program itself, when it is built with the X11 back ends.
get_target_property(x11_desktop_sources platform_desktop SOURCES)
get_target_property(x11_desktop_links platform_desktop LINK_LIBRARIES)
get_target_property(x11_desktop_alias platform_desktop ALIASED_TARGET)
if("${x11_desktop_sources};${x11_desktop_links};${x11_desktop_alias}"
    MATCHES "desktop_x11|platform_x11_desktop")
  add_executable(x11_server_test x11/x11_server_test.cpp)
  podiant_warnings(x11_server_test)
  target_link_libraries(x11_server_test PRIVATE
    e2e_support e2e_web_client podiant_x11_session podiant_gtest_main)
  add_dependencies(x11_server_test podiant-server)
  add_test(NAME x11_server_test COMMAND x11_server_test)
  set_tests_properties(x11_server_test PROPERTIES TIMEOUT 300)
endif()

# The slide-show commands on a real LibreOffice Impress, when the program is
# built with its office back end. The test reads the shows through its own
# UNO connection to the office, and runs the slide-show area with the office
# back end in its own process for the slide pictures: it lies one directory
# below the build tree, as the program does, so that the loader finds the
# office module at the same place relative to it.
if(TARGET x11_server_test AND TARGET podiant-impress)
  add_executable(impress_server_test x11/impress_server_test.cpp x11/office_probe.cpp)
  podiant_warnings(impress_server_test)
  target_link_libraries(impress_server_test PRIVATE
    e2e_support e2e_web_client podiant_x11_session podiant_office_pipe podiant_uno_sdk podiant_web_headers
    podiant_gtest_main)
  podiant_link(impress_server_test podiant_presentation podiant_show_back_end podiant_config
    podiant_status_log podiant_common platform_office platform_profile platform_timing
    platform_files platform_code_page fake_display fake_notice)
  set_target_properties(impress_server_test PROPERTIES
    BUILD_RPATH "${PODIANT_LIBREOFFICE_PROGRAM_DIR}"
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  add_dependencies(impress_server_test podiant-server podiant-impress)
  add_test(NAME impress_server_test COMMAND impress_server_test)
  set_tests_properties(impress_server_test PROPERTIES TIMEOUT 600)
endif()

# The web remote's page in Debian's headless Chromium (Selenium, chromedriver)
# against the program and a real Impress; the scenario is a Python script.
if(TARGET impress_server_test)
  add_executable(web_page_test x11/web_page_test.cpp)
  podiant_warnings(web_page_test)
  target_link_libraries(web_page_test PRIVATE e2e_support podiant_x11_session podiant_gtest_main)
  add_dependencies(web_page_test podiant-server podiant-impress)
  add_test(NAME web_page_test COMMAND web_page_test)
  set_tests_properties(web_page_test PROPERTIES TIMEOUT 480)
endif()
