// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/tick.h"
#include "link/packet.h"
#include "link/rx_ring.h"

// The browser panel's side of the receiver, apart from the network: what it asks the
// hub for (the screen again each time one has come, while any browser watches: the hub
// keeps the rounds one poll period apart, and asks for a key's effect as a panel does),
// the keys it takes from the page, and the screens it gets, turned into the text the
// page draws. The page speaks JSON; everything here
// writes into fixed buffers.

constexpr int kScreenJsonSize = 1200;  // 160 characters as \uXXXX at worst, and the rest

// What the hub sends this client, cut into frames.
struct WebPanelFeed {
  RxRing input;
  int linkState = kNothingReceived;
  Packet packet;
};

// Takes the hub's bytes; for each screen frame among them, its data is turned into
// `json` (of kScreenJsonSize) and true is returned, with `used` the bytes taken so far:
// call again with the rest until it returns false.
bool NextScreen(WebPanelFeed& feed, const uint8_t* bytes, int count, int& used,
                char (&json)[kScreenJsonSize]);

// {"screen":{"rows":["...",...],"cursor":N}}: the four lines as the panel draws them,
// and the cursor's cell (-1: none).
int ScreenJson(const uint8_t* data, int length, char (&json)[kScreenJsonSize]);

// The frames that ask for the screen, into `out`; their size.
int ScreenRequestFrames(uint8_t (&out)[2 * kMaxFrameLength]);

// The frame of a key pressed on the page (its command id), in the four-line display's
// codes; 0 when the id is no key.
int KeyFrame(int commandId, uint8_t (&frame)[kMaxFrameLength]);

// The page's keys and keyboard: {"keys":[{"caption":..,"id":..,"x":..,"y":..,"w":..,"h":..},
// ...],"keyboard":{"F1":2073,...}}. The size written, 0 when it does not fit.
int KeysJson(char* out, int size);

// The command id in a message from the page, {"key":N}; 0 when it is not one.
int KeyInMessage(const char* text, int length);
