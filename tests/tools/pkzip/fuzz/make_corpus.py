#!/usr/bin/env python3
"""Writes the seed archives of corpus/: archives made by zip, 7z, bsdtar, Python's zipfile and the
archiver itself, and hand-made damaged and hostile ones. The encrypted ones have the password
"pellix", which the fuzzer and the differential test extract with. Run by hand when a seed is added; the
seeds are kept in the repository, so the fuzzer and the differential test need none of the tools.

Usage: make_corpus.py [PATH-TO-PKZIP25.EXE]
"""

import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")
DOS_TIME, DOS_DATE = 0x4B00, 0x5A2F


def member(name, data=b"", **fields):
    m = dict(name=name, data=data, deflate=False, flags=0, made_by=20, attributes=0, size=None,
             packed=None, crc=None, offset_of=None, extra=b"", method=None, packed_bytes=None)
    m.update(fields)
    return m


def build(members, prefix=b"", shifted=False, comment=b"", zip64_end=False, marker_disks=False):
    """A ZIP archive exactly as described. With shifted, offsets count from the archive's own
    start, as a self-extractor's do; otherwise from the start of the file."""
    body, central, offsets = b"", b"", []
    base = 0 if shifted else len(prefix)
    for m in members:
        raw = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = raw.compress(m["data"]) + raw.flush() if m["deflate"] else m["data"]
        if m["packed_bytes"] is not None:
            packed = m["packed_bytes"]
        crc = m["crc"] if m["crc"] is not None else zlib.crc32(m["data"])
        size = m["size"] if m["size"] is not None else len(m["data"])
        packed_size = m["packed"] if m["packed"] is not None else len(packed)
        method = m["method"] if m["method"] is not None else 8 if m["deflate"] else 0
        offsets.append(base + len(body))
        offset = offsets[m["offset_of"]] if m["offset_of"] is not None else base + len(body)
        if m["offset_of"] is None:
            body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, m["flags"], method, DOS_TIME, DOS_DATE, crc,
                                packed_size, size, len(m["name"]), len(m["extra"]))
            body += m["name"] + m["extra"] + packed
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, m["made_by"], 20, m["flags"], method,
                               DOS_TIME, DOS_DATE, crc, packed_size, size, len(m["name"]),
                               len(m["extra"]), 0, 0, 0, m["attributes"], offset)
        central += m["name"] + m["extra"]
    start = base + len(body)
    tail = b""
    count, cd_size, cd_offset = len(members), len(central), start
    if zip64_end:
        zip64_at = start + len(central)
        tail += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, cd_size, cd_offset)
        tail += struct.pack("<IIQI", 0x07064B50, 0, zip64_at, 1)
        count, cd_size, cd_offset = 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF
    disk = 0xFFFF if marker_disks else 0
    tail += struct.pack("<IHHHHIIH", 0x06054B50, disk, disk, count, count, cd_size, cd_offset, len(comment))
    return prefix + body + central + tail + comment


def extra_field(ident, payload):
    return struct.pack("<HH", ident, len(payload)) + payload


def hand_made():
    big = b"A" * (1 << 20)
    seeds = {}
    seeds["unsafe-names.zip"] = build([member(b"good/inside.txt", b"fine")] + [
        member(n, b"evil") for n in (b"../escape.txt", b"a/../../escape.txt", b"..\\escape.txt",
                                     b"a\\..\\..\\escape.txt", b"/tmp/absolute.txt", b"\\absolute.txt",
                                     b"C:/drive.txt", b"C:escape.txt", b"..")])
    seeds["symlink.zip"] = build([member(b"link", b"/etc", made_by=(3 << 8) | 30, attributes=0o120777 << 16),
                                  member(b"sub/file.txt", b"through a planted link")])
    seeds["duplicates.zip"] = build([member(b"dup.txt", b"first"), member(b"dup.txt", b"second"),
                                     member(b"a\\b.txt", b"backslash"), member(b"a/b.txt", b"slash"),
                                     member(b"line\nfeed.txt", b"control"), member(b"plain.txt", b"plain")])
    seeds["bomb.zip"] = build([member(b"bomb.txt", big, deflate=True, size=100), member(b"fine.txt", b"fine")])
    seeds["short.zip"] = build([member(b"short.txt", big, deflate=True, size=2 << 20)])
    seeds["bad-crc.zip"] = build([member(b"crc.txt", b"some data", crc=12345), member(b"fine.txt", b"fine")])
    seeds["stored-sizes.zip"] = build([member(b"stored.txt", b"0123456789", size=5)])
    seeds["past-end.zip"] = build([member(b"long.txt", b"0123456789", size=1000, packed=1000)])
    seeds["twin.zip"] = build([member(b"one.txt", b"hello"),
                               member(b"twin.txt", b"", offset_of=0, size=5, packed=5)])
    seeds["swallow.zip"] = build([member(b"swallow.txt", b"abc", size=45, packed=45),
                                  member(b"next.txt", b"xyz")])
    damaged = bytearray(build([member(b"a.txt", b"aaa"), member(b"b.txt", b"bbb")]))
    damaged[len(damaged) - 22 - 46 * 2 - 10] = ord("X")
    seeds["damaged-record.zip"] = bytes(damaged)
    seeds["cp437-names.zip"] = build([member(b"\x81ber.txt", b"cp437"),
                                      member("日本.txt".encode(), b"utf8", flags=0x0800),
                                      member(b"\xff\xfe\x80.txt", b"neither"), member(b"other.txt", b"other")])
    raw = b"Gr\x81\xe1e.txt"
    unicode_path = extra_field(0x7075, b"\x01" + struct.pack("<I", zlib.crc32(raw)) + "Grüße.txt".encode())
    seeds["unicode-path.zip"] = build([member(raw, b"unicode path field", extra=unicode_path)])
    seeds["prefix.zip"] = build([member(b"inside.txt", b"behind a program", deflate=True)],
                                prefix=b"#!/bin/sh\nexit 0\n" + b"\0" * 83, shifted=True)
    seeds["empty.zip"] = build([])
    seeds["comment.zip"] = build([member(b"a.txt", b"a")], comment=b"line one\r\nline\ttwo\x7f")
    seeds["dos-folder.zip"] = build([member(b"OLDDIR", attributes=0x10),
                                     member(b"OLDDIR\\FILE.TXT", b"in an old folder")])
    unix_times = extra_field(0x000D, struct.pack("<IIHH", 1600000000, 1500000000, 1000, 1000)) + \
        extra_field(0x5855, struct.pack("<IIHH", 1600000000, 1500000000, 1000, 1000))
    seeds["unix-times.zip"] = build([member(b"timed.txt", b"when", extra=unix_times)])
    seeds["encrypted.zip"] = build([member(b"secret.txt", b"\x01" * 24, flags=1), member(b"open.txt", b"o")])
    seeds["zip64-end.zip"] = build([member(b"a.txt", b"zip64 end record", deflate=True)], zip64_end=True)
    seeds["zip64-marker-disks.zip"] = build([member(b"a.txt", b"markers everywhere")], zip64_end=True,
                                            marker_disks=True)
    return seeds


def info(name, method=zipfile.ZIP_DEFLATED):
    entry = zipfile.ZipInfo(name, date_time=(2025, 1, 15, 9, 24, 0))
    entry.compress_type = method
    return entry


def section_cases():
    """Archives every peer reads that the archiver once refused."""
    import zipfile as zf
    seeds = {}

    def made(members, comment=b"", force_zip64=False):
        saved = zf.ZIP_FILECOUNT_LIMIT
        if force_zip64:
            zf.ZIP_FILECOUNT_LIMIT = 0
        out = io.BytesIO()
        with zf.ZipFile(out, "w", zf.ZIP_DEFLATED) as archive:
            for name, data, fields in members:
                entry = info(name)
                for key, value in fields.items():
                    setattr(entry, key, value)
                archive.writestr(entry, data)
            archive.comment = comment
        zf.ZIP_FILECOUNT_LIMIT = saved
        return bytearray(out.getvalue())

    locator = b"PK\x06\x07" + bytes(16)
    first = ("first.txt", b"the first member " * 20, {})
    seeds["locator-look-alike.zip"] = bytes(made([first, ("last.txt", b"last", {"comment": locator})]))
    z64 = made([first, ("second.txt", b"second", {})], force_zip64=True)
    seeds["zip64-prefix.zip"] = b"#!/bin/sh\nexit 0\n" + bytes(z64)
    seeds["cut-comment.zip"] = bytes(made([first], comment=b"hello world")[:-5])
    seeds["colon-name.zip"] = bytes(made([first, ("123456789:;<=>?@", b"colons", {})]))
    seeds["empty-name.zip"] = build([member(b"named.txt", b"a name"), member(b"", b"no name")])
    return seeds


def method_made(work):
    """A member of every method the archiver decodes beyond stored and deflate."""
    sys.path.insert(0, os.path.dirname(HERE))
    import dosmethods
    text = b"".join(b"member %d of the archive, compressed with an old method\n" % i for i in range(120))
    data = text + bytes(range(256)) * 4 + bytes(600)
    seeds = {}
    for method in ("shrink", "reduce1", "reduce2", "reduce3", "reduce4", "implode:8k:lit", "implode:4k:nolit"):
        name = "dos-" + method.replace(":", "-") + ".zip"
        seeds[name] = dosmethods.archive([("old.txt", data, method)])
    path = os.path.join(work, "method.txt")
    with open(path, "wb") as f:
        f.write(data)
    for method in ("Deflate64", "LZMA", "XZ", "PPMd"):
        out = os.path.join(work, method + ".zip")
        subprocess.run(["7z", "a", "-tzip", "-mm=" + method, "-bd", out, path], check=True, stdout=subprocess.DEVNULL)
        with open(out, "rb") as f:
            seeds["7z-" + method.lower() + ".zip"] = f.read()
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        archive.writestr(info("lzma.txt", zipfile.ZIP_LZMA), data)
    seeds["py-lzma.zip"] = out.getvalue()
    # Zstandard: no tool here writes it into a ZIP, so the zstd tool's frame is put into one.
    frame = subprocess.run(["zstd", "-q", "-c", "-19"], input=data, check=True, capture_output=True).stdout
    seeds["zstd.zip"] = build([member(b"zstd.txt", data, method=93, packed_bytes=frame)])
    return seeds


def python_made():
    seeds = {}
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.comment = b"made by zipfile"
        archive.writestr(info("text/lorem.txt"), b"lorem ipsum dolor sit amet " * 40)
        archive.writestr(info("Grüße.txt"), "flagged UTF-8 name".encode())
        archive.writestr(info("folder/", zipfile.ZIP_STORED), b"")
        archive.writestr(info("stored.bin", zipfile.ZIP_STORED), bytes(range(256)))
    seeds["py-deflate.zip"] = out.getvalue()
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        with archive.open(info("forced.txt"), "w", force_zip64=True) as entry:
            entry.write(b"a ZIP64 local header for a small member " * 8)
    seeds["py-zip64.zip"] = out.getvalue()

    class Unseekable(io.RawIOBase):
        def __init__(self):
            self.data = bytearray()

        def writable(self):
            return True

        def write(self, chunk):
            self.data += chunk
            return len(chunk)

    stream = Unseekable()
    with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr(info("described.txt"), b"sizes in a data descriptor " * 30)
        archive.writestr(info("zeros.bin"), bytes(300000))
    seeds["py-descriptor.zip"] = bytes(stream.data)
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_BZIP2) as archive:
        archive.writestr(info("bzip2.txt", zipfile.ZIP_BZIP2), b"decoded by libzip " * 20)
    seeds["py-bzip2.zip"] = out.getvalue()
    return seeds


def tool_made(work, pkzip):
    tree = os.path.join(work, "tree")
    for path, data in (("docs/readme.txt", b"read me " * 100), ("bin/data.bin", os.urandom(300)),
                       ("Grüße.txt", b"gruesse"), ("日本.txt", b"nihon")):
        os.makedirs(os.path.dirname(os.path.join(tree, path)) or tree, exist_ok=True)
        with open(os.path.join(tree, path), "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(tree, "docs/empty"), exist_ok=True)
    os.symlink("docs/readme.txt", os.path.join(tree, "link"))
    subprocess.run(["find", tree, "-exec", "touch", "-h", "-d", "2025-01-15 09:24", "{}", "+"], check=True)
    runs = {
        "zip-tree.zip": "zip -q -r -X {out} .",
        "zip-symlink.zip": "zip -q -y -X {out} link docs/readme.txt",
        "zip-stream.zip": "printf 'from a pipe\\n%.0s' $(seq 40) | zip -q - - > {out}",
        "7z-deflate.zip": "7z a -tzip -bd {out} docs Grüße.txt 日本.txt > /dev/null",
        "7z-stored.zip": "7z a -tzip -mx=0 -bd {out} docs > /dev/null",
        "7z-bzip2.zip": "7z a -tzip -mm=BZip2 -bd {out} docs/readme.txt > /dev/null",
        "zip-traditional.zip": "zip -q -P pellix {out} docs/readme.txt bin/data.bin",
        "7z-zipcrypto.zip": "7z a -tzip -ppellix -mem=ZipCrypto -bd {out} docs/readme.txt bin/data.bin > /dev/null",
        "7z-aes256.zip": "7z a -tzip -ppellix -mem=AES256 -bd {out} docs/readme.txt bin/data.bin > /dev/null",
        "7z-aes128-stored.zip": "7z a -tzip -mx=0 -ppellix -mem=AES128 -bd {out} docs/readme.txt > /dev/null",
        "bsdtar-aes128-ae1.zip": "bsdtar --format zip --options zip:encryption=aes128 --passphrase pellix "
                                 "-cf {out} docs/readme.txt bin/data.bin",
    }
    if pkzip:
        names = os.path.join(work, "names.lst")
        with open(names, "w") as f:
            f.write("".join(os.path.join(tree, p) + "\r\n" for p in ("docs/readme.txt", "bin/data.bin")))
        runs["pkzip.zip"] = f"{pkzip} -add -attr {{out}} -include=@{names} > /dev/null"
        password = os.path.join(work, "temp.pwd")
        runs["pkzip-aes256.zip"] = (f"printf pellix > {password} && "
                                    f"{pkzip} -add -attr {{out}} -include=@{names} -encrypt=aes256 "
                                    f"-password=@{password} > /dev/null")
    seeds = {}
    for name, command in runs.items():
        out = os.path.join(work, name)
        subprocess.run(command.format(out=out), shell=True, check=True, cwd=tree)
        with open(out, "rb") as f:
            seeds[name] = f.read()
    return seeds


def main():
    pkzip = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else None
    work = tempfile.mkdtemp()
    try:
        seeds = {**hand_made(), **python_made(), **tool_made(work, pkzip), **section_cases(),
                 **method_made(work)}
    finally:
        shutil.rmtree(work)
    os.makedirs(CORPUS, exist_ok=True)
    for name, data in sorted(seeds.items()):
        with open(os.path.join(CORPUS, name), "wb") as f:
            f.write(data)
        print(f"{len(data):8d} {name}")


if __name__ == "__main__":
    main()
