# The projector over a real serial line: a socat pseudo-terminal pair, the real
# program (and the Windows program under Wine with COM1 mapped to the pair).
add_executable(projector_e2e_tests projector_e2e_test.cpp)
podiant_warnings(projector_e2e_tests)
target_link_libraries(projector_e2e_tests PRIVATE e2e_support podiant_gtest_main)
add_dependencies(projector_e2e_tests podiant-server)

add_test(NAME projector_e2e_native COMMAND projector_e2e_tests --gtest_filter=NativeProjector.*)
set_tests_properties(projector_e2e_native PROPERTIES TIMEOUT 120)

if(PODIANT_WINDOWS_BINARY_DIR)
  add_test(NAME projector_e2e_wine COMMAND projector_e2e_tests --gtest_filter=WineProjector.*)
  set_tests_properties(projector_e2e_wine PROPERTIES RESOURCE_LOCK wine TIMEOUT 240)
endif()
