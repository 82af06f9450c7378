#include "venue/venue_follow.h"

#include <nlohmann/json.hpp>

#include "config/settings.h"
#include "config/shows_folder.h"
#include "platform/code_page.h"
#include "platform/profile.h"

namespace {

// The name of the file at the end of a path of either system.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where this server finds the main's file: the file of the same name in its
// own folder of shows, else the same path when it is there; empty: nowhere.
std::string FindHere(const std::string& file) {
  const std::string name = BaseName(file);
  if (Settings.web && !Settings.web->showsFolder.empty() && !name.empty() && name != "." &&
      name != "..") {
    const std::string path = ShowPath(Settings.web->showsFolder, name);
    if (OrdinaryFileExists(path)) return Utf8FromCodePage(path);
  }
  if (OrdinaryFileExists(CodePageFromUtf8(file))) return file;
  return std::string();
}

bool Blank(ShowState state) { return state == ShowState::kBlack || state == ShowState::kWhite; }

}  // namespace

bool ReadFollowedState(std::string_view text, FollowedRoom* room) {
  const nlohmann::json state = nlohmann::json::parse(text, nullptr, false);
  if (!state.is_object()) return false;
  room->known = true;
  room->file = state.value("file", "");
  room->state = state.value("state", "NONE");
  room->slide = state.value("slide", 0);
  auto build = state.find("build");
  room->build = build != state.end() && build->is_object() ? build->value("position", 0) : 0;
  return true;
}

std::string NextFollowStep(Follower& follower, const SharedShowStatus& own,
                           uint64_t nowMilliseconds, std::string* line) {
  const FollowedRoom& main = follower.main;
  // Nothing to follow, or this server is where the main is: caught up.
  auto there = [&follower] {
    follower.catchingUp = false;
    return std::string();
  };
  if (!main.online || !main.known || main.state == "NONE" || main.file.empty()) return there();
  // A step is on its way until this server's state answers it.
  if (follower.waiting && own == follower.answered &&
      nowMilliseconds - follower.steppedAt < kFollowStepMilliseconds) {
    return {};
  }
  follower.waiting = false;
  auto step = [&](std::string command) {
    follower.waiting = true;
    follower.answered = own;
    follower.steppedAt = nowMilliseconds;
    return command;
  };
  if (main.file != follower.openedFor) {
    follower.openedFor = main.file;
    follower.openedPath = FindHere(main.file);
    if (follower.openedPath.empty()) {
      *line = "ERROR: Following \"" + Settings.mqtt->follow + "\": no file \"" +
              CodePageFromUtf8(main.file) + "\" here";
      return there();
    }
    // A show the main has ended already is not opened here to be ended.
    if (main.state == "ENDED" && own->fileName != follower.openedPath) return there();
    if (own->fileName != follower.openedPath || own->state == ShowState::kNone) {
      return step("OPEN " + CodePageFromUtf8(follower.openedPath));
    }
  }
  if (follower.openedPath.empty()) return there();
  // Its show is not (yet) the main's: the OPEN is still on its way.
  if (own->fileName != follower.openedPath || own->slideCount == 0) return {};
  if (main.state == "ENDED") return own->state == ShowState::kEnded ? there() : step("END");
  if (own->state == ShowState::kEnded || own->state == ShowState::kNone) {
    return step("OPEN " + CodePageFromUtf8(follower.openedPath));
  }
  if (own->slide != main.slide && main.slide > 0) return step("GOTO " + std::to_string(main.slide));
  const int32_t build = own->details.buildPosition;
  if (build >= 0 && build < main.build) return step("NEXT");
  if (build > main.build) return step("PREV");
  if (main.state == "BLACK" && own->state != ShowState::kBlack) return step("BLACK");
  if (main.state == "WHITE" && own->state != ShowState::kWhite) return step("WHITE");
  if (main.state == "RUNNING" && Blank(own->state)) return step("RESUME");
  return there();
}
