// SPDX-License-Identifier: BSD-2-Clause
// The receiver's panel in a browser: the display as the logger's screens come, the keys
// (clicked or typed), and the logger's state and fix. The logger decides everything; the
// page only draws what it is sent and sends the keys pressed.
"use strict";

const display = document.getElementById("display");
const keysBox = document.getElementById("keys");
const stateBadge = document.getElementById("state");
const message = document.getElementById("message");
let session = null;
let socket = null;
let keyboard = {};
let cursorOn = false;

function say(text) {
  message.textContent = text;
}

function drawScreen(screen) {
  display.textContent = "";
  screen.rows.forEach((row, line) => {
    const div = document.createElement("div");
    const cursor = screen.cursor - line * 40;
    if (cursor >= 0 && cursor < 40) {
      div.append(row.slice(0, cursor));
      const cell = document.createElement("span");
      cell.className = "cursor" + (cursorOn ? " on" : "");
      cell.textContent = row[cursor];
      div.append(cell, row.slice(cursor + 1));
    } else {
      div.textContent = row;
    }
    display.append(div);
  });
  display.dataset.text = screen.rows.join("\n");
  display.dataset.cursor = screen.cursor;
}

// The cursor blinks as the panel's does, twice a second.
setInterval(() => {
  cursorOn = !cursorOn;
  const cell = display.querySelector(".cursor");
  if (cell) cell.classList.toggle("on", cursorOn && !display.classList.contains("stale"));
}, 500);

function fact(list, name, value) {
  const term = document.createElement("dt");
  term.textContent = name;
  const detail = document.createElement("dd");
  detail.textContent = value;
  detail.dataset.name = name;
  list.append(term, detail);
}

function drawStatus(status) {
  document.getElementById("receiver").textContent = status.product || "Tarnex";
  stateBadge.textContent = status.state;
  stateBadge.className = "state " + status.state;
  display.classList.toggle("stale", status.state !== "connected");
  const facts = document.getElementById("facts");
  facts.textContent = "";
  fact(facts, "Receiver", status.product || "not identified yet");
  fact(facts, "Firmware", status.firmware || "-");
  fact(facts, "Device", status.device);
  fact(facts, "Logging", status.logging ? "on" : "off");
  for (const stream of status.streams) {
    fact(facts, stream.name, stream.items + " items" + (stream.lost ? ", " + stream.lost + " lost" : ""));
  }
  fact(facts, "Free space", status.freeBytes < 0 ? "not known" :
    (status.freeBytes / 1e9).toFixed(1) + " GB" + (status.freeLow ? " (low)" : ""));
  drawFix(status.fix);
}

const svgNs = "http://www.w3.org/2000/svg";
function svg(name, attributes) {
  const element = document.createElementNS(svgNs, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  return element;
}

function drawFix(fix) {
  const box = document.getElementById("fix");
  box.classList.toggle("stale", !fix.fresh);
  const facts = document.getElementById("fix-facts");
  facts.textContent = "";
  fact(facts, "Class", fix.fresh ? fix.class : fix.class + " (stale)");
  fact(facts, "Satellites used", fix.used >= 0 ? String(fix.used) : "-");
  fact(facts, "HDOP", fix.hdop >= 0 ? fix.hdop.toFixed(1) : "-");
  fact(facts, "Position", fix.position ? fix.latitude.toFixed(7) + ", " + fix.longitude.toFixed(7) : "-");
  const sky = document.getElementById("sky");
  sky.textContent = "";
  for (const radius of [100, 66.7, 33.3]) {
    sky.append(svg("circle", {r: radius, fill: "none", stroke: "#bbb"}));
  }
  const bars = document.getElementById("bars");
  bars.textContent = "";
  const width = Math.max(8, Math.min(24, 320 / Math.max(1, fix.satellites.length)));
  fix.satellites.forEach((satellite, index) => {
    const colour = satellite.used ? "#2a7d2a" : "#888";
    if (satellite.el >= 0 && satellite.az >= 0) {
      const r = 100 * (90 - satellite.el) / 90;
      const a = satellite.az * Math.PI / 180;
      const x = r * Math.sin(a), y = -r * Math.cos(a);
      sky.append(svg("circle", {cx: x, cy: y, r: 5, fill: colour}));
      const label = svg("text", {x: x + 6, y: y + 3, "font-size": 8});
      label.textContent = satellite.label;
      sky.append(label);
    }
    const height = Math.max(0, satellite.snr) * 1.6;
    bars.append(svg("rect", {x: index * width, y: 95 - height, width: width - 2, height, fill: colour}));
    const label = svg("text", {x: index * width, y: 107, "font-size": 6});
    label.textContent = satellite.label;
    bars.append(label);
  });
}

function press(id) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify({key: id}));
}

function buildKeys(keys) {
  for (const key of keys) {
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = key.caption;
    button.dataset.id = key.id;
    // Where the panel has it, in its own pixels.
    Object.assign(button.style, {left: key.x + "px", top: key.y + "px",
                                 width: key.w + "px", height: key.h + "px"});
    if (key.caption === "") button.setAttribute("aria-label", "Soft key beside the display");
    button.addEventListener("click", () => press(key.id));
    keysBox.append(button);
  }
}

document.addEventListener("keydown", (event) => {
  if (event.altKey || event.ctrlKey || event.metaKey) return;
  const id = keyboard[event.key];
  if (!id) return;
  event.preventDefault();
  press(id);
});

function connect() {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  socket = new WebSocket(scheme + "//" + location.host + "/live?token=" + session.token);
  socket.addEventListener("open", () => say(""));
  socket.addEventListener("message", (event) => {
    const news = JSON.parse(event.data);
    if (news.screen) drawScreen(news.screen);
    if (news.status) drawStatus(news.status);
    if (news.refused) say(news.refused);
  });
  socket.addEventListener("close", (event) => {
    stateBadge.textContent = "offline";
    stateBadge.className = "state offline";
    display.classList.add("stale");
    // Refused: the session has ended. Otherwise the logger is away: try again.
    fetch("/session").then((answer) => {
      if (answer.status === 401) {
        location.href = "/login?expired";
        return;
      }
      say("The logger cannot be reached; trying again.");
      setTimeout(connect, 2000);
    }, () => {
      say("The logger cannot be reached; trying again.");
      setTimeout(connect, 2000);
    });
  });
}

fetch("/session").then((answer) => {
  if (answer.status === 401) {
    location.href = "/login";
    return null;
  }
  return answer.json();
}).then((found) => {
  if (!found) return;
  session = found;
  keyboard = session.keyboard;
  buildKeys(session.keys);
  if (session.user) {
    document.getElementById("user").textContent = session.user + " (" + session.role + ")";
    document.getElementById("logout-token").value = session.token;
    document.getElementById("logout").hidden = false;
  }
  connect();
});
