// The real podiant-server driving a real LibreOffice Impress on a private Xvfb
// display with openbox, over real UDP: OPEN, NEXT and GOTO, bad files, an
// office killed between commands, one that ran already, and a machine without
// the office back end; the further show words and the slide's details with
// the feedback. The slide pictures are asked for in this process, through the
// program's own slide-show area and office back end. The test looks at the
// shows through its own connection to the same office, on the same pipe.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "presentation/slide_images.h"
#include "presentation/slide_show.h"
#include "presentation/slide_show_back_end.h"
#include "tests/e2e/x11/office_probe.h"
#include "tests/support/e2e_support.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/web_client.h"
// Xlib's macros (None, Bool, Status) after the test framework's headers.
#include "tests/e2e/x11/x11_session.h"

// The program's slide-show area runs in this process for the slide pictures:
// there is no window to minimise.
void MinimiseMainWindow() {}

namespace {

constexpr int kStartMs = 20000;
constexpr int kLineMs = 120000;  // an OPEN that starts the office on a busy machine
constexpr auto kShowWait = std::chrono::seconds(60);
const char* const kColours[] = {"#ff0000", "#00ff00", "#0000ff", "#ffff00", "#ff00ff"};

X11Session session;

// A flat ODP of five slides of one colour each, as Impress 7.4 reads it: the
// empty styles element and the page layout keep the slides 28 x 21 cm.
void WritePresentation(const std::string& path) {
  std::string styles;
  std::string pages;
  for (int i = 0; i < 5; ++i) {
    std::string name = "dp" + std::to_string(i);
    styles += "<style:style style:name=\"" + name + "\" style:family=\"drawing-page\">" +
              "<style:drawing-page-properties draw:fill=\"solid\" draw:fill-color=\"" +
              kColours[i] + "\"/></style:style>";
    pages += "<draw:page draw:name=\"s" + std::to_string(i + 1) + "\" draw:style-name=\"" + name +
             "\" draw:master-page-name=\"Default\"/>";
  }
  e2e::WriteTextFile(
      path,
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
      "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
      "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
      "office:version=\"1.2\" office:mimetype=\"application/vnd.oasis.opendocument.presentation\">"
      "<office:styles/><office:automatic-styles><style:page-layout style:name=\"PM1\">"
      "<style:page-layout-properties fo:page-width=\"28cm\" fo:page-height=\"21cm\"/>"
      "</style:page-layout>" +
          styles +
          "</office:automatic-styles><office:master-styles><style:master-page "
          "style:name=\"Default\" style:page-layout-name=\"PM1\"/></office:master-styles>"
          "<office:body><office:presentation>" +
          pages + "</office:presentation></office:body></office:document>\n");
}

// The office processes accepting on `pipe`.
std::vector<pid_t> OfficeProcesses(const std::string& pipe) {
  return e2e::LiveProcessesWith({"soffice.bin", "--accept=pipe,name=" + pipe + ";"});
}

class ImpressServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(StartX11Session(&session, true)); }
  static void TearDownTestSuite() { StopX11Session(&session); }

  void SetUp() override {
    static int serial = 0;
    directory = e2e::MakeTemporaryDirectory();
    // A pipe of this test alone; the profile is kept for the test program's
    // run, so that only its first start makes a new one.
    pipe = "podiant-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    profile = session.directory + "/office-profile";
    e2e::WriteTextFile(directory + "/podiant.ini",
                       "[settings]\nport=" + std::to_string(e2e::FreeUdpPort()) +
                           "\n[impress]\npipe=" + pipe + "\nprofile=" + profile + "\n");
    WritePresentation(directory + "/a.fodp");
  }
  void TearDown() override {
    e2e::StopProcess(server);
    e2e::StopBroker(&broker);
    if (feedback >= 0) close(feedback);
    for (const std::string& name : {pipe, pipe + "-user"}) {
      for (pid_t office : OfficeProcesses(name)) kill(office, SIGKILL);
    }
    e2e::RemoveTree(directory);
  }

  void StartServer(const std::string& program = e2e::BinaryDir() + "/shell/podiant-server") {
    server = e2e::StartProcess({program}, directory, {"DISPLAY=" + session.display});
    ASSERT_TRUE(e2e::WaitForOutput(server, "...\n", kStartMs)) << server.output;
    size_t colon = server.output.find(':', server.output.find("Listening at "));
    port = std::stoi(server.output.substr(colon + 1));
  }

  // Sends a command; waits until `line` follows its R line, or, without one,
  // until a command sent after it has been answered: the lines it wrote are
  // then all there.
  void Send(const std::string& command, const std::string& line = "") {
    size_t mark = server.output.size();
    e2e::SendDatagram(command, port);
    if (line.empty()) {
      e2e::SendDatagram("MARK", port);
      ASSERT_TRUE(
          e2e::WaitForOutput(server, "ERR: Unknown command received \"MARK\"\n", kLineMs, mark))
          << server.output;
    } else {
      ASSERT_TRUE(e2e::WaitForOutput(server, "\n" + line + "\n", kLineMs, mark)) << server.output;
    }
    written = server.output.substr(mark);
  }
  // The lines the last Send wrote other than the R lines and the mark's.
  std::vector<std::string> Written() {
    std::vector<std::string> lines;
    size_t begin = 0;
    for (size_t end; (end = written.find('\n', begin)) != std::string::npos; begin = end + 1) {
      std::string line = written.substr(begin, end - begin);
      if (line.rfind("R ", 0) != 0 && line.find("\"MARK\"") == std::string::npos) {
        lines.push_back(line);
      }
    }
    return lines;
  }

  // The feedback to a socket of the test, with log=on and no heartbeat.
  void WithFeedback() {
    const int feedbackPort = e2e::FreeUdpPort();
    feedback = e2e::HoldUdpPort(feedbackPort);
    ASSERT_GE(feedback, 0);
    e2e::WriteTextFile(directory + "/podiant.ini",
                       e2e::ReadTextFile(directory + "/podiant.ini") + "[feedback]\nto=127.0.0.1:" +
                           std::to_string(feedbackPort) + "\nlog=on\ninterval=0\n");
  }
  // The next `count` datagrams of the feedback other than LOG lines (those go
  // to `logged`), each from the server port, each within `waitMs`.
  std::vector<std::string> Heard(size_t count, int waitMs = kLineMs) {
    std::vector<std::string> status;
    std::string payload;
    int from = 0;
    while (status.size() < count && e2e::ReceiveDatagram(feedback, waitMs, &payload, &from)) {
      EXPECT_EQ(from, port) << payload;
      if (payload.rfind("LOG ", 0) == 0) {
        logged += payload + "\n";
      } else {
        status.push_back(payload);
      }
    }
    return status;
  }

  // The venue link, on a broker of the test's own.
  void WithVenueLink() {
    std::filesystem::create_directories(directory + "/broker");
    ASSERT_TRUE(e2e::StartBroker(&broker, directory + "/broker")) << broker.process.output;
    e2e::WriteTextFile(directory + "/podiant.ini",
                       e2e::ReadTextFile(directory + "/podiant.ini") + "[mqtt]\nbroker=127.0.0.1:" +
                           std::to_string(broker.port) + "\nroom=hall-1\n");
  }
  // Whether the broker comes to keep `value` as the retained message of the
  // room's topic `leaf` (a value, or a field of the state object when it is
  // "state.<field>").
  bool Retains(const std::string& leaf, const std::string& value) {
    return WaitUntil(
        [&] {
          std::string payload;
          if (leaf.rfind("state.", 0) == 0) {
            if (!e2e::Retained(broker, "podiant/hall-1/state", &payload, 1000)) return false;
            const nlohmann::json state = nlohmann::json::parse(payload, nullptr, false);
            return state.is_object() && state[leaf.substr(6)].dump() == value;
          }
          return e2e::Retained(broker, "podiant/hall-1/" + leaf, &payload, 1000) &&
                 payload == value;
        },
        kShowWait);
  }

  std::string Url(const std::string& name) { return OfficeFileUrl(directory + "/" + name); }
  bool ShowAt(const std::string& name, int index, bool paused = false) {
    return WaitUntil(
        [&] {
          OfficeShow show = ReadShow(pipe, Url(name));
          return show.running && show.slides == 5 && show.index == index && show.paused == paused;
        },
        kShowWait);
  }
  int IndexOf(const std::string& name) { return ReadShow(pipe, Url(name)).index; }

  void StopServer() {
    size_t mark = server.output.size();
    e2e::SendSignal(server, SIGTERM);
    ASSERT_TRUE(e2e::WaitForExit(server, kLineMs)) << server.output;
    EXPECT_EQ(server.output.substr(mark),
              "WAITING FOR THREAD TO STOP!\nstopping Impress...\nstopped\nTHREAD STOPPED!\n");
    EXPECT_EQ(e2e::ExitCode(server), 0);
  }

  int feedback = -1;
  e2e::Broker broker;
  std::string logged;  // the LOG lines, each with a line end
  std::string directory;
  std::string pipe;
  std::string profile;
  int port = 0;
  e2e::Process server;
  std::string written;
};

TEST_F(ImpressServer, OpenStartsTheShowThatNextAndGotoSteer) {
  // A name with a blank and an é, sent as the byte 0xE9 and stored as UTF-8.
  WritePresentation(directory + "/Talk \xC3\xA9.fodp");
  e2e::WriteTextFile(directory + "/notes.txt", "not a presentation\n");
  StartServer();
  Send("OPEN " + directory + "/a.fodp");
  EXPECT_EQ(Written(), std::vector<std::string>{"Starting Impress..."});
  ASSERT_TRUE(ShowAt("a.fodp", 0));
  Send("GOTO 4");
  EXPECT_TRUE(ShowAt("a.fodp", 3));
  Send("NEXT");
  EXPECT_TRUE(ShowAt("a.fodp", 4));
  for (const char* nothing : {"GOTO 0", "GOTO 99", "GOTO abc", "GOTO -2"}) {
    Send(nothing);
    EXPECT_TRUE(Written().empty()) << nothing << ": " << written;
  }
  EXPECT_EQ(IndexOf("a.fodp"), 4);

  for (std::string bad : {directory + "/missing.odp", directory + "/notes.txt"}) {
    Send("OPEN " + bad, "Couldn't open presentation");
    EXPECT_EQ(Written(),
              (std::vector<std::string>{"Starting Impress...", "Couldn't open presentation"}));
    EXPECT_TRUE(DialogWindows(session.connection).empty());
  }
  // The failed OPENs left the show as it was.
  Send("GOTO 2");
  EXPECT_TRUE(ShowAt("a.fodp", 1));

  // A relative name: from the server's working directory.
  Send("OPEN Talk \xE9.fodp");
  ASSERT_TRUE(ShowAt("Talk \xC3\xA9.fodp", 0));
  Send("GOTO 3");
  Send("NEXT");
  EXPECT_TRUE(ShowAt("Talk \xC3\xA9.fodp", 3));
  EXPECT_EQ(IndexOf("a.fodp"), 1);
  EXPECT_TRUE(DialogWindows(session.connection).empty());

  StopServer();
  EXPECT_TRUE(WaitUntil([&] { return OfficeProcesses(pipe).empty(); }, kShowWait));
}

// With [feedback] to= a socket of the test and log=on, and the venue link: the
// show's state follows the words and a change made at the PC (through the
// probe), the words steer the show, STATE sends the whole of it, END ends it;
// the broker keeps the state of each moment.
TEST_F(ImpressServer, TheFeedbackFollowsTheShowThatTheFurtherWordsSteer) {
  WithFeedback();
  WithVenueLink();
  StartServer();
  using Lines = std::vector<std::string>;
  const std::string file = directory + "/a.fodp";
  Send("OPEN " + file);
  EXPECT_EQ(Heard(3), (Lines{"FILE " + file, "SHOW RUNNING", "SLIDE 1 5"}));
  ASSERT_TRUE(ShowAt("a.fodp", 0));
  EXPECT_TRUE(Retains("value/file", file));
  EXPECT_TRUE(Retains("value/slide", "1"));
  EXPECT_TRUE(Retains("value/slides", "5"));
  const std::pair<const char*, int> steps[] = {
      {"LAST", 5}, {"first", 1}, {"GOTO 3", 3}, {"PREV", 2}};
  for (const auto& [word, slide] : steps) {
    Send(word);
    EXPECT_TRUE(Written().empty()) << word << ": " << written;
    EXPECT_EQ(Heard(1), Lines{"SLIDE " + std::to_string(slide) + " 5"}) << word;
    EXPECT_TRUE(ShowAt("a.fodp", slide - 1)) << word;
  }
  EXPECT_TRUE(Retains("value/slide", "2"));
  EXPECT_TRUE(Retains("state.slide", "2"));
  // At the PC (how soon it is reported is measured in the bench).
  ASSERT_TRUE(MoveShow(pipe, Url("a.fodp"), 3));
  EXPECT_EQ(Heard(1), Lines{"SLIDE 4 5"});
  const std::pair<const char*, bool> blanks[] = {
      {"BLACK", true}, {"WHITE", true}, {"RESUME", false}};
  for (const auto& [word, paused] : blanks) {
    Send(word);
    EXPECT_EQ(Heard(1), Lines{std::string("SHOW ") + (paused ? word : "RUNNING")});
    EXPECT_TRUE(ShowAt("a.fodp", 3, paused)) << word;
    EXPECT_TRUE(Retains("value/state", paused ? word : "RUNNING")) << word;
  }
  EXPECT_TRUE(Retains("state.state", "\"RUNNING\""));
  EXPECT_TRUE(Retains("state.slide", "4"));
  Send("STATE");
  EXPECT_EQ(Heard(3), (Lines{"FILE " + file, "SHOW RUNNING", "SLIDE 4 5"}));
  Send("END");
  EXPECT_EQ(Heard(1), Lines{"SHOW ENDED"});
  EXPECT_TRUE(WaitUntil([&] { return !ReadShow(pipe, Url("a.fodp")).running; }, kShowWait));
  Send("NEXT");
  EXPECT_TRUE(Written().empty()) << written;
  EXPECT_TRUE(Heard(1, 500).empty());  // nothing but LOG lines any more
  EXPECT_NE(logged.find("LOG Starting Impress...\n"), std::string::npos) << logged;
  EXPECT_EQ(logged.find("LOG R "), std::string::npos) << logged;
  StopServer();
}

// A backup in step with its main over the venue's broker, each with its own
// office: it opens the file of the same name from its own folder of shows,
// also when it starts after the main, and follows the main's slide and black,
// each step an M line of its own; the main stopped is one line at the
// backup, whose show stays where it is.
TEST_F(ImpressServer, ABackupFollowsItsMainOverTheVenueLink) {
  WithVenueLink();
  StartServer();
  const std::string file = directory + "/a.fodp";
  Send("OPEN " + file);
  ASSERT_TRUE(ShowAt("a.fodp", 0));
  Send("GOTO 2");

  const std::string backup = e2e::MakeTemporaryDirectory();
  const std::string backupPipe = pipe + "-backup";
  std::filesystem::create_directories(backup + "/shows");
  WritePresentation(backup + "/shows/a.fodp");
  const int backupPort = e2e::FreeUdpPort();
  e2e::WriteTextFile(backup + "/podiant.ini",
                     "[settings]\nport=" + std::to_string(backupPort) +
                         "\n[impress]\npipe=" + backupPipe + "\nprofile=" + profile +
                         "-backup\n[web]\nport=" + std::to_string(e2e::FreeTcpPort()) +
                         "\nshows=shows\n[mqtt]\nbroker=127.0.0.1:" + std::to_string(broker.port) +
                         "\nroom=hall-1-backup\nfollow=hall-1\n");
  e2e::Process follower = e2e::StartProcess({e2e::BinaryDir() + "/shell/podiant-server"}, backup,
                                            {"DISPLAY=" + session.display});
  const std::string backupFile = OfficeFileUrl(backup + "/shows/a.fodp");
  auto backupAt = [&](int index, bool paused = false) {
    return WaitUntil(
        [&] {
          OfficeShow show = ReadShow(backupPipe, backupFile);
          return show.running && show.index == index && show.paused == paused;
        },
        kShowWait);
  };
  EXPECT_TRUE(backupAt(1)) << follower.output;
  EXPECT_TRUE(e2e::WaitForOutput(follower, "/shows/a.fodp\"\n", kLineMs)) << follower.output;
  EXPECT_NE(follower.output.find("\nM follow hall-1 "), std::string::npos) << follower.output;
  Send("GOTO 4");
  EXPECT_TRUE(backupAt(3)) << follower.output;
  // An operator takes over at the backup: the backup stays where it was put
  // until the main changes again.
  size_t mark = follower.output.size();
  e2e::SendDatagram("GOTO 5", backupPort);
  EXPECT_TRUE(backupAt(4)) << follower.output;
  e2e::SendDatagram("MARK", backupPort);
  ASSERT_TRUE(e2e::WaitForOutput(follower, "\"MARK\"\n", kLineMs, mark)) << follower.output;
  EXPECT_EQ(follower.output.find("\nM follow", mark), std::string::npos) << follower.output;
  EXPECT_EQ(IndexOf("a.fodp"), 3);
  EXPECT_EQ(ReadShow(backupPipe, backupFile).index, 4);
  Send("BLACK");
  EXPECT_TRUE(backupAt(3, true)) << follower.output;
  EXPECT_TRUE(e2e::WaitForOutput(follower, " -> \"BLACK\"\n", kLineMs)) << follower.output;

  StopServer();
  EXPECT_TRUE(e2e::WaitForOutput(follower, "\nFollowing \"hall-1\": it is offline\n", kLineMs))
      << follower.output;
  EXPECT_TRUE(backupAt(3, true));
  e2e::StopProcess(follower);
  for (pid_t office : OfficeProcesses(backupPipe)) kill(office, SIGKILL);
  e2e::RemoveTree(backup);
}

TEST_F(ImpressServer, AKilledOfficeIsStartedAfreshByTheNextOpen) {
  WithFeedback();
  StartServer();
  Send("OPEN " + directory + "/a.fodp");
  ASSERT_TRUE(ShowAt("a.fodp", 0));
  EXPECT_EQ(Heard(3).back(), "SLIDE 1 5");
  std::vector<pid_t> first = OfficeProcesses(pipe);
  ASSERT_EQ(first.size(), 1u);
  kill(first[0], SIGKILL);
  ASSERT_TRUE(WaitUntil([&] { return OfficeProcesses(pipe).empty(); }, kShowWait));
  EXPECT_EQ(Heard(1), std::vector<std::string>{"SHOW NONE"});
  Send("NEXT");
  EXPECT_TRUE(Written().empty()) << written;
  Send("GOTO 2");
  EXPECT_TRUE(Written().empty()) << written;

  Send("OPEN a.fodp");
  ASSERT_TRUE(ShowAt("a.fodp", 0));
  std::vector<pid_t> second = OfficeProcesses(pipe);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(second[0], first[0]);

  // A PowerPoint file that the office made of the presentation plays too.
  ASSERT_TRUE(ConvertToPptx(pipe, Url("a.fodp"), Url("a.pptx")));
  Send("OPEN " + directory + "/a.pptx");
  ASSERT_TRUE(ShowAt("a.pptx", 0));
  Send("GOTO 5");
  EXPECT_TRUE(ShowAt("a.pptx", 4));
  StopServer();
  EXPECT_TRUE(WaitUntil([&] { return OfficeProcesses(pipe).empty(); }, kShowWait));
}

// An office that the user started, on the profile the server is given and
// accepting on a pipe of the user's: the server's start of the office hands
// the server's pipe to it, and the next run of the server finds it there.
// Neither run starts an office of its own, and neither quits this one.
TEST_F(ImpressServer, AnOfficeThatRanAlreadyIsAttachedToAndKeepsRunning) {
  std::string userPipe = pipe + "-user";
  ChildProcess office;
  auto startOffice = [&] {
    office = StartChild({"/usr/lib/libreoffice/program/soffice.bin",
                         "--accept=pipe,name=" + userPipe + ";urp;StarOffice.ComponentContext",
                         "-env:UserInstallation=" + OfficeFileUrl(profile), "--norestore",
                         "--nologo", "--nodefault"},
                        {"DISPLAY=" + session.display}, false);
  };
  startOffice();
  // On a new profile it ends with 81 once and is started again.
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (ChildHasEnded(&office)) startOffice();
        return ProbeConnects(userPipe);
      },
      kShowWait));
  for (int run = 0; run < 2; ++run) {
    StartServer();
    Send("OPEN " + directory + "/a.fodp");
    ASSERT_TRUE(ShowAt("a.fodp", 0)) << run;
    StopServer();
    EXPECT_TRUE(WaitUntil([&] { return !ReadShow(pipe, Url("a.fodp")).open; }, kShowWait)) << run;
    EXPECT_FALSE(ChildHasEnded(&office)) << run;
    EXPECT_TRUE(OfficeProcesses(pipe).empty()) << run;
  }
  StopChild(&office);
}

// The program without its office module beside it, as on a machine without
// LibreOffice: OPEN shows the notice and fails, the rest goes on.
TEST_F(ImpressServer, WithoutTheOfficeOpenShowsTheNoticeAndTheServerGoesOn) {
  std::string program = directory + "/bin/podiant-server";
  int status = 0;
  e2e::RunProgram({"install", "-D", e2e::BinaryDir() + "/shell/podiant-server", program}, directory,
                  &status);
  ASSERT_EQ(status, 0);
  StartServer(program);
  Send("OPEN a.fodp", "Couldn't open presentation");
  EXPECT_EQ(Written(),
            (std::vector<std::string>{"Starting Impress...", "[] Impress could not be opened.",
                                      "Please check that LibreOffice Impress is installed.",
                                      "Couldn't open presentation"}));
  Send("NEXT");
  EXPECT_TRUE(Written().empty()) << written;
  StopServer();
  EXPECT_TRUE(OfficeProcesses(pipe).empty());
}

// With [feedback] notes=on, on a presentation that the office made: the
// slide's title, notes, build and next slide follow the words and a move at
// the PC, forwards and backwards through the builds; the hidden slide is
// skipped as the next slide but keeps its number.
TEST_F(ImpressServer, TheFeedbackTellsTheSlidesTitleNotesBuildAndNextSlide) {
  WithFeedback();
  e2e::WriteTextFile(directory + "/podiant.ini",
                     e2e::ReadTextFile(directory + "/podiant.ini") + "notes=on\n");
  StartServer();
  using Lines = std::vector<std::string>;
  // Pages written by hand: no title, no notes.
  Send("OPEN " + directory + "/a.fodp");
  EXPECT_EQ(Heard(7), (Lines{"FILE " + directory + "/a.fodp", "SHOW RUNNING", "SLIDE 1 5", "TITLE ",
                             "BUILD 0 0", "NEXTSLIDE 2 ", "NOTES "}));
  // One show at a time: two full-screen shows take the focus from each other.
  Send("END");
  EXPECT_EQ(Heard(1), Lines{"SHOW ENDED"});
  const std::string deck = directory + "/details.odp";
  ASSERT_TRUE(MakeDetailsPresentation(
      pipe, deck, "First paragraph\nThe caf\xC3\xA9 costs 3 \xE2\x82\xAC\n\n\xE2\x86\x92 the end"));
  // The probe's own copy of the deck is gone from the office before the
  // program opens it: its close may still be settling there.
  ASSERT_TRUE(WaitUntil([&] { return !ReadShow(pipe, Url("details.odp")).open; }, kShowWait));
  Send("OPEN " + deck);
  // Line breaks as CR, the text in Windows-1252, '?' for the arrow it lacks.
  ASSERT_EQ(Heard(7), (Lines{"FILE " + deck, "SHOW RUNNING", "SLIDE 1 6", "TITLE Welcome",
                             "BUILD 0 0", "NEXTSLIDE 2 Builds",
                             "NOTES First paragraph\rThe caf\xE9 costs 3 \x80\r\r? the end"}));
  const Lines builds{"SLIDE 2 6", "TITLE Builds", "BUILD 0 2", "NEXTSLIDE 4 No notes",
                     "NOTES Two clicks on this slide"};
  Lines buildsDone = builds;
  buildsDone[2] = "BUILD 2 2";
  const std::pair<const char*, Lines> steps[] = {
      {"NEXT", builds},
      {"NEXT", {"BUILD 1 2"}},
      {"NEXT", {"BUILD 2 2"}},
      {"NEXT", {"SLIDE 4 6", "TITLE No notes", "BUILD 0 0", "NEXTSLIDE 5 ", "NOTES "}},
      {"PREV", buildsDone},  // back into the slide with its builds shown
      {"PREV", {"BUILD 1 2"}},
      {"PREV", {"BUILD 0 2"}},
      {"NEXT", {"BUILD 1 2"}},
      {"GOTO 3", {"SLIDE 3 6", "TITLE Hidden", "BUILD 0 0", "NOTES Never shown"}},
      {"LAST", {"SLIDE 6 6", "TITLE The end", "NEXTSLIDE 0 ", "NOTES Last"}},
  };
  for (const auto& [word, lines] : steps) {
    Send(word);
    EXPECT_EQ(Heard(lines.size()), lines) << word;
  }
  Send("GOTO 7");  // beyond the count
  EXPECT_TRUE(Heard(1, 500).empty());
  // At the PC (the probe's first look at the documents may meet the one it
  // made while that is still going).
  ASSERT_TRUE(WaitUntil([&] { return MoveShow(pipe, Url("details.odp"), 4); }, kShowWait));
  EXPECT_EQ(Heard(4),
            (Lines{"SLIDE 5 6", "TITLE ", "NEXTSLIDE 6 The end", "NOTES The title is a picture"}));
  Send("STATE");
  EXPECT_EQ(Heard(7), (Lines{"FILE " + deck, "SHOW RUNNING", "SLIDE 5 6", "TITLE ", "BUILD 0 0",
                             "NEXTSLIDE 6 The end", "NOTES The title is a picture"}));
  StopServer();
}

// The width and height in a PNG's header; 0 x 0 for anything else.
std::pair<uint32_t, uint32_t> PngSize(const std::string& png) {
  auto number = [&](size_t at) {
    uint32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) value = value << 8 | static_cast<unsigned char>(png[i]);
    return value;
  };
  if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
  return {number(16), number(20)};
}

// Every file and folder below `folder`.
std::set<std::string> FilesBelow(const std::string& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
    names.insert(entry.path().string());
  }
  return names;
}

// The slide pictures, asked for in this process as the web remote asks for
// them, exported by the office of this process's OPEN while its show stands
// black on a slide with one build taken: PNGs of the asked width and the
// slide's aspect, by the document's numbers (the hidden slide too), the
// second time from memory; the show, its blank screen, the foreground window
// and the keys stay as they were, and no file is left behind.
TEST_F(ImpressServer, SlidePicturesAreExportedWithoutDisturbingTheShow) {
  std::string png;
  EXPECT_EQ(ExportShowSlide(1, 640, &png), SlideExport::kNoShow);
  // The office inherits the temporary folder of this process (for this test).
  struct Temporary {
    explicit Temporary(const std::string& folder) {
      if (const char* set = std::getenv("TMPDIR")) before = set;
      std::filesystem::create_directory(folder);
      setenv("TMPDIR", folder.c_str(), 1);
    }
    ~Temporary() { before.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", before.c_str(), 1); }
    std::string before;
  } temporary(directory + "/tmp");
  LoadShowSettings(directory + "/podiant.ini");
  HandleSlideShowCommand(CommandWord::kOpen, directory + "/a.fodp");
  ASSERT_TRUE(ShowAt("a.fodp", 0));
  HandleSlideShowCommand(CommandWord::kEnd, "");  // one show at a time
  const std::string deck = directory + "/details.odp";
  ASSERT_TRUE(MakeDetailsPresentation(pipe, deck, "Notes"));
  // The probe's own copy of the deck is gone from the office before the
  // program opens it: its close may still be settling there.
  ASSERT_TRUE(WaitUntil([&] { return !ReadShow(pipe, Url("details.odp")).open; }, kShowWait));
  HandleSlideShowCommand(CommandWord::kOpen, deck);
  // The build position is followed from the first reading on.
  EXPECT_EQ(ReadShow(true, true).details.buildCount, 0);
  HandleSlideShowCommand(CommandWord::kNext, "");
  HandleSlideShowCommand(CommandWord::kNext, "");
  HandleSlideShowCommand(CommandWord::kBlack, "");
  OfficeShow seen;
  ASSERT_TRUE(WaitUntil(
      [&] {
        seen = ReadShow(pipe, Url("details.odp"));
        return seen.index == 1 && seen.paused;
      },
      kShowWait))
      << "last seen: open " << seen.open << ", running " << seen.running << ", slide index "
      << seen.index << " of " << seen.slides << ", paused " << seen.paused << "; offices "
      << OfficeProcesses(pipe).size() << "; this process's show "
      << static_cast<int>(ReadShow(false, false).state);
  // The new slide's details come at the reading after the one that finds it.
  ShowReading before = ReadShow(true, true);
  if (before.detailsFollow) before = ReadShow(true, true);
  EXPECT_EQ(before.details.buildPosition, 1);
  const Window active = ActiveWindow(session.connection);
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(session.connection, &focus, &revert);
  const std::set<std::string> files = FilesBelow(directory + "/tmp");

  std::vector<SlideImageAnswer> answers;
  auto keep = [&](const SlideImageAnswer& answer) { answers.push_back(answer); };
  RequestSlideImage(2, 640, keep);  // the slide shown
  RequestSlideImage(3, 160, keep);  // the hidden slide
  RequestSlideImage(7, 640, keep);  // beyond the count
  while (SlideImagesWaiting()) ExportWaitingSlideImage();
  RequestSlideImage(2, 640, keep);  // kept: answered at once
  ASSERT_EQ(answers.size(), 4u);
  ASSERT_EQ(answers[0].outcome, SlideImageOutcome::kImage);
  EXPECT_EQ(PngSize(*answers[0].png), std::make_pair(640u, 360u));
  ASSERT_EQ(answers[1].outcome, SlideImageOutcome::kImage);
  EXPECT_EQ(PngSize(*answers[1].png), std::make_pair(160u, 90u));
  EXPECT_EQ(answers[2].outcome, SlideImageOutcome::kNoSlide);
  EXPECT_EQ(answers[3].png, answers[0].png);

  OfficeShow show = ReadShow(pipe, Url("details.odp"));
  EXPECT_TRUE(show.index == 1 && show.paused) << show.index;
  ShowReading after = ReadShow(true, true);
  EXPECT_EQ(after.state, ShowState::kBlack);
  EXPECT_EQ(after.details, before.details);  // the slide was not displayed anew
  EXPECT_EQ(ActiveWindow(session.connection), active);
  Window focusAfter = 0;
  XGetInputFocus(session.connection, &focusAfter, &revert);
  EXPECT_EQ(focusAfter, focus);
  EXPECT_TRUE(NoKeyIsDown(session.connection));
  EXPECT_EQ(FilesBelow(directory + "/tmp"), files);

  EndShowSession();
  EXPECT_EQ(ExportShowSlide(2, 640, &png), SlideExport::kNoShow);
}

}  // namespace
