# The slide-show commands of the real podiant-server.exe under Wine, driven
# over UDP against the stand-in automation server (built by the Windows build,
# tests/e2e/presentation/powerpoint-standin.exe).
if(PODIANT_WINDOWS_BINARY_DIR)
  add_executable(e2e_presentation_wine presentation/presentation_wine_test.cpp)
  podiant_warnings(e2e_presentation_wine)
  target_link_libraries(e2e_presentation_wine PRIVATE e2e_support podiant_gtest_main)
  add_test(NAME e2e_presentation_wine COMMAND e2e_presentation_wine)
  set_tests_properties(e2e_presentation_wine PROPERTIES TIMEOUT 400 RESOURCE_LOCK wine)
endif()
