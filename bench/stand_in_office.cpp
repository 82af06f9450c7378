// A stand-in for the office back end's module (podiant-impress.so), for the
// benchmarks that run many real servers at once: it "loads" any file as a
// deck of 20 slides, runs its show in memory and answers every step and
// reading at once, without LibreOffice. The real program loads it from its
// usual place beside a copy of the program; nothing else changes.
#include <cstdint>
#include <string>

#include "platform/posix/office_module.h"

struct OfficePresentationTag {
  int32_t index = 0;
  OfficeShowState state = OfficeShowState::kRunning;
  int32_t steps = 0;  // counts every step: each makes a new reading
};

namespace {

constexpr int32_t kSlides = 20;

bool Yes() { return true; }
bool Connect(const char*, uint32_t) { return true; }
bool Carries(const char*) { return false; }
void Nothing() {}

OfficePresentation Load(const char*) { return new OfficePresentationTag; }
bool StartShow(OfficePresentation, uint32_t) { return true; }

void Advance(OfficePresentation show) {
  if (show->index + 1 < kSlides) ++show->index;
}

void GotoSlide(OfficePresentation show, int32_t index) {
  if (index >= 0 && index < kSlides) show->index = index;
}

void Step(OfficePresentation show, OfficeShowStep step) {
  switch (step) {
    case OfficeShowStep::kPrevious:
      if (show->index > 0) --show->index;
      break;
    case OfficeShowStep::kFirst:
      show->index = 0;
      break;
    case OfficeShowStep::kLast:
      show->index = kSlides - 1;
      break;
    case OfficeShowStep::kBlack:
      show->state = OfficeShowState::kBlack;
      break;
    case OfficeShowStep::kWhite:
      show->state = OfficeShowState::kWhite;
      break;
    case OfficeShowStep::kResume:
      show->state = OfficeShowState::kRunning;
      break;
    case OfficeShowStep::kEnd:
      show->state = OfficeShowState::kEnded;
      break;
  }
}

void Read(OfficePresentation show, OfficeShowReading* reading, OfficeSlideDetails* details) {
  reading->state = show->state;
  reading->slideIndex = show->index;
  reading->slideCount = kSlides;
  if (details == nullptr) return;
  details->title = "Slide " + std::to_string(show->index + 1);
  details->notes = "What to say on slide " + std::to_string(show->index + 1) + ".";
  details->nextSlideIndex = show->index + 1 < kSlides ? show->index + 1 : -1;
  details->nextTitle =
      details->nextSlideIndex >= 0 ? "Slide " + std::to_string(show->index + 2) : "";
}

OfficeSlideExport Export(OfficePresentation, int32_t, int32_t, std::string*) {
  return OfficeSlideExport::kFailed;
}

void Close(OfficePresentation) {}
void Release(OfficePresentation show) { delete show; }

const OfficeModuleTable kTable = {
    kOfficeModuleVersion,
    Yes,
    Connect,
    Yes,
    Carries,
    Nothing,
    Yes,
    Load,
    StartShow,
    Advance,
    GotoSlide,
    Step,
    Read,
    Export,
    Close,
    Release,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const OfficeModuleTable* PodiantOfficeModule() {
  return &kTable;
}
