// The application behind the slide-show commands, chosen when the program is
// built (presentation/CMakeLists.txt): PowerPoint through COM on Windows
// (powerpoint_show.cpp), LibreOffice Impress through UNO on Linux
// (impress_show.cpp). slide_show.cpp holds what each command does and when it
// writes its lines; a back end supplies the steps, the lines that name the
// application and the failures only it can have.
#pragma once

#include <cstdint>
#include <string>

#include "presentation/show_status.h"

// The first line of every OPEN ("Starting Powerpoint...") and the line the
// server thread writes before it ends the session ("stopping PowerPoint...").
extern const char* const kShowStartingLine;
extern const char* const kShowStoppingLine;

// Reads what the back end takes from the settings file, once at start-up.
void LoadShowSettings(const std::string& settingsPath);

// The steps of OPEN, in this order. AttachShowApplication attaches to the
// application or starts it, showing the notice itself when neither works,
// and marks the session as started. OpenShowFile opens the presentation
// (false: "Couldn't open presentation"). PrepareShow obtains what the show
// needs and RunShow, after the main window has been minimised, starts it:
// each returns nullptr when it went through, or the line that reports its
// failure. The command ends at the first failure; the show of an earlier OPEN
// then stays the one that NEXT and GOTO act on.
void AttachShowApplication();
bool OpenShowFile(const std::string& fileName);
const char* PrepareShow();
const char* RunShow();

// NEXT and GOTO on the show of the last OPEN that got that far: nothing
// before such an OPEN, and their failures are silent.
void AdvanceShow();
void GotoShowSlide(int32_t slideNumber);  // 1 is the first slide

// The further steps, on the same show as NEXT and GOTO (the one of the last
// OPEN that got past RunShow). Each does nothing before such an OPEN, after
// that show has ended (END, or ended at the PC: its window is gone), or when
// the application is gone; it writes no line, and its failures are silent.
// The end screen that follows the last slide still belongs to the show:
// kPrevious, kFirst and kLast (and NEXT, GOTO) act there as the application
// lets them. A step that the application would drop while the show is still
// changing slides waits, bounded, until the change has settled, as NEXT does.
enum class ShowStep {
  kPrevious,  // PREV: the previous effect, or the previous slide
  kFirst,     // FIRST: the first slide
  kLast,      // LAST: the last slide
  kBlack,     // BLACK: the show's screen black (also from white)
  kWhite,     // WHITE: the show's screen white (also from black)
  kResume,    // RESUME: back to the slide from black or white
  kEnd,       // END: ends the show; the presentation stays open
};
void StepShow(ShowStep step);

// What the back end knows of that same show.
struct ShowReading {
  ShowState state = ShowState::kNone;
  int32_t slide = 0;       // the current slide, from 1; 0 when not known
  int32_t slideCount = 0;  // 0 when not known
  // Only when ReadShow was asked for them; those of the slide last seen
  // otherwise (an ended show, a failed call: as the slide and count are kept).
  SlideDetails details;
  // The slide changed and `details` are still the last slide's: the back end
  // reads the new slide's at the next reading, which it wants at once (so
  // that the new slide is told before a slow application is asked for the
  // rest).
  bool detailsFollow = false;
};

// The state of the show NEXT and GOTO act on, for the feedback. Called only
// after TrackShowStatus(true), on the server thread, between commands and
// after each (often: every 250 ms while a show is open, and after every
// datagram); never without the feedback, so that a back end then makes no
// call for it at all.
//
// `mayAsk`: whether the back end may call the application now. The common code
// (slide_show.cpp) decides it, so that every back end keeps the same rate:
// true right after an OPEN whose show runs (so that its first SLIDE is right),
// then at most every 250 ms while the last reading was kRunning, kBlack or
// kWhite; while it was kEnded, right after a command that steered the show
// (a step from the end screen back to a slide) and at most every 250 ms when
// the whole status is about to be sent (the heartbeat, STATE); never after
// kNone until the next OPEN's show runs. With `mayAsk` false the back end answers from
// what it knows without calling the application: a polled back end
// (PowerPoint) returns its last reading; a back end that the application
// tells of changes by events (Impress) may read what those events, or its own
// steps, made stale.
//
// The answer: kNone when there is no such show or the application is gone
// (whatever the state before: a call that finds the application gone gives
// kNone); kEnded once the show has ended, or while it shows its end screen;
// kBlack or kWhite while this program's BLACK or WHITE holds (a screen blanked
// at the PC may read kRunning where the application does not say which
// colour it shows); kRunning otherwise. The slide and the count are those the
// application reports for the show (the count of slides the show shows); 0
// when not known. Failures are silent: a call that fails for another reason
// than the application being gone keeps the last reading.
//
// `details` (TrackShowDetails): the slide's details are read too. The
// slide's own (title, notes, build count, the next slide and its title) are
// read when the slide, or the show, changed since they were last read; the
// build position at every reading that may ask. The slide numbers are the
// document's, hidden slides included (as GOTO takes them and the count counts
// them); the next slide skips hidden slides as the show does. Notes are cut
// at kShowNotesBytesAtMost. Their failures are silent: an empty text, or -1
// for a build that the application does not tell.
ShowReading ReadShow(bool mayAsk, bool details);

// A picture of slide `slide` (from 1, the document's numbering, hidden slides
// included) of the presentation of the show NEXT and GOTO act on, exported by
// the application as PNG, `width` pixels wide (kSlideImageWidthMin to
// kSlideImageWidthMax, slide_images.h) and as high as the slide's aspect
// gives. It must not change what the show shows, its blank screen, the
// foreground window or the keys. A temporary file that the application needs
// is removed before this returns. On the server thread, between commands.
enum class SlideExport { kDone, kNoShow, kNoSlide, kFailed };
SlideExport ExportShowSlide(int32_t slide, int32_t width, std::string* png);

// Whether an OPEN ever ran; the server thread then ends the session with
// EndShowSession as it stops.
bool ShowSessionStarted();
void EndShowSession();
