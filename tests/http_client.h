// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// HTTP as the tests speak it to the metrics server, well or badly: a plain socket to a
// loopback port.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/loopback_socket.h"

struct TestClient {
  int fd = -1;

  explicit TestClient(int port) : fd(ConnectLoopback(port)) {}
  ~TestClient() {
    if (fd >= 0) close(fd);
  }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  // false once the server has closed the connection (or refused what was sent).
  bool Send(const std::string& bytes) {
    return fd >= 0 &&
           send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // What comes until the server closes the connection or `limitMs` pass.
  std::string Receive(int limitMs) {
    std::string received;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd entry = {fd, POLLIN, 0};
      if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
      char chunk[4096];
      ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) {
        closedByServer = true;
        break;
      }
      received.append(chunk, static_cast<size_t>(n));
    }
    return received;
  }
  bool closedByServer = false;
};

// A whole GET as Prometheus makes it: the status and the body, or status 0.
inline int HttpGet(int port, const std::string& path, std::string& body, int limitMs = 5000) {
  TestClient client(port);
  body.clear();
  if (!client.Send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"))
    return 0;
  std::string answer = client.Receive(limitMs);
  size_t head = answer.find("\r\n\r\n");
  if (answer.rfind("HTTP/1.1 ", 0) != 0 || head == std::string::npos) return 0;
  body = answer.substr(head + 4);
  return std::atoi(answer.c_str() + 9);
}
