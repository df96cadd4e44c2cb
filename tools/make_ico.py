#!/usr/bin/env python3
"""Writes a Windows icon file (.ico) holding the given square PNG pictures
as they are (Windows reads PNG entries in icons since Vista).

    make_ico.py OUTPUT.ico PICTURE.png...
"""
import struct
import sys


def png_size(data, name):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        sys.exit(f"make_ico.py: {name} is no PNG picture")
    width, height = struct.unpack(">II", data[16:24])
    if width != height or not 1 <= width <= 256:
        sys.exit(f"make_ico.py: {name} is {width}x{height}; an icon needs a square of at most 256 pixels")
    return width


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    pictures = []
    for name in sys.argv[2:]:
        with open(name, "rb") as f:
            data = f.read()
        pictures.append((png_size(data, name), data))
    header = struct.pack("<HHH", 0, 1, len(pictures))  # reserved, type 1 = icon, count
    entries = b""
    offset = len(header) + 16 * len(pictures)
    for size, data in pictures:
        entries += struct.pack("<BBBBHHII",
                               size % 256,  # width, 0 meaning 256
                               size % 256,  # height
                               0,           # colours in a palette: none
                               0,           # reserved
                               1,           # colour planes
                               32,          # bits per pixel
                               len(data),   # bytes of the picture
                               offset)      # where the picture starts
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(header + entries + b"".join(data for _, data in pictures))


if __name__ == "__main__":
    main()
