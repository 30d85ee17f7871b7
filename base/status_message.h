// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// The one channel for progress and error texts. The link, capture and connection code
// call it; whoever shows the texts (the status bar, a test, a log) installs the sink.
// Until a sink is installed, texts are dropped. Safe to call from any thread.

enum StatusKind {
  kStatusProgress = 0,  // progress and information
  kStatusFailure = 1,   // something failed that the user should know about
  kStatusClock = 2,     // the time of day that each screen poll shows
  kStatusDetail = 3,    // for the record only (Messages), never the message field: the
                        // receiver's raw identification, start-up details
};

// One piece of news: a text as it stands (news 0), or what happened with its data, for
// each front end to put in its own words (the capture's news: capture/dump_news.h).
struct StatusEvent {
  int kind = kStatusProgress;  // how it is shown
  int news = 0;                // what happened; 0: `text` says it
  const char* text = "";
  const char* path = nullptr;   // the file concerned
  const char* other = nullptr;  // a second name: where a kept file went
  int error = 0;                // the system's error number
  unsigned long items = 0;      // items concerned, and their bytes
  unsigned long long bytes = 0;
  long long from = 0;  // wall-clock seconds: since when, or a spell's first and last
  long long to = 0;
};

using StatusSink = void (*)(const StatusEvent& event, void* context);

void SetStatusSink(StatusSink sink, void* context);
void ShowStatusMessage(const char* text);
void ShowStatusFailure(const char* text);
void ShowStatusDetail(const char* text);
void ShowStatusText(const char* text, int kind);
void ShowStatusEvent(const StatusEvent& event);

// The last failure shown from the calling thread since it last cleared it ("" if none):
// a connect attempt reports with it why it failed.
void ClearThreadFailure();
const char* LastThreadFailure();
