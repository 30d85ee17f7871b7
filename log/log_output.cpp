// SPDX-License-Identifier: BSD-2-Clause
#include "log/log_output.h"

#include <cstdio>
#include <ctime>

#include "log/log_report.h"

namespace {

// A write to a closed pipe or a hung-up terminal fails (SIGPIPE is ignored): from then on
// nothing more goes to standard output.
void NoteOutputResult(Output& output) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) output.closed = true;
}

}  // namespace

// An event on a line of its own: on a terminal the live line is cleared first (and
// standard output flushed, so that a failure on standard error does not land behind it),
// then drawn again below.
void PrintEvent(Output& output, const char* text, bool failure) {
  std::lock_guard<std::mutex> hold(output.lock);
  if (output.quiet && !failure) return;
  char line[1200];
  LogEventLine(std::time(nullptr), text, line, sizeof line);
  bool live = output.terminal && !output.closed;
  if (live) {
    std::fputs("\r\033[K", stdout);
    NoteOutputResult(output);
  }
  if (failure) {
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
  } else if (!output.closed) {
    std::fprintf(stdout, "%s\n", line);
  }
  if (live && !output.quiet) std::fputs(output.statusLine.c_str(), stdout);
  if (!output.closed) NoteOutputResult(output);
}

// The live line ends: cleared, so that nothing stale stays after the last line.
void EndStatusLine(Output& output) {
  std::lock_guard<std::mutex> hold(output.lock);
  output.statusLine.clear();
  if (!output.terminal || output.quiet || output.closed) return;
  std::fputs("\r\033[K", stdout);
  NoteOutputResult(output);
}

void ShowStatusLine(Output& output, const std::string& line) {
  std::lock_guard<std::mutex> hold(output.lock);
  output.statusLine = line;
  if (!output.terminal || output.quiet || output.closed) return;
  std::fprintf(stdout, "\r\033[K%s", line.c_str());
  NoteOutputResult(output);
}
