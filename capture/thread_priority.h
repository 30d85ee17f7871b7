// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// Puts the calling thread below the user interface, so that a flood of input never makes
// the window sluggish. A failure is traced and otherwise ignored.
void LowerThreadPriority();
