"""tavo-tool map: every level of a land from above, as a PNG."""
import struct
import zlib

import pytest

import tool

# A ramp rising to the right at (0, 0), player 1 facing right at (0, 1), a
# diamond sealed in a one-cell hollow at (3, 2), and a rock placed in the
# air of level 1 at (2, 0): the map shows the land as loaded, before it falls.
SMALL = """
size 4 3
textures rock.pcx granite.bmp cobble.pcx
facing P 1
level 0
  >.....#.
  .P....#.
  #.#.#..D
level 1
  .....R#.
  ......#.
  #.#.#.#.
"""

# The layout: an 8-pixel margin, a 12-pixel label line above each panel,
# 12 pixels between panels; a panel is as wide as the land or the label.
SCALE, MARGIN, LABEL, GAP = 16, 8, 12, 12
SLOT = max(4 * SCALE, len("level 0") * 8)


def read_png(path):
    """The pixels of an 8-bit palette PNG as rows of (r, g, b)."""
    data = open(path, "rb").read()
    pos, chunks = 8, {}
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunks[kind] = chunks.get(kind, b"") + data[pos + 8:pos + 8 + n]
        pos += 12 + n
    w, h, depth, colour_type = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
    assert (depth, colour_type) == (8, 3), (depth, colour_type)
    palette = [tuple(chunks[b"PLTE"][i:i + 3]) for i in range(0, len(chunks[b"PLTE"]), 3)]
    idat = chunks[b"IDAT"]
    raw, rows, prev = zlib.decompress(idat), [], bytearray(w)
    for y in range(h):
        filt, line = raw[y * (w + 1)], bytearray(raw[y * (w + 1) + 1:(y + 1) * (w + 1)])
        for i in range(w):
            a, b, c = (line[i - 1] if i else 0), prev[i], (prev[i - 1] if i else 0)
            p = a + b - c
            pred = [0, a, b, (a + b) // 2,
                    a if abs(p - a) <= min(abs(p - b), abs(p - c)) else b if abs(p - b) <= abs(p - c) else c][filt]
            line[i] = (line[i] + pred) & 255
        rows.append(line)
        prev = line
    return [[palette[i] for i in row] for row in rows]


def run(*args):
    return tool.run_tool(*args, timeout=60)


class SmallMap:
    """SMALL built and mapped once for the whole module."""

    def __init__(self, folder):
        self.dir = folder
        self.lvl = tool.build_land(folder / "small.lvl", SMALL)
        png = folder / "small.png"
        r = run("map", self.lvl, png, "--scale", str(SCALE))
        assert r.returncode == 0, r.stderr
        self.px = read_png(png)

    def at(self, z, x, y, dx=SCALE // 2, dy=SCALE // 2):
        """The colour dx, dy pixels into cell (x, y) of level z's panel."""
        return self.px[MARGIN + LABEL + y * SCALE + dy][MARGIN + z * (SLOT + GAP) + x * SCALE + dx]


@pytest.fixture(scope="module")
def small(tmp_path_factory):
    return SmallMap(tmp_path_factory.mktemp("map"))


def test_terrain_and_objects_where_they_stand(small):
    solid, floor, air = small.at(0, 3, 0), small.at(0, 2, 1), small.at(1, 1, 1)
    assert len({solid, floor, air}) == 3, (solid, floor, air)
    # The sealed diamond: cyan, on a floor, rock all round and above.
    r, g, b = small.at(0, 3, 2)
    assert r < 100 and g > 200 and b > 200, (r, g, b)
    assert small.at(0, 3, 2, 1, 1) == floor
    for cell in ((0, 2, 2), (0, 3, 1), (1, 3, 2)):
        assert small.at(*cell) == solid, cell
    r, g, b = small.at(0, 0, 1, 4, 4)
    assert r > 200 and g < 80 and b < 80, "player 1 is red"
    # The rock is drawn in the air of level 1, not on the floor below it.
    assert small.at(1, 2, 0) not in (air, floor)
    assert small.at(1, 2, 0, 1, 1) == air
    assert small.at(0, 2, 0) == floor


def test_a_slope_is_lighter_towards_its_high_side(small):
    lum = lambda c: 3 * c[0] + 6 * c[1] + c[2]
    low, high = small.at(0, 0, 0, 2), small.at(0, 0, 0, SCALE - 2)
    assert lum(high) > lum(low) + 100, (low, high)
    assert small.at(0, 0, 0, 2, 2) == low, "the ramp is level across its rise"
    assert high not in (small.at(0, 2, 1), small.at(0, 3, 0))
    assert small.at(1, 0, 0) == small.at(0, 2, 1), "things resting on it stand a level up"


def test_one_labelled_panel_per_level_up_to_the_highest_open_one(small):
    def label(z, chars):
        x0 = MARGIN + z * (SLOT + GAP)
        return [row[x0:x0 + 8 * chars] for row in small.px[MARGIN:MARGIN + 8]]
    background = small.px[0][0]
    assert any(c != background for row in label(0, 7) for c in row), "level 0 is labelled"
    assert label(0, 6) == label(1, 6), "both begin 'level '"
    assert label(0, 7) != label(1, 7), "and end in their own number"
    assert MARGIN + 2 * (SLOT + GAP) <= len(small.px[0])
    assert all(c == background for row in label(2, 7) for c in row), "level 2 is solid: no panel"


def test_usage_errors_and_failures(small):
    out = small.dir / "bad.png"
    for extra in (["--scale", "0"], ["--scale", "65"], ["--scale", "4x"], ["--scale"], ["--zoom", "2"]):
        r = run("map", small.lvl, out, *extra)
        assert r.returncode == 2, extra
        assert "usage" in r.stderr
    assert run("map", small.lvl).returncode == 2
    assert not out.exists()
    r = run("map", small.dir / "none.lvl", out)
    assert r.returncode == 1
    assert "tavo-tool: " in r.stderr
    r = run("map", small.lvl, small.dir / "no" / "such" / "dir.png")
    assert r.returncode == 1
    assert "cannot be written" in r.stderr
