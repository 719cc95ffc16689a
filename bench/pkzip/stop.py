#!/usr/bin/env python3
"""How long a stopped add takes to stop: PKZIP25.EXE against zip, in the same run.

Each trial starts one archiver run that adds one large file of word-like text (the program hands a
file over 500,000 bytes to the archiver in a run of its own), stops it at a random moment the way
the program does (SIGTERM to the job's process group, SIGKILL to what is left after the grace),
and measures
  - stopped: from the stop until no process of the job is left, and
  - listed: from the stop until a listing of the archive has ended (the program lists the archive
    after a stopped add; that listing waits for the archive's lock and finishes what the stopped
    run left),
and checks that the archive then holds either its old members or its old members and the new one.
The peer is `zip` adding the same file to a copy of the same archive, stopped the same way.

    bench/pkzip/stop.py --bin build/bin [--base OTHER/bin] [--files 6] [--mb 257] [--reps 3]

--base measures an earlier build in the same run, interleaved. The data (files x mb) are made in
a scratch folder under $TMPDIR and deleted at the end.
"""

import argparse
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time


def word_text(path, size, seed):
    """Word-like text: words of a skewed vocabulary in lines, which deflate shrinks to about a third
    and compresses at its slowest."""
    rng = random.Random(seed)
    letters = "etaoinshrdlcumwfgypbvkjxqz"
    vocabulary = ["".join(rng.choices(letters, weights=range(26, 0, -1), k=rng.randint(2, 10)))
                  for _ in range(6000)]
    weights = [1.0 / (rank + 1) for rank in range(len(vocabulary))]
    words = rng.choices(vocabulary, weights=weights, k=800_000)
    lines = []
    line = []
    width = 0
    for word in words:
        line.append(word)
        width += len(word) + 1
        if width > 70:
            lines.append(" ".join(line))
            line, width = [], 0
    block = ("\n".join(lines) + "\n").encode()
    with open(path, "wb") as out:
        written = 0
        turn = 0
        while written < size:
            # Each pass starts elsewhere in the block, so no stretch repeats within deflate's window.
            start = (turn * 7919 * 64) % len(block)
            piece = (block[start:] + block[:start])[: size - written]
            out.write(piece)
            written += len(piece)
            turn += 1


def job_processes(group):
    """The live processes of a process group (zombies are not counted)."""
    alive = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[2]) == group and fields[0] != "Z":
            alive.append(int(entry))
    return alive


def wait_gone(group, leader, deadline):
    while time.monotonic() < deadline:
        try:
            os.waitpid(leader, os.WNOHANG)
        except ChildProcessError:
            pass
        if not job_processes(group):
            return True
        time.sleep(0.002)
    return False


def stop_job(process, grace):
    """The program's stop: SIGTERM to the group, the leader waited for up to grace, then SIGKILL."""
    group = process.pid
    start = time.monotonic()
    os.killpg(group, signal.SIGTERM)
    try:
        process.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        pass
    try:
        os.killpg(group, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()
    wait_gone(group, process.pid, time.monotonic() + 600)
    return time.monotonic() - start, start


def listing(bin_dir, archive):
    result = subprocess.run([os.path.join(bin_dir, "PKZIP25.EXE"), archive], capture_output=True)
    return result.stdout.decode(errors="replace")


def run_ours(bin_dir, work, archive, source, delay, grace):
    script = os.path.join(work, "temp.bat")
    listed = os.path.join(work, "temp.lst")
    with open(listed, "w") as out:
        out.write(source + "\r\n")
    with open(script, "wb") as out:
        out.write(f'"{bin_dir}/PKZIP25.EXE" -add -attr "{archive}" -include=@"{listed}"\r\n'
                  f'copy "{script}" "{work}/tempdone.txt"'.encode())
    process = subprocess.Popen([os.path.join(bin_dir, "pellix-batch"), script], start_new_session=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(delay)
    stopped, start = stop_job(process, grace)
    text = listing(bin_dir, archive)
    listed_after = time.monotonic() - start
    return stopped, listed_after, text


def run_zip(work, archive, source, delay, grace):
    process = subprocess.Popen(["zip", "-q", archive, source], start_new_session=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=work)
    time.sleep(delay)
    stopped, start = stop_job(process, grace)
    result = subprocess.run(["unzip", "-l", archive], capture_output=True)
    return stopped, time.monotonic() - start, result.stdout.decode(errors="replace")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--base")
    parser.add_argument("--files", type=int, default=6)
    parser.add_argument("--mb", type=int, default=257)
    parser.add_argument("--reps", type=int, default=3)
    parser.add_argument("--grace", type=float, default=5.0, help="the program's wait after SIGTERM")
    parser.add_argument("--base-grace", type=float, default=0.5)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    scratch = tempfile.mkdtemp(prefix="pellix-stop-")
    try:
        sources = []
        for k in range(args.files):
            path = os.path.join(scratch, f"words{k}.txt")
            word_text(path, args.mb << 20, k)
            sources.append(path)
        small = os.path.join(scratch, "small.txt")
        with open(small, "w") as out:
            out.write("a member that was there before\n")
        seedArchive = os.path.join(scratch, "seed.zip")
        subprocess.run(["zip", "-q", "-j", seedArchive, small], check=True)
        tools = [("ours", os.path.abspath(args.bin), args.grace)]
        if args.base:
            tools.append(("base", os.path.abspath(args.base), args.base_grace))
        tools.append(("zip", None, args.grace))
        # One whole run of each, to know how long an add of one file takes.
        full = {}
        for name, bin_dir, _ in tools:
            archive = os.path.join(scratch, f"full-{name}.zip")
            shutil.copy(seedArchive, archive)
            begin = time.monotonic()
            if bin_dir:
                subprocess.run([os.path.join(bin_dir, "PKZIP25.EXE"), "-add", "-attr", archive,
                                "-include=@" + write_list(scratch, sources[0])], check=True)
            else:
                subprocess.run(["zip", "-q", archive, sources[0]], check=True)
            full[name] = time.monotonic() - begin
            os.unlink(archive)
            print(f"{name}: one whole add of {args.mb} MB takes {full[name]:.2f} s", flush=True)
        results = {name: [] for name, _, _ in tools}
        for rep in range(args.reps):
            for k, source in enumerate(sources):
                fraction = rng.uniform(0.05, 0.95)
                for name, bin_dir, grace in tools:
                    work = os.path.join(scratch, f"job-{name}")
                    os.makedirs(work, exist_ok=True)
                    archive = os.path.join(scratch, f"trial-{name}.zip")
                    shutil.copy(seedArchive, archive)
                    delay = fraction * full[name]
                    if bin_dir:
                        stopped, listed, text = run_ours(bin_dir, work, archive, source, delay, grace)
                        kept = os.path.basename(source) in text
                        whole = "small.txt" in text
                    else:
                        stopped, listed, text = run_zip(work, archive, source, delay, grace)
                        kept = os.path.basename(source) in text
                        whole = "small.txt" in text
                    results[name].append((stopped, listed, kept, whole))
                    print(f"rep {rep} file {k} at {fraction:.2f}: {name:4s} stopped {stopped:6.3f} s, listed "
                          f"{listed:6.3f} s, new member kept: {kept}, old member there: {whole}", flush=True)
                    os.unlink(archive)
        print()
        print(f"{'tool':5s} {'stopped min':>12s} {'median':>8s} {'max':>8s}   {'listed min':>11s} "
              f"{'median':>8s} {'max':>8s}  kept  old-ok  trials")
        for name, rows in results.items():
            s = [r[0] for r in rows]
            l = [r[1] for r in rows]
            print(f"{name:5s} {min(s):12.3f} {statistics.median(s):8.3f} {max(s):8.3f}   {min(l):11.3f} "
                  f"{statistics.median(l):8.3f} {max(l):8.3f}  {sum(r[2] for r in rows):4d}  "
                  f"{sum(r[3] for r in rows):6d}  {len(rows):6d}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def write_list(folder, source):
    path = os.path.join(folder, "whole.lst")
    with open(path, "w") as out:
        out.write(source + "\r\n")
    return path


if __name__ == "__main__":
    sys.exit(main())
