// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// The parity of the line, as the port takes it and the receiver's identification names it.
enum ParityCode {
  kParityNone = 0,
  kParityOdd = 1,
  kParityEven = 2,
};

inline bool KnownParity(int parity) {
  return parity == kParityNone || parity == kParityOdd || parity == kParityEven;
}
