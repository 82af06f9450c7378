# Windows resources of a program: the version information (the project's
# version), the application manifest and, with ICON, the program's icon; with
# COMMON_CONTROLS the manifest asks for version 6 of the common controls (the
# visual styles of a program with a window). Does nothing on other systems.
#   podiant_windows_resources(target DESCRIPTION "one line" [ICON file.ico]
#                             [COMMON_CONTROLS])
function(podiant_windows_resources target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(R "COMMON_CONTROLS" "DESCRIPTION;ICON" "" ${ARGN})
  set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set(PODIANT_RC_FILE_NAME "${target}.exe")
  set(PODIANT_RC_INTERNAL_NAME "${target}")
  set(PODIANT_RC_DESCRIPTION "${R_DESCRIPTION}")
  set(PODIANT_RC_ICON_LINE "")
  if(R_ICON)
    set(PODIANT_RC_ICON_LINE "PODIANT_PROGRAM_ICON ICON \"${R_ICON}\"")
    set_property(SOURCE ${rc_file} APPEND PROPERTY OBJECT_DEPENDS ${R_ICON})
  endif()
  set(PODIANT_MANIFEST_DEPENDENCY "")
  if(R_COMMON_CONTROLS)
    set(PODIANT_MANIFEST_DEPENDENCY [=[

  <!-- Version 6 of the common controls: the window's button in the look of
       the running system. -->
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                        processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>]=])
  endif()
  set(PODIANT_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/podiant.manifest.in ${PODIANT_RC_MANIFEST}
                 @ONLY)
  set_property(SOURCE ${rc_file} APPEND PROPERTY OBJECT_DEPENDS ${PODIANT_RC_MANIFEST})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${rc_file} @ONLY)
  target_sources(${target} PRIVATE ${rc_file})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
