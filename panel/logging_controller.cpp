// SPDX-License-Identifier: BSD-2-Clause
#include "panel/logging_controller.h"

#include <QTimer>
#include <cerrno>
#include <cstdio>

#include "base/byte_count_text.h"
#include "base/regular_file.h"
#include "base/status_message.h"
#include "capture/dump_slot.h"
#include "capture/earlier_file.h"
#include "capture/folder_text.h"
#include "capture/logging_switch.h"
#include "connection/connection.h"
#include "recorder/recording.h"

namespace {

constexpr int kDrainMs = 200;  // the recorder's buffer written out this often

// An earlier recording of the same name is kept under its dated name, never replaced.
bool KeepEarlierRecording(const char* path) {
  char kept[1000];
  int error = KeepEarlierFile(path, kept, sizeof kept);
  char text[2200];
  if (error != 0) {
    bool notAFile = error == ELOOP || error == kNotRegularFile;
    std::snprintf(text, sizeof text, "%s %s: %s; nothing recorded",
                  notAFile ? "Could not record to" : "Could not keep the earlier", path,
                  FileErrorText(error));
    ShowStatusFailure(text);
    return false;
  }
  if (kept[0] != '\0') {
    std::snprintf(text, sizeof text, "Kept the earlier recording %s as %s", path, kept);
    ShowStatusMessage(text);
  }
  return true;
}

}  // namespace

LoggingController::LoggingController(Connection& connection)
    : connection_(connection), drainTimer_(new QTimer(this)) {
  connect(drainTimer_, &QTimer::timeout, this, &LoggingController::DrainRecording);
}

LoggingController::~LoggingController() {
  StopRecording();
  UnlockFolder(lock_);
}

bool LoggingController::IsLogging() const {
  return LoggingOn(connection_.capture->logging) != 0;
}

bool LoggingController::SetLogging(bool on, const char* device) {
  bool wasOn = IsLogging();
  if (on == wasOn) return true;
  const char* folder = connection_.capture->dumpDirectory.c_str();
  if (on) {
    char holder[300];
    int error = LockFolder(lock_, folder, device, holder, sizeof holder);
    if (error != 0) {
      char text[1000];
      FolderLockText(error, folder, holder, text, sizeof text);
      ShowStatusFailure(text);
      return false;
    }
  }
  ::SetLogging(connection_.capture->logging, on ? 1 : 0);
  if (on) {
    NoteCountsAtLoggingOn();
  } else {
    UnlockFolder(lock_);
    SayWhatWasLogged();
  }
  emit loggingChanged(on);
  if (!on) return true;
  char text[700];
  std::snprintf(text, sizeof text, "Logging to %s (posn.dmp, obsd.dmp, corr.dmp, nmea.dmp)",
                FolderText().c_str());
  ShowStatusMessage(text);
  return true;
}

bool LoggingController::FolderMayChange() const {
  if (!IsLogging()) return true;
  ShowStatusMessage("Switch logging off to choose another folder.");
  return false;
}

bool LoggingController::SetFolder(const char* folder) {
  if (!FolderMayChange()) return false;
  SetDumpDirectory(*connection_.capture, folder);
  std::string text = "Logs will go to " + FolderText();
  ShowStatusMessage(text.c_str());
  return true;
}

std::string LoggingController::FolderText() const {
  char folder[kDumpPathSize];
  DumpDirectoryText(connection_.capture->dumpDirectory.c_str(), folder, sizeof folder);
  return folder;
}

PeriodCount LoggingController::LoggedThisPeriod(int stream) const {
  const DumpCount& count = DumpCountOf(*connection_.capture, stream);
  PeriodCount period;
  period.items = count.items - count.removedItems - itemsAtOn_[stream];
  period.bytes = count.bytes - count.removedBytes - bytesAtOn_[stream];
  period.lost = count.lostItems - lostAtOn_[stream];
  if (stream == kNmeaStream) period.dropped = SentencesDropped(*connection_.capture) - droppedAtOn_;
  return period;
}

bool LoggingController::ItemsBeingLost() const {
  if (!IsLogging()) return false;
  for (int stream = 0; stream < kDumpStreamCount; ++stream) {
    if (DumpCountOf(*connection_.capture, stream).failing) return true;
  }
  return false;
}

void LoggingController::NoteCountsAtLoggingOn() {
  for (int i = 0; i < kDumpStreamCount; ++i) {
    const DumpCount& count = DumpCountOf(*connection_.capture, i);
    itemsAtOn_[i] = count.items - count.removedItems;
    bytesAtOn_[i] = count.bytes - count.removedBytes;
    lostAtOn_[i] = count.lostItems;
  }
  droppedAtOn_ = SentencesDropped(*connection_.capture);
}

// "Logging off: posn 12 items (3.4 kB), ... written to /home/ann/logs", with what was lost.
void LoggingController::SayWhatWasLogged() const {
  std::string text = "Logging off:";
  unsigned long lost = 0;
  for (int i = 0; i < kDumpStreamCount; ++i) {
    PeriodCount period = LoggedThisPeriod(i);
    char amount[24];
    ByteCountText(period.bytes, amount, sizeof amount);
    char part[80];
    std::snprintf(part, sizeof part, "%s %s %lu (%s)", i == 0 ? "" : ",", kDumpStreams[i].baseName,
                  period.items, amount);
    text += part;
    lost += period.lost;
  }
  text += " written to " + FolderText();
  if (lost > 0) text += "; " + std::to_string(lost) + " items could not be written (see Messages)";
  unsigned long dropped = LoggedThisPeriod(kNmeaStream).dropped;
  if (dropped > 0) {
    text += "; " + std::to_string(dropped) + " NMEA sentences from the receiver were not valid " +
            "(no checksum, a wrong one, or over 255 characters) and were dropped";
  }
  if (lost > 0) {
    ShowStatusFailure(text.c_str());
  } else {
    ShowStatusMessage(text.c_str());
  }
}

bool LoggingController::StartRecording(const char* path) {
  StopRecording();
  if (!KeepEarlierRecording(path)) {
    emit recordingChanged(false);
    return false;
  }
  if (!recorder_) recorder_ = std::make_unique<Recorder>();
  if (!::StartRecording(*recorder_, path)) {
    emit recordingChanged(false);
    return false;
  }
  recordingPath_ = path;
  AttachRecorder(connection_, recorder_.get());
  drainTimer_->start(kDrainMs);
  emit recordingChanged(true);
  char text[600];
  std::snprintf(text, sizeof text, "Recording the session to %s", path);
  ShowStatusMessage(text);
  return true;
}

// The recorder stays allocated: the worker may still be handing it an event it took the
// pointer for a moment ago; that event lands in a buffer the next start empties.
void LoggingController::StopRecording() {
  if (recordingPath_.empty()) return;
  AttachRecorder(connection_, nullptr);
  drainTimer_->stop();
  unsigned long dropped = recorder_->droppedTotal;
  ::StopRecording(*recorder_);
  char text[700];
  std::snprintf(text, sizeof text, "Recording saved: %s%s", recordingPath_.c_str(),
                dropped > 0 ? " (the disk did not keep up: some events were dropped)" : "");
  ShowStatusMessage(text);
  recordingPath_.clear();
  emit recordingChanged(false);
}

void LoggingController::DrainRecording() {
  if (recorder_ && IsRecording() && !::DrainRecording(*recorder_)) {
    StopRecording();  // the failure has been shown
  }
}
