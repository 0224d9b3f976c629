#!/usr/bin/env python3
"""Text of this platform converted with the rules `--new-rules` makes, and read
back as a reader reads it: the licences every Debian system has (lines, titles,
the same bytes for any --jobs), and, with --browser, the site in headless
Chromium (what the browser shows, not our bytes).

Usage: real_text_test.py LOOMWISE_BATCH [--browser]
Exits 77 (skipped) with a message when the texts or the browser are missing.
"""
import glob, html, json, os, re, shutil, sqlite3, subprocess, sys, tempfile

LINE_END = re.compile(r"\r\n|\r|\n")
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


def batch(*args):
    return subprocess.run([BATCH, *args], capture_output=True, text=True)


def site(root, files, *outs):
    """Rules from --new-rules with the file type TXT, `files` (name -> bytes)
    in root/in, converted into each of `outs` (name, options...)."""
    rules = os.path.join(root, "rules.mdb")
    assert batch("--new-rules", rules).returncode == 0
    with sqlite3.connect(rules) as db:
        db.execute("INSERT INTO FileTypes (Identifier, Description, \"Title Line\", \"End of Line\","
                   " BeginSection, EndSection, GroupID) VALUES ('TXT', 'Text', 1, '', '', '', 'DOC')")
        db.execute("INSERT INTO Groups (GroupID, Header, Footer) VALUES ('DOC', '<H2>Texts</H2>', '')")
    os.makedirs(os.path.join(root, "in"))
    for name, data in files.items():
        with open(os.path.join(root, "in", name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
    for out, *options in outs:
        os.makedirs(os.path.join(root, out))
        result = batch("--quiet", "--rules", rules, *options, os.path.join(root, "in"),
                       os.path.join(root, out))
        assert result.returncode == 0, result.stderr
    return rules


def read(path, mode="rb"):
    with open(path, mode, **({} if "b" in mode else {"encoding": "utf-8", "newline": ""})) as f:
        return f.read()


def licences():
    paths = sorted(p for p in glob.glob("/usr/share/common-licenses/*") if os.path.isfile(p))
    if not paths:
        print("skipped: no /usr/share/common-licenses on this machine")
        return False
    # Numbered names: the licences' own names share their first six letters.
    texts = {f"l{i:02d}.txt": read(p) for i, p in enumerate(paths)}
    with tempfile.TemporaryDirectory() as root:
        rules = site(root, texts, ("one", "--jobs", "1"), ("two", "--jobs", "2"))
        for name in sorted(os.listdir(os.path.join(root, "one"))):
            check(read(os.path.join(root, "one", name)) == read(os.path.join(root, "two", name)),
                  f"{name}: --jobs 1 and --jobs 2 differ")
        index = read(os.path.join(root, "one", "index.html"), "r")
        links = dict(re.findall(r'<A HREF="([^"]*)">(.*?)</a><BR>', index, re.S))
        check(len(links) == len(texts), f"{len(links)} links for {len(texts)} files")
        for name, data in texts.items():
            source = [line.strip(" ") for line in LINE_END.split(data.decode("utf-8", "replace"))]
            page = read(os.path.join(root, "one", "lw" + name[:3] + ".htm"), "r").split("\r\n")
            # Between header and footer; a blank title line still gives its <TITLE> line.
            expected = sum(1 for line in source if line) + (0 if source[0] else 1)
            check(len(page) - 3 == expected, f"{name}: {len(page) - 3} page lines for {expected}")
            title = links.get("lw" + name[:3] + ".htm", "")
            check("\r" not in title and "\n" not in title, f"{name}: link text spans lines")
            check(html.unescape(title) == (source[0] or os.path.join(root, "in", name)),
                  f"{name}: link text {title[:60]!r} is not the first line")
        lone = sum(1 for data in texts.values() if b"\n" in data and b"\r" not in data)
        err = batch("--check", "--line-ends", "crlf", "--rules", rules, os.path.join(root, "in"),
                    os.path.join(root, "one")).stderr
        said = re.search(r"(\d+) files have no CR LF line ends", err)
        named = len(re.findall(r'File "[^"]*" has no CR LF line ends', err))
        check(lone > 0 and (int(said.group(1)) if said else named) == lone,
              f"{lone} LF-only files, but the check said:\n{err}")
    print(f"licences: {len(texts)} files, each line a page line, one-line titles")
    return True


class Browser:
    """Headless Chromium over the DevTools protocol on a pipe: one browser for
    every page, each page's text as the browser lays it out."""

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
        self.call("Page.enable", session=self.session)

    def receive(self):
        while b"\0" not in self.buf:
            chunk = os.read(self.rd, 1 << 16)
            if not chunk:
                raise RuntimeError("the browser closed its pipe")
            self.buf += chunk
        message, self.buf = self.buf.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=None):
        self.last += 1
        message = {"id": self.last, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.wr, json.dumps(message).encode() + b"\0")
        while (reply := self.receive()).get("id") != self.last:
            pass
        return reply.get("result", {})

    def read(self, url):
        """(error, title, text, links) of the page at `url`."""
        error = self.call("Page.navigate", {"url": url}, self.session).get("errorText")
        check(error is None, f"{url} does not open: {error}")
        while self.receive().get("method") != "Page.loadEventFired":
            pass
        shown = self.call("Runtime.evaluate", {
            "expression": "JSON.stringify([document.title, document.body ? document.body.innerText"
                          " : '', [...document.links].map(a => [a.href, a.textContent])])",
            "returnByValue": True}, self.session)["result"]["value"]
        return json.loads(shown)


def fold(text):
    return " ".join(text.split())


def accented(browser):
    texts = {"café.txt": "Café Σοφία\nline with café and Σοφία\n",
             "σοφία.txt": "Σοφία & <friends>\nΚαλημέρα κόσμε\n",
             "日本語.txt": "東京の天気\n晴れ <のち> 雨 & 雪\n"}
    with tempfile.TemporaryDirectory() as root:
        site(root, texts, ("out",))
        _, _, links = browser.read("file://" + os.path.join(root, "out", "index.html"))
        pages = {text: browser.read(href)[:2] for href, text in links}
    check(sorted(pages) == sorted(["Café Σοφία", "Σοφία & <friends>", "東京の天気"]),
          f"link texts as shown: {sorted(pages)}")
    for link, (title, body) in pages.items():
        check(title == link, f"page title {title!r} is not its link text {link!r}")
        check(not re.search("[ÃÎÏæ]", title + body), f"mojibake in {link!r}: {body!r}")
    shown = [line for _, body in pages.values() for line in body.split("\n")]
    for line in ("line with café and Σοφία", "Καλημέρα κόσμε", "晴れ <のち> 雨 & 雪"):
        check(line in shown, f"{line!r} is not shown; the pages show {shown}")
    print(f"browser: {len(pages)} pages with accented, Greek and CJK text read as written")


def copyrights(browser):
    texts = {}
    for i, path in enumerate(sorted(glob.glob("/usr/share/doc/*/copyright"))[:100]):
        try:  # a file in another encoding cannot show as written in UTF-8
            texts[f"c{i:03d}.txt"] = read(path).decode("utf-8")
        except UnicodeDecodeError:
            pass
    shown, total = 0, 0
    with tempfile.TemporaryDirectory() as root:
        site(root, texts, ("out",))
        for name, text in texts.items():
            page = fold(browser.read("file://" + os.path.join(root, "out", "lw" + name[:4] + ".htm"))[1])
            for line in filter(fold, LINE_END.split(text)[1:]):
                total += 1
                shown += fold(line) in page
                check(fold(line) in page, f"{name}: {line!r} is not shown")
    print(f"copyright files: {shown} of {total} lines shown as written in {len(texts)} pages")


def main():
    global BATCH
    BATCH = sys.argv[1]
    ran = True
    if "--browser" not in sys.argv:
        ran = licences()
    else:
        chromium = shutil.which("chromium") or shutil.which("chromium-browser")
        if not chromium:
            print("skipped: no chromium on this machine (apt-get install chromium)")
            return 77
        browser = Browser(chromium)
        try:
            accented(browser)
            copyrights(browser)
        finally:
            browser.proc.kill()
            browser.proc.wait()
    for message in failures[:40]:
        print("FAILED:", message)
    if failures:
        print(f"{len(failures)} failure(s)")
        return 1
    return 0 if ran else 77


if __name__ == "__main__":
    sys.exit(main())
