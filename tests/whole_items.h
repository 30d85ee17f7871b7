// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// Whether a dump file is what it must always be: a sequence of whole items. Frames are
// checked by the link's own frame check, sentences by the sentence check.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

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

// Hands each item of a stream of whole items to `each(first, size, isFrame)` in order:
// frames, sentences (up to their LF) and a lone byte between them (an ACK). A cut item at
// the end is left out.
template <typename Each>
void ForEachItem(const std::vector<uint8_t>& stream, Each each) {
  for (size_t at = 0; at < stream.size();) {
    size_t size = 1;
    bool frame = stream[at] == kStx && at + 3 < stream.size();
    if (frame) {
      size = stream[at + 3] + static_cast<size_t>(kFrameOverhead);
    } else if (stream[at] == '$') {
      auto lf = std::find(stream.begin() + static_cast<long>(at), stream.end(), '\n');
      size = static_cast<size_t>(lf - stream.begin()) + 1 - at;
    }
    if (at + size > stream.size()) break;
    each(stream.data() + at, size, frame);
    at += size;
  }
}
