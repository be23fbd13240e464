"""Whether a window dump (xwd) of a deep-colour visual shows a binary PPM
picture exactly: every channel of every pixel must hold the picture's 8-bit
value widened by repeating its bits (8 bits 0xAB become 10 bits 0xAB << 2 |
0xAB >> 6). Exit status 0 when it does, 1 (with the first difference) when not.
Usage: xwd_equals.py DUMP.xwd PICTURE.ppm"""
import struct
import sys


def widened(value, bits):
    out, have = 0, 0
    while have < bits:
        take = min(8, bits - have)
        out = (out << take) | (value >> (8 - take))
        have += take
    return out


def main(dump_path, picture_path):
    dump = open(dump_path, "rb").read()
    header = struct.unpack(">25I", dump[:100])
    size, width, height, byte_order, bpp, row = header[0], header[4], header[5], header[7], header[11], header[12]
    masks, ncolors = header[14:17], header[19]
    pixels = dump[size + 12 * ncolors:]
    picture = open(picture_path, "rb").read().split(b"\n", 3)
    pw, ph = map(int, picture[1].split())
    rgb = picture[3]
    if (pw, ph) != (width, height) or bpp != 32:
        print(f"dump is {width}x{height} at {bpp} bits, picture {pw}x{ph}")
        return 1
    order = "<" if byte_order == 0 else ">"
    for y in range(height):
        for x in range(width):
            pixel = struct.unpack_from(order + "I", pixels, y * row + 4 * x)[0]
            for channel, mask in enumerate(masks):
                shift = (mask & -mask).bit_length() - 1
                bits = bin(mask).count("1")
                expected = widened(rgb[3 * (y * width + x) + channel], bits)
                if (pixel & mask) >> shift != expected:
                    print(f"pixel ({x}, {y}) channel {channel}: {(pixel & mask) >> shift:#x}, not {expected:#x}")
                    return 1
    return 0


sys.exit(main(sys.argv[1], sys.argv[2]))
