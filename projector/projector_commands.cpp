#include "projector/projector_commands.h"

#include "common/text_rules.h"
#include "platform/notice.h"
#include "projector/projector_link.h"

std::vector<ProjectorCommand> ProjectorCommandTable;

namespace {

const char* const kConfirmationCaption = "Projector command";

}  // namespace

void SendProjectorCommand(const std::string& name) {
  std::string folded = FoldUpper(name);
  for (const ProjectorCommand& command : ProjectorCommandTable) {
    if (command.name != folded) continue;
    // The operator confirms before anything reaches the projector; the text as
    // written, so that no control byte reaches the notice.
    ShowNotice(kConfirmationCaption, "/" + command.name + "/" + command.shownText + "/",
               kNoticePlain);
    WriteProjectorLink(command.text);
    return;
  }
}
