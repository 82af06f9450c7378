// Linux has no COM: the server thread needs no apartment.
#include "platform/automation.h"

void InitialiseThreadAutomation() {}
void UninitialiseThreadAutomation() {}
