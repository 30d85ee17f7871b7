// SPDX-License-Identifier: BSD-2-Clause
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/timex.h>
#include <unistd.h>

#include "log/log_system.h"

namespace {

void (*stopHandler)() = nullptr;

void OnStopSignal(int) {
  if (stopHandler != nullptr) stopHandler();
}

void IgnoreSignal(int signal) {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(signal, &ignore, nullptr);
}

}  // namespace

void CatchStopRequests(void (*onStop)()) {
  stopHandler = onStop;
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  IgnoreSignal(SIGHUP);   // a closed ssh session or terminal: logging goes on
  IgnoreSignal(SIGPIPE);  // a closed output: the writes fail, and only the output ends
}

void StopRequestsHandled() {}

bool OutputIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

int TerminalColumns() {
  struct winsize size = {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

bool FolderWritable(const char* folder, int& error) {
  bool writable = access(folder[0] != '\0' ? folder : ".", W_OK | X_OK) == 0;
  error = writable ? 0 : errno;
  return writable;
}

bool WaitForWake(const WakeSignal& wake, int ms) {
  struct pollfd entry = {static_cast<int>(wake.handle), POLLIN, 0};
  return poll(&entry, 1, ms) >= 0 || errno == EINTR;
}

bool ClockSynchronized() {
  struct timex state = {};
  int result = adjtimex(&state);  // only asks: no mode bits set
  return result >= 0 && result != TIME_ERROR && (state.status & STA_UNSYNC) == 0;
}
