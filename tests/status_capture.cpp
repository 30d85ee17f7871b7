// SPDX-License-Identifier: BSD-2-Clause
#include "tests/status_capture.h"

#include <algorithm>

#include "base/status_message.h"
#include "capture/dump_news.h"

static void Record(const StatusEvent& event, void* context) {
  auto* capture = static_cast<StatusCapture*>(context);
  char text[2048];
  StatusEventText(event, text, sizeof text);
  int kind = event.kind;
  std::lock_guard<std::mutex> hold(capture->lock);
  capture->texts.emplace_back(text);
  if (kind == kStatusFailure) capture->failures.emplace_back(text);
}

StatusCapture::StatusCapture() {
  SetStatusSink(Record, this);
}
StatusCapture::~StatusCapture() {
  SetStatusSink(nullptr, nullptr);
}

std::vector<std::string> StatusCapture::Texts() {
  std::lock_guard<std::mutex> hold(lock);
  return texts;
}

bool StatusCapture::Saw(const std::string& text) {
  return Count(text) > 0;
}

int StatusCapture::Count(const std::string& text) {
  std::lock_guard<std::mutex> hold(lock);
  return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

std::vector<std::string> StatusCapture::Failures() {
  std::lock_guard<std::mutex> hold(lock);
  return failures;
}
