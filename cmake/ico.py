#!/usr/bin/env python3
"""Writes a Windows icon (.ico) holding the PNG pictures given, each whole as
one of its images (Windows Vista and later read PNG images in an icon).

    ico.py OUTPUT.ico PICTURE.png...
"""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise SystemExit("ico.py: not a PNG picture")
    return struct.unpack(">II", data[16:24])


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    pictures = []
    for name in sys.argv[2:]:
        with open(name, "rb") as f:
            data = f.read()
        width, height = png_size(data)
        if width > 256 or height > 256:
            raise SystemExit(f"ico.py: {name}: larger than 256 pixels")
        pictures.append((width, height, data))
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries = b""
    for width, height, data in pictures:
        # 0 stands for 256; no palette, one plane, 32 bits a pixel.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(header + entries + b"".join(data for _, _, data in pictures))


main()
