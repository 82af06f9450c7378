# The web remote of the real programs, with plain HTTP clients and a
# WebSocket client: natively, and the Windows program under Wine.
add_executable(e2e_web_native web/web_native_test.cpp)
podiant_warnings(e2e_web_native)
target_link_libraries(e2e_web_native PRIVATE e2e_support e2e_web_client podiant_gtest_main)
add_dependencies(e2e_web_native podiant-server)
add_test(NAME e2e_web_native COMMAND e2e_web_native)
set_tests_properties(e2e_web_native PROPERTIES TIMEOUT 180)

if(PODIANT_WINDOWS_BINARY_DIR)
  add_executable(e2e_web_wine web/web_wine_test.cpp)
  podiant_warnings(e2e_web_wine)
  target_link_libraries(e2e_web_wine PRIVATE e2e_support e2e_web_client podiant_gtest_main)
  add_test(NAME e2e_web_wine COMMAND e2e_web_wine)
  set_tests_properties(e2e_web_wine PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine)
endif()
