// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// tarnex-sim run as a program, as the demo runs it (the tests that use it are told where
// it was built: TARNEX_SIM_PATH).

#include <unistd.h>

#include <string>
#include <vector>

#include "tests/child_process.h"
#include "tests/wait_until.h"

// Its device linked at `link`: its process, once the link is there (-1 when it did not
// come).
inline pid_t StartSimulator(const std::string& link, std::vector<std::string> args) {
  args.insert(args.begin(), {PathFrom("TARNEX_SIM_PATH", TARNEX_SIM_PATH), "--link", link});
  pid_t sim = StartProgram(args);
  return WaitUntil([&] { return access(link.c_str(), F_OK) == 0; }, 3000) ? sim : -1;
}
