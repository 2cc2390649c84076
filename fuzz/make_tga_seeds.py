#!/usr/bin/env python3
"""Writes the seed corpus of the TGA fuzz target: small images in every layout
demscan reads (uncompressed and run-length encoded, 24 and 32 bits, ID field,
colour map, each origin corner, a footer), and a few that end early or that it
refuses. The files are committed; run this again only to change them.

    python3 fuzz/make_tga_seeds.py
"""
import pathlib
import struct

OUT = pathlib.Path(__file__).resolve().parent / "corpus" / "tga"

# A 3 x 2 picture, top row first, pixels (blue, green, red, alpha): equal
# neighbours for runs, one across the row end, and an empty pixel (red 255).
PICTURE = [
    [(0xD2, 0xD2, 0x04, 0), (0x10, 0x10, 0x00, 0), (0x10, 0x10, 0x00, 0)],
    [(0x10, 0x10, 0x00, 0), (0x12, 0x34, 0xFF, 0x99), (0xFF, 0xFF, 0xFE, 0)],
]
WIDTH, HEIGHT = 3, 2


def header(image_type, depth, descriptor, id_field=b"", map_entries=0, map_bits=0,
           width=WIDTH, height=HEIGHT):
    fields = struct.pack("<BBBHHBHHHHBB", len(id_field), 1 if map_entries else 0, image_type,
                         0, map_entries, map_bits, 0, 0, width, height, depth, descriptor)
    return fields + id_field + bytes([0x5A]) * (map_entries * ((map_bits + 7) // 8))


def stored_pixels(descriptor, depth):
    """The pixels in the order the descriptor's origin bits store them."""
    rows = PICTURE if descriptor & 0x20 else list(reversed(PICTURE))
    stream = []
    for row in rows:
        stream += list(reversed(row)) if descriptor & 0x10 else row
    return [bytes(p[:depth // 8]) for p in stream]


def packed(pixels):
    """Run-length packets over the whole pixel stream, crossing row ends."""
    out, i = b"", 0
    while i < len(pixels):
        run = 1
        while i + run < len(pixels) and run < 128 and pixels[i + run] == pixels[i]:
            run += 1
        if run > 1:
            out += bytes([0x80 | (run - 1)]) + pixels[i]
        else:
            out += bytes([0]) + pixels[i]
        i += run
    return out


def image(image_type, depth, descriptor, **extra):
    pixels = stored_pixels(descriptor, depth)
    data = packed(pixels) if image_type == 10 else b"".join(pixels)
    return header(image_type, depth, descriptor, **extra) + data


FOOTER = bytes(8) + b"TRUEVISION-XFILE.\0"

SEEDS = {
    "plain32_bottom_left": image(2, 32, 0x08),
    "plain24_top_left": image(2, 24, 0x20),
    "plain32_bottom_right": image(2, 32, 0x18),
    "plain32_top_right_id": image(2, 32, 0x38, id_field=b"id"),
    "plain32_colour_map_footer": image(2, 32, 0x08, map_entries=2, map_bits=24) + FOOTER,
    "packed32_bottom_left": image(10, 32, 0x08),
    "packed24_top_left_id_map": image(10, 24, 0x20, id_field=b"x", map_entries=3, map_bits=15),
    "packed32_top_right": image(10, 32, 0x38),
    # One run of 128 pixels over an image of 6: the packet is cut at the end.
    "packed32_long_run": header(10, 32, 0x08) + bytes([0xFF, 1, 2, 3, 4]),
    "short_plain": image(2, 32, 0x08)[:28],
    "short_packed": image(10, 24, 0x08)[:22],
    # 300 rows of 1 pixel, one stored packet of 100 pixels, then the file ends:
    # all 100 rows it holds are read before the failure.
    "short_packed_one_column": header(10, 32, 0x08, width=1, height=300) + bytes([99]) +
    b"".join(bytes([k, k, 1, 0]) for k in range(100)),
    "short_colour_map": header(2, 32, 0x08, map_entries=4, map_bits=32)[:25],
    "zero_width": header(2, 32, 0x08, width=0, height=3),
    "huge_over_little": header(10, 32, 0x08, width=65535, height=65535) + bytes(12),
    "unreadable_type3": header(3, 8, 0x00) + bytes(6),
}


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (OUT / f"{name}.tga").write_bytes(data)


if __name__ == "__main__":
    main()
