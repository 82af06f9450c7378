#include <objbase.h>

#include "platform/automation.h"
#include "platform/win32/automation_thread.h"

void InitialiseThreadAutomation() { CoInitialize(nullptr); }

void UninitialiseThreadAutomation() {
  EndAutomationThread();
  CoUninitialize();
}
