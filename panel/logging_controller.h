// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "capture/dump_streams.h"
#include "capture/folder_lock.h"

struct Connection;
struct Recorder;
class QTimer;

// What a stream has written and lost since Logging On.
struct PeriodCount {
  unsigned long items = 0;
  unsigned long long bytes = 0;
  unsigned long lost = 0;
  unsigned long dropped = 0;  // nmea: sentences that were not valid, so not logged
};

// The panel's logging and its flight recorder: it owns the dump folder's lock, what the
// streams had written when logging went on (so that a period's counts can be told) and
// the recorder with the timer that writes it out. It knows no window: it says what
// happened through the status channel and its signals, and the views ask it.
class LoggingController : public QObject {
  Q_OBJECT

 public:
  explicit LoggingController(Connection& connection);
  ~LoggingController() override;

  bool IsLogging() const;
  // Logging on takes the folder's lock for `device` first: a second program logging into
  // the same folder would write over this one's files. false when it could not (said).
  bool SetLogging(bool on, const char* device);
  // Whether the folder may change now: not while logging (and then it says so), so that a
  // period never spans two folders.
  bool FolderMayChange() const;
  // Another folder for the logs, when it may change.
  bool SetFolder(const char* folder);
  // The folder as the user is told of it: its whole path.
  std::string FolderText() const;
  PeriodCount LoggedThisPeriod(int stream) const;
  // Items are being lost now: a file cannot be written.
  bool ItemsBeingLost() const;

  // The flight recorder on the connection's port. An earlier file of that name is kept
  // under its dated name, never replaced. false when nothing is recorded (said).
  bool StartRecording(const char* path);
  void StopRecording();
  bool IsRecording() const { return !recordingPath_.empty(); }
  const std::string& RecordingPath() const { return recordingPath_; }

 signals:
  void loggingChanged(bool on);
  void recordingChanged(bool on);

 private:
  void NoteCountsAtLoggingOn();
  void SayWhatWasLogged() const;
  void DrainRecording();

  Connection& connection_;
  FolderLock lock_;  // held on the dump folder while logging is on
  unsigned long itemsAtOn_[kDumpStreamCount] = {};
  unsigned long long bytesAtOn_[kDumpStreamCount] = {};
  unsigned long lostAtOn_[kDumpStreamCount] = {};
  unsigned long droppedAtOn_ = 0;
  std::unique_ptr<Recorder> recorder_;  // made at the first recording, kept for the run
  std::string recordingPath_;           // "" while not recording
  QTimer* drainTimer_;
};
