#!/usr/bin/env python3
"""Writes an animated PNG of solid-colour frames, for encoders that read APNG (cjxl).

make_apng.py OUT WIDTH HEIGHT PLAYS R,G,B:DELAY_MS ...
"""
import struct
import sys
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def main():
    out, width, height, plays = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    frames = [arg.split(":") for arg in sys.argv[5:]]
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"acTL", struct.pack(">II", len(frames), plays))
    sequence = 0
    for number, (colour, delay) in enumerate(frames):
        pixel = bytes(int(c) for c in colour.split(","))
        data = zlib.compress((b"\0" + pixel * width) * height)
        png += chunk(b"fcTL", struct.pack(">IIIIIHHBB", sequence, width, height, 0, 0,
                                          int(delay), 1000, 0, 0))
        sequence += 1
        if number == 0:
            png += chunk(b"IDAT", data)
        else:
            png += chunk(b"fdAT", struct.pack(">I", sequence) + data)
            sequence += 1
    png += chunk(b"IEND", b"")
    with open(out, "wb") as f:
        f.write(png)


main()
