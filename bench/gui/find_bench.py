#!/usr/bin/env python3
"""The find bar on large archives, against zipinfo's own name matching in the same run.

For each size (members in folders of a thousand, every folder holding a config.json; made
directly with Python's zipfile), twice: once with the names in order, once with the same names in
a random order (as a folder read from disk gives them, so that the result list's sort has work) the real program opens the archive headless and runs each search
through its script driver as a user does (`find TEXT`: Ctrl+F, the text typed, Enter), timed
inside the program from the key press to the filled result list (`timed`), then closes the bar.
The peer is `unzip -Z1 ARCHIVE PATTERN` (with -C where case does not matter) naming the same
members. Each repetition runs the program once and then the peer, so both see the same machine;
the table gives the smallest and the median of each and the ratio of the medians. The program's
count of what it found must equal the peer's, or the run fails.

Usage: bench/gui/find_bench.py [--quick] [--sizes 100000,300000,1000000] [--reps N] [BIN_DIR]
(BIN_DIR defaults to build/bin; --quick is 10,000, 30,000 and 100,000 members)."""

import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

sizes = [100_000, 300_000, 1_000_000]
reps = 5
args = []
argv = sys.argv[1:]
while argv:
    a = argv.pop(0)
    if a == "--quick":
        sizes = [10_000, 30_000, 100_000]
    elif a == "--sizes":
        sizes = [int(s) for s in argv.pop(0).split(",")]
    elif a == "--reps":
        reps = int(argv.pop(0))
    else:
        args.append(a)
bin_dir = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))

# What is looked for, as typed into the bar, and the peer's pattern for the same members:
# a name found in every folder, a wildcard pattern, a part of a name, a pattern that matches
# every member (the longest result list), and a path pattern.
SEARCHES = [
    ("config.json", "*config.json*", False),
    ("*.json", "*.json", False),
    ("F00001", "*f00001*", False),
    ("*.TXT", "*.TXT", True),
    ("tree/d0001/*", "tree/d0001/*", False),
]

work = tempfile.mkdtemp(prefix="pellix-find-bench-")
home = os.path.join(work, "home")
program = os.path.join(work, "prog")
os.makedirs(home)
os.makedirs(program)
shutil.copy(os.path.join(bin_dir, "pellix"), program)
for name in ("PKZIP25.EXE", "pellix-batch", "pellix.html"):
    os.symlink(os.path.join(bin_dir, name), os.path.join(program, name))
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(work, "config"),
           XDG_DATA_HOME=os.path.join(work, "data"), QT_QPA_PLATFORM="offscreen")
pellix = os.path.join(program, "pellix")

script = os.path.join(work, "find.txt")
with open(script, "w") as f:
    for text, _, _ in SEARCHES:
        f.write("timed find %s\nfind\n" % text)


def make_archive(path, count, shuffled):
    numbers = list(range(count))
    if shuffled:
        random.Random(count).shuffle(numbers)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for i in range(count):
            folder = "tree/d%04d/" % (i // 1000)
            name = folder + ("config.json" if i % 1000 == 999 else "f%07d.txt" % numbers[i])
            z.writestr(zipfile.ZipInfo(name, (2024, 5, 17, 10, 30, 0)), b"x" * (i % 40))


def ours(archive):
    """One program run: for each search its time in seconds and what the bar said was found."""
    out = subprocess.run([pellix, "--script", script, archive], env=env, check=True,
                         capture_output=True, text=True).stdout
    results = []
    for block in out.split("> timed find ")[1:]:
        found = block.split("find: ")[1].split("\n")[0]
        seconds = float(block.split("time: ")[1].split(" ms")[0]) / 1000
        results.append((seconds, int(found.split(" ")[0].replace(",", "")) if "found" in found and
                        found[0].isdigit() else 0))
    if len(results) != len(SEARCHES):
        raise SystemExit("the program did not run every search:\n" + out)
    return results


def peer(archive, pattern, fold):
    command = ["unzip", "-Z1"] + (["-C"] if fold else []) + [archive, pattern]
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def peer_count(archive, pattern, fold):
    command = ["unzip", "-Z1"] + (["-C"] if fold else []) + [archive, pattern]
    return len(subprocess.run(command, check=True, capture_output=True).stdout.splitlines())


print("load average before: %.2f %.2f %.2f" % os.getloadavg())
rows = []
failed = False
for size, shuffled in [(n, s) for n in sizes for s in (False, True)]:
    archive = os.path.join(work, "m%d.zip" % size)
    make_archive(archive, size, shuffled)
    times_ours = [[] for _ in SEARCHES]
    times_peer = [[] for _ in SEARCHES]
    counts = None
    for _ in range(reps):
        results = ours(archive)
        counts = [found for _, found in results]
        for i, (seconds, _) in enumerate(results):
            times_ours[i].append(seconds)
        for i, (_, pattern, fold) in enumerate(SEARCHES):
            times_peer[i].append(peer(archive, pattern, fold))
    for i, (text, pattern, fold) in enumerate(SEARCHES):
        expected = peer_count(archive, pattern, fold)
        ok = counts[i] == expected
        failed = failed or not ok
        rows.append((size, "random" if shuffled else "in order", text,
                     counts[i] if ok else "FAILED (%d, peer %d)" % (counts[i], expected),
                     min(times_ours[i]), statistics.median(times_ours[i]),
                     min(times_peer[i]), statistics.median(times_peer[i])))
    os.remove(archive)

print("%9s  %-8s  %-14s %9s %9s %9s %9s %9s %7s" % ("members", "names", "find", "found", "ours min",
                                                    "ours med", "peer min", "peer med", "ratio"))
for size, order, text, found, our_min, our_med, peer_min, peer_med in rows:
    print("%9d  %-8s  %-14s %9s %9.3f %9.3f %9.3f %9.3f %7.2f" % (size, order, text, found, our_min, our_med,
                                                                peer_min, peer_med, our_med / peer_med))
print("times in seconds; ours: key press to filled result list, inside the program; "
      "peer: unzip -Z1 [-C] ARCHIVE PATTERN; %d repetitions" % reps)
print("load average after: %.2f %.2f %.2f" % os.getloadavg())
shutil.rmtree(work)
sys.exit(1 if failed else 0)
