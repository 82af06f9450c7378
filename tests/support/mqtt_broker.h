// Debian's Mosquitto for the tests of the venue link: a broker of the test's
// own on a free loopback port, and its reference clients (mosquitto_pub,
// mosquitto_sub) as the other side.
#pragma once

#include <string>
#include <vector>

#include "tests/support/e2e_support.h"

namespace e2e {

struct Broker {
  Process process;
  int port = 0;
  std::string directory;  // its configuration (and password file)
};

// Starts `mosquitto` on 127.0.0.1 and `port` (a free one when 0), with
// `settings` as further lines of its configuration (allow_anonymous true
// when they name no password_file); false when it does not listen.
bool StartBroker(Broker* broker, const std::string& directory, const std::string& settings = "",
                 int port = 0);
void StopBroker(Broker* broker);

// A password file in the broker's directory with `users` ("name:password"),
// hashed by mosquitto_passwd; its path.
std::string MakePasswordFile(const Broker& broker, const std::vector<std::string>& users);

// `-u name -P password` for the clients, or nothing.
std::vector<std::string> Credentials(const std::string& user, const std::string& password);

// Publishes one message (QoS 1) with mosquitto_pub; true when it went out.
bool Publish(const Broker& broker, const std::string& topic, const std::string& payload,
             bool retained = false, const std::vector<std::string>& credentials = {});

// The retained message of `topic` (its payload), read by a new subscription;
// none (empty, false) when the broker keeps none within `timeoutMs`.
bool Retained(const Broker& broker, const std::string& topic, std::string* payload,
              int timeoutMs = 3000);

// A running mosquitto_sub of `topic` that prints "topic payload" lines.
Process Subscribe(const Broker& broker, const std::string& topic,
                  const std::vector<std::string>& credentials = {});

}  // namespace e2e
