#include "projector/projector_link.h"

#include "common/status_log.h"
#include "config/settings.h"
#include "platform/serial.h"

namespace {

constexpr uint32_t kQueueBytes = 2048;

// The server thread's link to the projector; kNoSerialDevice while not open.
SerialDevice serverThreadProjectorLink = kNoSerialDevice;

// The configuration steps in their order; the first refusal ends them.
bool ConfigureLink(SerialDevice device) {
  return SetSerialBaudRate(device, Settings.baudRate) &&
         SetSerialDataBits(device, Settings.dataBits) &&
         SetSerialParity(device, Settings.parityScheme) &&
         SetSerialStopBits(device, Settings.stopBits) &&
         SetSerialTransmitQueue(device, kQueueBytes) &&
         SetSerialReceiveQueue(device, kQueueBytes) && SwitchSerialCtsFlowOff(device) &&
         DisableSerialRts(device) && SwitchSerialXonXoffInputOff(device) &&
         SwitchSerialXonXoffOutputOff(device);
}

}  // namespace

void OpenProjectorLink() {
  CloseProjectorLink();
  const std::string& port = Settings.projectorPort;
  SerialDevice device = kNoSerialDevice;
  if (!OpenSerialDevice(port, &device)) {
    AddLogLine("  ERROR: Failed to open serial comms on port \"" + port + "\"");
    return;
  }
  if (!ConfigureLink(device)) {
    // Not kept half-configured: the port is free again for other programs.
    CloseSerialDevice(device);
    AddLogLine("  ERROR: Failed to open serial comms on port \"" + port + "\"");
    return;
  }
  serverThreadProjectorLink = device;
  AddLogLine("  Serial comms open on  port \"" + port + "\"");
}

bool WriteProjectorLink(const std::string& text) {
  if (serverThreadProjectorLink == kNoSerialDevice) return false;
  return WriteSerialDevice(serverThreadProjectorLink, text);
}

void CloseProjectorLink() {
  if (serverThreadProjectorLink == kNoSerialDevice) return;
  CloseSerialDevice(serverThreadProjectorLink);
  serverThreadProjectorLink = kNoSerialDevice;
}

bool ProjectorLinkIsOpen() { return serverThreadProjectorLink != kNoSerialDevice; }
