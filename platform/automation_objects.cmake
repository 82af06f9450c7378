# The automation object operations join the thread apartment functions in
# platform_automation (real COM on Windows, none on Linux).
if(PODIANT_PLATFORM STREQUAL "win32")
  target_sources(platform_automation PRIVATE win32/automation_dispatch.cpp)
endif()
