#include "platform/main_window.h"

int main() { return RunMainWindow(); }
