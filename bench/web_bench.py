#!/usr/bin/python3
# SPDX-License-Identifier: BSD-2-Clause
"""The browser panel measured: key press in headless Chromium to the changed display
(tarnex-sim with --line-time --key-delay 30 at 38400 baud and no data, as key_latency_bench measures
the Qt panel), and N browsers' WebSockets watching a logger whose receiver sends ten
bursts a second: the logger's CPU and resident memory against none watching, the screens
each got, and whether every item reached the dump files.

  web_bench.py BUILD_DIR [KEYS] [WATCHERS]     (30 keys, 50 watchers unless given)
"""
import base64
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import random

BUILD = os.path.abspath(sys.argv[1])
KEYS = int(sys.argv[2]) if len(sys.argv) > 2 else 30
WATCHERS = int(sys.argv[3]) if len(sys.argv) > 3 else 50
work = tempfile.mkdtemp(prefix="tarnex-web-bench-")
processes = []


def start(args, output):
    process = subprocess.Popen(args, stdout=open(output, "w"), stderr=subprocess.STDOUT, cwd=work)
    processes.append(process)
    return process


def wait_for(predicate, seconds=10.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return False


def station(name, *sim_options):
    link = os.path.join(work, name)
    start([os.path.join(BUILD, "tarnex-sim"), "--link", link, *sim_options],
          os.path.join(work, name + "-sim.txt"))
    wait_for(lambda: os.path.exists(link))
    folder = os.path.join(work, name + "-logs")
    os.makedirs(folder)
    output = os.path.join(work, name + "-log.txt")
    logger = start([os.path.join(BUILD, "tarnex-log"), "-D", link, "-o", folder, "--web", "0"],
                   output)
    found = []
    def served():
        text = open(output).read()
        match = re.search(r"serving the panel at http://127\.0\.0\.1:(\d+)/", text)
        if match and "connected to" in text:
            found.append(int(match.group(1)))
            return True
        return False
    if not wait_for(served):
        sys.exit("tarnex-log did not serve the panel:\n" + open(output).read())
    return logger, found[0], output


def key_latency():
    try:
        from selenium import webdriver
    except ImportError:
        print("key latency: skipped, python3-selenium is not installed")
        return
    logger, port, _ = station("keys", "--line-time", "--key-delay", "30", "--baud", "38400",
                              "--rate", "0")
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage"):
        options.add_argument(flag)
    driver = webdriver.Chrome(options=options)
    driver.set_script_timeout(10)
    try:
        driver.get("http://127.0.0.1:%d/" % port)
        wait_for(lambda: driver.execute_script("return document.getElementById('display').dataset.cursor") is not None)
        time.sleep(2)
        chooser = random.Random(7)
        times = []
        for _ in range(KEYS):
            time.sleep(chooser.uniform(0, 0.9))  # at random moments of the poll's period
            times.append(driver.execute_async_script("""
                const done = arguments[arguments.length - 1];
                const display = document.getElementById("display");
                const cursor = Number(display.dataset.cursor);
                const right = cursor % 40 < 20;
                const wanted = cursor + (right ? 1 : -1);
                const start = performance.now();
                const watch = new MutationObserver(() => {
                  if (Number(display.dataset.cursor) !== wanted) return;
                  watch.disconnect();
                  requestAnimationFrame(() => done(performance.now() - start));
                });
                watch.observe(display, {attributes: true, childList: true});
                document.dispatchEvent(new KeyboardEvent("keydown", {key: right ? "ArrowRight" : "ArrowLeft"}));
            """))
        times.sort()
        print("browser, 38400 baud, %d keys: key to changed display drawn: median %.0f ms, p95 %.0f ms"
              % (KEYS, statistics.median(times), times[int(0.95 * (len(times) - 1) + 0.5)]), flush=True)
    finally:
        driver.quit()
        logger.send_signal(signal.SIGTERM)
        logger.wait(20)


class Watcher:
    """A browser's WebSocket at the protocol level: the handshake, then frames read and counted."""

    def __init__(self, port, token):
        self.screens = 0
        self.socket = socket.create_connection(("127.0.0.1", port))
        key = base64.b64encode(os.urandom(16)).decode()
        self.socket.sendall(("GET /live?token=%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
                             "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n"
                             % (token, port, key)).encode())
        head = b""
        while b"\r\n\r\n" not in head:
            head += self.socket.recv(1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise RuntimeError("no WebSocket: " + head.decode(errors="replace"))
        self.buffer = b""
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        try:
            while True:
                data = self.socket.recv(65536)
                if not data:
                    return
                self.buffer += data
                while len(self.buffer) >= 2:
                    length = self.buffer[1] & 0x7F
                    at = 2
                    if length == 126:
                        length, at = int.from_bytes(self.buffer[2:4], "big"), 4
                    elif length == 127:
                        length, at = int.from_bytes(self.buffer[2:10], "big"), 10
                    if len(self.buffer) < at + length:
                        break
                    if b'"screen"' in self.buffer[at:at + length]:
                        self.screens += 1
                    self.buffer = self.buffer[at + length:]
        except OSError:
            return


def cpu_ns(pid):
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/schedstat" % (pid, task)) as stat:
            total += int(stat.read().split()[0])
    return total


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))


def watchers():
    logger, port, output = station("watch", "--rate", "10", "--baud", "115200")
    import json
    import urllib.request
    token = json.load(urllib.request.urlopen("http://127.0.0.1:%d/session" % port))["token"]
    seconds = 10
    figures = []
    for count in (0, WATCHERS):
        clients = [Watcher(port, token) for _ in range(count)]
        time.sleep(2)
        before, started = cpu_ns(logger.pid), time.monotonic()
        screens_before = [client.screens for client in clients]
        time.sleep(seconds)
        used = (cpu_ns(logger.pid) - before) / 1e6 / (time.monotonic() - started)
        got = [client.screens - was for client, was in zip(clients, screens_before)]
        figures.append((count, used, resident_kb(logger.pid), min(got) if got else 0))
        for client in clients:
            client.socket.close()
        time.sleep(1)
    logger.send_signal(signal.SIGTERM)
    logger.wait(20)
    said = open(output).read()
    whole = logger.returncode == 0 and "every item is on disk" in said and "dropped" not in said
    for count, used, resident, least in figures:
        print("%3d browsers watching, 10 bursts a second: logger CPU %.1f ms/s, resident %.1f MB%s"
              % (count, used, resident / 1024, ", each got >= %d screens in %d s" % (least, seconds) if count else ""))
    print("dump files: " + ("every item logged" if whole else "ITEMS LOST OR A BROWSER DROPPED"))
    return whole


try:
    key_latency()
    ok = watchers()
finally:
    for process in processes:
        if process.poll() is None:
            process.kill()
    shutil.rmtree(work, ignore_errors=True)
sys.exit(0 if ok else 1)
