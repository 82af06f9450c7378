# The venue link of the real programs against Debian's Mosquitto, started by
# the tests on free loopback ports, with its reference clients.
add_executable(e2e_mqtt_native mqtt/mqtt_native_test.cpp)
podiant_warnings(e2e_mqtt_native)
target_link_libraries(e2e_mqtt_native PRIVATE e2e_support podiant_web_headers podiant_gtest_main)
add_dependencies(e2e_mqtt_native podiant-server)
add_test(NAME e2e_mqtt_native COMMAND e2e_mqtt_native)
set_tests_properties(e2e_mqtt_native PROPERTIES TIMEOUT 180)
