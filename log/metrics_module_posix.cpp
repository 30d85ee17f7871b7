// SPDX-License-Identifier: BSD-2-Clause
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "log/metrics_module.h"

namespace {

// The folder of the running program, with its final slash; "" when it cannot be told.
std::string ProgramFolder() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  std::string program(path, static_cast<size_t>(length));
  return program.substr(0, program.rfind('/') + 1);
}

// The module's function that gives `symbol`'s table; null with `error` saying where it was
// looked for and why not.
void* FindInModule(const char* symbol, const char* serving, char* error, int errorSize) {
  std::string folder = ProgramFolder();
  const std::string places[] = {folder + kMetricsModuleName,
                                folder + "../lib/tarnex/modules/" + kMetricsModuleName};
  std::string why;
  for (const std::string& place : places) {
    void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      const char* reason = dlerror();
      if (why.empty() || access(place.c_str(), F_OK) == 0) why = reason != nullptr ? reason : "?";
      continue;
    }
    void* found = dlsym(module, symbol);
    if (found != nullptr) return found;
    why = place + " is not Tarnex's HTTP module";
    dlclose(module);
  }
  std::snprintf(error, static_cast<size_t>(errorSize),
                "cannot serve %s: %s (reinstall tarnex to bring back %s)", serving, why.c_str(),
                kMetricsModuleName);
  return nullptr;
}

}  // namespace

const MetricsServerApi* LoadMetricsModule(char* error, int errorSize) {
  void* api = FindInModule("TarnexMetricsServerApi", "metrics", error, errorSize);
  return api != nullptr ? reinterpret_cast<const MetricsServerApi* (*)()>(api)() : nullptr;
}

const WebServerApi* LoadWebModule(char* error, int errorSize) {
  void* api = FindInModule("TarnexWebServerApi", "the web panel", error, errorSize);
  return api != nullptr ? reinterpret_cast<const WebServerApi* (*)()>(api)() : nullptr;
}
