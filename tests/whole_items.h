// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// Whether a dump file is what it must always be: a sequence of whole items. Frames are
// checked by the link's own frame check, sentences by the sentence check.

#include <string>

#include "capture/nmea_ring.h"
#include "link/packet.h"

// "" when the file is whole items only; else where and what breaks it.
inline std::string WholeItemsProblem(const std::string& file, bool sentences) {
  size_t at = 0;
  while (at < file.size()) {
    size_t size = 0;
    if (sentences) {
      size_t end = file.find("\r\n", at);
      if (end == std::string::npos) break;
      size = end + 2 - at;
      if (CheckSentence(file.substr(at, size).c_str()) != 1) break;
    } else {
      if (file.size() - at < static_cast<size_t>(kFrameOverhead)) break;
      size = static_cast<uint8_t>(file[at + 3]) + static_cast<size_t>(kFrameOverhead);
      if (file.size() - at < size) break;
      if (CheckFrame(reinterpret_cast<const uint8_t*>(file.data() + at)) != kFrameValid) break;
    }
    at += size;
  }
  if (at == file.size()) return "";
  return "not a whole item at byte " + std::to_string(at) + " of " + std::to_string(file.size());
}
