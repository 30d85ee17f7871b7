// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// The file size limit (RLIMIT_FSIZE) stands for a full disk without root: a write that
// reaches it is cut short and the rest fails with EFBIG (SIGXFSZ ignored meanwhile).

#include <signal.h>
#include <sys/resource.h>

// Holds the limit while it lives; the process's own limit is put back after.
struct FileSizeLimit {
  rlimit before = {};
  void (*handler)(int) = nullptr;
  explicit FileSizeLimit(rlim_t bytes) {
    handler = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit limited = before;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, handler);
  }
};
