#!/usr/bin/python3
# SPDX-License-Identifier: BSD-2-Clause
"""The browser panel in a real browser: headless Chromium driven by Selenium against
tarnex-log serving a simulated receiver.

  browser_test.py BUILD_DIR

Logs in (a wrong password and a view-only user are refused), sees the receiver's screen,
presses keys by click and by keyboard and sees the receiver's answer (the simulated
receiver shows the last key's code), sees the fix, the receiver lost, and the page over
TLS. Exits 77 (skipped) when Selenium, Chromium or its driver is missing.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import http.client

SKIP = 77

try:
    from selenium import webdriver
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError:
    print("skipped: python3-selenium is not installed (apt-get install python3-selenium)")
    sys.exit(SKIP)
if not shutil.which("chromedriver") or not (shutil.which("chromium") or shutil.which("chromium-browser")):
    print("skipped: chromium and chromium-driver are not installed")
    sys.exit(SKIP)

BUILD = os.path.abspath(sys.argv[1])
SIM = os.path.join(BUILD, "tarnex-sim")
LOG = os.path.join(BUILD, "tarnex-log")
work = tempfile.mkdtemp(prefix="tarnex-web-")
processes = []
failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        failures.append(what)


def wait_for(predicate, seconds=10.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            if predicate():
                return True
        except Exception:  # the page is being rebuilt under us: look again
            pass
        time.sleep(0.05)
    return False


class Program:
    """A program run for the test, its output gathered as it comes."""

    def __init__(self, args):
        self.lines = []
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, cwd=work)
        processes.append(self.process)
        threading.Thread(target=self.gather, daemon=True).start()

    def gather(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def find(self, pattern, seconds=10.0):
        found = []
        def look():
            for line in self.lines:
                match = re.search(pattern, line)
                if match:
                    found.append(match)
                    return True
            return False
        wait_for(look, seconds)
        return found[0] if found else None


def receiver(name):
    link = os.path.join(work, name)
    sim = Program([SIM, "--link", link])
    if not wait_for(lambda: os.path.exists(link)):
        sys.exit("the simulated receiver did not start")
    return sim, link


def logger(link, folder, *more):
    os.makedirs(os.path.join(work, folder))
    log = Program([LOG, "-D", link, "-o", os.path.join(work, folder), "--web", "127.0.0.1:0",
                   *more])
    served = log.find(r"serving the panel at (https?://127\.0\.0\.1:\d+)/")
    if not served:
        print("\n".join(log.lines))
        sys.exit("tarnex-log did not serve the panel")
    return log, served.group(1)


def password_hash(password):
    made = subprocess.run([LOG, "--hash-password"], input=password + "\n", text=True,
                          capture_output=True, check=True)
    return made.stdout.strip()


def browser():
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                 "--window-size=1100,800", "--ignore-certificate-errors"):
        options.add_argument(flag)
    return webdriver.Chrome(options=options)


def log_in(driver, base, name, password):
    driver.delete_all_cookies()
    driver.get(base + "/")
    wait_for(lambda: driver.find_element(By.ID, "user"))
    driver.find_element(By.ID, "user").send_keys(name)
    driver.find_element(By.ID, "password").send_keys(password)
    driver.find_element(By.ID, "log-in").click()


def display(driver):
    return driver.find_element(By.ID, "display").get_attribute("data-text") or ""


def shows(driver, text, seconds=5.0):
    return wait_for(lambda: text in display(driver), seconds)


def run():
    global users
    users = os.path.join(work, "users")
    with open(users, "w") as out:
        out.write("# who may use the panel\n")
        out.write("ann control " + password_hash("north star") + "\n")
        out.write("bob view " + password_hash("south") + "\n")
    os.chmod(users, 0o600)

    sim, link = receiver("rx")
    log, base = logger(link, "logs", "--web-users", users)
    driver = browser()
    try:
        # A wrong password, then a watcher.
        log_in(driver, base, "ann", "south")
        check(wait_for(lambda: "failed" in driver.current_url) and
              "Wrong name or password" in driver.find_element(By.ID, "message").text,
              "a wrong password is refused and said")
        log_in(driver, base, "bob", "south")
        check(shows(driver, "STATUS", 10), "the watcher sees the receiver's screen")
        driver.find_element(By.CSS_SELECTOR, 'button[data-id="2055"]').click()
        check(wait_for(lambda: "may watch" in driver.find_element(By.ID, "message").text),
              "the watcher's key is refused on the page")
        check(not shows(driver, "CONTROL", 1.5), "the watcher's key does not reach the receiver")
        check(log.find(r"refused: bob may only watch", 5) is not None, "and in the journal")

        # The page's WebSocket from another site's page, and a logout without the token.
        host, port = base[len("http://"):].split(":")
        cookie = "tarnex=" + driver.get_cookie("tarnex")["value"]
        session = driver.execute_script("return fetch('/session').then(r => r.json())")
        connection = http.client.HTTPConnection(host, int(port), timeout=5)
        connection.request("GET", "/live?token=" + session["token"], headers={
            "Cookie": cookie, "Origin": "http://evil.example", "Upgrade": "websocket",
            "Connection": "Upgrade", "Sec-WebSocket-Version": "13",
            "Sec-WebSocket-Key": "dGhlIHNhbXBsZSBub25jZQ=="})
        check(connection.getresponse().status == 403, "another site's page gets no WebSocket")
        connection = http.client.HTTPConnection(host, int(port), timeout=5)
        connection.request("POST", "/logout", body="token=",
                           headers={"Cookie": cookie,
                                    "Content-Type": "application/x-www-form-urlencoded"})
        check(connection.getresponse().status == 403, "a logout without the token is refused")

        # One who may press keys: a click and typed keys reach the receiver as its codes.
        log_in(driver, base, "ann", "north star")
        check(shows(driver, "STATUS", 10), "the controller sees the receiver's screen")
        driver.find_element(By.CSS_SELECTOR, 'button[data-id="2055"]').click()
        check(shows(driver, "CONTROL") and shows(driver, "LAST KEY         77"),
              "a click on Control sends code 77 and the display follows")
        body = driver.find_element(By.TAG_NAME, "body")
        body.send_keys("4")
        body.send_keys("2")
        check(shows(driver, "[42") and shows(driver, "LAST KEY         50"),
              "typed digits reach the receiver as their codes")
        body.send_keys(Keys.F5)
        check(shows(driver, "STATUS"), "F5 is the Status key, as on the panel")
        check(wait_for(lambda: "RTK" in driver.find_element(By.ID, "fix-facts").text or
                       "float" in driver.find_element(By.ID, "fix-facts").text.lower()),
              "the fix's class is shown")
        check(wait_for(lambda: len(driver.find_elements(By.CSS_SELECTOR, "#sky circle")) > 6),
              "the satellites are in the sky plot")
        driver.save_screenshot(os.path.join(work, "panel.png"))

        # The receiver goes: the page says so and the display stands greyed.
        sim.process.send_signal(signal.SIGTERM)
        check(wait_for(lambda: driver.find_element(By.ID, "state").text == "lost", 15),
              "a lost receiver is shown as lost")
        check("stale" in driver.find_element(By.ID, "display").get_attribute("class"),
              "and its last screen stands greyed")
        log.process.send_signal(signal.SIGTERM)
        log.process.wait(20)
        check(log.process.returncode == 0, "the logger ends cleanly (exit %s)" % log.process.returncode)

        # The same over TLS, with a certificate made for the test.
        cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                        "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        sim, link = receiver("rx2")
        log, base = logger(link, "logs2", "--web-users", users, "--tls-cert", cert,
                           "--tls-key", key)
        check(base.startswith("https://"), "the panel is served over HTTPS")
        log_in(driver, base, "ann", "north star")
        check(shows(driver, "STATUS", 10), "the display over TLS")
        cookie = driver.get_cookie("tarnex")
        check(cookie is not None and cookie["secure"] and cookie["httpOnly"],
              "the session cookie is Secure and HttpOnly")
        driver.find_element(By.CSS_SELECTOR, 'button[data-id="2055"]').click()
        check(shows(driver, "CONTROL"), "a key over TLS")

        # Logging out ends the session and its live page.
        driver.find_element(By.CSS_SELECTOR, "#logout button").click()
        check(wait_for(lambda: "/login" in driver.current_url), "logged out, the login again")
        check(log.find(r"ann logged out", 5) is not None, "the logout is in the journal")
        status = driver.execute_script("return fetch('/session').then(r => r.status)")
        check(status == 401, "the session is over (%s)" % status)
        log.process.send_signal(signal.SIGTERM)
        log.process.wait(20)

        # Without users: no login, and only for requests addressed to this machine.
        sim, link = receiver("rx3")
        log, base = logger(link, "logs3")
        driver.delete_all_cookies()
        driver.get(base + "/")
        check(shows(driver, "STATUS", 10), "without users the page needs no login")
        host, port = base[len("http://"):].split(":")
        connection = http.client.HTTPConnection(host, int(port), timeout=5)
        connection.request("GET", "/session", headers={"Host": "rebound.example:" + port})
        check(connection.getresponse().status == 421,
              "a request for another name (DNS rebinding) gets nothing")
    finally:
        driver.quit()


try:
    run()
finally:
    for process in processes:
        if process.poll() is None:
            process.kill()
            process.wait()
    if failures:
        print("kept for a look: " + work)
    else:
        shutil.rmtree(work, ignore_errors=True)
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
