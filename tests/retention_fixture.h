// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// Retention on a log folder of the test's own, with the clocks passed in.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/local_time.h"
#include "capture/split_retention.h"
#include "tests/scratch_dir.h"

// 2026-12-07 10:00:00 UTC
constexpr std::time_t kTenOClock = 1796637600;
constexpr int64_t kDay = 86400;

// A file last written at `modified` (UTC seconds), with its folders.
inline std::string MakeFileAt(const std::filesystem::path& path, std::time_t modified) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  std::ofstream(path) << "x";
  auto when = std::chrono::system_clock::from_time_t(modified);
  std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::from_sys(when),
                                   error);
  return path.string();
}

struct Pruning {
  ScratchDir scratch;
  std::string directory = scratch.Str();
  WrittenPeriods written;
  Retention retention;
  std::vector<std::string> said, failures;
  RetentionClock clock;

  Pruning(int split, int64_t keepSeconds) {
    retention.directory = directory.c_str();
    retention.split = split;
    retention.keepSeconds = keepSeconds;
    retention.written = &written;
    retention.context = this;
    retention.said = [](void* context, const char* text, bool failure) {
      auto* pruning = static_cast<Pruning*>(context);
      (failure ? pruning->failures : pruning->said).push_back(text);
    };
    clock.wall = kTenOClock;
    clock.tick = 1000000;
    clock.systemSynchronized = true;
  }
  std::string Make(const std::string& name, std::time_t modified) {
    return MakeFileAt(scratch.path / name, modified);
  }
  bool Exists(const std::string& name) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(scratch.path / name, error));
  }
  // A look at the clocks as they are, then both moved on by `seconds`.
  int Look(int64_t seconds = 0) {
    int deleted = PruneSplitFiles(retention, clock);
    clock.wall += seconds;
    clock.tick += seconds * 1000;
    return deleted;
  }
};
