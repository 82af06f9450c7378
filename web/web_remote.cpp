#include "web/web_remote.h"

#include <string>
#include <thread>

#include "common/status_log.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "platform/sockets.h"
#include "platform/timing.h"
#include "server/arrival.h"
#include "server/server_mailbox.h"
#include "server/server_thread.h"
#include "server/state_channels.h"
#include "web/live_state.h"
#include "web/venue_view.h"
#include "web/web_access.h"
#include "web/web_routes.h"
#include "web/web_server.h"

namespace {

// The main thread's handle of the web thread.
std::thread mainThreadWebHandle;

void WebThread() {
  // Without a running server there is nothing to steer.
  if (!WaitForStartUpLines()) return;
  const WebSettings& web = *Settings.web;
  const uint32_t listen = Settings.listenAddress ? Settings.listenAddress->address.value_or(0) : 0;
  const uint32_t shown = listen != 0 ? listen : LookUpLocalAddress();
  if (!StartWebAccess(web.code, web.port)) {
    AddLogLine("ERROR: web remote: the system gave no random numbers for its code");
    return;
  }
  const std::string address =
      "http://" + FormatIpAddress(shown) + ":" + std::to_string(web.port) + "/";
  WebRoutesSettings routes;
  routes.remoteUrl = address;
  routes.showsFolder = web.showsFolder;
  // OPEN is no word of the commands route: a show of the folder is opened by
  // its name, through a request of its own.
  routes.commands = CommandsAllowedAt(Door::kWeb) & ~CommandWordBit(CommandWord::kOpen);
  StartWebRoutes(std::move(routes));
  if (!OpenWebServer(listen, web.port)) {
    AddLogLine("ERROR: cannot listen for the web remote at " + FormatIpAddress(listen) + ":" +
               std::to_string(web.port));
    return;
  }
  AddLogLine(WebRemoteLine());
  RunWebServer();
}

}  // namespace

void StartWebRemote() {
  if (!Settings.web || mainThreadWebHandle.joinable()) return;
  ExpectPostedArrivals();
  AddStateChannel(LiveStateChannel(), MonotonicMilliseconds());
  // Before the venue link starts (shell/app.cpp starts it after this).
  StartVenueView();
  PrepareWebServer();
  mainThreadWebHandle = std::thread(WebThread);
}

void StopWebRemote() {
  if (!mainThreadWebHandle.joinable()) return;
  StopWebServer();
  mainThreadWebHandle.join();
  CloseWebServer();
}
