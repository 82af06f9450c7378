# Fault and soak tests: the real program under abuse. A flood of random
# datagrams (also on the Windows program under Wine), its serial line going
# away under it. (A close request in the
# middle of a long SEND is among the X11 tests of the program.)
add_executable(hardening_soak_test hardening/soak_test.cpp)
podiant_warnings(hardening_soak_test)
target_link_libraries(hardening_soak_test PRIVATE e2e_support podiant_common podiant_gtest_main)
add_dependencies(hardening_soak_test podiant-server)
add_test(NAME hardening_soak COMMAND hardening_soak_test --gtest_filter=Soak.*)
set_tests_properties(hardening_soak PROPERTIES TIMEOUT 900)
if(PODIANT_WINDOWS_BINARY_DIR)
  add_test(NAME hardening_soak_wine COMMAND hardening_soak_test --gtest_filter=WineSoak.*)
  set_tests_properties(hardening_soak_wine PROPERTIES TIMEOUT 600 RESOURCE_LOCK wine)
endif()

add_executable(hardening_projector_test hardening/projector_hangup_test.cpp)
podiant_warnings(hardening_projector_test)
target_link_libraries(hardening_projector_test PRIVATE e2e_support podiant_gtest_main)
add_dependencies(hardening_projector_test podiant-server)
add_test(NAME hardening_projector_hangup COMMAND hardening_projector_test)
set_tests_properties(hardening_projector_hangup PROPERTIES TIMEOUT 120)
