// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// A field of a form as browsers send it (application/x-www-form-urlencoded, and the
// query of an address): the value of `name`, decoded, into `value`. false when the field
// is not there, does not fit, or is not well encoded.
bool FormValue(const char* form, const char* name, char* value, int size);

// Whether a request's Host header names this machine by its loopback: "localhost",
// "127.0.0.1", "[::1]", with or without a port. A page served without a login answers only
// such requests, so that another site whose name an attacker points at 127.0.0.1 (DNS
// rebinding) gets nothing from it.
bool HostIsLoopback(const char* host);
