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

using StatusSink = void (*)(const char* text, int kind, void* context);

void SetStatusSink(StatusSink sink, void* context);
void ShowStatusMessage(const char* text);
void ShowStatusFailure(const char* text);
void ShowStatusDetail(const char* text);
void ShowStatusText(const char* text, int kind);

// The last failure shown from the calling thread since it last cleared it ("" if none):
// a connect attempt reports with it why it failed.
void ClearThreadFailure();
const char* LastThreadFailure();
