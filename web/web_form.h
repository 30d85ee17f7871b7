// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// A field of a form as browsers send it (application/x-www-form-urlencoded, and the
// query of an address): the value of `name`, decoded, into `value`. false when the field
// is not there, does not fit, or is not well encoded.
bool FormValue(const char* form, const char* name, char* value, int size);
