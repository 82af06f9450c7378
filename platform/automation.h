// Automation (COM on Windows): the server thread's apartment. The presentation
// subsystem adds the object operations.
#pragma once

// CoInitialize(nullptr) / CoUninitialize on Windows; nothing elsewhere.
void InitialiseThreadAutomation();
void UninitialiseThreadAutomation();
