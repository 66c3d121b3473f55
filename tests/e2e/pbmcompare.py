#!/usr/bin/env python3
"""Compares the received fax pages with the sent ones, as PBM files.

    pbmcompare.py <work folder> <pages>

<work>/ours/{sent,recd}-N.pbm come from our decoder, <work>/libtiff/...
from libtiff (tiffsplit + tifftopnm). Each received page must hold the sent
page's rows unchanged below the page header line and nothing after them:
rows 0..k-1 are the header, rows k..k+h-1 equal the sent rows, and the
page has k+h rows. Both decoders must agree on both files.
"""
import sys


def read_pbm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 3:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    if fields[0] != b"P4":
        raise ValueError(f"{path}: not a raw PBM file")
    width, height = int(fields[1]), int(fields[2])
    pos += 1
    stride = (width + 7) // 8
    rows = [data[pos + r * stride:pos + (r + 1) * stride] for r in range(height)]
    if rows and len(rows[-1]) != stride:
        raise ValueError(f"{path}: short")
    # Padding bits past the width are not part of the picture.
    if width % 8:
        mask = (0xFF << (8 - width % 8)) & 0xFF
        rows = [r[:-1] + bytes([r[-1] & mask]) for r in rows]
    return width, rows


def black(row):
    return any(row)


def compare(sent, recd, what):
    sw, s = sent
    rw, r = recd
    if sw != rw:
        return f"{what}: width {rw}, sent {sw}"
    if len(r) < len(s):
        return f"{what}: {len(r)} rows, fewer than the {len(s)} sent"
    k = len(r) - len(s)
    if r[k:] == s:
        print(f"{what}: {k} header line rows ({'with' if any(black(x) for x in r[:k]) else 'no'} black)")
        return None
    for j in range(0, k):
        if r[j:j + len(s)] == s:
            return f"{what}: {k - j} rows after the sent rows"
    return f"{what}: the sent rows are not found below the header line rows"


def main():
    work, pages = sys.argv[1], int(sys.argv[2])
    errors = []
    for n in range(1, pages + 1):
        ours_s = read_pbm(f"{work}/ours/sent-{n}.pbm")
        ours_r = read_pbm(f"{work}/ours/recd-{n}.pbm")
        lib_s = read_pbm(f"{work}/libtiff/sent-{n}.pbm")
        lib_r = read_pbm(f"{work}/libtiff/recd-{n}.pbm")
        if not any(black(x) for x in ours_s[1]):
            errors.append(f"page {n}: the sent page is blank")
        if ours_s != lib_s:
            errors.append(f"page {n}: our decoder and libtiff differ on the sent page")
        if ours_r != lib_r:
            errors.append(f"page {n}: our decoder and libtiff differ on the received page")
        for err in (compare(ours_s, ours_r, f"page {n} (our decoder)"),
                    compare(lib_s, lib_r, f"page {n} (libtiff)")):
            if err:
                errors.append(err)
        if not errors:
            print(f"page {n}: {len(ours_s[1])} rows sent, {len(ours_r[1])} received, equal below the header line")
    for e in errors:
        print(e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
