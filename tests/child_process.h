// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// Another program run by a test (the simulator, gpsd, ser2net, the panel program): a child
// process with its output in a file, ended with the test.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/wait_until.h"

using Environment = std::vector<std::pair<std::string, std::string>>;

// A program's path, or the source tree's: the environment's where the tests run a copy
// elsewhere (for another user), else the one built.
inline std::string PathFrom(const char* variable, const char* built) {
  const char* path = std::getenv(variable);
  return path != nullptr ? path : built;
}

// args[0] found as a shell would; its standard output (or `standardOutput`, when given)
// and error go to `output`, its environment gains `environment`, and it runs in `folder`
// when one is given. Its process.
inline pid_t StartProgram(std::vector<std::string> args, const std::string& output = "/dev/null",
                          const Environment& environment = {}, const std::string& folder = "",
                          int standardOutput = -1) {
  std::fflush(nullptr);  // nothing of ours written twice by the child
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || dup2(standardOutput >= 0 ? standardOutput : out, STDOUT_FILENO) < 0 ||
        dup2(out, STDERR_FILENO) < 0)
      _exit(126);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Its exit status once it has ended within limitMs (128 and the signal's number when a
// signal ended it; pid is then -1), or -1 while it runs.
inline int WaitForExit(pid_t& pid, int limitMs) {
  int status = 0;
  if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limitMs)) return -1;
  pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Ends it (SIGTERM) and waits for it; nothing when it is not running.
inline void StopProgram(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  pid = -1;
}
