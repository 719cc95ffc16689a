#!/usr/bin/env python3
"""Extraction of encrypted archives: PKZIP25.EXE against `7z x -pPASSWORD`, on the same archives in
the same run, alternately, once per repetition; min and median of the wall-clock times and the ratio.

The archives are made by 7z, deflated, with WinZip AES-256 members (-mem=AES256) and with
traditional PKWARE encryption (-mem=ZipCrypto). Two kinds of data, from fixed seeds: word text,
which deflate shrinks, and random bytes, which 7z stores (there the decryption alone is timed), in
files of 16 MB. The interleaving, the checks and the report are those of methods.py.

Usage: encryption.py [--bin DIR] [--sizes 100,1024] [--reps 5] [--kinds AES256,ZipCrypto]
                     [--data text,random] [--work DIR] [--keep]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from methods import make_data, summary, time_interleaved, windows  # noqa: E402

PASSWORD = "correct horse battery staple"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--sizes", default="100,1024")
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--kinds", default="AES256,ZipCrypto")
    parser.add_argument("--data", default="text,random")
    parser.add_argument("--work")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    tool = os.path.abspath(os.path.join(args.bin, "PKZIP25.EXE"))
    work = args.work or tempfile.mkdtemp(prefix="pkzip-encryption-")
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), PELLIX_PKZIP_NO_FSYNC="1")
    # The archiver takes the password from a file of mode 0600 and removes it once read, as the
    # program hands it over: it is written again before each run, outside the timing.
    password_file = os.path.join(work, "temp.pwd")

    def write_password():
        descriptor = os.open(password_file, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        os.write(descriptor, PASSWORD.encode())
        os.close(descriptor)

    print("load average before: %.2f %.2f %.2f" % os.getloadavg())
    rows = []
    try:
        for size_mb in (int(s) for s in args.sizes.split(",")):
            for data in args.data.split(","):
                source = os.path.join(work, "%s-%d" % (data, size_mb))
                names = make_data(source, data, size_mb << 20)
                listing = os.path.join(work, "names.lst")
                with open(listing, "w", newline="") as f:
                    f.write("".join(n + "\r\n" for n in names))
                for kind in args.kinds.split(","):
                    archive = os.path.join(work, "%s-%d-%s.zip" % (data, size_mb, kind))
                    subprocess.run(["7z", "a", "-tzip", "-mem=" + kind, "-p" + PASSWORD, "-bd", archive] + names,
                                   cwd=source, check=True, stdout=subprocess.DEVNULL)
                    ours_out, peer_out = os.path.join(work, "ours"), os.path.join(work, "peer")
                    ours = [tool, "-dir=root", "-extract", "-overwrite=all", windows(archive), "@" + windows(listing),
                            windows(ours_out), "-password=@" + windows(password_file)]
                    peer = ["7z", "x", "-y", "-bd", "-p" + PASSWORD, "-o" + peer_out, archive]
                    times = time_interleaved(ours, ours_out, peer, peer_out, names, args.reps, env, write_password)
                    row = (kind, data, size_mb) + summary(times)
                    rows.append(row)
                    print("%-9s %-6s %5d MB  ours %6.2f s (min %6.2f)  7z %6.2f s (min %6.2f)  ratio %.2f (min %.2f)"
                          "  cpu %6.2f / %6.2f s" % row, flush=True)
                    os.remove(archive)
                shutil.rmtree(source)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    print("load average after: %.2f %.2f %.2f" % os.getloadavg())
    print()
    print("| encryption | data | size | ours median (min) | 7z x median (min) | ratio median (min) | processor time ours / 7z |")
    print("|---|---|---|---|---|---|---|")
    for r in rows:
        print("| %s | %s | %d MB | %.2f s (%.2f) | %.2f s (%.2f) | %.2f (%.2f) | %.2f / %.2f s |" % r)


if __name__ == "__main__":
    main()
