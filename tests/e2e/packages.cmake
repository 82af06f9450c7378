# The release packages in PODIANT_PACKAGE_DIR (scripts/package.sh writes them
# to dist/): the Debian package and the zip checked and run natively, the
# installer installed, run, upgraded and removed under Wine in a prefix and on
# an X display of its own. That test still takes the Wine tests' lock: while
# it ran beside them, the slide-show tests' waits ran out twice in five runs
# of the test command on two busy cores.
if(NOT PODIANT_PACKAGE_DIR)
  return()
endif()

add_executable(e2e_package_linux packages/package_linux_test.cpp)
podiant_warnings(e2e_package_linux)
target_compile_definitions(e2e_package_linux PRIVATE
  PODIANT_PACKAGE_DIR="${PODIANT_PACKAGE_DIR}" PODIANT_VERSION="${PROJECT_VERSION}")
target_link_libraries(e2e_package_linux PRIVATE e2e_support podiant_gtest_main)
add_test(NAME e2e_package_linux COMMAND e2e_package_linux)
set_tests_properties(e2e_package_linux PROPERTIES TIMEOUT 300)

if(PODIANT_WINDOWS_BINARY_DIR AND TARGET podiant_x11_session)
  add_executable(e2e_package_wine packages/package_wine_test.cpp)
  podiant_warnings(e2e_package_wine)
  target_compile_definitions(e2e_package_wine PRIVATE
    PODIANT_PACKAGE_DIR="${PODIANT_PACKAGE_DIR}" PODIANT_VERSION="${PROJECT_VERSION}")
  target_link_libraries(e2e_package_wine PRIVATE e2e_support podiant_x11_session podiant_gtest_main)
  add_test(NAME e2e_package_wine COMMAND e2e_package_wine)
  set_tests_properties(e2e_package_wine PROPERTIES TIMEOUT 600 RESOURCE_LOCK wine)
endif()
