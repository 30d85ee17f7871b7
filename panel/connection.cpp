// The link as the front panel sees it: connect, the screen poll and the keys.

#include <QMetaObject>
#include <QTimer>
#include <ctime>

#include "link/status_message.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/status_text.h"

namespace {

constexpr uint8_t kKeyPacket = 0x81;
constexpr uint8_t kScreenRequest = 0x82;
constexpr uint8_t kSlaveRequest = 0x84;
constexpr uint8_t kConnectKey = 0x50;
const uint8_t kScreenRequestLong[5] = {0x00, 0x00, 0x78, 0x30, 0x38};
const uint8_t kScreenRequestShort[1] = {0x01};

void OnScreenNotification(Panel& panel) {
  panel.screenQueued = false;
  ScreenImage image;
  CopySharedScreen(panel.capture->screen, image);
  RenderScreen(panel, &image);
}

// Runs on the worker's thread: hands the screen on to the user-interface thread. While
// one hand-on is still queued, it will show this screen too, so no second one is queued.
bool NotifyScreen(void* context) {
  auto* panel = static_cast<Panel*>(context);
  if (panel->screenQueued.exchange(true)) return true;
  return QMetaObject::invokeMethod(
      panel->window, [panel] { OnScreenNotification(*panel); }, Qt::QueuedConnection);
}

void SendSlaveRequestOnce(Panel& panel) {
  if (!panel.slaveMode || panel.slaveRequestSent) return;
  const uint8_t request[2] = {static_cast<uint8_t>(panel.link->receiverPortNumber & 0xFF), 4};
  SendPacket(*panel.link, kSlaveRequest, request, 2);
  panel.slaveRequestSent = 1;
}

}  // namespace

int PollPeriod(const Panel& panel) {
  return panel.link->qz77Class ? 400 : 900;
}

void Connect(Panel& panel) {
  panel.pollTimer->stop();
  ShowPortLabel(panel, PortLabel(0));
  ScreenImage blank = BlankScreen();
  RenderScreen(panel, &blank);
  StopReceiveWorker(panel.worker);
  if (IdentifyReceiver(*panel.link, panel.device.portPath) == 0 ||
      !StartReceiveWorker(panel.worker, *panel.link, *panel.capture, NotifyScreen, &panel)) {
    ShowStatusMessage("Could not establish communication with receiver.");
    panel.connected = 0;
    return;
  }
  panel.connected = 1;
  SendKey(panel, kConnectKey);
  SendSlaveRequestOnce(panel);
  ShowPortLabel(panel, PortLabel(panel.link->receiverPortNumber));
  panel.pollTimer->start(PollPeriod(panel));
}

void PollReceiver(Panel& panel) {
  SendPacket(*panel.link, kScreenRequest, kScreenRequestLong, 5);
  if (!panel.link->qz77Class) SendPacket(*panel.link, kScreenRequest, kScreenRequestShort, 1);
  std::time_t now = std::time(nullptr);
  char text[64];
  if (ctime_r(&now, text) == nullptr) std::snprintf(text, sizeof text, "time unknown");
  ShowStatusMessage(text);
}

void SendKey(Panel& panel, int code) {
  if (!panel.connected) return;
  const uint8_t key = static_cast<uint8_t>(code & 0xFF);
  SendPacket(*panel.link, kKeyPacket, &key, 1);
}
