// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// A client scripted by a test on a loopback port (the metrics server, tarnex-log --share
// or --nmea-out), well or badly behaved: what it sends goes whole, what comes is kept.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "tests/loopback_socket.h"
#include "tests/test_bytes.h"
#include "tests/wait_until.h"

struct LoopbackClient {
  int fd = -1;
  Bytes received;
  bool closedByServer = false;

  // receiveBuffer > 0: the kernel keeps no more than about that much for it unread.
  explicit LoopbackClient(int port, int receiveBuffer = 0)
      : fd(ConnectLoopback(port, receiveBuffer)) {}
  ~LoopbackClient() {
    if (fd >= 0) close(fd);
  }
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  // false once the server has closed the connection (or refused what was sent).
  bool Send(const std::string& text) { return Send(Text(text)); }
  bool Send(const Bytes& bytes) {
    return fd >= 0 &&
           send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Reads what has come within waitMs. false once the server has closed the connection.
  bool Read(int waitMs) {
    pollfd ready = {fd, POLLIN, 0};
    if (poll(&ready, 1, waitMs) <= 0) return true;
    uint8_t bytes[8192];
    ssize_t count = recv(fd, bytes, sizeof bytes, 0);
    closedByServer = count <= 0;
    if (count > 0) received.insert(received.end(), bytes, bytes + count);
    return !closedByServer;
  }
  // Reads until `done` holds of what has come, or limitMs pass.
  template <typename Predicate>
  bool ReadUntil(Predicate done, int limitMs = 5000) {
    return WaitUntil([&] { return (Read(20) && done(received)) || done(received); }, limitMs);
  }
  // What comes until the server closes the connection or limitMs pass.
  std::string Receive(int limitMs) {
    ReadUntil([&](const Bytes&) { return closedByServer; }, limitMs);
    return std::string(received.begin(), received.end());
  }
  bool Got(const Bytes& bytes) {
    return std::search(received.begin(), received.end(), bytes.begin(), bytes.end()) !=
           received.end();
  }
};
