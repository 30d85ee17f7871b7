// SPDX-License-Identifier: BSD-2-Clause
#include "log/status_filter.h"

#include <cstring>
#include <mutex>

#include "capture/dump_news.h"
#include "port/port.h"

// Failures, and the files kept under their dated names or closed; the progress of each
// connect attempt is not worth a journal line, and a bare read failure is said with the
// loss that it causes, in words that say what to do.
void StatusToOutput(const StatusEvent& event, void* context) {
  auto* filter = static_cast<StatusFilter*>(context);
  Output& output = *filter->output;
  bool fromWorker = std::this_thread::get_id() != filter->mainThread;
  if (event.kind == kStatusFailure) {
    if (fromWorker && filter->identifying) return;
    if (event.news == 0 && std::strcmp(event.text, kReadFailureText) == 0) return;
  }
  char text[2048];
  StatusEventText(event, text, sizeof text);
  if (event.kind == kStatusFailure) {
    {
      std::lock_guard<std::mutex> hold(output.lock);
      if (output.lastFailure == text) return;
      output.lastFailure = text;
    }
    PrintEvent(output, text, true);
  } else if (event.news == kDumpFileKept || event.news == kDumpFileClosed) {
    PrintEvent(output, text, false);
  }
}
