#!/usr/bin/env python3
"""Whole-process timings of several commands, run alternately.

    bench/lib/alternate.py [--runs N] [--warmup N] [--prepare CMD]
                           NAME=COMMAND NAME=COMMAND ...

Each round runs every command once, in turn, so a change of load hits all of
them alike; the order rotates from round to round. --prepare runs (untimed)
before every timed command, e.g. to remove the previous output. Prints the
machine's load, then for each command its median, minimum and maximum wall
time, and the ratio of each median to the first command's median (< 1 is
faster than the first). A command that fails stops the run.
"""
import argparse
import os
import shlex
import statistics
import subprocess
import sys
import time


def run(command, quiet=True):
    out = subprocess.DEVNULL if quiet else None
    start = time.perf_counter()
    rc = subprocess.call(command, shell=True, stdout=out, stderr=out)
    elapsed = time.perf_counter() - start
    if rc != 0:
        sys.exit(f"alternate: `{command}` failed with status {rc}")
    return elapsed


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--runs", type=int, default=7)
    p.add_argument("--warmup", type=int, default=1)
    p.add_argument("--prepare", default="")
    p.add_argument("commands", nargs="+", metavar="NAME=COMMAND")
    a = p.parse_args()
    named = []
    for c in a.commands:
        name, sep, command = c.partition("=")
        if not sep:
            sys.exit(f"alternate: expected NAME=COMMAND, got {c!r}")
        named.append((name, command))

    def once(command):
        if a.prepare:
            run(a.prepare)
        return run(command)

    for _ in range(a.warmup):
        for _, command in named:
            once(command)
    times = {name: [] for name, _ in named}
    for r in range(a.runs):
        shift = r % len(named)
        for name, command in named[shift:] + named[:shift]:
            times[name].append(once(command))

    with open("/proc/loadavg") as f:
        load = " ".join(f.read().split()[:3])
    print(f"load average: {load}; {os.cpu_count()} cores; {a.runs} alternating runs each")
    first = statistics.median(times[named[0][0]])
    width = max(len(n) for n, _ in named)
    for name, _ in named:
        t = times[name]
        median = statistics.median(t)
        print(f"  {name:<{width}}  median {median * 1000:9.1f} ms  min {min(t) * 1000:9.1f}"
              f"  max {max(t) * 1000:9.1f}  ratio {median / first:6.3f}")


if __name__ == "__main__":
    main()
