// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// HTTP as Prometheus speaks it to the metrics server.

#include <cstdlib>
#include <string>

#include "tests/loopback_client.h"

// A whole GET: the status and the body, or status 0.
inline int HttpGet(int port, const std::string& path, std::string& body, int limitMs = 5000) {
  LoopbackClient client(port);
  body.clear();
  if (!client.Send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"))
    return 0;
  std::string answer = client.Receive(limitMs);
  size_t head = answer.find("\r\n\r\n");
  if (answer.rfind("HTTP/1.1 ", 0) != 0 || head == std::string::npos) return 0;
  body = answer.substr(head + 4);
  return std::atoi(answer.c_str() + 9);
}
