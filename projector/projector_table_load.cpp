// Loading the command table from the settings file's [functions] section.
#include "common/status_log.h"
#include "common/text_rules.h"
#include "config/settings.h"
#include "platform/profile.h"
#include "projector/projector_commands.h"
#include "projector/projector_escapes.h"

namespace {

constexpr size_t kLongestProfileName = 259;

}  // namespace

void LoadProjectorCommands(const std::string& section, const std::string& path) {
  // Every entry of the section arrives whole, however long the table is.
  std::vector<std::string> entries = ProfileReadSection(section.substr(0, kLongestProfileName),
                                                        path.substr(0, kLongestProfileName));
  if (entries.empty()) return;
  ProjectorCommandTable.clear();
  std::vector<std::string> warnings;
  for (const std::string& entry : entries) {
    if (entry.empty()) break;
    size_t equals = entry.find('=');
    ProjectorCommand command;
    if (equals == std::string::npos) {
      command.name = FoldUpper(entry);
    } else {
      command.name = FoldUpper(std::string_view(entry).substr(0, equals));
      command.text = entry.substr(equals + 1);
    }
    command.shownText = command.text;
    if (Settings.projectorEscapes) {
      std::vector<std::string> notEscapes;
      command.text = DecodeProjectorEscapes(command.shownText, &notEscapes);
      for (const std::string& sequence : notEscapes) {
        warnings.push_back("  WARNING: projector command \"" + command.name + "\": \"" + sequence +
                           "\" is no escape, sent as written");
      }
    }
    ProjectorCommandTable.push_back(std::move(command));
  }
  AddLogLine("Found  " + std::to_string(ProjectorCommandTable.size()) + " projector commands");
  for (const std::string& warning : warnings) AddLogLine(warning);
}
