// Placeholder until the OSC door is built: no OSC.
#include "server/osc_door.h"

SocketHandle StartOsc(uint32_t, uint32_t, uint64_t) { return kNoSocket; }
void HandleOscPacket(const char*, size_t, uint32_t, uint16_t) {}
void OscRefused(uint32_t, uint16_t, uint64_t) {}
bool OscWantsDetails() { return false; }
uint64_t OscDueAt() { return UINT64_MAX; }
bool OscHeartbeatDue(uint64_t) { return false; }
void ServeOsc(uint64_t, const ShowStatus&) {}
void SendOscSnapshot(const ShowStatus&) {}
void StopOsc() {}
