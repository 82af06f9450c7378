// The feedback on a real LibreOffice Impress: how soon a change of the show
// reaches a controller as its SLIDE and NOTES datagrams, what following the
// show costs the idle server, and how long a slide picture takes.
//
//   feedback-bench [--server PATH] [--quick]
//
// Starts an Xvfb display of its own (with openbox when it is there), and the
// server in a temporary directory whose podiant.ini gives it a pipe and an
// office profile of its own ([impress]) and its feedback to a socket of this
// program ([feedback], no heartbeat). It OPENs a presentation of five slides
// and measures:
//   - from sending "GOTO n" to the SLIDE datagram that reports slide n;
//   - from a key pressed at the PC (xdotool key Right or Left, from the start
//     of xdotool; the show window has the focus) to its SLIDE datagram;
//   - the server's CPU time while the show stands open for a while, with the
//     feedback on, and in a later run without it.
// In a second run with [feedback] notes=on it lets the office make the
// presentation of the Impress tests (six slides with titles and notes,
// through tests/e2e/x11/office_probe.cpp) and OPENs it:
//   - from sending "GOTO n" to the SLIDE datagram and to the NOTES datagram;
//   - the server's CPU time while that show stands open.
// Then, in this process, through the program's own slide-show area and office
// back end (an office of its own): each slide's picture at 640 pixels as the
// web remote asks for it (RequestSlideImage and the server thread's
// ExportWaitingSlideImage), the first time and again from memory.
// The figures are rows of the bench table (scripts/bench.sh prints the
// header), in the first column; a row that cannot be measured here (no Xvfb,
// no LibreOffice, no xdotool) says why. Progress goes to standard error.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_stats.h"
#include "presentation/slide_images.h"
#include "presentation/slide_show.h"
#include "presentation/slide_show_back_end.h"
#include "tests/e2e/x11/office_probe.h"

// The slide-show area runs in this process for the pictures: no window.
void MinimiseMainWindow() {}

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string serverPath = PODIANT_SERVER_PATH;
  int gotoSamples = 50;
  int keySamples = 20;
  int idleSeconds = 10;
};
Options options;

std::string directory;  // the server's working directory
std::string pipeName;

void Progress(const std::string& text) {
  std::fprintf(stderr, "feedback-bench: %s\n", text.c_str());
}

void Row(const std::string& measure, const std::string& value) {
  std::printf("| %s | %s | – | – | – | – | – |\n", measure.c_str(), value.c_str());
}

bool Executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// The program's path along PATH; empty when it is not there.
std::string Found(const std::string& program) {
  std::stringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
  for (std::string part; std::getline(path, part, ':');) {
    if (Executable(part + "/" + program)) return part + "/" + program;
  }
  return "";
}

pid_t Start(const std::vector<std::string>& argv, const std::string& display, int output = -1) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    int quiet = open("/dev/null", O_WRONLY);
    dup2(output >= 0 ? output : quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void Stop(pid_t pid, int signalNumber = SIGTERM) {
  if (pid <= 0) return;
  kill(pid, signalNumber);
  for (int waited = 0; waited < 30000; waited += 10) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// An Xvfb display of its own: its name, or empty.
std::string StartDisplay(pid_t* xvfb) {
  std::string program = Found("Xvfb");
  int fds[2];
  if (program.empty() || pipe(fds) != 0) return "";
  *xvfb = Start({program, "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp"},
                "");
  close(fds[1]);
  pollfd wait{fds[0], POLLIN, 0};
  char number[16] = {};
  ssize_t n = poll(&wait, 1, 20000) == 1 ? read(fds[0], number, sizeof number - 1) : -1;
  close(fds[0]);
  if (n <= 0) return "";
  return ":" + std::string(number, static_cast<size_t>(n - (number[n - 1] == '\n' ? 1 : 0)));
}

// Waits for the datagram `text` on `fd`, skipping others; false after `ms`.
// With `prefix`, a datagram that begins with it will do.
bool Hear(int fd, const std::string& text, int ms, bool prefix = false) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    pollfd wait{fd, POLLIN, 0};
    if (left <= 0 || poll(&wait, 1, left) != 1) return false;
    char buffer[66000];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0) continue;
    std::string heard(buffer, static_cast<size_t>(n));
    if (heard == text || (prefix && heard.rfind(text, 0) == 0)) return true;
  }
}

std::string Milliseconds(const std::vector<double>& values) {
  if (values.empty()) return "–";
  char text[64];
  std::snprintf(text, sizeof text, "%.1f / %.1f ms", Percentile(values, 0.5),
                Percentile(values, 0.99));
  return text;
}

// Run time of all the threads of `pid`, in microseconds.
double CpuMicroseconds(pid_t pid) {
  double total = 0;
  std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  while (dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
    double runNs = 0;
    if (stat >> runNs) total += runNs / 1000;
  }
  if (dir != nullptr) closedir(dir);
  return total;
}

void WritePresentation(const std::string& path) {
  const char* colours[] = {"#ff0000", "#00ff00", "#0000ff", "#ffff00", "#ff00ff"};
  std::string styles, pages;
  for (int i = 0; i < 5; ++i) {
    std::string name = "dp" + std::to_string(i);
    styles += "<style:style style:name=\"" + name + "\" style:family=\"drawing-page\">" +
              "<style:drawing-page-properties draw:fill=\"solid\" draw:fill-color=\"" + colours[i] +
              "\"/></style:style>";
    pages += "<draw:page draw:name=\"s" + std::to_string(i + 1) + "\" draw:style-name=\"" + name +
             "\" draw:master-page-name=\"Default\"/>";
  }
  std::ofstream(path)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
         "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
         "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
         "office:version=\"1.2\" "
         "office:mimetype=\"application/vnd.oasis.opendocument.presentation\">"
         "<office:styles/><office:automatic-styles><style:page-layout style:name=\"PM1\">"
         "<style:page-layout-properties fo:page-width=\"28cm\" fo:page-height=\"21cm\"/>"
         "</style:page-layout>"
      << styles
      << "</office:automatic-styles><office:master-styles><style:master-page "
         "style:name=\"Default\" style:page-layout-name=\"PM1\"/></office:master-styles>"
         "<office:body><office:presentation>"
      << pages << "</office:presentation></office:body></office:document>\n";
}

// Ends what is left of the office of this run (the server quits it itself).
void EndOffice() {
  DIR* processes = opendir("/proc");
  while (dirent* entry = processes != nullptr ? readdir(processes) : nullptr) {
    pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream file("/proc/" + std::string(entry->d_name) + "/cmdline");
    std::string command((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (command.find("pipe,name=" + pipeName + ";") != std::string::npos) kill(pid, SIGKILL);
  }
  if (processes != nullptr) closedir(processes);
}

// One run of the server on `display`, with the feedback to `feedbackPort`
// (0: without the feedback), and `notes=on` with `notes`; OPENs the
// presentation and waits until its show is up. The server's pid, or -1.
pid_t StartServerWithShow(const std::string& display, int serverPort, int feedback,
                          int feedbackPort, int sender, bool notes = false) {
  std::ofstream ini(directory + "/podiant.ini");
  // A profile of each run's own: the office of the last run may still hold its
  // profile's lock while it ends.
  ini << "[settings]\nport=" << serverPort << "\n[impress]\npipe=" << pipeName
      << "\nprofile=" << directory << "/profile-" << feedbackPort << (notes ? "-notes" : "")
      << "\n";
  if (feedbackPort != 0) ini << "[feedback]\nto=127.0.0.1:" << feedbackPort << "\ninterval=0\n";
  if (notes) ini << "notes=on\n";
  ini.close();
  pid_t server = Start({options.serverPath}, display);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  SendTo(sender, serverPort, "OPEN " + directory + "/show.fodp");
  if (feedbackPort != 0) return Hear(feedback, "SLIDE 1 5", 120000) ? server : -1;
  // Without the feedback: the show's window tells.
  std::string xdotool = Found("xdotool");
  for (int waited = 0; !xdotool.empty() && waited < 120000; waited += 200) {
    std::string command =
        "DISPLAY=" + display + " " + xdotool + " search --name '^Presenting' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) return server;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return -1;
}

// After the show has come up (and its first events have been taken).
double IdleCpu(pid_t server) {
  std::this_thread::sleep_for(std::chrono::seconds(3));
  double before = CpuMicroseconds(server);
  std::this_thread::sleep_for(std::chrono::seconds(options.idleSeconds));
  return CpuMicroseconds(server) - before;
}

// The run with notes=on: GOTO to its SLIDE and to its NOTES datagram, on the
// presentation that the office makes; the server's idle CPU time (-1 when the
// show did not come up).
double MeasureNotes(const std::string& display, int serverPort, int feedback, int feedbackPort,
                    int sender) {
  const std::string slideRow =
      "Impress, notes=on: GOTO datagram to its SLIDE datagram, p50 / p99 (" +
      std::to_string(options.gotoSamples) + ")";
  const std::string notesRow =
      "Impress, notes=on: GOTO datagram to its NOTES datagram, p50 / p99 (" +
      std::to_string(options.gotoSamples) + ")";
  Progress("the show with notes=on");
  pid_t server = StartServerWithShow(display, serverPort, feedback, feedbackPort, sender, true);
  const std::string deck = directory + "/details.odp";
  // One show at a time: two full-screen shows take the focus from each other.
  SendTo(sender, serverPort, "END");
  bool made = server >= 0 && Hear(feedback, "SHOW ENDED", 10000) &&
              MakeDetailsPresentation(pipeName, deck, "First\nSecond\nThird");
  if (made) {
    SendTo(sender, serverPort, "OPEN " + deck);
    made = Hear(feedback, "SLIDE 1 6", 120000);
  }
  if (!made) {
    for (const std::string& row : {slideRow, notesRow}) Row(row, "– (the show did not come up)");
    Stop(server);
    EndOffice();
    return -1;
  }
  double idle = IdleCpu(server);
  std::vector<double> slides, notes;
  for (int i = 0; i < options.gotoSamples; ++i) {
    int slide = 2 + i % 5;  // never the slide shown before; each with other notes than slide 1
    Clock::time_point sent = Clock::now();
    SendTo(sender, serverPort, "GOTO " + std::to_string(slide));
    if (Hear(feedback, "SLIDE " + std::to_string(slide) + " 6", 10000)) {
      slides.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
      if (Hear(feedback, "NOTES ", 10000, true)) {
        notes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
      }
    }
    SendTo(sender, serverPort, "GOTO 1");
    Hear(feedback, "SLIDE 1 6", 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Row(slideRow, Milliseconds(slides));
  Row(notesRow, Milliseconds(notes));
  Stop(server);
  EndOffice();
  return idle;
}

// The slide pictures, in this process: the show of the presentation that the
// notes run made, on an office of this process's own.
void MeasurePictures(const std::string& display) {
  const std::string firstRow =
      "Impress, a slide's picture at 640 px (in process): the office's first export / each "
      "further slide's first, p50";
  const std::string keptRow =
      "Impress, a slide's picture at 640 px kept: RequestSlideImage, p50 / p99";
  const std::string deck = directory + "/details.odp";
  if (access(deck.c_str(), R_OK) != 0) {
    for (const std::string& row : {firstRow, keptRow}) Row(row, "– (no presentation)");
    return;
  }
  Progress("slide pictures in process");
  setenv("DISPLAY", display.c_str(), 1);
  std::ofstream(directory + "/pictures.ini")
      << "[impress]\npipe=" << pipeName << "-pictures\nprofile=" << directory
      << "/profile-pictures\n";
  LoadShowSettings(directory + "/pictures.ini");
  HandleSlideShowCommand(CommandWord::kOpen, deck);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  std::vector<double> firsts;
  bool failed = false;
  auto answered = [&](const SlideImageAnswer& answer) {
    failed = failed || answer.outcome != SlideImageOutcome::kImage;
  };
  for (int slide = 1; slide <= 6; ++slide) {
    Clock::time_point asked = Clock::now();
    RequestSlideImage(slide, 640, answered);
    ExportWaitingSlideImage();
    firsts.push_back(std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
  }
  std::vector<double> kept;
  for (int i = 0; i < 1000; ++i) {
    Clock::time_point asked = Clock::now();
    RequestSlideImage(1 + i % 6, 640, answered);
    kept.push_back(std::chrono::duration<double, std::micro>(Clock::now() - asked).count());
  }
  EndShowSession();
  if (failed) {
    for (const std::string& row : {firstRow, keptRow}) Row(row, "– (an export failed)");
    return;
  }
  const double first = firsts.front();
  firsts.erase(firsts.begin());
  Row(firstRow, Format("%.1f ms / ", first) + Format("%.1f ms", Percentile(firsts, 0.5)));
  Row(keptRow,
      Format("%.1f", Percentile(kept, 0.5)) + Format(" / %.1f µs", Percentile(kept, 0.99)));
}

void Measure(const std::string& display) {
  const std::string gotoRow =
      "Impress, feedback: GOTO datagram to its SLIDE datagram, p50 / p99 (" +
      std::to_string(options.gotoSamples) + ")";
  const std::string keyRow =
      "Impress, feedback: a key at the PC (xdotool) to its SLIDE datagram, p50 / p99 (" +
      std::to_string(options.keySamples) + ")";
  const std::string idleRow = "Impress, a show open: server CPU idle in " +
                              std::to_string(options.idleSeconds) +
                              " s (schedstat), feedback on / with notes=on / off";
  int feedbackPort = 0, senderPort = 0, serverPort = 0;
  int feedback = BoundSocket(&feedbackPort);
  int sender = BoundSocket(&senderPort);
  close(BoundSocket(&serverPort));

  Progress("starting the server and its office on " + display);
  pid_t server = StartServerWithShow(display, serverPort, feedback, feedbackPort, sender);
  if (server < 0) {
    for (const std::string& row : {gotoRow, keyRow, idleRow})
      Row(row, "– (the show did not come up)");
    return;
  }
  double idleOn = IdleCpu(server);

  Progress("GOTO");
  std::vector<double> gotos;
  for (int i = 0; i < options.gotoSamples; ++i) {
    int slide = 2 + i % 4;  // never the slide shown before
    Clock::time_point sent = Clock::now();
    SendTo(sender, serverPort, "GOTO " + std::to_string(slide));
    if (Hear(feedback, "SLIDE " + std::to_string(slide) + " 5", 10000)) {
      gotos.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    }
    SendTo(sender, serverPort, "GOTO 1");
    Hear(feedback, "SLIDE 1 5", 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Row(gotoRow, Milliseconds(gotos));

  Progress("keys");
  std::vector<double> keys;
  std::string xdotool = Found("xdotool");
  for (int i = 0; !xdotool.empty() && i < options.keySamples; ++i) {
    const bool forwards = i % 2 == 0;
    Clock::time_point pressed = Clock::now();
    pid_t key = Start({xdotool, "key", forwards ? "Right" : "Left"}, display);
    if (Hear(feedback, forwards ? "SLIDE 2 5" : "SLIDE 1 5", 10000)) {
      keys.push_back(std::chrono::duration<double, std::milli>(Clock::now() - pressed).count());
    }
    waitpid(key, nullptr, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  Row(keyRow, xdotool.empty() ? "– (no xdotool)" : Milliseconds(keys));
  Stop(server);
  EndOffice();

  double idleNotes = MeasureNotes(display, serverPort, feedback, feedbackPort, sender);

  Progress("the show open without the feedback");
  server = StartServerWithShow(display, serverPort, feedback, 0, sender);
  double idleOff = server < 0 ? -1 : IdleCpu(server);
  Stop(server);
  EndOffice();
  auto micro = [](double value) {
    return value < 0 ? std::string("–") : std::to_string(static_cast<long long>(value)) + " µs";
  };
  Row(idleRow, micro(idleOn) + " / " + micro(idleNotes) + " / " +
                   (idleOff < 0 ? "– (the show was not seen: needs xdotool)" : micro(idleOff)));
  close(feedback);
  close(sender);
  MeasurePictures(display);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--server" && i + 1 < argc) {
      options.serverPath = argv[++i];
    } else if (arg == "--quick") {
      options.gotoSamples = 10;
      options.keySamples = 4;
      options.idleSeconds = 2;
    } else {
      std::fprintf(stderr, "usage: feedback-bench [--server PATH] [--quick]\n");
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  pid_t xvfb = -1;
  std::string display = StartDisplay(&xvfb);
  char pattern[] = "/tmp/podiant-feedback-bench-XXXXXX";
  if (display.empty() || !Executable("/usr/lib/libreoffice/program/soffice.bin") ||
      mkdtemp(pattern) == nullptr) {
    Row("Impress, feedback", "– (needs Xvfb and LibreOffice Impress)");
    Stop(xvfb);
    return 0;
  }
  directory = pattern;
  pipeName = "podiant-bench-" + std::to_string(getpid());
  WritePresentation(directory + "/show.fodp");
  pid_t openbox = Found("openbox").empty() ? -1 : Start({Found("openbox")}, display);
  Measure(display);
  Stop(openbox);
  Stop(xvfb);
  std::system(("rm -rf '" + directory + "'").c_str());
  return 0;
}
