// The application behind the slide-show commands, chosen when the program is
// built (presentation/CMakeLists.txt): PowerPoint through COM on Windows
// (powerpoint_show.cpp), LibreOffice Impress through UNO on Linux
// (impress_show.cpp). slide_show.cpp holds what each command does and when it
// writes its lines; a back end supplies the steps, the lines that name the
// application and the failures only it can have.
#pragma once

#include <cstdint>
#include <string>

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

// Whether an OPEN ever ran; the server thread then ends the session with
// EndShowSession as it stops.
bool ShowSessionStarted();
void EndShowSession();
