#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""How the cost of loomwise-batch grows: with the number of rule rows (a
glossary of terms, sed beside it with the same rows) and with the number of
small files (time and peak memory per file). Timings run in a RAM-backed
directory (/dev/shm) when there is one, so the disk does not hide the
program's own cost. Prints Markdown tables; with --plots DIR also writes
rule-count.svg and file-count.svg there (python3-matplotlib).

Usage: curves.py LOOMWISE_BATCH CORPUS_DIR [--peer NAME=BINARY] [--smoke]
       [--plots DIR] [--runs N]
"""
import argparse
import os
import random
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time


def timed(cmd, runs, before=None, cpu=None):
    """Median wall seconds of `runs` runs of `cmd`; `before` runs untimed
    first. With a list `cpu`, the median CPU seconds (user plus system) are
    appended to it: on a shared machine they vary less than wall time."""
    samples, cpus = [], []
    for _ in range(runs):
        if before:
            before()
        start = time.perf_counter()
        child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        samples.append(time.perf_counter() - start)
        cpus.append(usage.ru_utime + usage.ru_stime)
        if status != 0:
            raise RuntimeError(f"{cmd[0]} failed with status {status}")
    if cpu is not None:
        cpu.append(statistics.median(cpus))
    return statistics.median(samples)


def peak_kb(cmd):
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *cmd], check=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def glossary(count, seed=7):
    """`count` glossary terms: a few that the corpus holds, the rest made up."""
    rng = random.Random(seed)
    common = ["harbour", "railway", "market", "station", "bridge", "museum", "river", "garden"]
    terms = []
    while len(terms) < count:
        if len(terms) % 20 == 0 and len(terms) // 20 < len(common):
            terms.append(common[len(terms) // 20])
        else:
            term = "".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(5, 10)))
            if term not in terms:
                terms.append(term)
    return terms


def glossary_rules(base, path, terms, pattern=False):
    """A copy of `base` whose Constraints are one linking row per term; every
    fourth row is case-insensitive. With `pattern`, each row is a pattern
    row of whole words, `\\b(term)\\b` -> `<A HREF="glossary.htm#\\1">\\1</A>`."""
    shutil.copyfile(base, path)
    with sqlite3.connect(path) as db:
        db.execute("DELETE FROM Constraints")
        for i, term in enumerate(terms):
            row = ((5, f"\\b({term})\\b", '<A HREF="glossary.htm#\\1">\\1</A>') if pattern else
                   (1, term, f'<A HREF="glossary.htm#{term}">{term}</A>'))
            db.execute("INSERT INTO Constraints (FileType, Type, \"Search String\", \"Replace String\","
                       " RFirst, RLast, CaseSensitive) VALUES ('GEN', ?, ?, ?, ' ', ' ', ?)",
                       (*row, 0 if i % 4 == 3 else 1))


def glossary_sed(path, terms):
    with open(path, "w") as f:
        for i, term in enumerate(terms):
            flags = "gI" if i % 4 == 3 else "g"
            f.write(f's/{term}/<A HREF="glossary.htm#{term}">{term}<\\/A>/{flags}\n')


def rule_curve(binaries, corpus, work, counts, files, runs):
    source = os.path.join(corpus, "in")
    names = sorted(os.listdir(source))[:files]
    inp = os.path.join(work, "rules-in")
    os.makedirs(inp)
    for name in names:
        shutil.copyfile(os.path.join(source, name), os.path.join(inp, name))
    megabytes = sum(os.path.getsize(os.path.join(inp, n)) for n in names) / 1e6
    out = os.path.join(work, "rules-out")
    copy = os.path.join(work, "copy")
    fresh = lambda: (shutil.rmtree(out, ignore_errors=True), os.makedirs(out))
    gone = lambda: shutil.rmtree(copy, ignore_errors=True)
    cp_cpu = []
    cp = timed(["cp", "-r", inp, copy], runs, gone, cp_cpu)
    rows = []
    for count in counts:
        terms = glossary(count)
        rules = os.path.join(work, f"glossary-{count}.mdb")
        glossary_rules(os.path.join(corpus, "rules.mdb"), rules, terms)
        script = os.path.join(work, f"glossary-{count}.sed")
        glossary_sed(script, terms)
        patterns = os.path.join(work, f"patterns-{count}.mdb")
        glossary_rules(os.path.join(corpus, "rules.mdb"), patterns, terms, pattern=True)
        row = {"rows": count}
        for label, binary in binaries:
            cpu = []
            row[label] = timed([binary, "--quiet", "--jobs", "1", "--rules", rules, inp, out], runs,
                               fresh, cpu)
            row[label + " cpu"] = cpu[0]
        cpu = []
        row["pattern"] = timed([binaries[0][1], "--quiet", "--jobs", "1", "--rules", patterns, inp,
                                out], runs, fresh, cpu)
        row["pattern cpu"] = cpu[0]
        # sed takes minutes at the larger tables: one run there.
        row["sed"] = timed(["sed", "-f", script, *[os.path.join(inp, n) for n in names]],
                           runs if count <= 100 else 1)
        rows.append(row)
    return rows, (cp, cp_cpu[0]), len(names), megabytes


def file_curve(binaries, work, counts):
    rows = []
    for count in counts:
        inp = os.path.join(work, f"files-{count}")
        os.makedirs(inp)
        title_bytes = 0
        for i in range(count):
            title = f"Note {i}: a small file"
            title_bytes += len(title)
            with open(os.path.join(inp, f"n{i:06d}.txt"), "w") as f:
                f.write(f"{title}\r\nOne line of text.\r\n")
        out = os.path.join(work, f"files-{count}-out")
        row = {"files": count, "title_bytes": title_bytes}
        for label, binary in binaries:
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            cmd = [binary, "--quiet", "--rules", os.path.join(work, "glossary-12.mdb"), inp, out]
            start = time.perf_counter()
            row[label + " kb"] = peak_kb(cmd)
            row[label] = time.perf_counter() - start
        shutil.rmtree(inp)
        shutil.rmtree(out)
        rows.append(row)
    return rows


def plot(path, xs, series, xlabel, ylabel, title):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print(f"(no plot {os.path.basename(path)}: python3-matplotlib is not installed)", file=sys.stderr)
        return False
    fig, ax = plt.subplots(figsize=(6, 4))
    for label, ys in series.items():
        ax.plot(xs, ys, marker="o", label=label)
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel(xlabel)
    ax.set_ylabel(ylabel)
    ax.set_title(title)
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(path)
    return True


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("batch")
    ap.add_argument("corpus")
    ap.add_argument("--peer", action="append", default=[], help="NAME=BINARY, timed beside")
    ap.add_argument("--smoke", action="store_true")
    ap.add_argument("--plots")
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    binaries = [("loomwise", args.batch)] + [tuple(p.split("=", 1)) for p in args.peer]
    shm = "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None
    rule_counts = [12, 100] if args.smoke else [12, 100, 500, 2000]
    file_counts = [100, 1000] if args.smoke else [1000, 10000, 50000]
    if args.smoke:
        args.runs = 1
    with tempfile.TemporaryDirectory(dir=shm, prefix="loomwise-curves-") as work:
        rules, cp, files, megabytes = rule_curve(binaries, args.corpus, work, rule_counts,
                                                 30 if args.smoke else 600, args.runs)
        small = file_curve(binaries, work, file_counts)
    labels = [label for label, _ in binaries]
    print(f"#### Cost against the number of rule rows\n")
    print(f"{files} files of the corpus ({megabytes:.1f} MB) in {shm or 'the temporary directory'}, "
          f"one thread (`--jobs 1`), glossary rows (`term` -> `<A HREF=\"glossary.htm#term\">term</A>`, "
          f"every fourth case-insensitive); `sed -f` runs the same rows as one process writing to "
          f"/dev/null (one run from 500 rows on); `cp -r` of the same files: {cp[0] * 1000:.0f} ms "
          f"({cp[1] * 1000:.0f} ms CPU). Medians of {args.runs} runs; CPU is user plus system time.\n")
    print("The pattern columns run the same terms as pattern rows of whole words "
          "(`\\b(term)\\b` -> `<A HREF=\"glossary.htm#\\1\">\\1</A>`).\n")
    print("| Rows | " + " | ".join(f"{l} ms | {l} CPU ms" for l in labels) + " | sed ms | "
          + " | ".join(f"{l} / 12 rows (CPU)" for l in labels) + f" | {labels[0]} / cp -r | {labels[0]} / cp -r (CPU) |"
          + " pattern CPU ms | pattern / 12 literal rows (CPU) |")
    print("|---:|" + "---:|" * (3 * len(labels) + 5))
    for row in rules:
        print(f"| {row['rows']} | " + " | ".join(f"{row[l] * 1000:.0f} | {row[l + ' cpu'] * 1000:.0f}" for l in labels)
              + f" | {row['sed'] * 1000:.0f} | "
              + " | ".join(f"{row[l + ' cpu'] / rules[0][l + ' cpu']:.2f}" for l in labels)
              + f" | {row[labels[0]] / cp[0]:.1f} | {row[labels[0] + ' cpu'] / cp[1]:.1f} |"
              + f" {row['pattern cpu'] * 1000:.0f} | {row['pattern cpu'] / rules[0][labels[0] + ' cpu']:.2f} |")
    print(f"\n#### Cost against the number of small files\n")
    print("Each file two short lines; the default run (one thread per core); peak memory is the "
          "maximum resident set size.\n")
    print("| Files | " + " | ".join(f"{l} s | {l} peak MB" for l in labels) + " |")
    print("|---:|" + "---:|---:|" * len(labels))
    for row in small:
        print(f"| {row['files']} | " + " | ".join(
            f"{row[l]:.2f} | {row[l + ' kb'] / 1024:.1f}" for l in labels) + " |")
    first, last = small[0], small[-1]
    for l in labels:
        per_file = ((last[l + " kb"] - first[l + " kb"]) * 1024 - (last["title_bytes"] - first["title_bytes"])) \
            / (last["files"] - first["files"])
        print(f"\n{l}: peak memory per file beyond the titles' bytes, between {first['files']} and "
              f"{last['files']} files: {per_file:.0f} bytes")
    if args.plots:
        xs = [row["rows"] for row in rules]
        series = {l: [row[l] * 1000 for row in rules] for l in labels}
        series["sed"] = [row["sed"] * 1000 for row in rules]
        series["pattern rows"] = [row["pattern"] * 1000 for row in rules]
        if plot(os.path.join(args.plots, "rule-count.svg"), xs, series, "rule rows", "ms (one thread)",
                "Cost against rule rows"):
            print("\n![Cost against rule rows](rule-count.svg)")
        xs = [row["files"] for row in small]
        series = {l + " (bytes per file)": [row[l + " kb"] * 1024 / row["files"] for row in small]
                  for l in labels}
        if plot(os.path.join(args.plots, "file-count.svg"), xs, series, "files", "peak memory per file (bytes)",
                "Memory against the number of files"):
            print("\n![Memory against the number of files](file-count.svg)")


if __name__ == "__main__":
    main()
