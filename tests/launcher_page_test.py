#!/usr/bin/python3
"""The sample launcher page (docs/launcher-page.html) in headless Chromium.

The page is served over http from a loopback server that stands in for every *.example.com
host, so the key link's navigation really happens. A stub window.external records outLink
calls the way the launcher's external object would receive them.
Usage: launcher_page_test.py [--screenshot PATH]   (PATH: the page as an ordinary browser shows it)
"""
import argparse
import http.server
import os
import sys
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PAGE = os.path.join(ROOT, "docs", "launcher-page.html")
PAGE_URL = "http://launcher.example.com/launcher-page.html"
# The area the launcher gives the page, without scroll bars.
WIDTH, HEIGHT = 658, 426

ERRORS = """
window.__pageErrors = [];
window.addEventListener('error', function (e) { window.__pageErrors.push(String(e.message)); });
"""
STUB = """
window.__outLinkCalls = [];
window.external = { outLink: function () {
  window.__outLinkCalls.push(Array.prototype.slice.call(arguments));
} };
"""

requests = []


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        host = self.headers.get("Host", "")
        requests.append(host + self.path)
        if self.path == "/launcher-page.html":
            with open(PAGE, "rb") as f:
                body = f.read()
        else:
            body = b"<!DOCTYPE html><title>game</title><p>game page</p>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


failures = []


def check(ok, what):
    print(("  ok    " if ok else "  FAIL  ") + what)
    if not ok:
        failures.append(what)


def wait_for(predicate, seconds=10.0):
    end = time.time() + seconds
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    port = server.server_address[1]

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--no-first-run", "--disable-features=HttpsUpgrades",
                "--host-resolver-rules=MAP *.example.com 127.0.0.1:%d" % port):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.set_page_load_timeout(30)
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1, "mobile": False})
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": ERRORS})
        stub = driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": STUB})

        print("launcher page, inside a stand-in launcher (window.external.outLink recorded):")
        driver.get(PAGE_URL)
        first = driver.execute_script(
            "var e = document.head.firstElementChild;"
            "return e && [e.tagName, e.getAttribute('http-equiv'), e.getAttribute('content')];")
        check(first == ["META", "X-UA-Compatible", "IE=edge"],
              "the document mode is declared first in <head> (got %r)" % (first,))
        entries = driver.find_elements(By.CSS_SELECTOR, "a[data-address]")
        check(len(entries) >= 2, "at least two servers start by script (found %d)" % len(entries))
        entries[0].click()
        calls = driver.execute_script("return window.__outLinkCalls;")
        check(calls == [["Server 1", "http://s1.example.com/play?server=1"]],
              "first server: outLink(name, address), exactly those two, in that order (got %r)" % (calls,))
        for i, entry in enumerate(entries[1:], start=2):
            name, address = entry.get_attribute("data-name"), entry.get_attribute("data-address")
            entry.click()
            calls = driver.execute_script("return window.__outLinkCalls;")
            check(len(calls) == i and calls[-1] == [name, address]
                  and address.split("://")[0] in ("http", "https"),
                  "server %d: outLink(%r, %r)" % (i, name, address))
        check(driver.current_url == PAGE_URL and not driver.find_element(By.ID, "stub").is_displayed(),
              "a script start neither navigates nor shows the stand-in note")

        key = driver.find_elements(By.CSS_SELECTOR, "a[href*='fullscn=1']")
        check(len(key) == 1, "one entry is a key link (found %d)" % len(key))
        if key:
            key[0].click()
            arrived = wait_for(lambda: "fullscn=1" in driver.current_url
                               and driver.execute_script("return document.readyState") == "complete")
            check(arrived and any("fullscn=1" in r and r.startswith("s3.example.com/") for r in requests),
                  "the key link navigates to an address that carries fullscn=1 (now %s)" % driver.current_url)

        print("launcher page, in an ordinary browser (no outLink):")
        driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument", {"identifier": stub["identifier"]})
        driver.get(PAGE_URL)
        entries = driver.find_elements(By.CSS_SELECTOR, "a[data-address]")
        entries[0].click()
        note = driver.find_element(By.ID, "stub")
        check(note.is_displayed() and
              'window.external.outLink("Server 1", "http://s1.example.com/play?server=1")' in note.text,
              "a click shows what would be handed over (%r)" % note.text)
        # The launcher shows no scroll bars: what lies beyond its area is cut off.
        extent = driver.execute_script(
            "var r = document.getElementById('page').getBoundingClientRect();"
            "return [Math.ceil(r.right), Math.ceil(r.bottom)];")
        check(extent[0] <= WIDTH and extent[1] <= HEIGHT,
              "with the note shown the page fits the launcher's %dx%d area (content %dx%d)"
              % (WIDTH, HEIGHT, extent[0], extent[1]))
        errors = driver.execute_script("return window.__pageErrors;")
        check(errors == [] and driver.current_url == PAGE_URL, "no script error, no navigation (%r)" % (errors,))
        if args.screenshot:
            driver.save_screenshot(args.screenshot)
            print("  screenshot: %s" % args.screenshot)
    finally:
        driver.quit()
        server.shutdown()

    print("launcher page: %d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
