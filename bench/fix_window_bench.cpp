// SPDX-License-Identifier: BSD-2-Clause
// What the Fix window costs: the panel against the simulated receiver sending ten bursts of
// sentences and packets a second, the whole process's CPU over 10 s with the window closed
// and then open (offscreen, so the drawing is done but not shown).
//   fix_window_bench [seconds]

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/offscreen.h"
#include "panel/commands.h"
#include "panel/panel.h"
#include "sim/fake_receiver.h"

namespace {

double ProcessCpuSeconds() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void SpinFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(5);
  }
}

// The share of one core the whole process used over `seconds`.
double CpuShare(int seconds) {
  double before = ProcessCpuSeconds();
  SpinFor(seconds * 1000);
  return 100.0 * (ProcessCpuSeconds() - before) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  UseOffscreenPlatform();
  QApplication application(argc, argv);
  int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  FakeReceiver receiver;
  ReceiverScript script;
  script.identification = "PRODUCT,MORWICK;PORT,1,0,115200,8,1,N,X;VERSION,2.10";
  script.dataRate = 10;
  if (!StartFakeReceiver(receiver, script)) return 1;
  auto panel = std::make_unique<Panel>();
  panel->messageBox = [](void*, const char*, const char*) {};
  std::string line = std::string("-D ") + FakeReceiverPath(receiver);
  if (!StartUp(*panel, line.c_str())) return 1;
  SpinFor(2000);
  if (!IsConnected(panel->connection)) {
    std::fprintf(stderr, "no connection\n");
    return 1;
  }
  double closed = CpuShare(seconds);
  DispatchCommand(*panel, kFixCommand);
  double open = CpuShare(seconds);
  std::printf(
      "panel at 10 bursts a second, whole process over %d s: %.2f%% of one core with "
      "the Fix window closed, %.2f%% open (the window's own: %.2f%%)\n",
      seconds, closed, open, open - closed);
  return 0;
}
