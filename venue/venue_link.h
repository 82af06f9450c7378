// The venue link ([mqtt] broker=): this server on the venue's MQTT broker, on
// a thread of its own. Its state goes out retained under <prefix>/<room>/
// (the status online or offline, the state object, one topic per value),
// commands come in on <prefix>/<room>/command through the one arrival, and
// each command's result goes out on <prefix>/<room>/result. The server
// thread never waits on the broker: it hands the link its state and lines,
// and the link hands it commands, each through the other's mailbox.
#pragma once

// The main thread, after LoadSettings and before the server thread goes on
// past its initialisation: nothing without [mqtt]. Adds the link's channel
// and starts its thread, which waits for the server's start-up lines, writes
// "MQTT room \"<room>\" via <host>:<port>" and connects (and connects again,
// waiting at most 5 s between attempts, for as long as the program runs).
void StartVenueLink();

// The main thread, once the server thread has ended: publishes "offline",
// disconnects cleanly and ends the link's thread.
void StopVenueLink();
