// SPDX-License-Identifier: BSD-2-Clause
// Key press to the changed screen drawn: the panel against the simulated receiver on a
// pseudo-terminal, with the receiver's replies taking their time on the line and a
// receiver that takes a while over each key. Prints the median and the 95th percentile.
//   key_latency_bench [keys per rate] [receiver's key delay, ms] [--poll-only]
// --poll-only leaves the screen to the regular poll, as before the follow-up poll.

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/offscreen.h"
#include "panel/connection_controller.h"
#include "panel/panel.h"
#include "sim/fake_receiver.h"

namespace {

constexpr int kRightKey = 2060, kLeftKey = 2059;

template <typename Predicate>
bool SpinUntil(Predicate done, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QThread::usleep(200);
  }
  return true;
}

void SpinFor(int ms) {
  SpinUntil([] { return false; }, ms);
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  size_t at = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[at];
}

// Each key moves the receiver's cursor; the time runs from the key to the screen with the
// cursor in its new place, drawn. Keys come at random moments of the poll's period.
bool MeasureRate(uint32_t baud, int keys, int keyDelayMs, bool pollOnly) {
  FakeReceiver receiver;
  ReceiverScript script;
  script.identification =
      "PRODUCT,MORWICK;PORT,1,0," + std::to_string(baud) + ",8,1,N,X;VERSION,2.10";
  script.lineTime = true;
  script.keyDelayMs = keyDelayMs;
  if (!StartFakeReceiver(receiver, script)) return false;
  auto panel = std::make_unique<Panel>();
  panel->messageBox = [](void*, const char*, const char*) {};
  std::string line = std::string("-D ") + FakeReceiverPath(receiver);
  if (!StartUp(*panel, line.c_str())) return false;
  if (!SpinUntil([&] { return IsConnected(panel->connection) && !panel->startUpPending; }, 10000)) {
    std::fprintf(stderr, "no connection at %u baud\n", baud);
    return false;
  }
  // The start-up keys, their effect on a slow receiver, and a poll that shows it: the
  // screen held must be the receiver's own before the first key is measured.
  SpinFor(1500 + keyDelayMs + 1000);
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pause(0, 900);
  std::vector<double> latencies;
  for (int i = 0; i < keys; ++i) {
    SpinFor(pause(random));
    int cursor = panel->screen.held.bytes[kScreenCells];
    bool right = cursor % kScreenColumns < kScreenColumns / 2;
    int expected = cursor + (right ? 1 : -1);
    QElapsedTimer clock;
    clock.start();
    DispatchCommand(*panel, right ? kRightKey : kLeftKey);
    if (pollOnly) {
      panel->connection.followUpPending = false;
      panel->controller->followUpTimer()->stop();
    }
    if (!SpinUntil([&] { return panel->screen.held.bytes[kScreenCells] == expected; }, 5000)) {
      std::fprintf(stderr, "key %d: no changed screen within 5 s\n", i);
      return false;
    }
    latencies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  std::printf("%6u baud, %d keys%s: key to changed screen drawn: median %.0f ms, p95 %.0f ms\n",
              baud, keys, pollOnly ? ", poll only" : "", Percentile(latencies, 0.5),
              Percentile(latencies, 0.95));
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  UseOffscreenPlatform();
  QApplication application(argc, argv);
  int keys = argc > 1 ? std::atoi(argv[1]) : 200;
  int keyDelayMs = argc > 2 ? std::atoi(argv[2]) : 30;
  bool pollOnly = argc > 3 && std::strcmp(argv[3], "--poll-only") == 0;
  if (keys < 2) keys = 2;
  std::printf("receiver's key delay %d ms; its screens take their time on the line\n", keyDelayMs);
  for (uint32_t baud : {9600u, 38400u}) {
    if (!MeasureRate(baud, keys, keyDelayMs, pollOnly)) return 1;
  }
  return 0;
}
