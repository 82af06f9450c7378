// Placeholder until the settings file is read: every key takes its default.
#include "config/settings.h"

SettingsRecord Settings;

void LoadSettings() {
  Settings.serverPort = 16001;
  Settings.baudRate = 9600;
  Settings.dataBits = 8;
}

std::string ReadProfileString(const std::string&, const std::string&, const std::string& defaultText,
                              const std::string&) {
  return defaultText;
}
