// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "base/status_message.h"
#include "capture/dump_news.h"

// Records every status text while it lives, from any thread.
struct StatusCapture {
  std::mutex lock;
  std::vector<std::string> texts;
  std::vector<std::string> failures;  // the texts shown as failures

  StatusCapture() { SetStatusSink(Record, this); }
  ~StatusCapture() { SetStatusSink(nullptr, nullptr); }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> hold(lock);
    return texts;
  }
  std::vector<std::string> Failures() {
    std::lock_guard<std::mutex> hold(lock);
    return failures;
  }
  bool Saw(const std::string& text) { return Count(text) > 0; }
  int Count(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock);
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
  }

  static void Record(const StatusEvent& event, void* context) {
    auto* capture = static_cast<StatusCapture*>(context);
    char text[2048];
    StatusEventText(event, text, sizeof text);
    std::lock_guard<std::mutex> hold(capture->lock);
    capture->texts.emplace_back(text);
    if (event.kind == kStatusFailure) capture->failures.emplace_back(text);
  }
};
