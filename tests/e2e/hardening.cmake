# Fault and soak tests: the real program under abuse. A flood of random
# datagrams, its serial line going away under it, a close request in the
# middle of a long SEND.
add_executable(hardening_soak_test hardening/soak_test.cpp)
podiant_warnings(hardening_soak_test)
target_link_libraries(hardening_soak_test PRIVATE e2e_support podiant_common podiant_gtest_main)
add_dependencies(hardening_soak_test podiant-server)
add_test(NAME hardening_soak COMMAND hardening_soak_test)
set_tests_properties(hardening_soak PROPERTIES TIMEOUT 900)

add_executable(hardening_projector_test hardening/projector_hangup_test.cpp)
podiant_warnings(hardening_projector_test)
target_link_libraries(hardening_projector_test PRIVATE e2e_support podiant_gtest_main)
add_dependencies(hardening_projector_test podiant-server)
add_test(NAME hardening_projector_hangup COMMAND hardening_projector_test)
set_tests_properties(hardening_projector_hangup PROPERTIES TIMEOUT 120)

# The close during a long SEND needs the program with its X11 back ends and
# the X11 test support (a private Xvfb with openbox, the test client).
if(TARGET podiant_x11_session)
  get_target_property(hardening_desktop_sources platform_desktop SOURCES)
  get_target_property(hardening_desktop_links platform_desktop LINK_LIBRARIES)
  get_target_property(hardening_desktop_alias platform_desktop ALIASED_TARGET)
  if("${hardening_desktop_sources};${hardening_desktop_links};${hardening_desktop_alias}"
      MATCHES "desktop_x11|platform_x11_desktop")
    add_executable(hardening_close_test hardening/close_during_send_test.cpp)
    podiant_warnings(hardening_close_test)
    target_link_libraries(hardening_close_test PRIVATE e2e_support podiant_x11_session
      podiant_gtest_main)
    add_dependencies(hardening_close_test podiant-server)
    add_test(NAME hardening_close_during_send COMMAND hardening_close_test)
    set_tests_properties(hardening_close_during_send PROPERTIES TIMEOUT 180)
  endif()
endif()
