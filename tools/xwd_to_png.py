#!/usr/bin/env python3
"""xwd_to_png.py IN.xwd OUT.png: a window dump of a 24-bit TrueColor X display
(as xwd writes it) as a PNG with a palette, which keeps window pictures small."""
import struct
import sys

from PIL import Image


def main(source, target):
    with open(source, "rb") as f:
        data = f.read()
    # The header: 25 big-endian 32-bit fields, then the window's name.
    fields = struct.unpack(">25I", data[:100])
    header_size, version, pixmap_format = fields[0], fields[1], fields[2]
    width, height = fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    colours = fields[19]
    if version != 7 or pixmap_format != 2 or bits_per_pixel != 32:
        sys.exit(f"xwd_to_png.py: {source}: only 32-bit ZPixmap dumps are read")
    start = header_size + 12 * colours  # after the colour map
    pixels = data[start:start + bytes_per_line * height]
    if len(pixels) < bytes_per_line * height:
        sys.exit(f"xwd_to_png.py: {source} is cut off")
    mode = "BGRX" if byte_order == 0 else "XRGB"
    image = Image.frombuffer("RGB", (width, height), pixels, "raw", mode, bytes_per_line, 1)
    image.quantize(colors=64, method=Image.Quantize.MEDIANCUT).save(target, optimize=True)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: xwd_to_png.py IN.xwd OUT.png")
    main(sys.argv[1], sys.argv[2])
