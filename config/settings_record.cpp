// The record alone, so that a reader of the settings (the dispatcher, its
// tests) does not bring the file reading with it.
#include "config/settings.h"

SettingsRecord Settings;
std::string SettingsFilePath;
