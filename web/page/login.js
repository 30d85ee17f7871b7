// SPDX-License-Identifier: BSD-2-Clause
// Why the last login did not succeed, as the server said in the address.
"use strict";
const why = new URLSearchParams(location.search);
const message = document.getElementById("message");
if (why.has("failed")) message.textContent = "Wrong name or password.";
if (why.has("wait")) {
  message.textContent = "Too many attempts: try again in " + why.get("wait") + " s.";
}
if (why.has("expired")) message.textContent = "Your session has ended: log in again.";
