# libmosquitto, the MQTT client library, as one target for both programs:
#   target_link_libraries(x PRIVATE podiant_mosquitto)   and   #include <mosquitto.h>
# Linux: Debian's libmosquitto (libmosquitto-dev), the shared library.
# Windows: a static libmosquitto_static.a built from Debian's source package of
# mosquitto with this toolchain by scripts/mosquitto-windows.sh (once per
# checkout, in build/deps/mosquitto, at the first configure of a Windows tree);
# users get LIBMOSQUITTO_STATIC defined and Winsock linked. That build has no
# TLS and no threads of its own: one thread owns a client and makes every call
# on it.
add_library(podiant_mosquitto INTERFACE)

if(WIN32)
  set(PODIANT_MOSQUITTO_DIR ${PROJECT_SOURCE_DIR}/build/deps/mosquitto CACHE PATH
    "Where scripts/mosquitto-windows.sh puts mosquitto's source and its mingw-w64 build")
  set(mosquitto_lib ${PODIANT_MOSQUITTO_DIR}/mingw64/lib/libmosquitto_static.a)
  set(mosquitto_include ${PODIANT_MOSQUITTO_DIR}/source/include)
  if(NOT EXISTS ${mosquitto_lib})
    message(STATUS "libmosquitto for Windows: fetching and building Debian's source package "
      "of mosquitto in ${PODIANT_MOSQUITTO_DIR} (once; about a minute of CPU)")
  endif()
  # Quick when it is there already: the script checks its stamps and returns.
  execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/mosquitto-windows.sh build ${PODIANT_MOSQUITTO_DIR}
    RESULT_VARIABLE mosquitto_result
    OUTPUT_VARIABLE mosquitto_output
    ERROR_VARIABLE mosquitto_output)
  if(NOT mosquitto_result EQUAL 0 OR NOT EXISTS ${mosquitto_lib}
      OR NOT EXISTS ${mosquitto_include}/mosquitto.h)
    message(FATAL_ERROR "libmosquitto for Windows could not be made "
      "(scripts/mosquitto-windows.sh build ${PODIANT_MOSQUITTO_DIR}):\n${mosquitto_output}")
  endif()
  file(READ ${PODIANT_MOSQUITTO_DIR}/source.stamp mosquitto_version)
  string(STRIP "${mosquitto_version}" mosquitto_version)
  message(STATUS "libmosquitto for Windows: ${mosquitto_lib} (Debian's mosquitto ${mosquitto_version})")
  # A deleted library makes the next build configure (and so build it) again.
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${mosquitto_lib} ${PODIANT_MOSQUITTO_DIR}/mingw64.stamp)

  add_library(podiant_mosquitto_static STATIC IMPORTED)
  set_target_properties(podiant_mosquitto_static PROPERTIES IMPORTED_LOCATION ${mosquitto_lib})
  # Only the source's include/ (mosquitto.h, mqtt_protocol.h): never the build
  # machine's /usr/include.
  target_include_directories(podiant_mosquitto SYSTEM INTERFACE ${mosquitto_include})
  target_compile_definitions(podiant_mosquitto INTERFACE LIBMOSQUITTO_STATIC)
  target_link_libraries(podiant_mosquitto INTERFACE podiant_mosquitto_static ws2_32)
else()
  find_path(PODIANT_MOSQUITTO_INCLUDE_DIR mosquitto.h)
  find_library(PODIANT_MOSQUITTO_LIBRARY NAMES mosquitto)
  if(NOT PODIANT_MOSQUITTO_INCLUDE_DIR OR NOT PODIANT_MOSQUITTO_LIBRARY)
    message(FATAL_ERROR "libmosquitto is missing (mosquitto.h: ${PODIANT_MOSQUITTO_INCLUDE_DIR}, "
      "libmosquitto.so: ${PODIANT_MOSQUITTO_LIBRARY}): install the Debian package "
      "libmosquitto-dev (scripts/install-packages.sh)")
  endif()
  target_include_directories(podiant_mosquitto SYSTEM INTERFACE ${PODIANT_MOSQUITTO_INCLUDE_DIR})
  target_link_libraries(podiant_mosquitto INTERFACE ${PODIANT_MOSQUITTO_LIBRARY})
endif()
