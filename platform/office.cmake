# The office behind the Impress slide shows (Linux): LibreOffice through its
# UNO API, from Debian's SDK (libreoffice-dev).
#
# The program links only platform_office: the office process and a loader.
# The UNO code is the module podiant-impress.so, which the loader opens with
# dlopen on the first OPEN. The program itself so needs nothing of
# LibreOffice: it starts and runs every other command on a machine without it,
# and OPEN then shows the notice. The module is installed with the program's
# libraries; the loader finds it by its place relative to the program, which
# the build tree keeps as an installation does.
if(NOT PODIANT_PLATFORM STREQUAL "posix")
  return()
endif()
include(GNUInstallDirs)

set(PODIANT_LIBREOFFICE_PROGRAM_DIR "/usr/lib/libreoffice/program" CACHE PATH
  "LibreOffice's program directory: soffice.bin, the UNO runtime and its type libraries")
set(PODIANT_LIBREOFFICE_SDK_DIR "/usr/lib/libreoffice/sdk" CACHE PATH "LibreOffice's SDK")
set(PODIANT_OFFICE_MODULE_DIR "${CMAKE_INSTALL_LIBDIR}/podiant-server")

# The module's directory relative to the program's: the build tree keeps the
# layout that an installation has below its prefix (the program one directory
# down, in shell/ instead of bin/, the module in PODIANT_OFFICE_MODULE_DIR).
file(RELATIVE_PATH podiant_office_module_from_program
  "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_PREFIX}/${PODIANT_OFFICE_MODULE_DIR}")
# (The benchmarks put a stand-in module at the same place beside a copy.)
set_property(GLOBAL PROPERTY PODIANT_OFFICE_MODULE_FROM_PROGRAM "${podiant_office_module_from_program}")
cmake_path(SET PODIANT_OFFICE_MODULE_BUILD_DIR NORMALIZE
  "${CMAKE_BINARY_DIR}/shell/${podiant_office_module_from_program}")

podiant_library(platform_office posix/office_process.cpp posix/office_loader.cpp)
target_link_libraries(platform_office PUBLIC platform_spawn_signals)
target_compile_definitions(platform_office PRIVATE
  PODIANT_LIBREOFFICE_PROGRAM_DIR="${PODIANT_LIBREOFFICE_PROGRAM_DIR}"
  PODIANT_OFFICE_MODULE_FROM_PROGRAM="${podiant_office_module_from_program}")
target_link_libraries(platform_office PUBLIC ${CMAKE_DL_LIBS})

find_program(PODIANT_CPPUMAKER cppumaker PATHS "${PODIANT_LIBREOFFICE_SDK_DIR}/bin" NO_DEFAULT_PATH)
set(podiant_office_type_libraries
  "${PODIANT_LIBREOFFICE_PROGRAM_DIR}/types.rdb"
  "${PODIANT_LIBREOFFICE_PROGRAM_DIR}/types/offapi.rdb")
if(NOT PODIANT_CPPUMAKER OR NOT EXISTS "${PODIANT_LIBREOFFICE_SDK_DIR}/include/cppuhelper"
   OR NOT EXISTS "${PODIANT_LIBREOFFICE_PROGRAM_DIR}/types/offapi.rdb")
  message(STATUS "LibreOffice SDK missing (libreoffice-dev): no Impress back end; OPEN "
                 "shows the notice")
  return()
endif()

# The C++ headers of the UNO types the back end uses, made by the SDK's
# cppumaker from the office's type libraries (a few dozen of the 3,000).
set(podiant_uno_type_list "${CMAKE_CURRENT_SOURCE_DIR}/posix/office_uno_types.txt")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${podiant_uno_type_list}")
file(STRINGS "${podiant_uno_type_list}" podiant_uno_types REGEX "^[a-z]")
list(TRANSFORM podiant_uno_types PREPEND "-T")
set(podiant_uno_headers "${CMAKE_CURRENT_BINARY_DIR}/uno_headers")
add_custom_command(
  OUTPUT "${podiant_uno_headers}/stamp"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${podiant_uno_headers}/com"
  COMMAND "${PODIANT_CPPUMAKER}" -Gc "-O${podiant_uno_headers}" ${podiant_uno_types}
          ${podiant_office_type_libraries}
  COMMAND "${CMAKE_COMMAND}" -E touch "${podiant_uno_headers}/stamp"
  DEPENDS "${podiant_uno_type_list}" ${podiant_office_type_libraries}
  COMMENT "Generating the UNO type headers"
  VERBATIM)
add_custom_target(podiant_uno_headers DEPENDS "${podiant_uno_headers}/stamp")

# What code that calls UNO compiles and links with (the module, and the test
# that looks at the office's state). The UNO bridge builds its proxies' tables
# at run time, without C++ type information: the sanitizer's vptr check would
# take every call through one for a bad cast.
add_library(podiant_uno_sdk INTERFACE)
add_dependencies(podiant_uno_sdk podiant_uno_headers)
target_include_directories(podiant_uno_sdk SYSTEM INTERFACE
  "${podiant_uno_headers}" "${PODIANT_LIBREOFFICE_SDK_DIR}/include")
target_compile_definitions(podiant_uno_sdk INTERFACE LINUX CPPU_ENV=gcc3
  PODIANT_LIBREOFFICE_PROGRAM_DIR="${PODIANT_LIBREOFFICE_PROGRAM_DIR}")
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=[^ ]*undefined")
  target_compile_options(podiant_uno_sdk INTERFACE -fno-sanitize=vptr)
endif()
target_link_directories(podiant_uno_sdk INTERFACE "${PODIANT_LIBREOFFICE_SDK_DIR}/lib")
target_link_libraries(podiant_uno_sdk INTERFACE uno_cppuhelpergcc3 uno_cppu uno_sal)

# The office's pipe as the connection of a bridge, held by this program (the
# module and the test's probe): built to be linked into the module too.
add_library(podiant_office_pipe STATIC posix/office_pipe.cpp)
podiant_warnings(podiant_office_pipe)
target_include_directories(podiant_office_pipe PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(podiant_office_pipe PUBLIC podiant_uno_sdk)
set_target_properties(podiant_office_pipe PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)

add_library(podiant-impress MODULE posix/office_uno.cpp)
podiant_warnings(podiant-impress)
target_include_directories(podiant-impress PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(podiant-impress PRIVATE podiant_office_pipe podiant_uno_sdk)
find_package(Threads REQUIRED)
target_link_libraries(podiant-impress PRIVATE Threads::Threads)
# The UNO runtime's libraries, and those they need, are found in the office's
# program directory only. Only the entry point is exported.
set_target_properties(podiant-impress PROPERTIES
  PREFIX ""
  LIBRARY_OUTPUT_DIRECTORY "${PODIANT_OFFICE_MODULE_BUILD_DIR}"
  BUILD_RPATH "${PODIANT_LIBREOFFICE_PROGRAM_DIR}"
  INSTALL_RPATH "${PODIANT_LIBREOFFICE_PROGRAM_DIR}"
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_link_options(podiant-impress PRIVATE -Wl,--as-needed)
install(TARGETS podiant-impress LIBRARY DESTINATION "${PODIANT_OFFICE_MODULE_DIR}")
# The Debian package's lintian is told why the module has a run path.
install(FILES "${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides"
  DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides" RENAME podiant-server)
