// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// tarnex-log run as its users run it, from a test: a child process with its output in a
// file of the test's own folder.

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "sim/fake_receiver.h"
#include "tests/child_process.h"
#include "tests/receiver_script.h"
#include "tests/scratch_dir.h"
#include "tests/wait_until.h"

// tarnex-log started with the given arguments, its output going to a file.
struct LogRun {
  pid_t pid = -1;
  ScratchDir scratch;
  std::string dir = scratch.Str();  // where its dump files and its output go
  int standardOutput = -1;          // else the output file
  Environment environment;          // set for it alone
  std::string program = PathFrom("TARNEX_LOG_PATH", TARNEX_LOG_PATH);

  ~LogRun() {
    if (pid > 0) Signal(SIGKILL);
  }
  // Run in its folder, so that what it writes by default lands there too.
  void Start(std::vector<std::string> args) {
    args.insert(args.begin(), program);
    pid = StartProgram(args, dir + "/output.txt", environment, dir, standardOutput);
  }
  // Its exit status, or -1 when it was killed by a signal or did not end in time.
  int Signal(int signal) {
    kill(pid, signal);
    return Wait();
  }
  int Wait(int limitMs = 10000) {
    int status = WaitForExit(pid, limitMs);
    pid = -1;
    return status >= 128 ? -1 : status;
  }
  std::string Output() { return FileText(dir + "/output.txt"); }
  std::string Dump(const char* name, const std::string& folder = "") {
    return FileText((folder.empty() ? dir : folder) + "/" + name);
  }
  bool Running() { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }
  bool Said(const std::string& text) { return Output().find(text) != std::string::npos; }
};

// How many times `part` stands in what a program said.
inline size_t Occurrences(const std::string& said, const std::string& part) {
  size_t times = 0;
  for (size_t at = 0; (at = said.find(part, at)) != std::string::npos; at += part.size()) ++times;
  return times;
}

// The loopback port a logger said it serves `what` on ("sharing the receiver", "serving
// metrics"); 0 while it has not said so.
inline int ServedPort(const std::string& output, const std::string& what) {
  size_t line = output.find(what + " at ");
  size_t at = output.find("://127.0.0.1:", line);
  if (line == std::string::npos || at == std::string::npos || at > output.find('\n', line))
    return 0;
  return std::atoi(output.c_str() + at + 13);
}

// tarnex-log on a simulated MORWICK that sends what the test gives it (dataRate 0) or
// bursts of its own, logging into the run's folder.
struct LoggedReceiver {
  FakeReceiver receiver;
  LogRun run;

  // Started with `options` besides; true once it has the receiver.
  bool Start(const std::vector<std::string>& options, double dataRate = 0) {
    if (!StartFakeReceiver(receiver, Sending(dataRate))) return false;
    std::vector<std::string> args = {"-D", FakeReceiverPath(receiver), "-o", run.dir};
    args.insert(args.end(), options.begin(), options.end());
    run.Start(args);
    return WaitUntil([&] { return run.Said("connected to MORWICK"); }, 15000);
  }
  // The port it serves `what` on, once it has said so; 0 when it does not.
  int Port(const std::string& what) {
    int port = 0;
    WaitUntil([&] { return (port = ServedPort(run.Output(), what)) > 0; }, 5000);
    return port;
  }
};
