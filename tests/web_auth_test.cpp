// SPDX-License-Identifier: BSD-2-Clause
// Who may open the browser panel: the users file, the password check, the sessions and
// the limit on guessing. The time is passed in.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "scratch_dir.h"
#include "web/login_limit.h"
#include "web/web_sessions.h"
#include "web/web_users.h"

namespace {

constexpr Tick kMinute = 60 * 1000;

std::string QuickHash(const char* password) {
  char hash[kPasswordHashSize];
  EXPECT_TRUE(HashPassword(password, hash, 1));
  return hash;
}

struct WebAuth : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(StartPasswordLibrary()); }
  ScratchDir dir;
  int files = 0;

  // A file of its own each time: one made read-only cannot be written again (but by root).
  std::string UsersFile(const std::string& text, std::filesystem::perms mode) {
    std::string path = dir / ("users" + std::to_string(++files));
    std::ofstream(path) << text;
    std::filesystem::permissions(path, mode);
    return path;
  }
};

TEST_F(WebAuth, UserLines) {
  std::string hash = QuickHash("x");
  struct Case {
    std::string line;
    bool good;
    WebRole role;
    const char* said;
  } cases[] = {
      {"ann control " + hash, true, WebRole::kControl, ""},
      {"  bob\tview " + hash + "\r\n", true, WebRole::kView, ""},
      {"ann admin " + hash, false, WebRole::kView, "\"view\" or \"control\""},
      {"ann control", false, WebRole::kView, "not a hash"},
      {"ann control secret", false, WebRole::kView, "not a hash"},
      {"ann control " + hash + " more", false, WebRole::kView, "not a hash"},
      {"a;b view " + hash, false, WebRole::kView, "a user's name"},
      {std::string(33, 'n') + " view " + hash, false, WebRole::kView, "a user's name"},
  };
  for (const Case& c : cases) {
    WebUser user;
    char error[200] = "";
    EXPECT_EQ(ParseWebUserLine(c.line.c_str(), user, error, sizeof error), c.good) << c.line;
    EXPECT_NE(std::strstr(error, c.said), nullptr) << c.line << ": " << error;
    if (c.good) {
      EXPECT_EQ(user.role, c.role) << c.line;
    }
  }
}

TEST_F(WebAuth, TheFileIsRefusedWhenOthersMayChangeItOrItIsWrong) {
  using std::filesystem::perms;
  std::string hash = QuickHash("x");
  std::string good = "# station users\n\nann control " + hash + "\nbob view " + hash + "\n";
  WebUsers users;
  char error[300] = "";
  ASSERT_TRUE(LoadWebUsers(UsersFile(good, perms::owner_read | perms::owner_write).c_str(), users,
                           error, sizeof error))
      << error;
  EXPECT_EQ(users.count, 2);
  EXPECT_STREQ(users.users[1].name, "bob");

  std::string shared = UsersFile(good, perms::owner_all | perms::group_read | perms::group_write);
  EXPECT_FALSE(LoadWebUsers(shared.c_str(), users, error, sizeof error));
  EXPECT_NE(std::strstr(error, "chmod go-w"), nullptr) << error;

  std::string wrong = UsersFile(good + "carl boss " + hash + "\n", perms::owner_read);
  EXPECT_FALSE(LoadWebUsers(wrong.c_str(), users, error, sizeof error));
  EXPECT_NE(std::strstr(error, ":5: the role of carl"), nullptr) << error;

  EXPECT_FALSE(
      LoadWebUsers(UsersFile("# nobody\n", perms::owner_read).c_str(), users, error, sizeof error));
  EXPECT_NE(std::strstr(error, "names no user"), nullptr) << error;
  EXPECT_FALSE(LoadWebUsers((dir / "none").c_str(), users, error, sizeof error));
  EXPECT_NE(std::strstr(error, "cannot read"), nullptr) << error;
}

TEST_F(WebAuth, PasswordCheck) {
  WebUsers users;
  users.count = 2;
  std::snprintf(users.users[0].name, kWebUserNameSize, "ann");
  std::snprintf(users.users[0].hash, kPasswordHashSize, "%s", QuickHash("north star").c_str());
  std::snprintf(users.users[1].name, kWebUserNameSize, "bob");
  std::snprintf(users.users[1].hash, kPasswordHashSize, "%s", QuickHash("south").c_str());
  EXPECT_EQ(CheckPassword(users, "ann", "north star"), &users.users[0]);
  EXPECT_EQ(CheckPassword(users, "bob", "south"), &users.users[1]);
  EXPECT_EQ(CheckPassword(users, "ann", "south"), nullptr);
  EXPECT_EQ(CheckPassword(users, "ann", "north sta"), nullptr);
  EXPECT_EQ(CheckPassword(users, "carl", "north star"), nullptr) << "not ann's by another name";
  EXPECT_EQ(CheckPassword(users, "", ""), nullptr);
  // Two hashes of one password differ: each is salted.
  EXPECT_NE(QuickHash("same"), QuickHash("same"));
}

TEST(WebSessionsTest, KeysAreRandomAndSessionsExpire) {
  WebSessions sessions;
  Tick now = 1000;
  std::set<std::string> keys;
  WebSession& ann = OpenSession(sessions, "ann", WebRole::kControl, now);
  std::string annId = ann.id;
  std::string annToken = ann.token;
  EXPECT_EQ(annId.size(), 64u);
  EXPECT_NE(annId, annToken);
  for (int i = 0; i < 20; ++i) keys.insert(OpenSession(sessions, "x", WebRole::kView, now).id);
  EXPECT_EQ(keys.size(), 20u);

  EXPECT_EQ(FindSession(sessions, annId.c_str(), now + 1), &ann);
  EXPECT_TRUE(TokenMatches(ann, annToken.c_str()));
  EXPECT_FALSE(TokenMatches(ann, annId.c_str()));
  EXPECT_FALSE(TokenMatches(ann, annToken.substr(0, 63).c_str()));
  EXPECT_FALSE(TokenMatches(ann, ""));
  std::string forged = annId;
  forged[10] = forged[10] == 'a' ? 'b' : 'a';
  EXPECT_EQ(FindSession(sessions, forged.c_str(), now), nullptr);

  // Seen now and then, it lives until its twelve hours are over.
  Tick seen = now;
  while (seen + 20 * kMinute < now + kSessionLifeMs) {
    seen += 20 * kMinute;
    ASSERT_NE(FindSession(sessions, annId.c_str(), seen), nullptr) << seen;
  }
  EXPECT_EQ(FindSession(sessions, annId.c_str(), now + kSessionLifeMs), nullptr);
  EXPECT_EQ(FindSession(sessions, annId.c_str(), now + 1), nullptr) << "closed for good";

  WebSession& bob = OpenSession(sessions, "bob", WebRole::kView, now);
  std::string bobId = bob.id;
  EXPECT_EQ(FindSession(sessions, bobId.c_str(), now + kSessionIdleMs), nullptr) << "idle";
}

TEST(WebSessionsTest, AFullTableEndsTheSessionIdleLongest) {
  WebSessions sessions;
  std::string first;
  for (int i = 0; i < kMaxWebSessions; ++i) {
    WebSession& session = OpenSession(sessions, "u", WebRole::kView, 100 + i);
    if (i == 0) first = session.id;
  }
  std::string second = sessions.slots[1].id;
  ASSERT_NE(FindSession(sessions, first.c_str(), 500), nullptr);  // seen: no longer idlest
  OpenSession(sessions, "late", WebRole::kView, 600);
  EXPECT_NE(FindSession(sessions, first.c_str(), 601), nullptr);
  EXPECT_EQ(FindSession(sessions, second.c_str(), 601), nullptr);
}

TEST(WebSessionsTest, CookieValues) {
  struct Case {
    const char* header;
    bool found;
    const char* value;
  } cases[] = {
      {"tarnex=abc", true, "abc"},
      {"theme=dark; tarnex=abc; other=1", true, "abc"},
      {"xtarnex=abc", false, ""},
      {"tarnexx=abc", false, ""},
      {"tarnex=", false, ""},
      {"tarnex=0123456789", false, ""},  // longer than the room given
      {"", false, ""},
  };
  for (const Case& c : cases) {
    char value[8] = "";
    EXPECT_EQ(CookieValue(c.header, "tarnex", value, sizeof value), c.found) << c.header;
    if (c.found) {
      EXPECT_STREQ(value, c.value) << c.header;
    }
  }
}

TEST(LoginLimitTest, AGuesserIsLockedOutAndOthersAreNot) {
  auto limit = std::make_unique<LoginLimit>();
  Tick now = 0;
  Tick wait = 0;
  for (int i = 0; i < kLoginFailuresAllowed; ++i) {
    now += kLoginPaceMs;
    ASSERT_TRUE(MayTryLogin(*limit, "10.0.0.9", now, wait)) << i;
    EXPECT_EQ(NoteLoginFailure(*limit, "10.0.0.9", now), i == kLoginFailuresAllowed - 1);
  }
  Tick lockedAt = now;
  now += kLoginPaceMs;
  EXPECT_FALSE(MayTryLogin(*limit, "10.0.0.9", now, wait));
  EXPECT_EQ(wait, lockedAt + kLoginLockMs - now);
  EXPECT_TRUE(MayTryLogin(*limit, "10.0.0.7", now, wait)) << "another address";
  EXPECT_FALSE(MayTryLogin(*limit, "10.0.0.8", now + 1, wait)) << "too soon after a check";
  EXPECT_EQ(wait, kLoginPaceMs - 1);
  EXPECT_TRUE(MayTryLogin(*limit, "10.0.0.9", lockedAt + kLoginLockMs, wait));

  // Failures spread wider than the lock never add up; a success forgets them.
  now = lockedAt + 2 * kLoginLockMs;
  for (int i = 0; i < 3 * kLoginFailuresAllowed; ++i) {
    now += kLoginLockMs / 2;
    ASSERT_TRUE(MayTryLogin(*limit, "10.0.0.5", now, wait)) << i;
    EXPECT_FALSE(NoteLoginFailure(*limit, "10.0.0.5", now));
    if (i % 2 == 1) NoteLoginSuccess(*limit, "10.0.0.5");
  }
}

TEST(LoginLimitTest, ManyAddressesDoNotUnlockALockedOne) {
  auto limit = std::make_unique<LoginLimit>();
  Tick now = 0;
  Tick wait = 0;
  for (int i = 0; i < kLoginFailuresAllowed; ++i) {
    now += kLoginPaceMs;
    MayTryLogin(*limit, "10.1.1.1", now, wait);
    NoteLoginFailure(*limit, "10.1.1.1", now);
  }
  // Fewer new addresses than the table holds leave the locked one where it is.
  for (int i = 0; i < kLoginAddresses - 1; ++i) {
    now += kLoginPaceMs;
    std::string address = "10.2.0." + std::to_string(i);
    ASSERT_TRUE(MayTryLogin(*limit, address.c_str(), now, wait)) << address;
  }
  EXPECT_FALSE(MayTryLogin(*limit, "10.1.1.1", now + kLoginPaceMs, wait));
}

}  // namespace
