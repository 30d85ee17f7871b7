// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "panel/connection_controller.h"
#include "panel/logging_controller.h"
#include "panel/panel.h"
#include "panel/status_bar.h"
#include "sim/fake_receiver.h"
#include "tests/receiver_script.h"

inline const char* const kVeltaris = "PRODUCT,VELTARIS;PORT,0,0,38400,8,1,N,X;VERSION,1.50";
inline const char* const kQz77 = "PRODUCT,QZ77;PORT,0,0,115200,8,1,N,X;VERSION,3.0";

// Runs the event loop until `done` holds; false when it did not within the limit.
template <typename Predicate>
bool SpinUntil(Predicate done, int limitMs = 6000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs the event loop for a while: timers fire, queued calls run.
inline void Spin(int ms) {
  SpinUntil([] { return false; }, ms);
}

// Whether the Messages window holds a message that starts so.
inline bool Logged(Panel& panel, const std::string& start) {
  for (int i = 0; i < panel.messages.count; ++i) {
    if (std::string(MessageAt(panel.messages, i).text).rfind(start, 0) == 0) return true;
  }
  return false;
}

// A panel connected to a simulated receiver on a pseudo-terminal.
struct PanelTest : ::testing::Test {
  FakeReceiver receiver;
  std::unique_ptr<Panel> panel = std::make_unique<Panel>();
  std::vector<std::string> boxes;

  std::vector<std::string> questions;  // each answered No

  static void Answer(void* context, const char* text, const char* caption) {
    static_cast<PanelTest*>(context)->boxes.push_back(std::string(caption) + "|" + text);
  }
  static bool Ask(void* context, const char* text) {
    static_cast<PanelTest*>(context)->questions.push_back(text);
    return false;
  }

  void StartReceiver(const ReceiverScript& script) {
    receiver.model.twoLine = script.identification.rfind("PRODUCT,VELTARIS", 0) == 0;
    ASSERT_TRUE(StartFakeReceiver(receiver, script));
  }
  // Starts the panel on `device`; StartPanel waits until its first connect has an outcome.
  void Launch(const std::string& device, const std::string& switches) {
    panel->messageBox = Answer;
    panel->question = Ask;
    panel->messageBoxContext = this;
    ASSERT_TRUE(StartUp(*panel, ("-D " + device + " " + switches).c_str()));
  }
  void StartPanel(const std::string& device, const std::string& switches) {
    Launch(device, switches);
    ASSERT_TRUE(WaitForOutcome());
  }
  void Start(const std::string& switches, const char* identification = kMorwick) {
    StartReceiver(Script(identification));
    StartPanel(FakeReceiverPath(receiver), switches);
  }
  // A new panel on a new receiver.
  void Restart(const std::string& switches, const char* identification) {
    panel = std::make_unique<Panel>();
    StopFakeReceiver(receiver);
    boxes.clear();
    Start(switches, identification);
  }
  // The connect under way, and what waits for it, has run.
  bool WaitForOutcome(int limitMs = 6000) {
    return SpinUntil(
        [&] {
          return !Connecting(panel->connection) && !panel->startUpPending &&
                 !panel->connectTailPending;
        },
        limitMs);
  }
  std::vector<int> Keys() { return SentKeys(receiver); }
  std::vector<SeenPacket> Requests() {
    std::vector<SeenPacket> polls;
    for (const SeenPacket& p : ReceivedPackets(receiver)) {
      if (p.type == 0x82) polls.push_back(p);
    }
    return polls;
  }
  int Count(uint8_t type) { return SentCount(receiver, type); }
  QString Message() { return panel->statusBar->Message().trimmed(); }
  int Connected() { return IsConnected(panel->connection); }
};
