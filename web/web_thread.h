// The web thread's queue and its live clients, for the web area's files that
// do not see the HTTP library (web_server.cpp implements them).
#pragma once

#include <functional>
#include <memory>
#include <string>

// Any thread: `work` runs on the web thread, in the order posted. Dropped
// (never run) when no web thread runs.
void PostToWebThread(std::function<void()> work);

// The web thread: `message` to every client of /api/live, the one copy
// shared by all of them.
void BroadcastLiveMessage(std::shared_ptr<const std::string> message);
