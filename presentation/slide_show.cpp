#include "presentation/slide_show.h"

#include "common/status_log.h"
#include "common/text_rules.h"
#include "platform/main_window.h"
#include "presentation/slide_show_back_end.h"

namespace {

void OpenPresentation(const std::string& fileName) {
  AddLogLine(kShowStartingLine);
  AttachShowApplication();  // a run of its own: its failures are not this command's
  if (!OpenShowFile(fileName)) {
    AddLogLine("Couldn't open presentation");
    return;
  }
  if (const char* failure = PrepareShow()) {
    AddLogLine(failure);
    return;
  }
  MinimiseMainWindow();
  if (const char* failure = RunShow()) AddLogLine(failure);
}

void GotoSlide(const std::string& argument) {
  int32_t slide = Int32FromNumber(NumberFromText(argument));
  if (slide <= 0) return;
  GotoShowSlide(slide);
}

}  // namespace

void HandleSlideShowCommand(const std::string& commandWord, const std::string& argument) {
  std::string word = FoldUpper(commandWord);
  if (word == "OPEN") {
    OpenPresentation(argument);
  } else if (word == "NEXT") {
    AdvanceShow();
  } else if (word == "GOTO") {
    GotoSlide(argument);
  }
}
