#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""real_text_test.py LOOMWISE_BATCH: accented, Greek and CJK text and this system's copyright
files under the names files come with (no ".", numbered series, blanks and ":"), converted with
the rules `--new-rules` makes and nothing else, read back by headless Chromium: one page per
file, each titled as its link, every line shown as written with its leading blanks, blank lines
kept, nothing wider than a phone's screen. Exits 77 (skipped) when the browser is missing."""
import glob, json, os, shutil, sqlite3, subprocess, sys, tempfile
from urllib.parse import unquote

failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


class Browser:
    """Headless Chromium over the DevTools protocol on a pipe."""

    def __init__(self, chromium):
        ours_in, theirs_out = os.pipe()
        theirs_in, ours_out = os.pipe()
        self.proc = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--remote-debugging-pipe", "about:blank"], pass_fds=(3, 4),
            preexec_fn=lambda: (os.dup2(theirs_in, 3), os.dup2(theirs_out, 4)),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(theirs_in)
        os.close(theirs_out)
        self.rd, self.wr, self.buf, self.last = ours_in, ours_out, b"", 0
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable")

    def receive(self):
        while b"\0" not in self.buf:
            chunk = os.read(self.rd, 1 << 16)
            if not chunk:
                raise RuntimeError("the browser closed its pipe")
            self.buf += chunk
        message, self.buf = self.buf.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None):
        self.last += 1
        message = {"id": self.last, "method": method, "params": params or {}}
        if hasattr(self, "session"):
            message["sessionId"] = self.session
        os.write(self.wr, json.dumps(message).encode() + b"\0")
        while (reply := self.receive()).get("id") != self.last:
            pass
        return reply.get("result", {})

    def read(self, url):
        """[title, text, links, overflows] of the page at `url`, as the browser lays it out."""
        error = self.call("Page.navigate", {"url": url}).get("errorText")
        check(error is None, f"{url} does not open: {error}")
        while self.receive().get("method") != "Page.loadEventFired":
            pass
        return json.loads(self.call("Runtime.evaluate", {
            "expression": "JSON.stringify([document.title, document.body.innerText,"
                          " [...document.links].map(a => [a.href, a.textContent]),"
                          " document.documentElement.scrollWidth > window.innerWidth])",
            "returnByValue": True})["result"]["value"])


def fold(text):
    return " ".join(text.split())


def main():
    batch = sys.argv[1]
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("skipped: no chromium on this machine (apt-get install chromium)")
        return 77
    texts = {"café.txt": "Café Σοφία\nline with café and Σοφία\n",
             "σοφία.txt": "Σοφία & <friends>\n\n    Καλημέρα κόσμε\n",
             "日本語.txt": "東京の天気\n晴れ <のち> 雨 & 雪\n",
             "README": "A file without a dot\n\n\tindented by a tab\n  and by two blanks  \n",
             "notes.md": "# Notes\n\n* a list\n  * nested\n\n```\ncode <b>\n```\n",
             "10:30 notes.txt": "At half past ten\nwe met.\n"}
    for i in range(1, 13):  # a series that shares its first six characters
        texts[f"chapter{i:02d}.txt"] = f"Chapter {i}\n\n  Its text, indented.\n"
    for path in sorted(glob.glob("/usr/share/doc/*/copyright"))[:100]:
        try:  # a file in another encoding cannot show as written in UTF-8
            texts[path.split("/")[-2] + " copyright"] = open(path, "rb").read().decode("utf-8")
        except UnicodeDecodeError:
            pass
    browser = Browser(chromium)
    with tempfile.TemporaryDirectory() as root:
        rules, src, out = (os.path.join(root, name) for name in ("rules.mdb", "in", "out"))
        assert subprocess.run([batch, "--new-rules", rules]).returncode == 0
        os.makedirs(src)
        os.makedirs(out)
        for name, text in texts.items():
            with open(os.path.join(src, name), "w", encoding="utf-8") as f:
                f.write(text)
        result = subprocess.run([batch, "--quiet", "--rules", rules, src, out],
                                capture_output=True, text=True)
        assert result.returncode == 0, result.stderr
        check(result.stderr == "", f"the run said: {result.stderr}")
        try:
            browser.call("Emulation.setDeviceMetricsOverride",
                         {"width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": True})
            _, _, links, overflows = browser.read("file://" + os.path.join(out, "index.html"))
            check(not overflows, "the index page is wider than a phone's screen")
            # The links as the index page has them, percent-encoded.
            pages = {unquote(href.rsplit("/", 1)[1]): [text, *browser.read(href)]
                     for href, text in links if not href.endswith("/index.html")}
        finally:
            browser.proc.kill()
            browser.proc.wait()
    check(len(pages) == len(texts), f"{len(pages)} pages for {len(texts)} files")
    for name, text in texts.items():
        link, title, body, _, overflows = pages.get(name + ".html", ("", "", "", [], False))
        lines = text.replace("\r\n", "\n").split("\n")
        if lines[-1] == "":
            lines.pop()
        if lines and fold(lines[0]):
            check(fold(link) == fold(title) == fold(lines[0]),
                  f"{name}: link {link!r} and title {title!r} are not {lines[0]!r}")
        # Below the link back to the index, the text as written: the title line trimmed,
        # every other line with its leading blanks, blank lines kept.
        want = [line.rstrip(" \t") for line in lines]
        if want:
            want[0] = want[0].strip(" ")
        shown = body.split("\n")[1:]
        while shown and shown[-1] == "":
            shown.pop()
        while want and want[-1] == "":
            want.pop()
        check(shown == want, f"{name}: shown as {shown[:6]!r}..., not {want[:6]!r}...")
        check(not overflows, f"{name}: the page is wider than a phone's screen")
    for message in failures[:40]:
        print("FAILED:", message)
    print(f"{len(texts)} pages read in the browser, {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
