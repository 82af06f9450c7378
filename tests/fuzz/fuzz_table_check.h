// The projector command table as LoadProjectorCommands must leave it after a
// section read gave `entries`, its texts decoded when Settings.projectorEscapes
// is on, with a warning line after the "Found" line for each backslash that
// starts no escape.
#pragma once

#include <string>
#include <vector>

#include "common/text_rules.h"
#include "config/settings.h"
#include "projector/projector_commands.h"
#include "tests/fuzz/fuzz_fakes.h"
#include "tests/fuzz/fuzz_reference.h"

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
  std::vector<std::string> lines{"Found  " + std::to_string(count) + " projector commands"};
  for (size_t i = 0; i < count; ++i) {
    const std::string& entry = entries[i];
    const ProjectorCommand& command = ProjectorCommandTable[i];
    size_t equals = entry.find('=');
    std::string written = equals == std::string::npos ? "" : entry.substr(equals + 1);
    FUZZ_CHECK(command.name == FoldUpper(entry.substr(0, equals)));
    FUZZ_CHECK(command.shownText == written);
    if (!Settings.projectorEscapes) {
      FUZZ_CHECK(command.text == written);
      continue;
    }
    std::vector<std::string> notEscapes;
    FUZZ_CHECK_MSG(command.text == ReferenceDecodeEscapes(written, &notEscapes),
                   "a text was decoded otherwise than the reference does");
    for (const std::string& sequence : notEscapes) {
      lines.push_back("  WARNING: projector command \"" + command.name + "\": \"" + sequence +
                      "\" is no escape, sent as written");
    }
  }
  FUZZ_CHECK(FuzzRecord.logLines == lines);
}

// What SendProjectorCommand(`argument`) must have done: for the first entry
// whose name is the folded argument, its framed notice (the text as written)
// and then its text on the line; for no entry, nothing. Never a status line.
// True on a match.
inline bool CheckProjectorCommandOutcome(const std::string& argument) {
  std::string folded = FoldUpper(argument);
  for (const ProjectorCommand& command : ProjectorCommandTable) {
    if (command.name != folded) continue;
    FUZZ_CHECK(FuzzRecord.notices == std::vector<std::string>{"Projector command|/" + command.name +
                                                              "/" + command.shownText + "/|0"});
    FUZZ_CHECK(FuzzRecord.serialWrites == std::vector<std::string>{command.text});
    FUZZ_CHECK(FuzzRecord.logLines.empty());
    return true;
  }
  FUZZ_CHECK(FuzzRecord.notices.empty() && FuzzRecord.serialWrites.empty() &&
             FuzzRecord.logLines.empty());
  return false;
}
