// The projector command table as LoadProjectorCommands must leave it after a
// section read gave `entries`.
#pragma once

#include <string>
#include <vector>

#include "common/text_rules.h"
#include "projector/projector_commands.h"
#include "tests/fuzz/fuzz_fakes.h"

// `tableBefore` is the table before the load (kept when nothing was read).
inline void CheckLoadedCommandTable(const std::vector<std::string>& entries,
                                    const std::vector<ProjectorCommand>& tableBefore) {
  if (entries.empty()) {
    FUZZ_CHECK(ProjectorCommandTable.size() == tableBefore.size());
    FUZZ_CHECK(FuzzRecord.logLines.empty());
    return;
  }
  size_t count = 0;
  while (count < entries.size() && !entries[count].empty()) ++count;
  FUZZ_CHECK_MSG(ProjectorCommandTable.size() == count, "the table lost or gained entries");
  for (size_t i = 0; i < count; ++i) {
    const std::string& entry = entries[i];
    const ProjectorCommand& command = ProjectorCommandTable[i];
    size_t equals = entry.find('=');
    FUZZ_CHECK(command.name == FoldUpper(entry.substr(0, equals)));
    FUZZ_CHECK(command.text == (equals == std::string::npos ? "" : entry.substr(equals + 1)));
  }
  FUZZ_CHECK(FuzzRecord.logLines ==
             std::vector<std::string>{"Found  " + std::to_string(count) + " projector commands"});
}

// What SendProjectorCommand(`argument`) must have done: for the first entry
// whose name is the folded argument, its framed notice and then its text on
// the line; for no entry, nothing. Never a status line. True on a match.
inline bool CheckProjectorCommandOutcome(const std::string& argument) {
  std::string folded = FoldUpper(argument);
  for (const ProjectorCommand& command : ProjectorCommandTable) {
    if (command.name != folded) continue;
    FUZZ_CHECK(FuzzRecord.notices == std::vector<std::string>{"Projector command|/" + command.name +
                                                              "/" + command.text + "/|0"});
    FUZZ_CHECK(FuzzRecord.serialWrites == std::vector<std::string>{command.text});
    FUZZ_CHECK(FuzzRecord.logLines.empty());
    return true;
  }
  FUZZ_CHECK(FuzzRecord.notices.empty() && FuzzRecord.serialWrites.empty() &&
             FuzzRecord.logLines.empty());
  return false;
}
