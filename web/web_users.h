// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// --web-users: who may open the panel in a browser, and whether they may press its keys.
// One user a line: NAME ROLE HASH, the role "view" or "control", the hash as
// `tarnex-log --hash-password` prints it (Argon2id, salted, from libsodium). Blank lines
// and lines starting with # are skipped.

constexpr int kMaxWebUsers = 64;
constexpr int kWebUserNameSize = 33;  // 32 characters
constexpr int kPasswordHashSize = 128;
constexpr int kMaxPasswordLength = 256;

enum class WebRole { kView, kControl };

struct WebUser {
  char name[kWebUserNameSize] = "";
  WebRole role = WebRole::kView;
  char hash[kPasswordHashSize] = "";
};

struct WebUsers {
  WebUser users[kMaxWebUsers];
  int count = 0;
};

// Reads the file. false with `error` naming the line and what is wrong with it, or why
// the file cannot be used: unreadable, or one that others than its owner may change.
bool LoadWebUsers(const char* path, WebUsers& users, char* error, int errorSize);

// One line of the file; false with `error` saying what is wrong.
bool ParseWebUserLine(const char* line, WebUser& user, char* error, int errorSize);

// The user with this name and password, or null. It takes as long for a name that is
// not there as for a wrong password, so that a guesser cannot tell which it was.
const WebUser* CheckPassword(const WebUsers& users, const char* name, const char* password);

// The hash of a password for the file; false when the system could not make it (out of
// memory). `cost` 0 is the strength for use; tests pass 1 for the least.
bool HashPassword(const char* password, char (&hash)[kPasswordHashSize], int cost = 0);

// libsodium set up once; false when it cannot be (no random source).
bool StartPasswordLibrary();
