// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// ser2net started by a test with a configuration of its own, serving a device (the
// simulated receiver's pseudo-terminal) on a loopback port.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/child_process.h"
#include "tests/loopback_socket.h"
#include "tests/scratch_dir.h"
#include "tests/wait_until.h"

// A loopback port that nobody listens on just now.
inline int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

inline bool Listening(int port) {
  int fd = ConnectLoopback(port);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

// ser2net with a configuration of its own: one accepter on a loopback port serving the
// simulated receiver's pseudo-terminal, as RFC 2217 (telnet) or as raw TCP.
struct Ser2net {
  pid_t pid = -1;
  int port = 0;
  ScratchDir scratch;
  std::string dir = scratch.Str();

  bool Start(const char* device, bool rfc2217, const char* lineSettings) {
    if (!scratch.Made()) return false;
    port = FreePort();
    std::ofstream(dir + "/ser2net.yaml")
        << "%YAML 1.1\n---\n"
        << "connection: &receiver\n"
        << "  accepter: " << (rfc2217 ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1," << port
        << "\n  connector: serialdev," << device << "," << lineSettings << ",local\n"
        << "  options:\n    kickolduser: true\n";
    pid = StartProgram({"ser2net", "-n", "-u", "-c", dir + "/ser2net.yaml", "-P", dir + "/ser2net.pid"},
                       dir + "/ser2net.log");
    return WaitUntil([&] { return Listening(port); }, 5000);
  }
  void Stop() { StopProgram(pid); }
  ~Ser2net() { Stop(); }
  std::string Name(const char* scheme) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
  }
};

inline bool HaveSer2net() {
  return std::system("command -v ser2net >/dev/null 2>&1") == 0;
}
