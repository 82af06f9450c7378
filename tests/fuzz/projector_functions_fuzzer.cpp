// Fuzz target: the [functions] section. The input is the text that follows a
// "[functions]" line in the settings file (it may open other sections of its
// own). The section read (the program's own profile reader) and
// LoadProjectorCommands' split into name and text must give a table that
// matches the entries (with escapes=on for inputs of odd length: the texts
// decoded as the reference decodes them, and the warnings); then PROJECTOR
// with each name (and with names that are not there) must show the first
// matching entry as written and write its text, or do nothing at all.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "config/settings.h"
#include "platform/profile_reader.h"
#include "projector/projector_commands.h"
#include "projector/projector_link.h"
#include "tests/fuzz/fuzz_fakes.h"
#include "tests/fuzz/fuzz_table_check.h"

namespace {

constexpr size_t kLookupsPerInput = 16;

void CheckLookup(const std::string& name) {
  ResetFuzzRecord();
  SendProjectorCommand(name);
  CheckProjectorCommandOutcome(name);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Settings.projectorPort = "COM1";
  OpenProjectorLink();
  FUZZ_CHECK(ProjectorLinkIsOpen());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzProfileText = "[functions]\r\n";
  FuzzProfileText.append(reinterpret_cast<const char*>(data), size);
  FuzzProfileExists = true;
  ResetFuzzRecord();
  ClearLogForTesting();
  ProjectorCommandTable.clear();
  Settings.projectorEscapes = size % 2 == 1;

  std::vector<std::string> entries = ProfileSectionFromText(FuzzProfileText, "functions");
  for (const std::string& entry : entries) {
    FUZZ_CHECK_MSG(entry.empty() || entry[0] != ';', "a comment line became an entry");
  }
  LoadProjectorCommands("functions", SettingsFilePathHere());
  CheckLoadedCommandTable(entries, {});

  std::set<std::string> names;
  for (const ProjectorCommand& command : ProjectorCommandTable) {
    if (names.size() >= kLookupsPerInput) break;
    names.insert(command.name);
    // The same name in small letters, and one that differs by a blank.
    std::string lower = command.name;
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    names.insert(lower);
    names.insert(command.name + " ");
  }
  names.insert("");
  for (const std::string& name : names) CheckLookup(name);
  return 0;
}
