#include "tests/support/mqtt_broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace e2e {

bool StartBroker(Broker* broker, const std::string& directory, const std::string& settings,
                 int port) {
  broker->directory = directory;
  const bool passwords = settings.find("password_file") != std::string::npos;
  // Started by root, Mosquitto would become its own user, which cannot read
  // the test's files: it stays the test's user.
  const passwd* user = getpwuid(getuid());
  // A port of its own choice may be taken by another test meanwhile: then
  // another one.
  for (int attempt = 0; attempt < (port != 0 ? 1 : 5); ++attempt) {
    broker->port = port != 0 ? port : FreeTcpPort();
    WriteTextFile(directory + "/mosquitto.conf",
                  "listener " + std::to_string(broker->port) + " 127.0.0.1\n" +
                      (user != nullptr ? "user " + std::string(user->pw_name) + "\n" : "") +
                      (passwords ? "" : "allow_anonymous true\n") + settings);
    // Not verbose: nobody reads the broker's output while a test runs, and a
    // line per message would fill its pipe and stop the broker.
    broker->process = StartProcess({"mosquitto", "-c", directory + "/mosquitto.conf"}, directory);
    // "running" comes once every listener listens; a listener that could not
    // be opened ends the broker instead.
    if (WaitForOutput(broker->process, " running\n", 10000)) return true;
    StopProcess(broker->process);
    if (broker->process.output.find("Address already in use") == std::string::npos) break;
  }
  return false;
}

void StopBroker(Broker* broker) { StopProcess(broker->process); }

std::string MakePasswordFile(const Broker& broker, const std::vector<std::string>& users) {
  const std::string path = broker.directory + "/passwords";
  WriteTextFile(path, "");
  for (const std::string& user : users) {
    const size_t colon = user.find(':');
    int exitCode = -1;
    RunProgram({"mosquitto_passwd", "-b", path, user.substr(0, colon), user.substr(colon + 1)},
               broker.directory, &exitCode);
  }
  return path;
}

std::vector<std::string> Credentials(const std::string& user, const std::string& password) {
  return {"-u", user, "-P", password};
}

bool Publish(const Broker& broker, const std::string& topic, const std::string& payload,
             bool retained, const std::vector<std::string>& credentials) {
  std::vector<std::string> argv{
      "mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker.port), "-q", "1", "-t",
      topic,           "-m", payload};
  if (retained) argv.push_back("-r");
  argv.insert(argv.end(), credentials.begin(), credentials.end());
  int exitCode = -1;
  RunProgram(argv, broker.directory, &exitCode);
  return exitCode == 0;
}

bool Retained(const Broker& broker, const std::string& topic, std::string* payload, int timeoutMs) {
  int exitCode = -1;
  std::string output = RunProgram(
      {"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(broker.port), "-t", topic, "-C",
       "1", "-W", std::to_string((timeoutMs + 999) / 1000), "--retained-only"},
      broker.directory, &exitCode, timeoutMs + 5000);
  if (exitCode != 0 || output.empty()) return false;
  if (output.back() == '\n') output.pop_back();
  *payload = output;
  return true;
}

Process Subscribe(const Broker& broker, const std::string& topic,
                  const std::vector<std::string>& credentials) {
  std::vector<std::string> argv{
      "mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(broker.port), "-v", "-t", topic};
  argv.insert(argv.end(), credentials.begin(), credentials.end());
  return StartProcess(argv, broker.directory);
}

}  // namespace e2e
