#!/usr/bin/env python3
"""The window with large data, each against a peer in the same run:
  1. command-line start to a filled archive pane, for an archive of 100,000 members at its top
     level (pellix --script with an empty script, start to exit) against `unzip -l`;
  2. filling the local file list with a folder of 100,000 files (the `select` of that folder in
     the local tree, timed inside the program) against `ls -l` of the folder;
  3. with --members N: the same start for an archive of N members in folders of a thousand (made
     directly with Python's zipfile), with the time, the processor time and the peak memory of
     the program itself (its own VmHWM, read while it runs) and of its archiver.
Usage: bench/gui/gui_bench.py [--quick] [--members N] [BIN_DIR]   (BIN_DIR defaults to build/bin)"""

import os
import resource
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

quick = "--quick" in sys.argv
members = 0
args = []
argv = sys.argv[1:]
while argv:
    a = argv.pop(0)
    if a == "--members":
        members = int(argv.pop(0))
    elif a != "--quick":
        args.append(a)
bin_dir = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
count = 10_000 if quick else 100_000

work = tempfile.mkdtemp(prefix="pellix-gui-bench-")
home = os.path.join(work, "home")
program = os.path.join(work, "prog")
os.makedirs(home)
os.makedirs(program)
shutil.copy(os.path.join(bin_dir, "pellix"), program)
for name in ("PKZIP25.EXE", "pellix-batch", "pellix.html"):
    os.symlink(os.path.join(bin_dir, name), os.path.join(program, name))
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(work, "config"),
           XDG_DATA_HOME=os.path.join(work, "data"), QT_QPA_PLATFORM="offscreen")

# The data: COUNT small files in one folder, and an archive of them made by zip.
big = os.path.join(home, "big")
os.makedirs(big)
for i in range(count):
    with open(os.path.join(big, "file%06d.txt" % i), "w") as f:
        f.write("x" * (i % 50))
archive = os.path.join(work, "flat.zip")
subprocess.run("cd '%s' && ls | zip -q -@ '%s'" % (big, archive), shell=True, check=True)


def best_of(runs, command, **kwargs):
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


empty = os.path.join(work, "empty.txt")
open(empty, "w").close()
pellix = os.path.join(program, "pellix")
ours_start = best_of(3, [pellix, "--script", empty, archive], env=env)
peer_list = best_of(3, ["unzip", "-l", archive])

select = os.path.join(work, "select.txt")
with open(select, "w") as f:
    f.write("timed select local-tree C:\\big\\\n")
fills = []
for _ in range(3):
    out = subprocess.run([pellix, "--script", select], env=env, check=True, capture_output=True, text=True).stdout
    fills.append(float(out.split("time: ")[1].split(" ms")[0]) / 1000)
ours_fill = min(fills)
peer_ls = best_of(3, ["ls", "-l", big])
peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss


def measured(command, **kwargs):
    """Runs command; returns its wall time, its processor time with its waited-for children
    (wait4), and the peak resident size of the process itself (VmHWM, polled while it runs)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)
    peak = [0]

    def watch():
        while process.returncode is None:
            try:
                with open("/proc/%d/status" % process.pid) as status:
                    for line in status:
                        if line.startswith("VmHWM:"):
                            peak[0] = max(peak[0], int(line.split()[1]))
            except (OSError, ValueError):
                pass
            time.sleep(0.02)

    watcher = threading.Thread(target=watch)
    watcher.start()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    elapsed = time.perf_counter() - start
    watcher.join()
    if process.returncode != 0:
        raise SystemExit("%s exited with %d" % (command[0], process.returncode))
    return elapsed, usage.ru_utime + usage.ru_stime, peak[0]


large = None
if members:
    many = os.path.join(work, "many.zip")
    with zipfile.ZipFile(many, "w", zipfile.ZIP_STORED) as z:
        for i in range(members):
            info = zipfile.ZipInfo("many/d%04d/f%07d.txt" % (i // 1000, i), (2024, 5, 17, 10, 30, 0))
            z.writestr(info, b"x" * (i % 40))
    ours = [measured([pellix, "--script", empty, many], env=env) for _ in range(3)]
    tool = [measured([os.path.join(bin_dir, "PKZIP25.EXE"), many], env=env) for _ in range(3)]
    peer = [measured(["unzip", "-l", many]) for _ in range(3)]
    large = (min(ours), min(tool), min(peer))

print("%-58s %9s %9s %7s" % ("benchmark", "ours (s)", "peer (s)", "ratio"))
print("%-58s %9.3f %9.3f %7.2f" % ("start to filled archive pane, %d members vs unzip -l" % count,
                                   ours_start, peer_list, ours_start / peer_list))
print("%-58s %9.3f %9.3f %7.2f" % ("local list fill, %d files vs ls -l" % count, ours_fill, peer_ls,
                                   ours_fill / peer_ls))
if large:
    (ours_time, ours_cpu, ours_peak), (tool_time, tool_cpu, tool_peak), (peer_time, peer_cpu, peer_peak) = large
    print("%-58s %9.3f %9.3f %7.2f" % ("start to filled archive pane, %d members in folders vs unzip -l" % members,
                                       ours_time, peer_time, ours_time / peer_time))
    print("  the program: %.3f s, %.3f s of processor time with its jobs, peak memory %d MB of its own"
          % (ours_time, ours_cpu, ours_peak // 1024))
    print("  its archiver listing alone: %.3f s, %.3f s of processor time, peak memory %d MB"
          % (tool_time, tool_cpu, tool_peak // 1024))
    print("  unzip -l: %.3f s, %.3f s of processor time, peak memory %d MB" % (peer_time, peer_cpu, peer_peak // 1024))
print("peak memory of the largest child (pellix, zip, unzip or ls): %d KB" % peak_kb)
print("mode: %s" % ("quick" if quick else "full"))
shutil.rmtree(work)
