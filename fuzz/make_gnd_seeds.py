#!/usr/bin/env python3
"""Writes the seed corpus of the GND fuzz target: small archives as demtiler
writes them (no tile; one tile, complete; two tiles of one row, cut after the
second height block) and a few that demjoin refuses. The files are committed;
run this again only to change them.

    python3 fuzz/make_gnd_seeds.py
"""
import pathlib
import struct

OUT = pathlib.Path(__file__).resolve().parent / "corpus" / "gnd"
HEIGHT_BLOCK, TEXTURE_BLOCK = 57764, 65554


def height_block(seed):
    cells = b"".join(b"\xFD\0\0" + struct.pack("<f", (seed * 7 + i) % 300 - 20.5) + b"\0\0\x7E"
                     for i in range(76 * 76))
    return b"\0\0\0\0" + cells


def archive(tiles, blocks=None):
    """Header, directory and template; then the blocks, textures left out
    after the last height block, which demjoin never reads."""
    n = len(tiles)
    out = b"GND\x0B" + struct.pack("<I", n)
    for i, (ty, tx) in enumerate(tiles):
        at = 3808 + 16 * n + (HEIGHT_BLOCK + TEXTURE_BLOCK) * i
        out += struct.pack("<4I", ty, tx, at, at + HEIGHT_BLOCK)
    out += bytes(3800)
    for i in range(n if blocks is None else blocks):
        out += height_block(i) + (bytes(TEXTURE_BLOCK) if i + 1 < n else b"")
    return out


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    seeds = {
        "empty.gnd": archive([]),
        "one_tile.gnd": archive([(0, 1)]) + bytes(TEXTURE_BLOCK),  # complete
        "two_tiles.gnd": archive([(1, 0), (1, 1)]),
        "out_of_order.gnd": archive([(1, 1), (1, 0)], blocks=0),
        "cut_in_directory.gnd": archive([(0, 0), (0, 1)])[:20],
        "version_12.gnd": b"GND\x0C" + archive([])[4:],
    }
    for name, data in seeds.items():
        (OUT / name).write_bytes(data)


if __name__ == "__main__":
    main()
