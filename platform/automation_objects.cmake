# The automation object operations join the thread apartment functions in
# platform_automation (real COM on Windows, none on Linux): on Windows they run
# on the automation thread, whose message filter follows the busy rule.
if(PODIANT_PLATFORM STREQUAL "win32")
  target_sources(platform_automation PRIVATE win32/automation_dispatch.cpp
                                             win32/automation_thread.cpp)
  target_link_libraries(platform_automation PUBLIC platform_automation_retry)
endif()
