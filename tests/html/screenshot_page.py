#!/usr/bin/env python3
"""Serves a folder on 127.0.0.1, opens one page of it in headless Chromium and,
once the Flash emulator on the page has loaded its movie, takes screenshots
for a while as the movie plays.

    screenshot_page.py FOLDER PAGE WIDTH HEIGHT SECONDS OUTDIR

Every distinct screenshot taken in the SECONDS after the movie loaded is
saved as OUTDIR/1.png, OUTDIR/2.png, ... in the order seen. Chromium is
driven through its DevTools protocol over a pipe (fds 3 and 4), so nothing
but the standard library is needed. Exits 1 with a message when the movie
did not load in time.
"""

import base64
import functools
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading
import time

LOAD_SECONDS = 40

# Flash's own scripting call, which Ruffle's player elements answer too.
LOADED = """(() => {
  const p = document.querySelector('ruffle-embed, ruffle-object');
  return !!p && typeof p.PercentLoaded === 'function' && p.PercentLoaded() === 100;
})()"""


def loaded(browser):
    reply = browser.call("Runtime.evaluate", expression=LOADED, returnByValue=True)
    return reply["result"].get("value") is True


class Handler(http.server.SimpleHTTPRequestHandler):
    # The types a server must send for the emulator to start and the movie to load.
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".wasm": "application/wasm",
        ".swf": "application/x-shockwave-flash",
        ".js": "text/javascript",
    }

    def log_message(self, *args):
        pass


class DevTools:
    def __init__(self, args):
        to_browser, self._to_browser = os.pipe()
        self._from_browser, from_browser = os.pipe()
        shell = f'exec "$0" "$@" 3<&{to_browser} 4>&{from_browser}'
        self.process = subprocess.Popen(
            ["sh", "-c", shell, *args],
            pass_fds=(to_browser, from_browser),
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        os.close(to_browser)
        os.close(from_browser)
        self._buffer = b""
        self._next_id = 0
        self.session = None

    def call(self, method, **params):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params}
        if self.session:
            message["sessionId"] = self.session
        os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self._read()
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]

    def _read(self):
        while b"\0" not in self._buffer:
            chunk = os.read(self._from_browser, 1 << 16)
            if not chunk:
                raise RuntimeError("Chromium closed its DevTools pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def close(self):
        self.process.kill()
        self.process.wait()


def main():
    folder, page, width, height, seconds, outdir = sys.argv[1:7]
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(Handler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_address[1]}/{page}"

    with tempfile.TemporaryDirectory() as profile:
        browser = DevTools([
            "chromium", "--headless=new", "--no-sandbox", "--remote-debugging-pipe",
            f"--user-data-dir={profile}", "--hide-scrollbars", "--no-first-run",
            "--autoplay-policy=no-user-gesture-required",
            f"--window-size={width},{height}", "about:blank"])
        try:
            target = browser.call("Target.createTarget", url="about:blank")["targetId"]
            browser.session = browser.call(
                "Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
            browser.call("Emulation.setDeviceMetricsOverride", width=int(width),
                         height=int(height), deviceScaleFactor=1, mobile=False)
            browser.call("Page.navigate", url=url)
            deadline = time.monotonic() + LOAD_SECONDS
            while not loaded(browser):
                if time.monotonic() > deadline:
                    print(f"{url}: no movie loaded within {LOAD_SECONDS} s", file=sys.stderr)
                    return 1
                time.sleep(0.2)
            shots = []
            end = time.monotonic() + float(seconds)
            while time.monotonic() < end:
                shot = base64.b64decode(browser.call("Page.captureScreenshot")["data"])
                if not shots or shot != shots[-1]:
                    shots.append(shot)
                time.sleep(0.1)
            for number, shot in enumerate(shots, 1):
                with open(os.path.join(outdir, f"{number}.png"), "wb") as f:
                    f.write(shot)
            return 0
        finally:
            browser.close()
            server.shutdown()


if __name__ == "__main__":
    sys.exit(main())
