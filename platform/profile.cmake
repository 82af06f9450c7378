# Profile files: the Windows profile functions, or the program's own reader.
if(PODIANT_PLATFORM STREQUAL "win32")
  podiant_library(platform_profile win32/profile_ini.cpp)
else()
  podiant_library(platform_profile posix/profile_file.cpp)
  target_link_libraries(platform_profile PUBLIC podiant_profile_reader)
endif()
