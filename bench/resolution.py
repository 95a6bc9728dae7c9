#!/usr/bin/env python3
"""Times a request by name that matches none of N application bundles in a temporary home folder,
against the floor of reading every one of their Info.plist files once (one `cat` over them all),
at 500 and 2000 bundles, and prints the ratios and the peak memory of each run.

Goal: the request within 2 times the floor, and peak memory that does not grow with the number of
bundles beyond their list of entries.

Usage: bench/resolution.py [RUNS] [COUNT ...]   (defaults: 9 runs; 500 and 2000 bundles)
The launcher is taken from $BUILD_DIR/bin/tovrin (BUILD_DIR defaults to "build-programs", the
folder of the preset "programs") and built there by that preset when it is missing. The bundles'
Info.plist files are the real ones in third_party/info-plists, in turn.
"""

import glob
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIXTURES = os.path.join(ROOT, "third_party", "info-plists")
REQUEST = '{"name":"No Such Application"}'
# How the launcher is given another home folder: Foundation on macOS follows CFFIXED_USER_HOME and
# ignores HOME; the stand-in elsewhere reads HOME.
HOME_VARIABLE = "CFFIXED_USER_HOME" if sys.platform == "darwin" else "HOME"
# getrusage's peak resident set is in bytes on macOS and in KiB on Linux.
RSS_UNIT = 1024 if sys.platform == "darwin" else 1
NOT_FOUND = '{"error":"APPLICATION_NOT_FOUND"}\n'


def launcher():
    build = os.environ.get("BUILD_DIR", "build-programs")
    path = os.path.join(ROOT, build, "bin", "tovrin")
    if not os.access(path, os.X_OK):
        subprocess.run(["cmake", "--preset", "programs", "-B", os.path.join(ROOT, build)],
                       cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", os.path.join(ROOT, build), "--target", "tovrin"],
                       check=True, stdout=subprocess.DEVNULL)
    return path


def make_home(count, plists):
    """A home folder whose Applications folder holds `count` bundles; their Info.plist paths."""
    home = tempfile.mkdtemp(prefix="tovrin-bench-")
    paths = []
    for i in range(count):
        contents = os.path.join(home, "Applications", f"Bench {i:05d}.app", "Contents")
        os.makedirs(contents)
        path = os.path.join(contents, "Info.plist")
        with open(path, "wb") as out:
            out.write(plists[i % len(plists)])
        paths.append(path)
    return home, paths


def run(argv, env=None):
    """Runs argv as our child with its output thrown away: its wall-clock seconds."""
    actions = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, env if env is not None else os.environ,
                         file_actions=actions)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) not in (0, 1):
        sys.exit(f"{argv[0]} ended with status {status}")
    return elapsed


def peak_kib(argv, env=None, parent_last=False):
    """The peak resident memory of argv in KiB; with `parent_last`, its parent's pid is appended.

    A child of this process would carry Python's own peak from before its exec, so the program is
    measured under time(1), which a shell execs: the shell's pid ($$) is then the program's
    parent. GNU time (Linux) writes %M in KiB to a file; BSD time (macOS) with -l writes the
    maximum resident set size in bytes to standard error, which neither program uses. Without
    either, getrusage of a child of ours stands in, with that overstatement.
    """
    time_tool = "/usr/bin/time"
    suffix = " $$" if parent_last else ""
    if sys.platform == "darwin" and os.access(time_tool, os.X_OK):
        script = "exec " + time_tool + ' -l "$@"' + suffix
        done = subprocess.run(["bash", "-c", script, "time", *argv], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                              check=False)
        found = re.search(r"(\d+)\s+maximum resident set size", done.stderr)
        if found:
            return int(found.group(1)) // 1024
    elif os.access(time_tool, os.X_OK):
        with tempfile.NamedTemporaryFile("r") as report:
            script = "exec " + time_tool + ' -f %M -o "$0" "$@"' + suffix
            subprocess.run(["bash", "-c", script, report.name, *argv], env=env,
                           stdout=subprocess.DEVNULL, check=False)
            return int(report.read().split()[-1])
    if parent_last:
        argv = [*argv, str(os.getpid())]
    pid = os.posix_spawn(argv[0], argv, env if env is not None else os.environ,
                         file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)])
    return os.wait4(pid, 0)[2].ru_maxrss // RSS_UNIT


def measure(tovrin, cat, count, plists, runs):
    home, paths = make_home(count, plists)
    try:
        env = {HOME_VARIABLE: home}
        request = [tovrin, REQUEST, str(os.getpid())]
        # The launcher's parent must be this process, which subprocess.run makes it.
        answer = subprocess.run(request, env=env, capture_output=True, text=True)
        if answer.stdout != NOT_FOUND:
            sys.exit(f"unexpected answer: {answer.stdout!r}")
        floor, scan = [], []
        run([cat, *paths])  # warms the page cache for both
        for _ in range(runs):
            floor.append(run([cat, *paths]))
            scan.append(run(request, env))
        return {
            "count": count,
            "bytes": sum(os.path.getsize(p) for p in paths),
            "floor": statistics.median(floor),
            "scan": statistics.median(scan),
            "floor_kib": peak_kib([cat, *paths]),
            "scan_kib": peak_kib([tovrin, REQUEST], env, parent_last=True),
        }
    finally:
        shutil.rmtree(home, ignore_errors=True)


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 9
    counts = [int(c) for c in sys.argv[2:]] or [500, 2000]
    plists = [open(p, "rb").read() for p in sorted(glob.glob(os.path.join(FIXTURES, "*.plist")))]
    if not plists:
        sys.exit(f"no Info.plist fixtures in {FIXTURES}")
    tovrin = launcher()
    cat = shutil.which("cat")

    empty = measure(tovrin, cat, 0, plists, runs)
    print(f"{len(plists)} real Info.plist files in turn; times are the median of {runs} runs")
    print(f"{'bundles':>8} {'plist MiB':>9} {'cat ms':>8} {'tovrin ms':>9} {'ratio':>6} "
          f"{'us/bundle':>9} {'cat KiB':>8} {'tovrin KiB':>10}")
    print(f"{0:>8} {0:>9.1f} {'-':>8} {empty['scan'] * 1e3:>9.1f} {'-':>6} {'-':>9} "
          f"{'-':>8} {empty['scan_kib']:>10}")
    for count in counts:
        r = measure(tovrin, cat, count, plists, runs)
        per_bundle = (r["scan"] - empty["scan"]) / count * 1e6
        print(f"{count:>8} {r['bytes'] / 2**20:>9.1f} {r['floor'] * 1e3:>8.1f} "
              f"{r['scan'] * 1e3:>9.1f} {r['scan'] / r['floor']:>6.2f} {per_bundle:>9.1f} "
              f"{r['floor_kib']:>8} {r['scan_kib']:>10}")


if __name__ == "__main__":
    main()
