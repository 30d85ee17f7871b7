// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <mutex>
#include <string>
#include <vector>

// Records every status text while it lives, from any thread.
struct StatusCapture {
  std::mutex lock;
  std::vector<std::string> texts;
  std::vector<std::string> failures;  // the texts shown as failures

  StatusCapture();
  ~StatusCapture();
  std::vector<std::string> Texts();
  std::vector<std::string> Failures();
  bool Saw(const std::string& text);
  int Count(const std::string& text);
};
