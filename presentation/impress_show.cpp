// The slide-show commands on LibreOffice Impress, through the office interface
// (platform/office.h). The commands mean what they mean on PowerPoint; where
// the two back ends differ, the comments say why.
#include <vector>

#include "config/settings.h"
#include "platform/notice.h"
#include "platform/office.h"
#include "platform/profile.h"
#include "platform/timing.h"
#include "presentation/file_url.h"
#include "presentation/slide_show_back_end.h"

const char* const kShowStartingLine = "Starting Impress...";
const char* const kShowStoppingLine = "stopping Impress...";

namespace {

// Every wait for the office is bounded; an office that does not answer makes
// the command fail with its line and never holds the server longer.
constexpr uint32_t kOfficeStartBoundMs = 30000;  // from its start until it accepts on the pipe
constexpr uint32_t kOfficeCallBoundMs = 30000;   // any one call, loading a document included
constexpr uint32_t kShowStartBoundMs = 10000;    // from the show's start until it can be steered
constexpr uint32_t kOfficeEndBoundMs = 10000;    // for an office that was told to quit to end
constexpr uint32_t kPollMs = 50;
// The office exits with 81 when it has just made a new profile, to be started
// again on it; an office that keeps ending is given up after a few starts.
constexpr int kProfileRestartExitCode = 81;
constexpr int kOfficeStartsAtMost = 3;

constexpr const char* kImpressNoticeText =
    "Impress could not be opened.\rPlease check that LibreOffice Impress is installed.";

// The session with the office, used on the server thread only. Unlike
// PowerPoint's application object, a connection to the office is kept from
// one OPEN to the next while the office answers: the presentations loaded on
// it (and with them what the close has to end) are reachable only through it.
// An office that was closed or killed meanwhile does not answer, and the next
// OPEN attaches afresh, or starts one.
struct ImpressSessionRecord {
  std::string pipeName;            // the pipe the office accepts on
  std::string profileUrl;          // the profile of an office this session starts
  bool officeStartedHere = false;  // the connected office was started by this session
  int32_t officeProcess = 0;       // the office process this session started last
  std::vector<OfficePresentation> presentations;  // loaded on this connection, oldest first
  OfficePresentation opening = nullptr;           // the presentation of the OPEN in progress
  OfficePresentation show = nullptr;              // the show NEXT and GOTO act on
  int32_t started = 0;                            // set by every OPEN
};

ImpressSessionRecord serverThreadImpressSession;

void ShowImpressNotice() { ShowNotice("", kImpressNoticeText, kNoticeSystemModal); }

void ReapOfficeProcess() {
  int exitCode = 0;
  if (serverThreadImpressSession.officeProcess != 0 &&
      PollOfficeProcess(serverThreadImpressSession.officeProcess, &exitCode) !=
          OfficeProcessState::kRunning) {
    serverThreadImpressSession.officeProcess = 0;
  }
}

// Forgets the connection and what was loaded on it.
void ForgetConnection() {
  ImpressSessionRecord& session = serverThreadImpressSession;
  for (OfficePresentation presentation : session.presentations) {
    ReleaseOfficePresentation(presentation);
  }
  session.presentations.clear();
  session.opening = session.show = nullptr;
  session.officeStartedHere = false;
  DisconnectOffice();
  ReapOfficeProcess();
}

// Starts the office and waits until it accepts on the pipe.
bool StartOfficeAndConnect() {
  ImpressSessionRecord& session = serverThreadImpressSession;
  const uint64_t deadline = MonotonicMilliseconds() + kOfficeStartBoundMs;
  int32_t process = 0;
  if (!StartOfficeProcess(session.pipeName, session.profileUrl, &process)) return false;
  int32_t started = process;
  int starts = 1;
  for (;;) {
    if (ConnectOffice(session.pipeName, kOfficeCallBoundMs)) {
      // An office that already ran on this profile may have taken the start
      // over: then it is not this session's to quit.
      session.officeStartedHere = ConnectedOfficeIs(started);
      if (session.officeStartedHere) session.officeProcess = started;
      return true;
    }
    int exitCode = 0;
    OfficeProcessState state =
        process != 0 ? PollOfficeProcess(process, &exitCode) : OfficeProcessState::kRunning;
    if (state == OfficeProcessState::kExited && exitCode == 0) {
      process = 0;  // handed over to the office already running: wait for its pipe
    } else if (state != OfficeProcessState::kRunning) {
      // A status that was reaped before it could be read counts as a restart.
      bool restart = state == OfficeProcessState::kEnded || exitCode == kProfileRestartExitCode;
      if (!restart || starts >= kOfficeStartsAtMost) return false;
      if (!StartOfficeProcess(session.pipeName, session.profileUrl, &process)) return false;
      started = process;
      ++starts;
    }
    if (MonotonicMilliseconds() >= deadline) {
      if (process != 0) StopOfficeProcess(process);
      session.officeProcess = process;  // reaped once it has ended
      return false;
    }
    SleepMilliseconds(kPollMs);
  }
}

void StartImpress() {
  ImpressSessionRecord& session = serverThreadImpressSession;
  if (session.pipeName.empty()) LoadShowSettings(SettingsFilePath);
  if (!OfficeBackEndAvailable()) {
    ShowImpressNotice();
    return;
  }
  if (OfficeAnswers()) return;
  ForgetConnection();
  // An office already accepting on the pipe: one this session started (whose
  // connection was dropped), one of an earlier run of the program, or one the
  // user started that way.
  if (ConnectOffice(session.pipeName, kOfficeCallBoundMs)) {
    session.officeStartedHere =
        session.officeProcess != 0 && ConnectedOfficeIs(session.officeProcess);
    return;
  }
  if (!StartOfficeAndConnect()) ShowImpressNotice();
}

}  // namespace

void LoadShowSettings(const std::string& settingsPath) {
  ImpressSessionRecord& session = serverThreadImpressSession;
  std::string pipe = ReadProfileString("impress", "pipe", "", settingsPath);
  session.pipeName = pipe.empty() ? DefaultOfficePipeName() : pipe;
  std::string profile = ReadProfileString("impress", "profile", "", settingsPath);
  session.profileUrl = profile.empty() ? FileUrlFromSystemPath(DefaultOfficeProfileDirectory(), "/")
                                       : FileUrlFromPath(profile, CurrentDirectory());
}

void AttachShowApplication() {
  StartImpress();
  serverThreadImpressSession.started = 1;
}

bool OpenShowFile(const std::string& fileName) {
  ImpressSessionRecord& session = serverThreadImpressSession;
  // PowerPoint resolves the name itself; the office takes a URL, made here
  // from the name as it arrived (no quotes removed), relative names taken from
  // the working directory.
  OfficePresentation loaded = LoadOfficePresentation(FileUrlFromPath(fileName, CurrentDirectory()));
  if (loaded == nullptr) return false;
  session.presentations.push_back(loaded);
  session.opening = loaded;
  return true;
}

// The show's settings are the document's own: nothing to obtain first.
const char* PrepareShow() { return nullptr; }

const char* RunShow() {
  ImpressSessionRecord& session = serverThreadImpressSession;
  // As with PowerPoint, the new document replaces the old one for NEXT and
  // GOTO; a show that does not come up leaves them nothing to act on rather
  // than the show of an earlier OPEN.
  session.show = nullptr;
  if (!StartOfficeShow(session.opening, kShowStartBoundMs)) return "Couldn't start slide show";
  session.show = session.opening;
  return nullptr;
}

void AdvanceShow() {
  if (serverThreadImpressSession.show != nullptr)
    AdvanceOfficeShow(serverThreadImpressSession.show);
}

// The office counts slides from 0.
void GotoShowSlide(int32_t slideNumber) {
  if (serverThreadImpressSession.show != nullptr)
    GotoOfficeShowSlide(serverThreadImpressSession.show, slideNumber - 1);
}

void StepShow(ShowStep step) {
  // In the order of ShowStep.
  constexpr OfficeShowStep kOfficeSteps[] = {
      OfficeShowStep::kPrevious, OfficeShowStep::kFirst, OfficeShowStep::kLast,
      OfficeShowStep::kBlack,    OfficeShowStep::kWhite, OfficeShowStep::kResume,
      OfficeShowStep::kEnd,
  };
  if (serverThreadImpressSession.show != nullptr) {
    StepOfficeShow(serverThreadImpressSession.show, kOfficeSteps[static_cast<int>(step)]);
  }
}

// The office tells of changes by events, and the reading calls it only after
// one (or after a step of this program): `mayAsk` makes no difference here.
ShowReading ReadShow(bool, bool details) {
  // In the order of OfficeShowState.
  constexpr ShowState kStates[] = {ShowState::kNone, ShowState::kRunning, ShowState::kBlack,
                                   ShowState::kWhite, ShowState::kEnded};
  ShowReading show;
  if (serverThreadImpressSession.show == nullptr) return show;
  OfficeSlideDetails slide;
  OfficeShowReading reading =
      ReadOfficeShow(serverThreadImpressSession.show, details ? &slide : nullptr);
  show.state = kStates[static_cast<int>(reading.state)];
  if (reading.slideIndex >= 0 && reading.slideCount > 0) {
    show.slide = reading.slideIndex + 1;
    show.slideCount = reading.slideCount;
  }
  if (details) {
    show.details =
        SlideDetails{std::move(slide.title), std::move(slide.notes),   slide.buildPosition,
                     slide.buildCount,       slide.nextSlideIndex + 1, std::move(slide.nextTitle)};
    show.detailsFollow = slide.pending;
  }
  return show;
}

SlideExport ExportShowSlide(int32_t slide, int32_t width, std::string* png) {
  if (serverThreadImpressSession.show == nullptr) return SlideExport::kNoShow;
  switch (ExportOfficeSlide(serverThreadImpressSession.show, slide - 1, width, png)) {
    case OfficeSlideExport::kDone:
      return SlideExport::kDone;
    case OfficeSlideExport::kGone:
      return SlideExport::kNoShow;
    case OfficeSlideExport::kNoSlide:
      return SlideExport::kNoSlide;
    case OfficeSlideExport::kFailed:
      break;
  }
  return SlideExport::kFailed;
}

bool ShowSessionStarted() { return serverThreadImpressSession.started != 0; }

// PowerPoint is quit whoever started it; the office only when this session
// started it. An office that was running already keeps running, with the
// user's other documents: only the shows and documents of this session's
// OPENs are ended and closed.
void EndShowSession() {
  ImpressSessionRecord& session = serverThreadImpressSession;
  bool quit = false;
  if (OfficeAnswers()) {
    for (auto presentation = session.presentations.rbegin();
         presentation != session.presentations.rend(); ++presentation) {
      CloseOfficePresentation(*presentation);
    }
    quit = session.officeStartedHere && TerminateOffice();
  }
  int32_t process = session.officeProcess;
  ForgetConnection();
  // The office ends a moment after it was told to; wait for it, so that
  // nothing is left of it when the program has ended.
  int exitCode = 0;
  for (uint32_t waited = 0; quit && process != 0 && waited < kOfficeEndBoundMs; waited += kPollMs) {
    if (PollOfficeProcess(process, &exitCode) != OfficeProcessState::kRunning) break;
    SleepMilliseconds(kPollMs);
  }
}
