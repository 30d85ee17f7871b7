// SPDX-License-Identifier: BSD-2-Clause
// What a browser, or anyone who reaches the web port, sends: a form, a cookie header, a
// WebSocket message; and what the hub hands the page's server. Nothing may read or write
// out of bounds, a found value fits its room, and a key taken from a message is a key.

#include <cassert>
#include <cstdint>
#include <cstring>
#include <string>

#include "link/receiver_keys.h"
#include "web/web_form.h"
#include "web/web_panel.h"
#include "web/web_sessions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  char value[33];
  if (FormValue(text.c_str(), "password", value, sizeof value)) assert(std::strlen(value) < 33);
  if (CookieValue(text.c_str(), "tarnex", value, sizeof value)) assert(std::strlen(value) < 33);
  int id = KeyInMessage(text.data(), static_cast<int>(size));
  assert(id == 0 || FindKey(id) != nullptr);
  WebPanelFeed feed;
  char json[kScreenJsonSize];
  int used = 0;
  while (NextScreen(feed, data, static_cast<int>(size), used, json)) {
    assert(std::strlen(json) < sizeof json && json[std::strlen(json) - 1] == '}');
  }
  assert(used == static_cast<int>(size));
  return 0;
}
