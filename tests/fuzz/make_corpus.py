#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus into tests/fuzz/corpus/TARGET/.

    tests/fuzz/make_corpus.py build/game/tavo-tool

The bundled lands are built with tavo-tool and unpacked with Allegro's
`pack u`, since fuzz_land_file takes a land's data as the loader sees it once
unpacked.  Everything else is written here: small edge lands, texture images
of every type (valid 128 x 128 ones, kept tiny with flat colours and run
lengths, and broken ones), hand-written tapes and sources.  Run it again when
the land format or the bundled lands change; it replaces what it wrote.
"""
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
CORPUS = os.path.join(HERE, "corpus")


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- lands ---------------------------------------------------------------------

def land(players, names, w, h, tiles, wall=0, fog=0):
    """An unpacked land stream.  tiles holds w*h lists of hollows, each
    (slope, floor, roof, six textures, object records); every exposed wall
    square gets the texture wall."""
    out = b"TAVO" + bytes([players, len(names) & 255])
    for n in names:
        out += bytes([len(n)]) + n
    out += bytes([fog, w, h])
    for hollows in tiles:
        for slope, floor, roof, tex, objects in hollows:
            out += bytes([slope]) + struct.pack("<HH", floor, roof) + bytes(tex)
            for obj in objects:
                out += obj
            out += b"\0"
        out += b"\xff"
    return out + bytes([wall]) * wall_squares(w, h, tiles)


def wall_squares(w, h, tiles):
    """The wall walk: levels open in a tile and not in its neighbour."""
    def open_levels(x, y):
        if x < 0 or y < 0 or x >= w or y >= h:
            return set()
        return {z for _, floor, roof, _, _ in tiles[y * w + x] for z in range(floor, roof)}
    n = 0
    for y in range(h):
        for x in range(w):
            for dx, dy in ((0, -1), (1, 0), (0, 1), (-1, 0)):
                n += len(open_levels(x, y) - open_levels(x + dx, y + dy))
    return n


def player(z, index, facing):
    return bytes([1]) + struct.pack("<H", z) + bytes([index, facing])


def diamond(z):
    return bytes([2]) + struct.pack("<H", z)


def rock(z, tex=0):
    return bytes([3]) + struct.pack("<H", z) + bytes([tex])


def edge_lands():
    t6 = [0] * 6
    room = [(0, 0, 3, t6, [player(0, 0, 1), rock(1), diamond(2)])]
    yield "room-1x1", land(1, [b"a.pcx", b"b.pcx", b"c.pcx"], 1, 1, [room])
    yield "solid-1x1", land(0, [b"a.pcx"], 1, 1, [[]])
    yield "empty-0x0", land(0, [b"a.pcx"], 0, 0, [])
    yield "256-textures", land(0, [b""] * 256, 1, 1, [[(0, 0, 1, [255] * 6, [])]], wall=255)
    # Two hollows in one column with a ramp, and two players side by side.
    col = [(2, 0, 3, t6, [player(1, 0, 0)]), (0, 4, 6, t6, [diamond(5)])]
    yield "ramp-2x1", land(2, [b"rock.pcx"], 2, 1, [col, [(0, 0, 2, t6, [player(0, 1, 3)])]])
    yield "top-level", land(0, [b"a.pcx"], 1, 1, [[(0, 65534, 65535, t6, [diamond(65534)])]])
    # Refused: each breaks one rule of the format.
    yield "bad-magic", b"TAVX" + land(0, [b"a.pcx"], 0, 0, [])[4:]
    yield "ends-early", land(1, [b"a.pcx", b"b.pcx", b"c.pcx"], 1, 1, [room])[:-5]
    yield "slope-13", land(0, [b"a.pcx"], 1, 1, [[(13, 0, 2, t6, [])]])
    yield "long-name", land(0, [b"thirteen.pcx!"], 0, 0, [])
    yield "players-3", land(3, [b"a.pcx"], 0, 0, [])
    yield "player-2", land(0, [b"a.pcx"], 1, 1, [[(0, 0, 1, t6, [player(0, 2, 0)])]])
    yield "two-at-a-level", land(0, [b"a.pcx"], 1, 1, [[(0, 0, 2, t6, [rock(0), diamond(0)])]])
    yield "in-the-slope", land(0, [b"a.pcx"], 1, 1, [[(1, 0, 2, t6, [diamond(0)])]])
    yield "overlap", land(0, [b"a.pcx"], 1, 1, [[(0, 0, 3, t6, []), (0, 2, 4, t6, [])]])
    yield "texture-2", land(0, [b"a.pcx", b"b.pcx"], 1, 1, [[(0, 0, 1, [2] + [0] * 5, [])]])


def bundled_lands(tool):
    sources = sorted(glob.glob(os.path.join(ROOT, "lands", "*.land")) +
                     glob.glob(os.path.join(ROOT, "lands", "levels", "*.land")))
    with tempfile.TemporaryDirectory() as tmp:
        for src in sources:
            name = os.path.splitext(os.path.basename(src))[0]
            packed, plain = os.path.join(tmp, name + ".lvl"), os.path.join(tmp, name + ".raw")
            subprocess.run([tool, "build", src, packed], check=True, stdout=subprocess.DEVNULL,
                           cwd=os.path.dirname(tool))
            subprocess.run(["pack", "u", packed, plain], check=True, stdout=subprocess.DEVNULL)
            with open(plain, "rb") as f:
                yield name, f.read()


# ---- textures ------------------------------------------------------------------

def grey_palette():
    return bytes(v for i in range(256) for v in (i, i, i))


def png(w, h, colour_type, row, palette=None, depth=8):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, colour_type, 0, 0, 0))
    if palette:
        out += chunk(b"PLTE", palette)
    return out + chunk(b"IDAT", zlib.compress((b"\0" + row) * h, 9)) + chunk(b"IEND", b"")


def pcx_rle_row(row):
    out = b""
    i = 0
    while i < len(row):
        n = 1
        while i + n < len(row) and n < 63 and row[i + n] == row[i]:
            n += 1
        out += bytes([0xC0 | n, row[i]])
        i += n
    return out


def pcx(w, h, planes, rows):
    header = struct.pack("<BBBBHHHHHH", 10, 5, 1, 8, 0, 0, w - 1, h - 1, 72, 72) + bytes(48)
    header += struct.pack("<BBHH", 0, planes, w, 1) + bytes(58)
    body = b"".join(pcx_rle_row(plane) for row in rows for plane in row)
    if planes == 1:
        body += b"\x0c" + grey_palette()
    return header + body


def bmp(w, h, bits, compression, pixels, colours):
    palette = b"".join(bytes([b, g, r, 0]) for r, g, b in colours)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, len(pixels), 2835, 2835,
                       len(colours), 0)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + palette + pixels


def bmp_rle8(w, h, index):
    row = b""
    left = w
    while left:
        n = min(left, 255)
        row += bytes([n, index])
        left -= n
    return (row + b"\0\0") * (h - 1) + row + b"\0\1"


def tga(w, h, image_type, bits, packets, colour_map=b""):
    cmap = struct.pack("<HHB", 0, len(colour_map) // 3, 24) if colour_map else bytes(5)
    header = bytes([0, 1 if colour_map else 0, image_type]) + cmap + struct.pack("<HHHHBB", 0, 0, w, h, bits, 0)
    return header + colour_map + packets


def textures():
    flat = bytes([7]) * 128
    yield "flat8.png", png(128, 128, 3, flat, grey_palette()[:48])
    yield "flat24.png", png(128, 128, 2, bytes([200, 120, 40]) * 128)
    yield "grey.png", png(128, 128, 0, bytes(range(128)))
    yield "small.png", png(64, 64, 0, bytes(64))  # refused: 64 x 64
    yield "rle8.pcx", pcx(128, 128, 1, [[bytes([i % 256]) * 64 + bytes([255 - i]) * 64] for i in range(128)])
    yield "rle24.pcx", pcx(128, 128, 3, [[bytes([90]) * 128, bytes([60]) * 128, bytes([30]) * 128]] * 128)
    yield "wide.pcx", pcx(256, 128, 1, [[bytes(256)]] * 128)  # refused: 256 x 128
    two = [(0, 0, 0), (250, 200, 10)]
    yield "mono.bmp", bmp(128, 128, 1, 0, (bytes([0x0F, 0xF0] * 8)) * 128, two)
    yield "rle8.bmp", bmp(128, 128, 8, 1, bmp_rle8(128, 128, 1), two)
    yield "topdown.bmp", bmp(128, -128, 8, 1, bmp_rle8(128, 128, 1), two)
    yield "huge.bmp", bmp(0x7FFFFFF, 128, 8, 0, b"", two)  # refused: a width no file holds
    # RLE packets of 128 pixels each: one per row.
    yield "rle24.tga", tga(128, 128, 10, 24, (b"\xff" + bytes([30, 140, 220])) * 128)
    yield "rle8.tga", tga(128, 128, 9, 8, b"\xff\x02" * 128, bytes([0, 0, 0, 255, 255, 255, 0, 128, 0]))
    yield "zero.tga", tga(0, 0, 2, 24, b"")


def rules_seeds():
    """fuzz_rules draws its land from the tests' generator of random lands,
    a byte for each draw (more for a range past 256 values; zeros past the
    end), and takes the keys from the bytes left over.  Any bytes make a
    land, so the seeds are bytes at random: short and long, and some that
    open with the largest size, 8 x 8 tiles."""
    import random
    rng = random.Random(2024)
    for i in range(6):
        yield "random-%d" % i, bytes(rng.randrange(256) for _ in range(96 << (i % 3)))
    for i in range(4):
        yield "largest-%d" % i, bytes([7, 7]) + bytes(rng.randrange(256) for _ in range(1500))


# ---- tapes and sources ---------------------------------------------------------

def tapes():
    yield "minimal", "tape 1\nland land.lvl\ncrc32 00000000\nseed 0\nframes 0\n"
    yield "overlap", ("# two ranges of one key overlap\ntape 1\nland levels/01-first-steps.lvl\n"
                      "crc32 1a2b3c4d\nseed 4294967295\nframes 120\n1 60 A S\n30 90 A\n"
                      "61 61 LEFT RIGHT UP DOWN OPENBRACE QUOTE COMMA STOP ALTGR\n100 120 ALT X C Z F E D\n")
    yield "crlf", "tape 1\r\nland my land.lvl\r\ncrc32 ffffffff\r\nseed 7\r\nframes 3\r\n1 3 A\r\n"
    yield "past-end", "tape 1\nland a.lvl\ncrc32 00000000\nseed 1\nframes 5\n1 6 A\n"
    yield "unknown-key", "tape 1\nland a.lvl\ncrc32 00000000\nseed 1\nframes 5\n1 2 KEY_A\n"
    yield "repeated", "tape 1\ntape 1\nland a.lvl\ncrc32 00000000\nseed 1\nframes 5\n"
    yield "big-numbers", "tape 1\nland a.lvl\ncrc32 00000000\nseed 4294967296\nframes 8640001\n"


def sources():
    yield "tiny", "size 1 1\ntextures a.pcx\nlevel 0\n  .P\n"
    yield "slopes", ("size 6 2\ntextures a.pcx b.pcx c.pcx\nplayers 1\nfacing P 2\ndefault wall 1 slope 2\n"
                     "level 3 floor 1\n  ^.>.v.<.5.6.\n  7.8.9.a.b.c.\nlevel 4\n  .P.D.R......\n"
                     "  ............\npaint wall 0 0 5 1 3-4 2 side 1\npaint roof 0 0 0 0 4 0\n")
    yield "stack", ("size 2 1\ntextures a b c\nlevel 0\n  .P.Q\nlevel 1\n  .R.D\n# a gap\nlevel 3\n"
                    "  ..#.\nlevel 65534\n  .D..\n")
    yield "bad-row", "size 2 2\ntextures a\nlevel 0\n  ....\n  ..\n"


# The bundled sources and tapes are seeds too; scripts/fuzz.sh reads them
# from lands/ itself rather than from copies here.


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    tool = os.path.abspath(sys.argv[1])
    for target in ("fuzz_land_file", "fuzz_land_source", "fuzz_texture", "fuzz_tape", "fuzz_rules"):
        shutil.rmtree(os.path.join(CORPUS, target), ignore_errors=True)
    for name, data in bundled_lands(tool):
        put("fuzz_land_file", name, data)
    for name, data in edge_lands():
        put("fuzz_land_file", name, data)
    for name, data in textures():
        put("fuzz_texture", name, data)
    for name, data in tapes():
        put("fuzz_tape", name, data)
    for name, data in rules_seeds():
        put("fuzz_rules", name, data)
    for name, data in sources():
        put("fuzz_land_source", name, data)


if __name__ == "__main__":
    main()
