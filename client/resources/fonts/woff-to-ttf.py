#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Turns a WOFF 1.0 font into the plain sfnt (TTF) it wraps.

The Muli files of the npm registry's font packages come as WOFF; Qt's font
database wants TTF. Usage: woff-to-ttf.py IN.woff OUT.ttf
"""
import struct
import sys
import zlib


def convert(data: bytes) -> bytes:
    sig, flavor, length, num_tables = struct.unpack_from(">4sIIH", data, 0)
    if sig != b"wOFF":
        raise ValueError("not a WOFF 1.0 file")
    entries = []
    for i in range(num_tables):
        tag, off, comp, orig, csum = struct.unpack_from(">4sIIII", data, 44 + 20 * i)
        raw = data[off:off + comp]
        table = raw if comp == orig else zlib.decompress(raw)
        if len(table) != orig:
            raise ValueError("table %r has the wrong length" % tag)
        entries.append((tag, csum, table))
    entries.sort(key=lambda e: e[0])
    search = 1
    sel = 0
    while search * 2 <= num_tables:
        search *= 2
        sel += 1
    out = bytearray(struct.pack(">IHHHH", flavor, num_tables, search * 16, sel,
                                num_tables * 16 - search * 16))
    offset = 12 + 16 * num_tables
    body = bytearray()
    for tag, csum, table in entries:
        out += struct.pack(">4sIII", tag, csum, offset + len(body), len(table))
        body += table
        body += b"\0" * ((4 - len(table) % 4) % 4)
    return bytes(out + body)


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        ttf = convert(f.read())
    with open(sys.argv[2], "wb") as f:
        f.write(ttf)
