// SPDX-License-Identifier: BSD-2-Clause
#include "web/web_page.h"

#include <cstring>

const PageFile* FindPageFile(const char* path) {
  for (int i = 0; i < kPageFileCount; ++i) {
    if (std::strcmp(kPageFiles[i].path, path) == 0) return &kPageFiles[i];
  }
  return nullptr;
}
