#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Re-run latency of loomwise-batch --watch: the time from a change to one
input file to its page changing on disk.

    python3 bench/make_corpus.py /tmp/corpus --files 2000 --lines 400
    python3 bench/watch_latency.py build/loomwise-batch /tmp/corpus [--trials 10]

Starts a watch of CORPUS/in into a fresh output directory, waits for the
first run, then changes one file at a time (appending a line) and polls its
page every millisecond. Prints each latency and the median."""

import argparse
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time


def wait_for(condition, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.001)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("batch")
    parser.add_argument("corpus")
    parser.add_argument("--trials", type=int, default=10)
    args = parser.parse_args()
    source = os.path.join(args.corpus, "in")
    names = sorted(n for n in os.listdir(source) if not n.startswith("."))
    with tempfile.TemporaryDirectory() as out:
        log = open(os.path.join(out, ".watch.log"), "w+")
        watch = subprocess.Popen(
            [args.batch, "--watch", "--rules", os.path.join(args.corpus, "rules.mdb"), source, out],
            stdout=log, stderr=subprocess.DEVNULL)
        lines = lambda: open(log.name).read().count("\n")
        if not wait_for(lambda: lines() >= 1, 120):
            sys.exit("the first run did not finish")
        latencies = []
        try:
            for trial in range(args.trials):
                name = names[(trial * 97) % len(names)]
                page = os.path.join(out, "lw" + os.path.splitext(name)[0][:6] + ".htm")
                before = open(page, "rb").read()
                runs = lines()
                start = time.monotonic()
                with open(os.path.join(source, name), "ab") as f:
                    f.write(b"one more line %d\r\n" % trial)
                if not wait_for(lambda: open(page, "rb").read() != before, 60):
                    sys.exit("page %s did not change" % page)
                latencies.append(time.monotonic() - start)
                wait_for(lambda: lines() > runs, 60)  # the run is over
                print("%s: %.0f ms" % (name, latencies[-1] * 1000))
        finally:
            watch.send_signal(signal.SIGINT)
            watch.wait()
        print("median %.0f ms, min %.0f ms, max %.0f ms over %d changes" % (
            statistics.median(latencies) * 1000, min(latencies) * 1000, max(latencies) * 1000,
            len(latencies)))


if __name__ == "__main__":
    main()
