// SPDX-License-Identifier: BSD-2-Clause
#include <cerrno>
#include <cstring>

#include "base/regular_file.h"

const char* FileErrorText(int error) {
  if (error == ELOOP) {
    return "it is a symbolic link, which Tarnex does not follow: remove it or log elsewhere";
  }
  if (error == kNotRegularFile) {
    return "it is not a regular file (a folder, a pipe or a device): remove it or log "
           "elsewhere";
  }
  return std::strerror(error);
}
