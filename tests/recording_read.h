// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "recorder/recording.h"

// A recording's records as the reader gives them back, up to the last whole one.
struct ReadBack {
  RecordKind kind;
  uint64_t microseconds;
  std::string payload;
};

inline std::vector<ReadBack> ReadAllRecords(const std::string& path) {
  std::vector<ReadBack> records;
  RecordingReader reader;
  if (!OpenRecording(reader, path.c_str())) return records;
  auto record = std::make_unique<Record>();
  while (ReadRecord(reader, *record)) {
    records.push_back({record->kind, record->microseconds,
                       std::string(reinterpret_cast<const char*>(record->payload),
                                   static_cast<size_t>(record->length))});
  }
  CloseRecording(reader);
  return records;
}

// The payloads of one kind of record, joined: what went one way on the line.
inline std::string Recorded(const std::string& path, RecordKind kind) {
  std::string joined;
  for (const ReadBack& record : ReadAllRecords(path)) {
    if (record.kind == kind) joined += record.payload;
  }
  return joined;
}
