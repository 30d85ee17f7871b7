// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// The page's files, built into the program from web/page/.
struct PageFile {
  const char* path;  // as asked for: "/panel.js"
  const char* type;  // its Content-Type
  const char* text;
};

extern const PageFile kPageFiles[];
extern const int kPageFileCount;

// The file served at `path`; null when none is.
const PageFile* FindPageFile(const char* path);
