// SPDX-License-Identifier: BSD-2-Clause
#include "capture/folder_text.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

void DumpDirectoryText(const char* directory, char* out, size_t size) {
  std::error_code error;
  std::filesystem::path where =
      std::filesystem::absolute(directory[0] != '\0' ? directory : ".", error);
  if (error) {
    std::snprintf(out, size, "%s", directory[0] != '\0' ? directory : "the current directory");
    return;
  }
  where = where.lexically_normal();
  if (!where.has_filename() && where.has_parent_path() && where != where.root_path()) {
    where = where.parent_path();  // "/home/ann/logs/" from "logs/." or "logs/"
  }
  std::snprintf(out, size, "%s", where.string().c_str());
}
