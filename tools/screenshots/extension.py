#!/usr/bin/env python3
"""Pictures of the browser extension for the README: its popup listing the
two streams a local page played, and the page's menu on the video with
"Download with Vidarro". A real Chromium on the X display it is given (see
take-extension.sh), driven through the DevTools pipe.

    extension.py BUILD_FOLDER OUTPUT_FOLDER
"""
import base64
import http.server
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SOURCE = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
EXTENSION_ID = "lgkjkmanipcdbcjepghpmaomdgodaokk"


class DevTools:
    """Commands on the browser's descriptor 3, answers on its 4, each JSON ended by a NUL."""

    def __init__(self):
        self.to_browser = os.pipe()
        self.from_browser = os.pipe()
        self.buffer = b""
        self.next_id = 0

    def child_setup(self):
        # Through a free number first: either end may already sit at 3 or 4.
        commands, answers = os.dup(self.to_browser[0]), os.dup(self.from_browser[1])
        os.dup2(commands, 3)
        os.dup2(answers, 4)

    def call(self, method, params=None, session=None, timeout=30):
        self.next_id += 1
        command = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            command["sessionId"] = session
        os.write(self.to_browser[1], json.dumps(command).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            while b"\0" in self.buffer:
                text, self.buffer = self.buffer.split(b"\0", 1)
                message = json.loads(text)
                if message.get("id") == self.next_id:
                    if "error" in message:
                        raise RuntimeError(f"{method}: {message['error']}")
                    return message.get("result", {})
            # A browser that leaves a command unanswered must not hold the read past the time.
            ready, _, _ = select.select([self.from_browser[0]], [], [], max(0, deadline - time.monotonic()))
            if ready:
                self.buffer += os.read(self.from_browser[0], 1 << 16)
        raise TimeoutError(method)

    def session(self, kind, address):
        for info in self.call("Target.getTargets")["targetInfos"]:
            if info["type"] == kind and address in info["url"]:
                return self.call("Target.attachToTarget", {"targetId": info["targetId"], "flatten": True})["sessionId"]
        return None

    def wait_session(self, kind, address, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.session(kind, address)
            if found:
                return found
            time.sleep(0.2)
        raise TimeoutError(address)

    def evaluate(self, session, script):
        result = self.call("Runtime.evaluate", {"expression": script, "awaitPromise": True, "returnByValue": True},
                           session)
        return result.get("result", {}).get("value")

    def wait_value(self, session, script, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = self.evaluate(session, script)
            if value:
                return value
            time.sleep(0.2)
        raise TimeoutError(script)


def make_site(folder):
    media = [["-f", "lavfi", "-i", "testsrc=size=640x360:rate=25,noise=alls=30:allf=t", "-f", "lavfi", "-i",
              "sine=f=440", "-t", "4", "-c:v", "libx264", "-b:v", "800k", "-c:a", "aac", "-shortest",
              os.path.join(folder, "clip.mp4")],
             ["-f", "lavfi", "-i", "sine=f=330", "-t", "20", "-c:a", "libmp3lame", "-b:a", "64k",
              os.path.join(folder, "theme.mp3")]]
    for arguments in media:
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y"] + arguments, check=True)
    with open(os.path.join(folder, "watch.html"), "w") as page:
        page.write("<html><head><title>Big Test Pattern: the movie</title></head><body style='font: 16px sans-serif'>"
                   "<h2>Big Test Pattern: the movie</h2>"
                   "<video src='clip.mp4' width='480' controls autoplay muted loop></video><br>"
                   "<audio src='theme.mp3' controls autoplay muted></audio></body></html>")


def main():
    build, out = os.path.realpath(sys.argv[1]), os.path.realpath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp()
    browser = None
    try:
        site = os.path.join(work, "site")
        os.makedirs(site)
        make_site(site)
        handler = lambda *a: http.server.SimpleHTTPRequestHandler(*a, directory=site)
        http.server.SimpleHTTPRequestHandler.log_message = lambda *a: None
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        page = f"http://127.0.0.1:{server.server_address[1]}/watch.html"

        # The extension as a user has it once watching is on.
        extension = os.path.join(work, "extension")
        shutil.copytree(os.path.join(build, "browser-extension", "chromium"), extension)
        with open(os.path.join(extension, "manifest.json")) as f:
            manifest = json.load(f)
        manifest["permissions"].append("webRequest")
        manifest.pop("optional_permissions", None)
        with open(os.path.join(extension, "manifest.json"), "w") as f:
            json.dump(manifest, f, indent=2)
        profile = os.path.join(work, "profile")
        os.makedirs(profile)
        subprocess.run(["bash", os.path.join(SOURCE, "tools/browser/install-host-manifests.sh"), "--profile", profile,
                        "--host", os.path.join(build, "bin", "vidarro-browser-host")], check=True,
                       stdout=subprocess.DEVNULL)
        environment = dict(os.environ, APPDATA=os.path.join(work, "appdata"))
        os.makedirs(environment["APPDATA"])

        tools = DevTools()
        browser = subprocess.Popen(
            ["chromium", "--no-sandbox", "--test-type", "--disable-gpu", "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--autoplay-policy=no-user-gesture-required",
             "--user-data-dir=" + profile, "--load-extension=" + extension, "--remote-debugging-pipe",
             "--window-position=0,0", "--window-size=1000,700", "about:blank"],
            preexec_fn=tools.child_setup, close_fds=False, env=environment,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        worker = tools.wait_session("service_worker", EXTENSION_ID)
        tab = tools.session("page", "about:blank")
        tools.call("Page.navigate", {"url": page}, tab)
        try:
            tab_id = tools.wait_value(worker, f"(async () => {{ const t = (await chrome.tabs.query({{}}))"
                                              f".find((t) => t.url === '{page}'); return t && "
                                              f"tabStreams.list(t.id).length >= 2 ? t.id : 0; }})()")
        except TimeoutError:
            print(tools.evaluate(worker, "JSON.stringify({status: host.status(), watching: watcher.watching, "
                                         "tabs: [...tabStreams.tabs]})"), file=sys.stderr)
            raise

        # The popup at the size the browser gives it, drawn as a page of the extension.
        tools.call("Target.createTarget", {"url": f"chrome-extension://{EXTENSION_ID}/popup.html?tab={tab_id}"})
        popup = tools.wait_session("page", "popup.html")
        tools.wait_value(popup, "document.querySelectorAll('#streams tr').length >= 2 && "
                                "!document.getElementById('state').textContent.startsWith('Asking')")
        # Measured at the popup's width: the text wraps there.
        for height in (800, None):
            height = height or tools.evaluate(popup, "Math.ceil(document.getElementById('counts')"
                                                     ".getBoundingClientRect().bottom) + 12")
            tools.call("Emulation.setDeviceMetricsOverride",
                       {"width": 440, "height": height, "deviceScaleFactor": 1, "mobile": False}, popup)
        shot = tools.call("Page.captureScreenshot", {"format": "png"}, popup)
        with open(os.path.join(out, "extension-popup.png"), "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        tools.call("Target.closeTarget", {"targetId": tools.call("Target.getTargetInfo", {}, popup)["targetInfo"]["targetId"]})

        # The page's own menu on the video, as a right click opens it.
        tools.call("Page.bringToFront", {}, tab)
        box = tools.evaluate(tab, "(() => { const r = document.querySelector('video').getBoundingClientRect();"
                                  " return {x: r.x + r.width / 2, y: r.y + r.height / 3}; })()")
        for kind in ("mouseMoved", "mousePressed", "mouseReleased"):
            tools.call("Input.dispatchMouseEvent", {"type": kind, "x": box["x"], "y": box["y"], "button": "right",
                                                    "clickCount": 1}, tab)
        time.sleep(1.5)   # the menu is the browser's own window: nothing to ask when it is drawn
        subprocess.run(["import", "-window", "root", "-crop", "1000x700+0+0",
                        os.path.join(out, "extension-menu.png")], check=True)
    finally:
        if browser:
            browser.terminate()
            browser.wait(30)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
