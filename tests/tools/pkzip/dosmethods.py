#!/usr/bin/env python3
"""Test-only encoders for the old MS-DOS methods, written from PKWARE's APPNOTE: Shrink (1), Reduce
(2-5) and Implode (6). No tool on the system writes them any more, so the tests and the fuzz seeds
make such members here, and the peers that still read them (unzip, 7z) check them.

Usage: dosmethods.py OUT.zip METHOD[:OPTION] FILE...   (METHOD shrink, reduce1..reduce4, implode;
       implode takes 4k or 8k and lit or nolit, e.g. implode:8k:lit)
"""

import os
import struct
import sys
import zlib


class BitWriter:
    """Bits, least significant first in each byte, as all three methods store them."""

    def __init__(self):
        self.out = bytearray()
        self.value = 0
        self.count = 0

    def put(self, value, bits):
        self.value |= (value & ((1 << bits) - 1)) << self.count
        self.count += bits
        while self.count >= 8:
            self.out.append(self.value & 0xFF)
            self.value >>= 8
            self.count -= 8

    def put_msb_first(self, code, bits):
        for i in range(bits - 1, -1, -1):
            self.put((code >> i) & 1, 1)

    def bytes(self):
        return bytes(self.out) + (bytes([self.value]) if self.count else b"")


def shrink(data):
    """LZW with 9 to 13 bit codes; code 256 then 1 widens the codes, 256 then 2 frees the leaves.
    A partial clear is sent once the table is full, as PKZIP sends it, right after a literal (so that
    the pending entry's parent is never freed): near a full table literals are sent as they are.
    (unzip and 7z free different codes on a clear of a table that is not full.)"""
    out = BitWriter()
    if not data:
        return b""
    size = 9
    table = {}      # (parent, byte) -> code
    entries = {}    # code -> (parent, byte)
    next_free = 257

    def emit(code):
        nonlocal size
        while code >= (1 << size):
            out.put(256, size)
            out.put(1, size)
            size += 1
        out.put(code, size)

    def add(parent, byte):
        nonlocal next_free
        while next_free < 8192 and next_free in entries:
            next_free += 1
        if next_free >= 8192:
            return
        entries[next_free] = (parent, byte)
        table.setdefault((parent, byte), next_free)
        next_free += 1

    def partial_clear():
        nonlocal next_free
        out.put(256, size)
        out.put(2, size)
        parents = {p for p, _ in entries.values()}
        for code in [c for c in entries if c not in parents]:
            if table.get(entries[code]) == code:
                del table[entries[code]]
            del entries[code]
        next_free = 257

    w = data[0]
    for c in data[1:]:
        nearly_full = len(entries) >= 8192 - 257 - 16
        if (w, c) in table and not (nearly_full and w < 256):
            w = table[(w, c)]
            continue
        emit(w)
        if w < 256 and len(entries) == 8192 - 257:
            partial_clear()
        add(w, c)
        w = c
    emit(w)
    return out.bytes()


def matches(data, max_distance, min_length, max_length, allow=lambda d, l: True):
    """Greedy LZ77: ('lit', byte) and ('match', distance, length) tokens."""
    heads = {}
    i = 0
    while i < len(data):
        best = (0, 0)
        key = data[i:i + 3]
        if len(key) == 3:
            for j in reversed(heads.get(key, [])[-16:]):
                if i - j > max_distance:
                    break
                n = 0
                while n < max_length and i + n < len(data) and data[j + n] == data[i + n]:
                    n += 1
                if n > best[1] and allow(i - j, n):
                    best = (i - j, n)
        if best[1] >= min_length:
            for k in range(i, i + best[1]):
                heads.setdefault(data[k:k + 3], []).append(k)
            yield ("match",) + best
            i += best[1]
        else:
            heads.setdefault(key, []).append(i)
            yield ("lit", data[i])
            i += 1


def reduce(data, factor):
    """Follower sets, then the DLE (144) expansion of matches, as APPNOTE describes them."""
    mask = (1 << (8 - factor)) - 1
    max_distance = (1 << factor) * 256
    intermediate = []
    # A match of length 3 whose distance fits in the low byte would encode as DLE 0, a literal DLE.
    allow = lambda d, n: not (n == 3 and d <= 256)
    for token in matches(data, max_distance, 3, 3 + mask + 255, allow):
        if token[0] == "lit":
            intermediate += [144, 0] if token[1] == 144 else [token[1]]
            continue
        _, distance, length = token
        length -= 3
        high = ((distance - 1) >> 8) << (8 - factor)
        if length < mask:
            intermediate += [144, high | length, (distance - 1) & 0xFF]
        else:
            intermediate += [144, high | mask, length - mask, (distance - 1) & 0xFF]
    counts = [dict() for _ in range(256)]
    last = 0
    for c in intermediate:
        counts[last][c] = counts[last].get(c, 0) + 1
        last = c
    followers = [sorted(cs, key=lambda c: (-cs[c], c))[:32] for cs in counts]
    out = BitWriter()
    for j in range(255, -1, -1):
        out.put(len(followers[j]), 6)
        for c in followers[j]:
            out.put(c, 8)
    last = 0
    for c in intermediate:
        f = followers[last]
        if not f:
            out.put(c, 8)
        elif c in f:
            out.put(0, 1)
            out.put(f.index(c), max(1, (len(f) - 1).bit_length()))
        else:
            out.put(1, 1)
            out.put(c, 8)
        last = c
    return out.bytes()


def code_lengths(freqs, limit=16):
    """Huffman code lengths of every symbol (all present), flattened when past limit."""
    import heapq
    heap = [(f + 1, i, [i]) for i, f in enumerate(freqs)]
    heapq.heapify(heap)
    lengths = [0] * len(freqs)
    while len(heap) > 1:
        a, b = heapq.heappop(heap), heapq.heappop(heap)
        for s in a[2] + b[2]:
            lengths[s] += 1
        heapq.heappush(heap, (a[0] + b[0], min(a[1], b[1]), a[2] + b[2]))
    if max(lengths) > limit:
        lengths = [(len(freqs) - 1).bit_length()] * len(freqs)
    return lengths


def shannon_fano_codes(lengths):
    """APPNOTE's assignment: sorted by length (then symbol), codes given from the longest up."""
    order = sorted(range(len(lengths)), key=lambda s: (lengths[s], s))
    codes = [0] * len(lengths)
    code, increment, last = 0, 0, 0
    for s in reversed(order):
        code += increment
        if lengths[s] != last:
            last = lengths[s]
            increment = 1 << (16 - last)
        codes[s] = code >> (16 - lengths[s])
    return codes


def tree_bytes(lengths):
    runs = []
    for n in lengths:
        if runs and runs[-1][0] == n and runs[-1][1] < 16:
            runs[-1][1] += 1
        else:
            runs.append([n, 1])
    return bytes([len(runs) - 1] + [((count - 1) << 4) | (n - 1) for n, count in runs])


def implode(data, large_window=True, literal_tree=True):
    """Shannon-Fano coded literals (or 8-bit ones), lengths and distances; returns the packed bytes
    and the general purpose flags (bit 1: 8K window, bit 2: three trees)."""
    low_bits = 7 if large_window else 6
    minimum = 3 if literal_tree else 2
    tokens = list(matches(data, 8192 if large_window else 4096, minimum, minimum + 63 + 255))
    literal_freq, length_freq, distance_freq = [0] * 256, [0] * 64, [0] * 64
    for t in tokens:
        if t[0] == "lit":
            literal_freq[t[1]] += 1
        else:
            distance_freq[(t[1] - 1) >> low_bits] += 1
            length_freq[min(t[2] - minimum, 63)] += 1
    trees = []
    if literal_tree:
        trees.append(code_lengths(literal_freq))
    trees += [code_lengths(length_freq), code_lengths(distance_freq)]
    out = BitWriter()
    for lengths in trees:
        for b in tree_bytes(lengths):
            out.put(b, 8)
    coded = [(lengths, shannon_fano_codes(lengths)) for lengths in trees]
    literal, length, distance = coded if literal_tree else [None] + coded

    def put(tree, symbol):
        out.put_msb_first(tree[1][symbol], tree[0][symbol])

    for t in tokens:
        if t[0] == "lit":
            out.put(1, 1)
            if literal_tree:
                put(literal, t[1])
            else:
                out.put(t[1], 8)
            continue
        _, d, n = t
        out.put(0, 1)
        out.put((d - 1) & ((1 << low_bits) - 1), low_bits)
        put(distance, (d - 1) >> low_bits)
        n -= minimum
        put(length, min(n, 63))
        if n >= 63:
            out.put(n - 63, 8)
    flags = (2 if large_window else 0) | (4 if literal_tree else 0)
    return out.bytes(), flags


def encode(method, data):
    """(method id, general purpose flags, packed bytes) for a method name as in the usage."""
    name, *options = method.split(":")
    if name == "shrink":
        return 1, 0, shrink(data)
    if name.startswith("reduce"):
        factor = int(name[6:])
        return 1 + factor, 0, reduce(data, factor)
    if name == "implode":
        packed, flags = implode(data, "4k" not in options, "nolit" not in options)
        return 6, flags, packed
    raise ValueError(method)


def archive(members):
    """A ZIP archive of (name, data, method) members."""
    body, central = b"", b""
    for name, data, method in members:
        ident, flags, packed = encode(method, data)
        crc = zlib.crc32(data)
        raw = name.encode()
        header = struct.pack("<HHHHHIIIHH", 10, flags, ident, 0x4B00, 0x5A2F, crc, len(packed), len(data),
                             len(raw), 0)
        central += b"PK\x01\x02" + struct.pack("<H", 10) + header + struct.pack("<HHHII", 0, 0, 0, 0, len(body))
        central += raw
        body += b"PK\x03\x04" + header + raw + packed
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(central), len(body), 0)
    return body + central + end


def main():
    out, method, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    members = []
    for path in files:
        with open(path, "rb") as f:
            members.append((path, f.read(), method))
    with open(out, "wb") as f:
        f.write(archive(members))


if __name__ == "__main__":
    main()
