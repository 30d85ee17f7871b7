// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// A client of tarnex-log --share or --nmea-out, scripted by a test: plain loopback TCP.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "tests/loopback_socket.h"
#include "tests/test_bytes.h"
#include "tests/wait_until.h"

struct TestShareClient {
  int fd = -1;
  Bytes received;

  ~TestShareClient() { Close(); }
  // receiveBuffer > 0: the kernel keeps no more than about that much for it unread.
  bool Connect(int port, int receiveBuffer = 0) {
    fd = ConnectLoopback(port, receiveBuffer);
    return fd >= 0;
  }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  bool Send(const Bytes& bytes) {
    return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Reads what has come within waitMs. false once the logger has closed the connection.
  bool Read(int waitMs) {
    pollfd ready = {fd, POLLIN, 0};
    if (poll(&ready, 1, waitMs) <= 0) return true;
    uint8_t bytes[8192];
    ssize_t count = recv(fd, bytes, sizeof bytes, 0);
    if (count <= 0) return false;
    received.insert(received.end(), bytes, bytes + count);
    return true;
  }
  // Reads until `done` holds of what has come, or limitMs pass.
  template <typename Predicate>
  bool ReadUntil(Predicate done, int limitMs = 5000) {
    return WaitUntil([&] { return (Read(20) && done(received)) || done(received); }, limitMs);
  }
  bool Got(const Bytes& bytes) {
    return std::search(received.begin(), received.end(), bytes.begin(), bytes.end()) !=
           received.end();
  }
};
