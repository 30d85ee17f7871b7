#pragma once

#include <mutex>
#include <string>
#include <vector>

// Records every status text while it lives, from any thread.
struct StatusCapture {
  std::mutex lock;
  std::vector<std::string> texts;

  StatusCapture();
  ~StatusCapture();
  std::vector<std::string> Texts();
  bool Saw(const std::string& text);
  int Count(const std::string& text);
};
