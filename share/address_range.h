// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// Who may attach to a shared receiver, and who may press its keys: lists of address
// ranges ("127.0.0.0/8,::1,192.168.4.0/24"), matched against a client's address.

struct NetAddress {
  bool v4 = true;
  uint8_t bytes[16] = {};  // an IPv4 address in the first four
};

struct AddressRange {
  NetAddress base;
  int prefix = 0;  // leading bits that must match
};

constexpr int kMaxAddressRanges = 16;

struct AddressRanges {
  AddressRange ranges[kMaxAddressRanges];
  int count = 0;
};

// "192.168.1.7", "::1", "fe80::1:2"; false when it is none. "::ffff:10.0.0.1" is taken as
// the IPv4 address it carries, as a dual-stack socket reports such a client.
bool ParseNetAddress(const char* text, NetAddress& out);

// A list of addresses and ranges separated by commas. false with `error` naming the item
// that is not one, or saying that the list is too long.
bool ParseAddressRanges(const char* text, AddressRanges& out, char* error, int errorSize);

// 127.0.0.0/8 and ::1.
void LoopbackRanges(AddressRanges& out);

bool InRanges(const AddressRanges& ranges, const NetAddress& address);

// "192.168.1.7", "fe80::1:2" (the longest run of zero groups as "::").
void NetAddressText(const NetAddress& address, char* out, int size);
