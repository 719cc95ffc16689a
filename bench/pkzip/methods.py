#!/usr/bin/env python3
"""Extraction of each compression method: PKZIP25.EXE against `7z x`, on the same archives in the
same run, alternately, once per repetition; min and median of the wall-clock times and the ratio.

The archives are made by 7z (Deflate64, LZMA, XZ, BZip2); Zstandard members, which 7z does not
write into a ZIP, are frames of the zstd tool put into an archive here. Two kinds of data, from
fixed seeds: word text, and mixed (two of three files word text, one random bytes), in files of
16 MB.

Usage: methods.py [--bin DIR] [--sizes 50,200] [--reps 5] [--methods Deflate64,LZMA,...]
                  [--data text,mixed] [--work DIR] [--keep]
"""

import argparse
import os
import random
import resource
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zlib

WORDS = ("archive member the of folder zip data extract and compress a window pane list file name size "
         "date ratio packed stored deflate header record central directory local offset comment").split()
FILE_SIZE = 16 << 20


def word_text(size, seed):
    rng = random.Random(seed)
    pieces, total = [], 0
    while total < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14))) + ".\n"
        pieces.append(line)
        total += len(line)
    return "".join(pieces).encode()[:size]


def make_data(folder, kind, total):
    """Files of FILE_SIZE bytes of one kind: word text, random bytes, or mixed (every third random)."""
    os.makedirs(folder, exist_ok=True)
    names = []
    for i in range((total + FILE_SIZE - 1) // FILE_SIZE):
        size = min(FILE_SIZE, total - i * FILE_SIZE)
        binary = kind == "random" or (kind == "mixed" and i % 3 == 2)
        name = "f%03d.%s" % (i, "bin" if binary else "txt")
        data = random.Random(i).randbytes(size) if name.endswith(".bin") else word_text(size, i)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        names.append(name)
    return names


def zstd_archive(folder, names, out):
    """A ZIP of Zstandard members (method 93), each the zstd tool's frame of the file."""
    body, central = bytearray(), bytearray()
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        packed = subprocess.run(["zstd", "-q", "-c", "-3", "-T0"], input=data, check=True,
                                capture_output=True).stdout
        raw = name.encode()
        fields = struct.pack("<HHHHHIIIHH", 20, 0, 93, 0x4B00, 0x5A2F, zlib.crc32(data), len(packed), len(data),
                             len(raw), 0)
        central += b"PK\x01\x02" + struct.pack("<H", 20) + fields + struct.pack("<HHHII", 0, 0, 0, 0, len(body)) + raw
        body += b"PK\x03\x04" + fields + raw + packed
    with open(out, "wb") as f:
        f.write(body + central)
        f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(names), len(names), len(central), len(body), 0))


def run(command, env=None):
    """Wall-clock and processor seconds of one run; fails on a non-zero exit."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    err = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("FAILED: %s\n%s" % (" ".join(command), err))
    return wall, usage.ru_utime + usage.ru_stime


def windows(path):
    return "Z:" + path.replace("/", "\\")


def same_trees(a, b, names):
    for name in names:
        with open(os.path.join(a, name), "rb") as x, open(os.path.join(b, name), "rb") as y:
            while True:
                p, q = x.read(1 << 20), y.read(1 << 20)
                if p != q:
                    return False
                if not p:
                    break
    return True


def time_interleaved(ours, ours_out, peer, peer_out, names, reps, env, before_ours=None):
    """Runs our extraction and the peer's alternately, each into a fresh folder, the first of them
    changing every repetition; the two trees must be equal after the first. before_ours, when
    given, is called (untimed) before each of our runs. Wall-clock and processor seconds of each."""
    times = {"ours": [], "7z": []}
    for rep in range(reps):
        order = [("ours", ours, ours_out), ("7z", peer, peer_out)]
        for name, command, out in order if rep % 2 == 0 else reversed(order):
            shutil.rmtree(out, ignore_errors=True)
            if name == "ours" and before_ours:
                before_ours()
            times[name].append(run(command, env))
        if rep == 0 and not same_trees(ours_out, peer_out, names):
            raise SystemExit("FAILED: the two extractions of %s differ" % peer[-1])
    return times


def summary(times):
    """Medians and minimums of both tools' wall-clock times, of the repetitions' ratios, and the
    median processor times."""
    ratios = [o[0] / p[0] for o, p in zip(times["ours"], times["7z"])]
    return (statistics.median(t[0] for t in times["ours"]), min(t[0] for t in times["ours"]),
            statistics.median(t[0] for t in times["7z"]), min(t[0] for t in times["7z"]),
            statistics.median(ratios), min(ratios),
            statistics.median(t[1] for t in times["ours"]), statistics.median(t[1] for t in times["7z"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--sizes", default="50,200")
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--methods", default="Deflate64,LZMA,XZ,Zstd,BZip2")
    parser.add_argument("--data", default="text,mixed")
    parser.add_argument("--work")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    tool = os.path.abspath(os.path.join(args.bin, "PKZIP25.EXE"))
    work = args.work or tempfile.mkdtemp(prefix="pkzip-methods-")
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), PELLIX_PKZIP_NO_FSYNC="1")
    print("load average before: %.2f %.2f %.2f" % os.getloadavg())
    rows = []
    try:
        for size_mb in (int(s) for s in args.sizes.split(",")):
            for kind in args.data.split(","):
                source = os.path.join(work, "%s-%d" % (kind, size_mb))
                names = make_data(source, kind, size_mb << 20)
                listing = os.path.join(work, "names.lst")
                with open(listing, "w", newline="") as f:
                    f.write("".join(n + "\r\n" for n in names))
                for method in args.methods.split(","):
                    archive = os.path.join(work, "%s-%d-%s.zip" % (kind, size_mb, method))
                    if method == "Zstd":
                        zstd_archive(source, names, archive)
                    else:
                        subprocess.run(["7z", "a", "-tzip", "-mm=" + method, "-bd", archive] + names, cwd=source,
                                       check=True, stdout=subprocess.DEVNULL)
                    ours_out, peer_out = os.path.join(work, "ours"), os.path.join(work, "peer")
                    ours = [tool, "-dir=root", "-extract", "-overwrite=all", windows(archive), "@" + windows(listing),
                            windows(ours_out)]
                    peer = ["7z", "x", "-y", "-bd", "-o" + peer_out, archive]
                    times = time_interleaved(ours, ours_out, peer, peer_out, names, args.reps, env)
                    row = (method, kind, size_mb) + summary(times)
                    rows.append(row)
                    print("%-9s %-5s %5d MB  ours %6.2f s (min %6.2f)  7z %6.2f s (min %6.2f)  ratio %.2f (min %.2f)"
                          "  cpu %6.2f / %6.2f s" % row, flush=True)
                    os.remove(archive)
                shutil.rmtree(source)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    print("load average after: %.2f %.2f %.2f" % os.getloadavg())
    print()
    print("| method | data | size | ours median (min) | 7z x median (min) | ratio median (min) | processor time ours / 7z |")
    print("|---|---|---|---|---|---|---|")
    for r in rows:
        print("| %s | %s | %d MB | %.2f s (%.2f) | %.2f s (%.2f) | %.2f (%.2f) | %.2f / %.2f s |" % r)


if __name__ == "__main__":
    main()
