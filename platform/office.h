// The office suite behind the Impress slide shows: the LibreOffice process, one
// connection to it over a named pipe (LibreOffice's UNO remote protocol), and
// the presentations it loaded for this program.
//   Linux: the process operations are the program's own
//   (platform/posix/office_process.cpp). The UNO operations live in a shared
//   library of their own, podiant-impress.so (platform/posix/office_uno.cpp),
//   which platform/posix/office_loader.cpp loads on first use: the program
//   itself needs no part of LibreOffice to start, and without LibreOffice's
//   UNO runtime the library does not load and nothing connects.
//   Windows: not built; the slide shows run on PowerPoint through COM there.
// All of it is used on the server thread only.
#pragma once

#include <cstdint>
#include <string>

// The office process.

// The pipe name the office accepts on unless the settings name another:
// "podiant-" and the user's numeric id, so that every user of the machine
// has an office of their own and a second run of the program finds it.
std::string DefaultOfficePipeName();

// The office's user profile unless the settings name another: a directory of
// this program's own, $XDG_CONFIG_HOME/podiant-server/libreoffice (or
// ~/.config/...), so that the user's own LibreOffice and its documents stay
// apart from the office the program starts.
std::string DefaultOfficeProfileDirectory();

// Starts the office program directly (no shell), accepting connections on
// `pipeName`, with the profile at `profileUrl` (a file URL), no start window
// and no document recovery. It runs in a session of its own, with standard
// input and output on /dev/null, default signal handling and none of this
// program's descriptors. Its environment carries a mark of its own, by which
// ConnectedOfficeIs tells it from an office that ran already. False (and
// `processId` untouched) when it cannot be started, for instance because
// LibreOffice is not installed.
bool StartOfficeProcess(const std::string& pipeName, const std::string& profileUrl,
                        int32_t* processId);

enum class OfficeProcessState {
  kRunning,
  kExited,  // ended; `exitCode` holds its exit status (81: started again on a new profile)
  kEnded,   // ended with a signal, or reaped already (its status is not known)
};

// Looks at a process that StartOfficeProcess started, without waiting; a
// process that has ended is reaped by this call.
OfficeProcessState PollOfficeProcess(int32_t processId, int* exitCode);

// Asks an office that never answered to end (SIGTERM); does not wait.
void StopOfficeProcess(int32_t processId);

// The connection and the presentations (the UNO back end).

// Loads the UNO back end and bootstraps LibreOffice's UNO runtime (the first
// call does the work; later calls report what it gave). False when either is
// missing: LibreOffice is not installed.
bool OfficeBackEndAvailable();

// One attempt to connect to the office accepting on `pipeName`: true when it
// answered. Every call made on the connection afterwards (loading a document
// included) is bounded by `callBoundMilliseconds`: when a call takes longer
// the connection is dropped, the call fails and the office counts as gone.
bool ConnectOffice(const std::string& pipeName, uint32_t callBoundMilliseconds);

// Whether the connection is up and the office still answers a call.
bool OfficeAnswers();

// Whether the connected office is the process `processId` that
// StartOfficeProcess started. An office that already ran on the same profile
// takes such a start over (it begins to accept on the pipe) and the started
// process ends a moment later: the office is then not that process.
bool ConnectedOfficeIs(int32_t processId);

// Drops the connection; the office keeps running. The presentations loaded on
// it can only be released afterwards.
void DisconnectOffice();

// Ends the office (its desktop's terminate), once the documents are closed;
// false when it refused or did not answer.
bool TerminateOffice();

// A presentation loaded for this program, with its slide show; nullptr is none.
struct OfficePresentationTag;
using OfficePresentation = OfficePresentationTag*;

// Loads the document at `fileUrl` in a window of its own, read-only (no lock
// file, no "document in use" question), with every question the office would
// ask answered by cancelling (no dialog can block the desktop), no macros that
// would need a confirmation and no links updated. nullptr when it does not load
// or is no presentation; a document of another kind is closed again.
OfficePresentation LoadOfficePresentation(const std::string& fileUrl);

// Starts the presentation's slide show and waits, at most `boundMilliseconds`,
// until the show runs and can be steered; false when it does not.
bool StartOfficeShow(OfficePresentation presentation, uint32_t boundMilliseconds);

// The next effect, or the next slide, of the presentation's running show.
void AdvanceOfficeShow(OfficePresentation presentation);

// Jumps to slide `slideIndex` (0 is the first slide) of the running show; an
// index outside the show changes nothing.
void GotoOfficeShowSlide(OfficePresentation presentation, int32_t slideIndex);

// The further steps of the running show; nothing once it has ended.
enum class OfficeShowStep : int32_t {
  kPrevious,  // the previous effect, or the previous slide
  kFirst,
  kLast,
  kBlack,   // the screen black
  kWhite,   // the screen white
  kResume,  // back from black or white
  kEnd,     // ends the show; the document stays open
};
void StepOfficeShow(OfficePresentation presentation, OfficeShowStep step);

enum class OfficeShowState : int32_t { kGone, kRunning, kBlack, kWhite, kEnded };

struct OfficeShowReading {
  OfficeShowState state = OfficeShowState::kGone;
  int32_t slideIndex = -1;  // from 0; -1 when not known
  int32_t slideCount = 0;
};

// What the show shows of its current slide beyond its index. Texts are UTF-8,
// as the office holds them (paragraphs separated by "\n").
struct OfficeSlideDetails {
  std::string title;            // the title placeholder's text; empty when it has none
  std::string notes;            // the text of the notes page's notes placeholder
  int32_t buildPosition = 0;    // click steps taken on the slide; -1: not known
  int32_t buildCount = 0;       // click steps the slide has; -1: not known
  int32_t nextSlideIndex = -1;  // the slide the show goes on to after the last step
                                // (from 0, hidden slides skipped); -1: none
  std::string nextTitle;
  // The show moved to another slide: these are still the details of the
  // slide last read, and the new slide's are read at the next reading.
  bool pending = false;
};

// The state of the presentation's show. The office tells of changes by the
// show's events and the document's; the show is read (through the
// connection, bounded as every call) only when one of them, or a step of this
// program, came since the last reading, and otherwise the last reading is
// given again. kGone when the office went away; kEnded once the show has
// ended, and while it shows the black end screen after its last slide; kBlack
// or kWhite while a blank screen of StepOfficeShow holds (a screen blanked in
// the office itself reads kRunning: the office does not say which colour, nor
// whether a pause is one).
//
// With `details` (nullptr: none, and no call for them) the current slide's
// details too: the slide's own (title, notes, build count, the next slide and
// its title) are read from the office when the slide index changed since they
// were last read; the build position is followed from the show's events (the
// click groups of the slide's main sequence that began since the slide was
// last displayed). A reading that finds the show on another slide gives the
// last slide's details as `pending`, so that the new index goes out before
// the office, busy showing the slide, is asked for the rest; the next reading
// reads them (the first reading of a show reads them at once).
OfficeShowReading ReadOfficeShow(OfficePresentation presentation, OfficeSlideDetails* details);

enum class OfficeSlideExport : int32_t {
  kDone,
  kGone,     // the office went away, or the document was closed
  kNoSlide,  // the document has no such slide
  kFailed,
};

// The office's graphic export of slide `slideIndex` (from 0, the document's
// numbering, hidden slides included) of the presentation as PNG, `pixelWidth`
// pixels wide and as high as the slide's aspect gives, into `png`. The
// picture comes through a stream of this program (no file); the show, its
// window and its blank screen are left as they are.
OfficeSlideExport ExportOfficeSlide(OfficePresentation presentation, int32_t slideIndex,
                                    int32_t pixelWidth, std::string* png);

// Ends the show if it runs and closes the document; failures are silent (the
// user may have closed it already).
void CloseOfficePresentation(OfficePresentation presentation);

// Gives up the program's hold on the presentation without calling the office.
void ReleaseOfficePresentation(OfficePresentation presentation);
