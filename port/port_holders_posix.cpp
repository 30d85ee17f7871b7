// SPDX-License-Identifier: BSD-2-Clause
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "port/port_holders.h"

namespace {

bool HoldsOpen(const std::string& fdDir, const char* target) {
  DIR* fds = opendir(fdDir.c_str());
  if (fds == nullptr) return false;
  bool holds = false;
  while (const struct dirent* fd = readdir(fds)) {
    char link[PATH_MAX];
    ssize_t n = readlink((fdDir + "/" + fd->d_name).c_str(), link, sizeof link - 1);
    if (n <= 0) continue;
    link[n] = '\0';
    holds = holds || std::strcmp(link, target) == 0;
  }
  closedir(fds);
  return holds;
}

void CommandOf(const std::string& processDir, char* out, size_t size) {
  std::snprintf(out, size, "?");
  FILE* comm = std::fopen((processDir + "/comm").c_str(), "r");
  if (comm == nullptr) return;
  if (std::fgets(out, static_cast<int>(size), comm) != nullptr) out[std::strcspn(out, "\n")] = '\0';
  std::fclose(comm);
}

}  // namespace

int ForEachPortHolder(const char* path, const char* procRoot,
                      void (*each)(void* context, long pid, const char* command), void* context,
                      bool* unseen) {
  if (unseen != nullptr) *unseen = false;
  char target[PATH_MAX];
  if (realpath(path, target) == nullptr) return 0;
  DIR* processes = opendir(procRoot);
  if (processes == nullptr) return 0;
  int holders = 0;
  while (const struct dirent* process = readdir(processes)) {
    if (process->d_name[0] < '0' || process->d_name[0] > '9') continue;
    long pid = std::atol(process->d_name);
    if (pid == static_cast<long>(getpid())) continue;
    std::string processDir = std::string(procRoot) + "/" + process->d_name;
    if (access((processDir + "/fd").c_str(), R_OK | X_OK) != 0) {
      if (unseen != nullptr) *unseen = true;
      continue;
    }
    if (!HoldsOpen(processDir + "/fd", target)) continue;
    char command[64];
    CommandOf(processDir, command, sizeof command);
    each(context, pid, command);
    ++holders;
  }
  closedir(processes);
  return holders;
}

void PortHolderText(const char* path, char* out, int size) {
  out[0] = '\0';
  struct First {
    char* out;
    int size;
  } first = {out, size};
  ForEachPortHolder(
      path, "/proc",
      [](void* context, long pid, const char* command) {
        auto* found = static_cast<First*>(context);
        if (found->out[0] != '\0') return;
        std::snprintf(found->out, static_cast<size_t>(found->size), " (held by %s, process %ld)",
                      command, pid);
      },
      &first, nullptr);
}
