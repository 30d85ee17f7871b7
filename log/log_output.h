// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <mutex>
#include <string>

// tarnex-log's output: on a terminal one live status line with the events above it; else
// a line per event with its time, for a service manager's journal. Failures go to
// standard error. A closed output (a pipe whose reader went) ends only the output.

// What is printed, and how: a live status line on a terminal, a line per event else.
struct Output {
  bool terminal = false;
  bool quiet = false;
  bool closed = false;  // standard output went away: the logging goes on without it
  std::mutex lock;      // status texts come from the worker's thread too
  std::string statusLine;
  std::string lastFailure;  // a failure is printed again only when it changes
};

// An event on a line of its own, with its time; `failure` sends it to standard error, and
// past --quiet.
void PrintEvent(Output& output, const char* text, bool failure);

// The live line, drawn again; on no terminal only kept, for the next event to redraw.
void ShowStatusLine(Output& output, const std::string& line);

// The live line ends: cleared, so that nothing stale stays after the last line.
void EndStatusLine(Output& output);
