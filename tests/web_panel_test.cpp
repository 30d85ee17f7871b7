// SPDX-License-Identifier: BSD-2-Clause
// The browser panel's side of the receiver without the network: the screens it turns into
// the page's text, the keys it accepts from the page, when it asks for screens, and the
// forms it reads.

#include "web/web_panel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/packet.h"
#include "link/packet_type.h"
#include "link/receiver_keys.h"
#include "test_bytes.h"
#include "web/web_form.h"

namespace {

Bytes ScreenFrame(const std::string& text, uint8_t cursor) {
  Bytes data(160, ' ');
  for (size_t i = 0; i < text.size() && i < 160; ++i) data[i] = static_cast<uint8_t>(text[i]);
  data.push_back(cursor);
  return Frame(TypeByte(PacketType::kScreen), data);
}

TEST(WebPanel, ScreensAsThePageDrawsThem) {
  char json[kScreenJsonSize];
  Bytes data(160, ' ');
  const char* first = "POS \"52\" a\\b";
  std::memcpy(data.data(), first, std::strlen(first));
  data[20] = 0xDF;  // the receiver's degree sign, drawn as the panel draws it
  data[21] = 0x00;  // a display code below ASCII's letters
  data[40] = 0x80;  // code page 1252's euro sign
  data.push_back(45);
  ScreenJson(data.data(), static_cast<int>(data.size()), json);
  std::string text = json;
  EXPECT_EQ(text.rfind("{\"screen\":{\"rows\":[\"POS \\\"52\\\" a\\\\b", 0), 0u) << text;
  EXPECT_NE(text.find("\\u00baA"), std::string::npos) << text;
  EXPECT_NE(text.find(",\"\\u20ac "), std::string::npos) << "the second row" << text;
  EXPECT_NE(text.find("],\"cursor\":45}}"), std::string::npos) << text;

  // A screen with every cell a character that must be escaped still fits whole.
  Bytes worst(160, 0x80);
  worst.push_back(0xFF);
  ASSERT_GT(ScreenJson(worst.data(), 161, json), 0);
  EXPECT_NE(std::string(json).find("\"cursor\":-1}}"), std::string::npos) << "no cursor";
}

TEST(WebPanel, ScreensAreCutFromTheHubsBytesWhateverComesBetween) {
  // A position record and a sentence between the screens: not for the page.
  Bytes stream = Cat({Frame(0x40, Bytes(30, 7)), ScreenFrame("FIRST", 1), Text("$GPTXT*00\r\n"),
                      ScreenFrame("SECOND", 2)});
  // Split at every place: the screens come out whole, in order, each once.
  for (size_t split = 0; split <= stream.size(); split += 7) {
    WebPanelFeed feed;
    std::vector<std::string> seen;
    char json[kScreenJsonSize];
    for (int part = 0; part < 2; ++part) {
      const uint8_t* start = stream.data() + (part == 0 ? 0 : split);
      int count = static_cast<int>(part == 0 ? split : stream.size() - split);
      int used = 0;
      while (NextScreen(feed, start, count, used, json)) seen.push_back(json);
      EXPECT_EQ(used, count);
    }
    ASSERT_EQ(seen.size(), 2u) << split;
    EXPECT_NE(seen[0].find("FIRST"), std::string::npos);
    EXPECT_NE(seen[1].find("SECOND"), std::string::npos);
  }
}

TEST(WebPanel, OnlyKeysOfThePanelAreTakenFromThePage) {
  struct Case {
    const char* message;
    int id;
  } cases[] = {
      {"{\"key\":2055}", 2055},  {" { \"key\" : 2063 } ", 2063},
      {"{\"key\":2053}", 0},     {"{\"key\":2080}", 0},
      {"{\"key\":\"2055\"}", 0}, {"{\"key\":2055}x", 0},
      {"{\"keys\":2055}", 0},    {"", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeyInMessage(c.message, static_cast<int>(std::strlen(c.message))), c.id) << c.message;
  }
  std::string longer(100, ' ');
  longer += "{\"key\":2055}";
  EXPECT_EQ(KeyInMessage(longer.c_str(), static_cast<int>(longer.size())), 0) << "too long";
  // The key goes as the panel's four-line code.
  uint8_t frame[kMaxFrameLength];
  ASSERT_GT(KeyFrame(2055, frame), 0);
  EXPECT_EQ(Bytes(frame, frame + 7), Frame(TypeByte(PacketType::kKey), {77}));
  EXPECT_EQ(KeyFrame(2049, frame), 0);
}

TEST(WebPanel, TheKeysAndKeyboardForThePage) {
  char json[4096];
  ASSERT_GT(KeysJson(json, sizeof json), 0);
  for (const KeySpec& key : kKeys) {
    EXPECT_NE(std::strstr(json, ("\"id\":" + std::to_string(key.commandId)).c_str()), nullptr);
  }
  EXPECT_NE(std::strstr(json, "\"F5\":2054"), nullptr) << "four-line bindings";
  EXPECT_EQ(std::strstr(json, "\"Escape\""), nullptr) << "the two-line panel's only";
  EXPECT_EQ(KeysJson(json, 100), 0) << "too small is said, not cut";
}

TEST(WebForm, FieldsAreFoundAndDecoded) {
  struct Case {
    const char* form;
    const char* name;
    bool found;
    const char* value;
  } cases[] = {
      {"user=ann&password=north+star", "password", true, "north star"},
      {"user=ann&password=a%26b%3Dc%25", "password", true, "a&b=c%"},
      {"xuser=bob&user=ann", "user", true, "ann"},
      {"user=", "user", true, ""},
      {"user", "user", false, ""},
      {"password=x", "user", false, ""},
      {"user=a%2", "user", false, ""},
      {"user=a%zz", "user", false, ""},
      {"user=a%00b", "user", false, ""},
      {"user=01234567890", "user", false, ""},  // longer than the room given
  };
  for (const Case& c : cases) {
    char value[11] = "unchanged";
    EXPECT_EQ(FormValue(c.form, c.name, value, sizeof value), c.found) << c.form;
    if (c.found) {
      EXPECT_STREQ(value, c.value) << c.form;
    }
  }
}

TEST(WebForm, OnlyLoopbackNamesAreThisMachine) {
  struct Case {
    const char* host;
    bool loopback;
  } cases[] = {
      {"127.0.0.1:8080", true},
      {"127.1.2.3", true},
      {"localhost:80", true},
      {"[::1]:8080", true},
      {"[::1]", true},
      {"evil.example:8080", false},
      {"localhost.evil.example", false},
      {"127.0.0.1.evil.example", false},
      {"10.0.0.1:80", false},
      {"[::2]:80", false},
      {"[::1]x", false},
      {"127.0.0.256", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(HostIsLoopback(c.host), c.loopback) << c.host;
}

}  // namespace
