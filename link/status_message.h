#pragma once

// The one channel for progress and error texts. The link and the capture code call
// ShowStatusMessage; whoever shows the texts (the status bar, a test) installs the sink.
// Until a sink is installed, texts are dropped. Safe to call from any thread.

using StatusSink = void (*)(const char* text, void* context);

void SetStatusSink(StatusSink sink, void* context);
void ShowStatusMessage(const char* text);
