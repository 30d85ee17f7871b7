// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// The receiver's display codes as characters, the same for every front end that draws
// them: first as the panel font's characters (Windows code page 1252), then as Unicode.

uint8_t TranslateLcdChar(uint8_t code);

// Unicode for a code page 1252 byte, as the font draws it.
char16_t Cp1252ToUnicode(uint8_t byte);
