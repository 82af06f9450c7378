#include <objbase.h>

#include "platform/automation.h"

void InitialiseThreadAutomation() { CoInitialize(nullptr); }
void UninitialiseThreadAutomation() { CoUninitialize(); }
