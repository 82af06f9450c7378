# Profile files: the Windows profile functions, or the program's own reader.
# The reader is built on every platform: the tests compare it with the
# Windows functions.
podiant_library(platform_profile_reader profile_reader.cpp)
if(PODIANT_PLATFORM STREQUAL "win32")
  podiant_library(platform_profile win32/profile_ini.cpp)
else()
  podiant_library(platform_profile posix/profile_file.cpp)
  target_link_libraries(platform_profile PUBLIC platform_profile_reader)
endif()
