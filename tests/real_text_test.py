#!/usr/bin/env python3
"""real_text_test.py LOOMWISE_BATCH: accented, Greek and CJK text and this system's copyright
files, converted with the rules `--new-rules` makes, read back by headless Chromium as written,
each page titled as its link. Exits 77 (skipped) when the browser is missing."""
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
        """[title, text, links] of the page at `url`, as the browser lays it out."""
        error = self.call("Page.navigate", {"url": url}).get("errorText")
        check(error is None, f"{url} does not open: {error}")
        while self.receive().get("method") != "Page.loadEventFired":
            pass
        return json.loads(self.call("Runtime.evaluate", {
            "expression": "JSON.stringify([document.title, document.body.innerText,"
                          " [...document.links].map(a => [a.href, a.textContent])])",
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
             "σοφία.txt": "Σοφία & <friends>\nΚαλημέρα κόσμε\n",
             "日本語.txt": "東京の天気\n晴れ <のち> 雨 & 雪\n"}
    for i, path in enumerate(sorted(glob.glob("/usr/share/doc/*/copyright"))[:100]):
        try:  # a file in another encoding cannot show as written in UTF-8
            texts[f"c{i:03d}.txt"] = open(path, "rb").read().decode("utf-8")
        except UnicodeDecodeError:
            pass
    browser = Browser(chromium)
    with tempfile.TemporaryDirectory() as root:
        rules, src, out = (os.path.join(root, name) for name in ("rules.mdb", "in", "out"))
        assert subprocess.run([batch, "--new-rules", rules]).returncode == 0
        with sqlite3.connect(rules) as db:
            db.execute("INSERT INTO FileTypes (Identifier, Description, \"Title Line\", \"End of "
                       "Line\", BeginSection, EndSection, GroupID) VALUES ('TXT', 'Text', 1, '', "
                       "'', '', 'DOC')")
            db.execute("INSERT INTO Groups (GroupID, Header, Footer) VALUES ('DOC', '<H2>Texts</H2>', '')")
        os.makedirs(src)
        os.makedirs(out)
        for name, text in texts.items():
            with open(os.path.join(src, name), "w", encoding="utf-8") as f:
                f.write(text)
        result = subprocess.run([batch, "--quiet", "--rules", rules, src, out],
                                capture_output=True, text=True)
        assert result.returncode == 0, result.stderr
        try:
            _, _, links = browser.read("file://" + os.path.join(out, "index.html"))
            # The links as the index page has them, percent-encoded.
            pages = {unquote(href.rsplit("/", 1)[1]): [text, *browser.read(href)[:2]]
                     for href, text in links}
        finally:
            browser.proc.kill()
            browser.proc.wait()
    check(len(pages) == len(texts), f"{len(pages)} pages for {len(texts)} files")
    for name, text in texts.items():
        first, *lines = text.split("\n")
        link, title, body = pages.get("lw" + name[:-4][:8][-6:] + ".htm", ("", "", ""))
        if fold(first):
            check(fold(link) == fold(title) == fold(first),
                  f"{name}: link {link!r} and title {title!r} are not {first!r}")
        for line in filter(fold, lines):
            check(fold(line) in fold(body), f"{name}: {line!r} is not shown")
    for message in failures[:40]:
        print("FAILED:", message)
    print(f"{len(texts)} pages read in the browser, {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
