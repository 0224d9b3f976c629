#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Deterministic benchmark corpus for loomwise-batch.

Writes, under OUT:
  in/          the input files (Windows-1252, CR LF), three file types
  rules.mdb    a rule database with 24 constraints
  sed/TYPE.sed a GNU sed script per file type doing the same rules
  stamp        the parameters, so an identical corpus is not made twice

The same arguments always give the same bytes (fixed seed).
"""

import argparse
import os
import random
import shutil
import sqlite3
import sys

SEED = 20240611
TYPES = [  # extension, file name prefix, title line, group, share of files
    ("TXT", "t", 1, "ART", 0.5),
    ("NWS", "n", 2, "NWS", 0.3),
    ("FAQ", "f", 1, "ART", 0.2),
]

# Six rows of each kind; twelve for every file type ("GEN"), four for each
# of the three types; some case-insensitive (cs 0), some to the end of line.
# (file type, kind, search / begin, replace / end, front, back, case-sensitive)
CONSTRAINTS = [
    ("GEN", 1, "--", "&mdash;", " ", " ", 1),
    ("GEN", 1, "(c)", "&copy;", " ", " ", 0),
    ("GEN", 1, "café", "caf&eacute;", " ", " ", 0),
    ("GEN", 2, "[note:", "]", " ", " ", 0),
    ("GEN", 2, "{{", "}}", " ", " ", 1),
    ("GEN", 2, "//", "(EOL)", " ", " ", 1),
    ("GEN", 3, "_", "_", "<I>", "</I>", 1),
    ("GEN", 3, "**", "**", "<B>", "</B>", 1),
    ("GEN", 3, "see:", "(EOL)", "<SMALL>see ", "</SMALL>", 0),
    ("GEN", 4, "Contents", "<H2>Contents</H2>", " ", " ", 0),
    ("GEN", 4, "* * *", "<HR>", " ", " ", 0),
    ("GEN", 4, "The End", '<P class="end">The End</P>', " ", " ", 0),
    ("TXT", 1, "teh", "the", " ", " ", 0),
    ("TXT", 2, "<!--", "-->", " ", " ", 1),
    ("TXT", 3, "~", "~", "<S>", "</S>", 1),
    ("TXT", 4, "Summary", "<H3>Summary</H3>", " ", " ", 0),
    ("NWS", 1, "URGENT", "<STRONG>urgent</STRONG>", " ", " ", 1),
    ("NWS", 2, "##", "(EOL)", " ", " ", 1),
    ("NWS", 3, "=> ", "(EOL)", "<LI>", "</LI>", 1),
    ("NWS", 4, "BREAKING", "<H2>Breaking news</H2>", " ", " ", 0),
    ("FAQ", 1, "Q:", "<B>Question:</B>", " ", " ", 1),
    ("FAQ", 2, "(draft", ")", " ", " ", 0),
    ("FAQ", 3, "`", "`", "<CODE>", "</CODE>", 1),
    ("FAQ", 4, "Answers", "<H2>Answers</H2>", " ", " ", 0),
]

HEADER = '<HTML><HEAD><META charset="windows-1252"></HEAD><BODY>'
FOOTER = "</BODY></HTML>"
END_OF_LINE = "<P>"

WORDS = (
    "the of and to in is was for that with as on by at from his her it an "
    "harbour town council meeting ferry boat season market fish weather storm "
    "road bridge school library church museum festival visitors summer winter "
    "morning evening week month year report notes chapter letter story people "
    "house street garden river island light keeper captain crew net tide coast "
    "north south east west old new small large early late long short first last "
    "said told asked found made gave took came went saw heard kept held brought "
    "teh TEH Teh café Café CAFÉ naïve résumé Zürich Ærø façade déjà señor "
    "(c) (C) 1998 2004 2019 12 34 5,000 7.5% 3rd A B C I II III IV"
).split()


def sentence(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n))


def body_line(rng, ext):
    """One input line; features that the rules act on appear now and then."""
    r = rng.random()
    if r < 0.07:
        return ""
    if r < 0.09:
        return "   "
    words = [rng.choice(WORDS) for _ in range(rng.randint(4, 16))]
    def put(text):
        words.insert(rng.randrange(len(words) + 1), text)
    if rng.random() < 0.15:
        put("--")
    if rng.random() < 0.10:
        put('say ""hello""')
    if rng.random() < 0.08:
        put("[Note: " + sentence(rng, 3) + "]")
    if rng.random() < 0.05:
        put("{{" + sentence(rng, 2) + "}}")
    if rng.random() < 0.12:
        put("_" + rng.choice(WORDS) + "_")
    if rng.random() < 0.10:
        put("**" + rng.choice(WORDS) + "**")
    if ext == "TXT" and rng.random() < 0.05:
        put("<!-- " + sentence(rng, 3) + " -->")
    if ext == "TXT" and rng.random() < 0.06:
        put("~" + rng.choice(WORDS) + "~")
    if ext == "NWS" and rng.random() < 0.05:
        put("URGENT")
    if ext == "FAQ" and rng.random() < 0.06:
        put("`" + rng.choice(WORDS) + "`")
    if ext == "FAQ" and rng.random() < 0.05:
        put("(Draft " + sentence(rng, 2) + ")")
    line = " ".join(words)
    if rng.random() < 0.04:
        line += " // " + sentence(rng, 4)
    if rng.random() < 0.03:
        line += " See: " + sentence(rng, 3)
    if ext == "NWS" and rng.random() < 0.05:
        line += " ## " + sentence(rng, 3)
    if ext == "NWS" and rng.random() < 0.08:
        line = "=> " + line
    if ext == "FAQ" and rng.random() < 0.10:
        line = rng.choice(["Q: ", "A: "]) + line
    if rng.random() < 0.10:
        line = " " * rng.randint(1, 4) + line
    if rng.random() < 0.10:
        line += " " * rng.randint(1, 3)
    if rng.random() < 0.005:  # a long line now and then
        line = " ".join([line] * rng.randint(20, 60))
    return line


def special_line(rng, ext):
    choices = ["Contents", "  Contents ", "* * *", "The End"]
    choices += {"TXT": ["Summary"], "NWS": ["BREAKING"], "FAQ": ["Answers"]}[ext]
    return rng.choice(choices)


def make_pool(rng, ext, size):
    pool = []
    for i in range(size):
        pool.append(special_line(rng, ext) if i % 97 == 0 else body_line(rng, ext))
    return pool


def file_bytes(rng, ext, pool, lines):
    out = []
    if ext == "NWS":
        out.append("%d %s 2024" % (rng.randint(1, 28), rng.choice(["March", "April", "May"])))
    out.append(sentence(rng, rng.randint(3, 7)).capitalize())
    while len(out) < lines:
        out.append(pool[rng.randrange(len(pool))])
    return ("\r\n".join(out) + "\r\n").encode("cp1252")


def write_corpus(out, files, lines):
    rng = random.Random(SEED)
    pool_size = max(100, min(20000, files * lines // 8))
    pools = {ext: make_pool(rng, ext, pool_size) for ext, *_ in TYPES}
    inp = os.path.join(out, "in")
    os.makedirs(inp)
    counts = []
    left = files
    for k, (ext, prefix, *_rest, share) in enumerate(TYPES):
        n = left if k == len(TYPES) - 1 else int(round(files * share))
        left -= n
        counts.append((ext, prefix, n))
    for ext, prefix, n in counts:
        for i in range(n):
            # Bases of six characters: every file gets its own page name.
            name = "%s%05d.%s" % (prefix, i, ext.lower())
            with open(os.path.join(inp, name), "wb") as f:
                f.write(file_bytes(rng, ext, pools[ext], lines))


def write_rules(out, source_dir):
    path = os.path.join(out, "rules.mdb")
    db = sqlite3.connect(path)
    for sql in ("schema.sql", "settings.sql"):
        with open(os.path.join(source_dir, "data", sql), encoding="utf-8") as f:
            db.executescript(f.read())
    db.execute("UPDATE GlobalDefs SET Content = ? WHERE ID = 'Header'", (HEADER,))
    db.execute("UPDATE GlobalDefs SET Content = ? WHERE ID = 'Footer'", (FOOTER,))
    db.execute("UPDATE GlobalDefs SET Content = ? WHERE ID = 'EndofLine'", (END_OF_LINE,))
    # The texts hold HTML comments on purpose, which rules remove: say so, as a
    # user would, so that runs neither escape nor warn about them.
    db.execute("INSERT INTO GlobalDefs (ID, Content) VALUES ('EscapeText', 'no')")
    db.executemany("INSERT INTO Groups (GroupID, Header, Footer) VALUES (?, ?, ?)",
                   [("ART", "<H2>Articles</H2>", "<P></P>"), ("NWS", "<H2>News</H2>", "")])
    for ext, _prefix, title, group, _share in TYPES:
        db.execute('INSERT INTO FileTypes (Identifier, Description, "Title Line", "End of Line",'
                   " BeginSection, EndSection, GroupID) VALUES (?, ?, ?, ?, ?, ?, ?)",
                   (ext, ext + " files", title, END_OF_LINE, '<DIV class="%s">' % ext.lower(),
                    "</DIV>", group))
    db.executemany('INSERT INTO Constraints (FileType, Type, "Search String", "Replace String",'
                   " RFirst, RLast, CaseSensitive) VALUES (?, ?, ?, ?, ?, ?, ?)", CONSTRAINTS)
    db.commit()
    db.close()


def bre(text):
    """Escapes a text for a basic regular expression of GNU sed."""
    return "".join("\\" + c if c in "\\.*[]^$/" else c for c in text)


def bre_nocase(text):
    """Like bre, with both cases of every letter beyond ASCII in brackets (sed
    folds only ASCII letters with the I flag in the C locale)."""
    return "".join("[%s%s]" % (c.lower(), c.upper()) if ord(c) > 127 and c.lower() != c.upper()
                   else bre(c) for c in text)


def repl(text):
    return "".join("\\" + c if c in "\\&/" else c for c in text)


def sed_script(ext, title):
    """The rules of one file type as a GNU sed script (run with -s)."""
    lines = ["s/\\r$//"]
    for ftype, kind, search, replace, front, back, cs in CONSTRAINTS:
        if ftype not in ("GEN", ext):
            continue
        flags = "g" if cs else "gI"
        if kind == 1:
            search, replace = search.strip(" "), replace.strip(" ")
            pattern = bre(search) if cs else bre_nocase(search)
            lines.append("s/%s/%s/%s" % (pattern, repl(replace), flags))
        elif kind == 2 and replace == "(EOL)":
            lines.append("s/%s.*$//%s" % (bre(search), flags[1:]))
        elif kind == 2:
            lines.append("s/%s[^%s]*%s//%s" % (bre(search), bre(replace[0]).lstrip("\\") if
                                               replace[0] != "]" else "]", bre(replace), flags))
        elif kind == 3 and replace == "(EOL)":
            lines.append("s/%s\\(.*\\)$/%s\\1%s/%s" % (bre(search), repl(front), repl(back),
                                                       flags[1:]))
        elif kind == 3:
            stop = replace[0] if replace[0] != "]" else "]"
            lines.append("s/%s\\([^%s]*\\)%s/%s\\1%s/%s" % (bre(search), stop, bre(replace),
                                                           repl(front), repl(back), flags))
        else:
            lines.append("s/^ *%s *$/%s/" % (bre(search.strip(" ")), repl(replace)))
    lines.append("s/^ *//")
    lines.append("s/ *$//")
    lines.append("%ds/.*/<TITLE>&<\\/TITLE>/" % title)
    lines.append("/^$/d")
    lines.append("s/$/%s\\r/" % repl(END_OF_LINE))
    # Header and section before the first line, section and footer after the
    # last; placed first so that a deleted last line still gets them.
    head = ["1i\\", HEADER + "\\r\\", '<DIV class="%s">\\r' % ext.lower()]
    tail = ["$a\\", "</DIV>\\r\\", FOOTER + "\\r"]
    return "\n".join(head + tail + lines) + "\n"


def write_sed(out):
    os.makedirs(os.path.join(out, "sed"))
    for ext, _prefix, title, *_ in TYPES:
        with open(os.path.join(out, "sed", ext.lower() + ".sed"), "w", encoding="cp1252") as f:
            f.write(sed_script(ext, title))


def write_scaled(out, copies):
    """in-xK: K copies of in/ under new names that keep every page name
    distinct, so that the run does K times the work of in/."""
    src = os.path.join(out, "in")
    dst = os.path.join(out, "in-x%d" % copies)
    if os.path.isdir(dst):
        return
    names = sorted(os.listdir(src))
    tmp = dst + ".part"
    if os.path.exists(tmp):
        shutil.rmtree(tmp)
    os.makedirs(tmp)
    for k in range(copies):
        for name in names:
            base, ext = name.split(".", 1)
            number = int(base[1:]) + k * len(names)
            shutil.copyfile(os.path.join(src, name),
                            os.path.join(tmp, "%s%05d.%s" % (base[0], number, ext)))
    os.rename(tmp, dst)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("out")
    ap.add_argument("--files", type=int, default=2000)
    ap.add_argument("--lines", type=int, default=400)
    ap.add_argument("--source", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    ap.add_argument("--scaled", type=int, action="append", default=[],
                    help="also make in-xK with K copies of the corpus")
    args = ap.parse_args()
    stamp = "seed=%d files=%d lines=%d rules=%d\n" % (SEED, args.files, args.lines,
                                                      len(CONSTRAINTS))
    stamp_path = os.path.join(args.out, "stamp")
    if not (os.path.exists(stamp_path) and open(stamp_path).read() == stamp):
        if os.path.exists(args.out):
            shutil.rmtree(args.out)
        os.makedirs(args.out)
        write_corpus(args.out, args.files, args.lines)
        write_rules(args.out, args.source)
        write_sed(args.out)
        with open(stamp_path, "w") as f:
            f.write(stamp)
    for copies in args.scaled:
        write_scaled(args.out, copies)
    return 0


if __name__ == "__main__":
    sys.exit(main())
