#include "shell/app.h"

#include <thread>

#include "common/status_log.h"
#include "config/settings.h"
#include "platform/main_window.h"
#include "platform/timing.h"
#include "presentation/slide_show_back_end.h"
#include "projector/projector_commands.h"
#include "server/server_thread.h"
#include "venue/venue_link.h"
#include "web/web_remote.h"

namespace {

// The main thread's handle of the server thread.
std::thread mainThreadServerHandle;

constexpr const char* kBannerLine1 =
    "Podiant Server - remote control for presentations - Version 1.2";
constexpr const char* kBannerLine2 =
    "Help and updates: see the maker's web page, www.podiant.example";

}  // namespace

void InitialiseMainWindow() {
  mainThreadServerHandle = std::thread(ServerThread);
  SleepMilliseconds(50);
  WaitForStartingLine();
  AddLogLine(kBannerLine1);
  SleepMilliseconds(10);
  AddLogLine(kBannerLine2);
  SleepMilliseconds(10);
  // The projector commands and the slide-show application's settings come
  // from the same file, and not at all when the settings stopped at a bad port.
  if (LoadSettings()) {
    LoadProjectorCommands("functions", SettingsFilePath);
    LoadShowSettings(SettingsFilePath);
  }
  // The web remote and the venue link follow the show from the server
  // thread's start on.
  StartWebRemote();
  StartVenueLink();
  SignalMainWindowInitialised();
}

void RunCloseSequence() {
  stopRequested = 1;
  AddLogLine("WAITING FOR THREAD TO STOP!");
  if (mainThreadServerHandle.joinable()) JoinThreadHandlingMessages(mainThreadServerHandle);
  StopWebRemote();
  StopVenueLink();
  AddLogLine("THREAD STOPPED!");
  SleepMilliseconds(1000);
}

int ProgramExitCode() { return serverOpenFailed ? 1 : 0; }
