// SPDX-License-Identifier: BSD-2-Clause
// Whether a folder's dump files are whole items only, and how many of each stream it
// holds: "posn 120 obsd 120 corr 240 nmea 520", exit status 1 for a file that is not.
//   dump_check DIR

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/whole_items.h"

namespace {

// The items of a file that is whole; -1 when it is not.
long CountItems(const std::string& file, bool sentences) {
  if (!WholeItemsProblem(file, sentences).empty()) return -1;
  if (sentences) {
    long lines = 0;
    for (size_t at = file.find("\r\n"); at != std::string::npos; at = file.find("\r\n", at + 2))
      ++lines;
    return lines;
  }
  long frames = 0;
  for (size_t at = 0; at < file.size(); ++frames)
    at += static_cast<uint8_t>(file[at + 3]) + static_cast<size_t>(kFrameOverhead);
  return frames;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dump_check DIR\n");
    return 2;
  }
  int status = 0;
  for (const char* stream : {"posn", "obsd", "corr", "nmea"}) {
    std::string path = std::string(argv[1]) + "/" + stream + ".dmp";
    std::ifstream in(path, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    long items = CountItems(file, std::string(stream) == "nmea");
    if (items < 0) {
      std::printf("%s NOT WHOLE ", stream);
      status = 1;
    } else {
      std::printf("%s %ld ", stream, items);
    }
  }
  std::printf("\n");
  return status;
}
