"""The web page as people open it: served by python3 -m http.server on 127.0.0.1 and shown in
Debian's chromium, headless, driven through chromium-driver. Used by the browser check and
the page's benchmark."""
import base64
import os
import re
import shutil
import subprocess
import sys
import tempfile

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"


def missing(page_directory):
    """What the browser check lacks on this machine, or an empty list."""
    lacking = []
    try:
        import selenium  # noqa: F401
    except ImportError:
        lacking.append("python3-selenium")
    for path, package in ((CHROMIUM, "chromium"), (CHROMEDRIVER, "chromium-driver")):
        if not os.access(path, os.X_OK):
            lacking.append(package)
    if not os.path.isfile(os.path.join(page_directory, "index.html")):
        lacking.append("the page (cmake --workflow --preset web)")
    return lacking


class Server:
    """python3 -m http.server on 127.0.0.1, on a port the system chooses."""

    def __init__(self, directory):
        self.process = subprocess.Popen(
            [sys.executable, "-u", "-m", "http.server", "0", "-b", "127.0.0.1", "-d", directory],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.process.stdout.readline()
        match = re.search(r"port (\d+)", line)
        if not match:
            self.close()
            raise AssertionError("http.server did not start: %r" % line)
        self.url = "http://127.0.0.1:%s/" % match.group(1)

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class Browser:
    """Headless chromium with a profile of its own, thrown away afterwards."""

    def __init__(self, *arguments):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        self.profile = tempfile.mkdtemp(prefix="demo-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                         "--no-first-run", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync",
                         "--user-data-dir=" + self.profile, "--window-size=800,700", *arguments):
            options.add_argument(argument)
        try:
            self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        except Exception:
            shutil.rmtree(self.profile, ignore_errors=True)
            raise

    def before_page(self, script):
        """Runs script in every page this browser opens, before the page's own scripts."""
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": script})

    def run(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def stats(self):
        return self.run("return demo.stats()")

    def click(self):
        from selenium.webdriver.common.by import By
        self.driver.find_element(By.TAG_NAME, "body").click()

    def canvas(self):
        """The frame on the canvas and its pixels (RGBA, row by row), read at the same moment."""
        frame, pixels = self.run("""
            const screen = document.getElementById('screen');
            const data = screen.getContext('2d')
                             .getImageData(0, 0, screen.width, screen.height).data;
            let text = '';
            for (let i = 0; i < data.length; i += 0x8000)
                text += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
            return [demo.stats().shownFrame, btoa(text)];""")
        return frame, base64.b64decode(pixels)

    def close(self):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)
