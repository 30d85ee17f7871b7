// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// A fresh, empty folder of one test's own under the temporary directory ($TMPDIR where
// set), removed with everything in it when the test is done. Nothing a test writes has a
// fixed name outside it, so no leftover of an earlier run, or of another user, can be in
// the way.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

struct ScratchDir {
  std::filesystem::path path;

  ScratchDir() {
    static std::atomic<unsigned> counter{0};
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) base = ".";
    auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::path candidate =
          base /
          ("tarnex-test-" + std::to_string(seed % 1000000007ULL) + "-" + std::to_string(counter++));
      // create_directory says false when the name is taken: then the next one.
      if (std::filesystem::create_directory(candidate, error)) {
        path = candidate;
        return;
      }
    }
  }
  ~ScratchDir() {
    std::error_code ignored;  // a test that failed may have left it half-made
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool Made() const { return !path.empty(); }
  std::string Str() const { return path.string(); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

// A whole file as it is on the disk; empty when it cannot be read.
inline std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::string text = FileText(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}
