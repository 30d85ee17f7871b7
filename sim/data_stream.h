// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "sim/receiver_model.h"

// One second of a receiver's data output: GGA, RMC and GST sentences with valid checksums
// (every third second GSA and GSV for GPS, GLONASS, Galileo and BeiDou as well), and
// position (0x40), raw observation (0x57) and correction (0x93, 0x94) frames. `garbage` is the
// fraction of items that go out corrupted or as line noise.
void AppendDataBurst(const ReceiverModel& model, int64_t second, double garbage,
                     std::mt19937& random, std::vector<uint8_t>& out);

// "$" body "*" checksum CR LF.
void AppendSentence(const char* body, std::vector<uint8_t>& out);
