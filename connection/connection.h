// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>

#include "capture/receive_worker.h"
#include "link/link.h"

// The connection's life as every front end has it: the connect sequence (identification
// on the receive worker's thread, then the first key and the slave request), the screen
// poll and the keys, the link watch that notices a lost receiver, and the schedule of
// automatic reconnects. Nothing here knows a window system: the owner calls these
// functions from its own thread, passes the time in, and wires its timers to them.

constexpr int kPathSize = 256;
constexpr int kCauseSize = 461;  // a whole status line and its terminator

// What the identification learned, as the owner's thread keeps it.
struct ReceiverIdentity {
  uint32_t receiverPortNumber = 0;  // the receiver's port number + 1; 0: none known
  bool qz77Class = false;       // a QZ77: polled every 400 ms, with the long screen request only
  bool twoLineCapable = false;  // the receiver has the two-line display
  uint32_t baud = 0;            // the line settings identification switched to
  int parity = 0;
  char identification[kMaxDataLength + 1] = {};
  uint8_t identificationFrame[kMaxFrameLength] = {};  // the reply, byte for byte
  int identificationFrameLength = 0;
  char stablePath[kPathSize] = {};  // a name of the device that survives replugging; "" if none
};

// How a connect attempt ended, carried from the worker's thread to the owner's.
struct ConnectReport {
  unsigned attempt = 0;
  bool identified = false;  // identified, and the line switched
  ReceiverIdentity identity;
  char cause[kCauseSize] = {};  // the last failure shown during the attempt; "" if none
};

// How the worker's news reaches the owner. Each hook runs on the worker's thread and must
// only hand the news on to the owner's thread, where the owner calls FinishConnect,
// NoteScreen or NoteLineDown with it. `attempt` tells news of an earlier connect apart.
struct ConnectionHooks {
  void* context = nullptr;
  void (*connectDone)(void* context, const ConnectReport& report) = nullptr;
  bool (*screen)(void* context, unsigned attempt) = nullptr;  // false: hand-on failed
  void (*lineDown)(void* context, unsigned attempt) = nullptr;
  // Every item the worker cuts out, as WorkerHooks::item has it; on the worker's thread,
  // with a context of its own.
  void* itemContext = nullptr;
  void (*item)(void* context, const uint8_t* bytes, int count, bool sentence) = nullptr;
};

// What the connection is: one state, not flags kept in step. A lost receiver, or a device
// waited for, stays so while an attempt to reach it again is under way (attempt.underWay).
enum class LinkState {
  kIdle,        // nothing connected: at start, after a connect that failed and is not
                // tried again, or at the end
  kConnecting,  // the worker is identifying the receiver on a connect from idle
  kConnected,   // keys and polls go out
  kLost,        // it was connected and went; tried again on the reconnect schedule
  kWaiting,     // the device asked for has not answered yet (waitsForDevice); likewise
};

// How a front end uses its connection, given once before the first connect.
struct ConnectionSettings {
  bool slaveMode = false;  // the slave request goes out once per run
  bool sendsKeys = true;   // false: a logger that sends nothing beyond the identification
  bool autoReconnect = true;
  // A connect that fails waits for the device, trying again on the reconnect schedule (the
  // panel: a receiver not yet powered or plugged in is normal in the field).
  bool waitsForDevice = false;
};

// What the running worker's identification works from; written only while no worker runs.
struct ConnectAttempt {
  struct Connection* connection = nullptr;
  unsigned number = 0;
  bool underWay = false;          // its worker identifies, and FinishConnect has not run
  char path[kPathSize] = {};      // what is opened
  char userPath[kPathSize] = {};  // the user's name for the device
};

struct Connection {
  std::unique_ptr<Link> link = std::make_unique<Link>();
  std::unique_ptr<Capture> capture = std::make_unique<Capture>();
  ReceiveWorker worker;
  ConnectionHooks hooks;
  ConnectAttempt attempt;
  const char* stableNameDirectory =
      nullptr;  // where stable names are looked for; null: the system's

  ConnectionSettings settings;  // ConfigureConnection; SetAutoReconnect changes one
  LinkState state = LinkState::kIdle;
  ReceiverIdentity identity;
  bool slaveRequestSent = false;

  // The link watch.
  int pollsUnanswered = 0;   // polls sent since the last screen came
  bool writeFailed = false;  // a key or poll could not be written since the last poll

  // The follow-up poll: a key's effect is asked for shortly after the key, and again while
  // the answer still shows the screen from before it, at most kMaxKeyRequests times.
  bool followUpPending = false;
  Tick followUpAt = 0;            // tick at which it is due at the earliest
  Tick lastPollAt = 0;            // tick of the last request pair
  Tick keySentAt = 0;             // tick of the last key
  int keyRequests = 0;            // follow-ups sent for the last key
  bool keyAnswerAwaited = false;  // a follow-up has gone out and its screen has not come
  ScreenImage keyScreen;          // the screen as it was when the last key went out

  // The device last connected, lost and reconnecting.
  char establishedPath[kPathSize] = {};  // the user's name for it; "" before any connect
  char establishedStable[kPathSize] = {};
  char waitingPath[kPathSize] = {};
  std::time_t lostAt = 0;
  int failedReconnects = 0;
  Tick reconnectAt = 0;  // tick of the next attempt while one is due (ReconnectDue)
  char lastCause[kCauseSize] = {};

  // The receiver the shared fix speaks of: another one starts it afresh.
  char fixReceiver[kMaxDataLength + 1] = {};
  char fixDevice[kPathSize] = {};

  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();
};

enum ConnectOutcome {
  kOutcomeStale = 0,  // news of an attempt that has since been replaced: ignore it
  kOutcomeFailed = 1,
  kOutcomeConnected = 2,
};

// The start of a connect: ends any running worker (at once, even in the middle of an
// identification), forgets what the last connection left in the receive rings, and
// starts a worker that identifies the receiver on `portPath`. While the receiver is lost
// and a stable name of its device is known, that name is opened instead. The outcome
// comes through hooks.connectDone.
void BeginConnect(Connection& connection, const char* portPath, Tick now);

// The rest of a connect, on the owner's thread, once the worker has reported. On success:
// the first key, the slave request once per run, the watch armed. On failure: the reason
// shown with its cause, the port closed, and, while the device is lost, the next attempt
// scheduled.
int FinishConnect(Connection& connection, const ConnectReport& report, Tick now);

inline void ConfigureConnection(Connection& connection, const ConnectionSettings& settings) {
  connection.settings = settings;
}

// Ends the worker and closes the port: the program is leaving.
void EndConnection(Connection& connection);

inline bool IsConnected(const Connection& connection) {
  return connection.state == LinkState::kConnected;
}
// Lost, or waiting for the device: the states that try again by themselves.
inline bool SeeksDevice(const Connection& connection) {
  return connection.state == LinkState::kLost || connection.state == LinkState::kWaiting;
}
// An attempt is under way: a connect, or a try while lost or waiting.
inline bool Connecting(const Connection& connection) {
  return connection.attempt.underWay;
}
// Whether the next automatic attempt is scheduled: lost or waiting, reconnect on, and no
// attempt under way.
bool ReconnectDue(const Connection& connection);

// The screen poll: one tick of the poll timer. It first looks whether the last three
// polls went unanswered or a write failed; then the link counts as lost (1 is returned
// and nothing is sent). Otherwise it sends the screen requests and shows the time.
int PollReceiver(Connection& connection, Tick now, std::time_t wallNow);
int PollPeriod(const Connection& connection);  // milliseconds: 400 for QZ77, else 900

// Sends a key while connected, and asks for a follow-up poll: the screen is requested
// about 100 ms later (once the receiver has handled the key) instead of at the next tick.
// A burst of keys gets one follow-up, after its last key.
void SendKey(Connection& connection, int code, Tick now);
// Milliseconds until the follow-up poll may go out (0: now), or -1 when none waits. It
// waits while the answer to the last request pair is still due, and leaves the line
// time for the replies: never more than one pair awaiting its answer.
int MsUntilFollowUp(const Connection& connection, Tick now);
// The least time between two request pairs at the line's speed, and how long the answer
// to one is due: each a few times the request's and the screen's time on the line.
int PollGapMs(const Connection& connection);
int AnswerDueMs(const Connection& connection);

// News from the worker, on the owner's thread. NoteLineDown returns 1 when it means the
// receiver is lost.
void NoteScreen(Connection& connection, unsigned attempt);
int NoteLineDown(Connection& connection, unsigned attempt, Tick now, std::time_t wallNow);

// Whether a line that had been sending since the connect has now been silent for
// `limitMs`: a device server that lost its power behind a router keeps a TCP connection
// open and sends nothing, for ever. A line that sent nothing since `connectedAt` is not
// watched (a receiver with its output off is not lost).
bool LineSilent(Tick lastByteAt, Tick connectedAt, Tick now, Tick limitMs);

// The receiver is gone: the worker ends, the port is closed, and with automatic
// reconnect on, the first attempt is scheduled.
void MarkLost(Connection& connection, Tick now, std::time_t wallNow);

struct Recorder;
// Puts the flight recorder on the connection's port (null takes it off). On a connected
// line the recording first notes the device, the receiver and the line's settings.
void AttachRecorder(Connection& connection, Recorder* recorder);

// The schedule of automatic reconnects: about 1 s after the loss, then 2 s and 5 s after
// each failed attempt, then every 10 s.
int ReconnectDelayMs(int failedAttempts);
// Arms the next attempt by that schedule while the receiver is lost and reconnect is on.
void ScheduleReconnect(Connection& connection, Tick now);
// Milliseconds until the next attempt is due (0: now), or -1 when none is scheduled.
int MsUntilReconnect(const Connection& connection, Tick now);
void SetAutoReconnect(Connection& connection, int on, Tick now);

// What the user is told while the receiver is lost: when, and what is waited for.
void LossText(const Connection& connection, char* out, int size);
// What the user is told while a device that never answered is waited for:
// "Waiting for the receiver on /dev/ttyUSB0 (next try in 5 s). Last try: ...".
void WaitingText(const Connection& connection, Tick now, char* out, int size);
// The clock line of each poll: the local time in the runtime library's ctime form.
void ClockText(std::time_t when, char* out, int size);
