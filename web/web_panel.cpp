// SPDX-License-Identifier: BSD-2-Clause
#include "web/web_panel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/screen_text.h"
#include "capture/shared_screen.h"
#include "link/packet_type.h"
#include "link/receiver_keys.h"

namespace {

// Appends `text` to out[at..size); the new length, or size when it did not fit.
int Put(char* out, int size, int at, const char* text) {
  int length = static_cast<int>(std::strlen(text));
  if (at + length >= size) return size;
  std::memcpy(out + at, text, static_cast<size_t>(length) + 1);
  return at + length;
}

// A display code as a JSON string's character.
int PutCell(char* out, int size, int at, uint8_t code) {
  char16_t shown = Cp1252ToUnicode(TranslateLcdChar(code));
  char text[8];
  if (shown == '"' || shown == '\\') {
    std::snprintf(text, sizeof text, "\\%c", static_cast<char>(shown));
  } else if (shown >= 0x20 && shown < 0x7F) {
    std::snprintf(text, sizeof text, "%c", static_cast<char>(shown));
  } else {
    std::snprintf(text, sizeof text, "\\u%04x", static_cast<unsigned>(shown));
  }
  return Put(out, size, at, text);
}

}  // namespace

int ScreenJson(const uint8_t* data, int length, char (&json)[kScreenJsonSize]) {
  ScreenImage image;
  std::memset(image.bytes, ' ', kScreenCells);
  image.bytes[kScreenCells] = 0xFF;
  std::memcpy(image.bytes, data,
              static_cast<size_t>(length < kScreenImageSize ? length : kScreenImageSize));
  int at = Put(json, kScreenJsonSize, 0, "{\"screen\":{\"rows\":[");
  for (int line = 0; line < kScreenLines; ++line) {
    at = Put(json, kScreenJsonSize, at, line == 0 ? "\"" : ",\"");
    for (int column = 0; column < kScreenColumns; ++column) {
      at = PutCell(json, kScreenJsonSize, at, image.bytes[line * kScreenColumns + column]);
    }
    at = Put(json, kScreenJsonSize, at, "\"");
  }
  int cursor = image.bytes[kScreenCells] < kScreenCells ? image.bytes[kScreenCells] : -1;
  char tail[40];
  std::snprintf(tail, sizeof tail, "],\"cursor\":%d}}", cursor);
  return Put(json, kScreenJsonSize, at, tail);
}

bool NextScreen(WebPanelFeed& feed, const uint8_t* bytes, int count, int& used,
                char (&json)[kScreenJsonSize]) {
  for (;;) {
    int pulled;
    while ((pulled = PullPacket(feed.input, feed.linkState, feed.packet)) != -1) {
      if (pulled == 0 && feed.packet.type == TypeByte(PacketType::kScreen)) {
        ScreenJson(feed.packet.data, feed.packet.length, json);
        return true;
      }
    }
    if (used >= count) return false;
    int room = static_cast<int>(sizeof feed.input.bytes) - RingFill(feed.input) - 1;
    int take = count - used < room ? count - used : room;
    PushReceived(feed.input, bytes + used, take);
    used += take;
  }
}

int ScreenRequestFrames(uint8_t (&out)[2 * kMaxFrameLength]) {
  uint8_t type = TypeByte(PacketType::kScreen);
  int size = BuildFrame(type, kScreenRequestLong, sizeof kScreenRequestLong, out);
  return size + BuildFrame(type, kScreenRequestShort, sizeof kScreenRequestShort, out + size);
}

int KeyFrame(int commandId, uint8_t (&frame)[kMaxFrameLength]) {
  const KeySpec* key = FindKey(commandId);
  if (key == nullptr) return 0;
  return BuildFrame(TypeByte(PacketType::kKey), &key->fourLineCode, 1, frame);
}

int KeysJson(char* out, int size) {
  int at = Put(out, size, 0, "{\"keys\":[");
  for (int i = 0; i < kKeyCount; ++i) {
    const KeySpec& key = kKeys[i];
    char text[160];
    std::snprintf(
        text, sizeof text, "%s{\"caption\":\"%s\",\"id\":%d,\"x\":%d,\"y\":%d,\"w\":%d,\"h\":%d}",
        i == 0 ? "" : ",", key.caption, key.commandId, key.x, key.y, key.width, key.height);
    at = Put(out, size, at, text);
  }
  at = Put(out, size, at, "],\"keyboard\":{");
  bool first = true;
  for (int i = 0; i < kKeyBindingCount; ++i) {
    const KeyBinding& binding = kKeyBindings[i];
    if ((binding.modes & kFourLineOnly) == 0) continue;
    char text[80];
    std::snprintf(text, sizeof text, "%s\"%s\":%d", first ? "" : ",", binding.key,
                  binding.commandId);
    at = Put(out, size, at, text);
    first = false;
  }
  at = Put(out, size, at, "}}");
  return at < size ? at : 0;
}

int KeyInMessage(const char* text, int length) {
  char message[64];
  if (length <= 0 || length >= static_cast<int>(sizeof message)) return 0;
  std::memcpy(message, text, static_cast<size_t>(length));
  message[length] = '\0';
  int id = 0;
  char end = 0;
  if (std::sscanf(message, " { \"key\" : %d } %c", &id, &end) != 1) return 0;
  return FindKey(id) != nullptr ? id : 0;
}
