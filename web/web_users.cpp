// SPDX-License-Identifier: BSD-2-Clause
#include "web/web_users.h"

#include <sodium.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The next word of `line` into `out` (size bytes with its end); false when there is none
// or it does not fit.
bool NextWord(const char*& line, char* out, int size) {
  while (IsBlank(*line)) ++line;
  int length = 0;
  while (*line != '\0' && !IsBlank(*line)) {
    if (length + 1 >= size) return false;
    out[length++] = *line++;
  }
  out[length] = '\0';
  return length > 0;
}

bool NothingMore(const char* line) {
  while (IsBlank(*line)) ++line;
  return *line == '\0';
}

bool NameIsPlain(const char* name) {
  for (const char* c = name; *c != '\0'; ++c) {
    bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
                 *c == '.' || *c == '_' || *c == '-';
    if (!plain) return false;
  }
  return true;
}

// Anyone who may change the file may give themselves the keys.
bool OthersMayChange(const char* path, char* error, int errorSize) {
  std::error_code failure;
  auto status = std::filesystem::status(path, failure);
  if (failure) {
    std::snprintf(error, static_cast<size_t>(errorSize), "cannot read %s: %s", path,
                  failure.message().c_str());
    return true;
  }
  using std::filesystem::perms;
  if ((status.permissions() & (perms::group_write | perms::others_write)) == perms::none) {
    return false;
  }
  std::snprintf(error, static_cast<size_t>(errorSize),
                "%s may be changed by others than its owner: allow only its owner to write "
                "it (chmod go-w %s)",
                path, path);
  return true;
}

}  // namespace

bool StartPasswordLibrary() {
  return sodium_init() >= 0;
}

bool ParseWebUserLine(const char* line, WebUser& user, char* error, int errorSize) {
  char role[16];
  if (!NextWord(line, user.name, sizeof user.name) || !NameIsPlain(user.name)) {
    std::snprintf(error, static_cast<size_t>(errorSize),
                  "a user's name is 1 to 32 letters, digits, '.', '_' or '-'");
    return false;
  }
  if (!NextWord(line, role, sizeof role) ||
      (std::strcmp(role, "view") != 0 && std::strcmp(role, "control") != 0)) {
    std::snprintf(error, static_cast<size_t>(errorSize),
                  "the role of %s is \"view\" or \"control\"", user.name);
    return false;
  }
  user.role = std::strcmp(role, "control") == 0 ? WebRole::kControl : WebRole::kView;
  if (!NextWord(line, user.hash, sizeof user.hash) ||
      std::strncmp(user.hash, "$argon2id$", 10) != 0 || !NothingMore(line)) {
    std::snprintf(error, static_cast<size_t>(errorSize),
                  "the password of %s is not a hash from tarnex-log --hash-password", user.name);
    return false;
  }
  return true;
}

bool LoadWebUsers(const char* path, WebUsers& users, char* error, int errorSize) {
  users.count = 0;
  if (OthersMayChange(path, error, errorSize)) return false;
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    std::snprintf(error, static_cast<size_t>(errorSize), "cannot read %s: %s", path,
                  std::strerror(errno));
    return false;
  }
  char line[512];
  char why[200];
  bool good = true;
  for (int number = 1; good && std::fgets(line, sizeof line, file) != nullptr; ++number) {
    const char* start = line;
    while (IsBlank(*start)) ++start;
    if (*start == '\0' || *start == '#') continue;
    WebUser user;
    if (std::strchr(line, '\n') == nullptr && !std::feof(file)) {
      std::snprintf(why, sizeof why, "the line is too long");
      good = false;
    } else if (!ParseWebUserLine(start, user, why, sizeof why)) {
      good = false;
    } else if (users.count == kMaxWebUsers) {
      std::snprintf(why, sizeof why, "more than %d users", kMaxWebUsers);
      good = false;
    } else {
      users.users[users.count++] = user;
    }
    if (!good) std::snprintf(error, static_cast<size_t>(errorSize), "%s:%d: %s", path, number, why);
  }
  std::fclose(file);
  if (good && users.count == 0) {
    std::snprintf(error, static_cast<size_t>(errorSize), "%s names no user", path);
    good = false;
  }
  return good;
}

const WebUser* CheckPassword(const WebUsers& users, const char* name, const char* password) {
  size_t length = std::strlen(password);
  if (length > kMaxPasswordLength || users.count == 0) return nullptr;
  const WebUser* found = nullptr;
  for (int i = 0; i < users.count && found == nullptr; ++i) {
    if (std::strcmp(users.users[i].name, name) == 0) found = &users.users[i];
  }
  // A name that is not there is checked against a hash of the same cost all the same.
  const char* hash = found != nullptr ? found->hash : users.users[0].hash;
  bool matches = crypto_pwhash_str_verify(hash, password, length) == 0;
  return matches && found != nullptr ? found : nullptr;
}

bool HashPassword(const char* password, char (&hash)[kPasswordHashSize], int cost) {
  static_assert(kPasswordHashSize == crypto_pwhash_STRBYTES);
  unsigned long long ops =
      cost == 0 ? crypto_pwhash_OPSLIMIT_INTERACTIVE : crypto_pwhash_OPSLIMIT_MIN;
  size_t memory = cost == 0 ? crypto_pwhash_MEMLIMIT_INTERACTIVE : crypto_pwhash_MEMLIMIT_MIN;
  return crypto_pwhash_str_alg(hash, password, std::strlen(password), ops, memory,
                               crypto_pwhash_ALG_ARGON2ID13) == 0;
}
