# SEND, STOP and ACTIVATE of the real Windows program under Wine, typing into
# Wine's own notepad.
if(PODIANT_WINDOWS_BINARY_DIR)
  add_executable(keys_wine_e2e_tests keys_wine_test.cpp)
  podiant_warnings(keys_wine_e2e_tests)
  target_link_libraries(keys_wine_e2e_tests PRIVATE e2e_support podiant_gtest_main)
  add_test(NAME keys_wine_e2e COMMAND keys_wine_e2e_tests)
  set_tests_properties(keys_wine_e2e PROPERTIES RESOURCE_LOCK wine TIMEOUT 300)
endif()
