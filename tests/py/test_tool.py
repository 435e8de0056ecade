"""The land tool as a level author uses it: build, info, check."""
import json
import subprocess

import pytest

from paths import GAME_DIR, REPACK, TOOL
from tool import run_tool as run

SOURCE = """
# two hollows in one column, a slope, every object kind
size 3 2
textures rock.pcx granite.bmp cobble.pcx brick.bmp
fog 7
facing P 2
default floor 1 roof 2 wall 3 slope 0
level 0
  ######
  .P.D<.
level 1 floor 2
  ######
  ..##.R
level 4
  ..####
  ######
paint wall 0 0 0 0 4 1 side 0
"""


@pytest.fixture
def build(tmp_path):
    """out.lvl built from a text in the scratch folder, success or not."""
    def build(text):
        (tmp_path / "src.land").write_text(text)
        return run("build", tmp_path / "src.land", tmp_path / "out.lvl")
    return build


def test_bundled_lands_check_and_read_as_json():
    for name in ("land.lvl", "land3.lvl"):
        assert run("check", name).returncode == 0, name
        out = run("info", name)
        assert out.returncode == 0, out.stderr
        land = json.loads(out.stdout)
        assert len(land["tiles"]) == land["w"] * land["h"]
        order = [(t["y"], t["x"]) for t in land["tiles"]]
        assert order == sorted(order), "tiles in row order"
        assert land["n_textures"] == len(land["textures"])
    land = json.loads(run("info", "land.lvl").stdout)
    assert land["n_players"] == 1
    used = set()
    slopes = set()
    levels = set()
    for t in land["tiles"]:
        for h in t["hollows"]:
            used |= {h["floor_tex"], h["roof_tex"]}
            slopes.add(h["slope"])
            levels.add(h["floor"])
        for side in t["wall"]:
            used |= set(side)
    assert len(used) >= 8, "the default land shows at least 8 textures"
    assert len(slopes - {0}) >= 3, "slopes of several shapes"
    assert len(levels) >= 3, "hollows on several levels"
    assert any(len(t["hollows"]) > 1 for t in land["tiles"])


def test_build_then_info_shows_the_source(tmp_path, build):
    r = build(SOURCE)
    assert r.returncode == 0, r.stderr
    land = json.loads(run("info", tmp_path / "out.lvl").stdout)
    assert land["textures"] == ["rock.pcx", "granite.bmp", "cobble.pcx", "brick.bmp"]
    assert land["fog_colour"] == 7
    assert (land["w"], land["h"]) == (3, 2)
    assert land["n_players"] == 1
    assert land["n_diamonds"] == 1
    tile = {(t["x"], t["y"]): t for t in land["tiles"]}
    # Column (0,1): open at 0-1, solid above; (0,0): open only at level 4.
    h = tile[(0, 1)]["hollows"]
    assert [(x["floor"], x["roof"]) for x in h] == [(0, 2)]
    assert h[0]["floor_tex"] == 1
    assert h[0]["objects"][0]["type"] == 1
    assert h[0]["objects"][0]["facing"] == 2
    assert h[0]["objects"][0]["index"] == 0
    assert tile[(0, 0)]["hollows"][0]["floor"] == 4
    assert tile[(0, 0)]["wall"][0] == [1]      # painted
    assert tile[(0, 0)]["wall"][1] == [3]
    # (1,1) is open at 0 and 1 with a diamond; (2,1) carries the slope and the rock.
    diamond = tile[(1, 1)]["hollows"][0]["objects"][0]
    assert (diamond["type"], diamond["z"], diamond["spin"]) == (2, 0, 0)
    s = tile[(2, 1)]["hollows"]
    assert [(x["slope"], x["floor"], x["roof"]) for x in s] == [(4, 0, 2)]
    assert (s[0]["objects"][0]["type"], s[0]["objects"][0]["z"]) == (3, 1)
    assert s[0]["objects"][0]["texture"] in (0, 1, 2)
    # The middle column is open at 0 only: two hollows would need a gap.
    assert [(x["floor"], x["roof"]) for x in tile[(1, 1)]["hollows"]] == [(0, 1)]
    assert run("check", tmp_path / "out.lvl").returncode == 0


def test_source_errors_name_their_line(build):
    bad = SOURCE.replace(".P.D<.", ".P.D<X")
    r = build(bad)
    assert r.returncode == 1
    assert ":10:" in r.stderr
    assert "unknown object" in r.stderr
    r = build(SOURCE.replace("default floor 1", "default floor 9"))
    assert r.returncode == 1
    assert "texture" in r.stderr
    r = build(SOURCE.replace("  ..##.R", "  ..##."))
    assert r.returncode == 1
    assert ":13:" in r.stderr
    # Mistakes that used to slip through: an object inside its own slope,
    # a second size after the maps, a path for a texture name, and a map
    # row too many that looked like a comment.
    for broken, words in ((SOURCE.replace(".P.D<.", ".P.D<R"), "inside its slope"),
                          (SOURCE + "size 9 9\n", "twice"),
                          (SOURCE.replace("brick.bmp", "../brick.bmp"), "plain file name"),
                          (SOURCE.replace("level 4\n  ..####\n  ######\n",
                                          "level 4\n  ..####\n  ######\n  ######\n"), "unknown command")):
        r = build(broken)
        assert r.returncode == 1, words
        assert words in r.stderr


def test_comments_inside_maps(build):
    # A comment line inside a map is skipped; a solid cell with a blank
    # object inside a row does not start a comment.
    src = SOURCE.replace("level 0\n  ######\n", "level 0\n  # the back wall\n  ### ##\n")
    r = build(src)
    assert r.returncode == 0, r.stderr


def test_files_that_cannot_be_loaded(tmp_path):
    r = run("info", tmp_path / "missing.lvl")
    assert r.returncode == 1
    assert r.stdout == ""
    assert len(r.stderr.strip().splitlines()) == 1
    with open(tmp_path / "junk.lvl", "wb") as f:
        f.write(b"not a land at all")
    r = run("check", tmp_path / "junk.lvl")
    assert r.returncode == 1
    assert run("frobnicate").returncode == 2
    assert run("info").returncode == 2


def test_info_that_cannot_be_written_fails():
    with open("/dev/full", "w") as full:
        r = subprocess.run([TOOL, "info", "land3.lvl"], cwd=GAME_DIR, stdout=full,
                           stderr=subprocess.PIPE, text=True, timeout=120)
    assert r.returncode == 1
    assert "standard output: cannot be written" in r.stderr


def test_check_finds_bytes_beyond_the_walls(tmp_path, build):
    assert build(SOURCE).returncode == 0
    # Repack the file with a stray byte after the last wall entry.
    assert REPACK.is_file(), f"no repack helper at {REPACK}"
    subprocess.run([REPACK, tmp_path / "out.lvl", tmp_path / "long.lvl"], check=True)
    r = run("check", tmp_path / "long.lvl")
    assert r.returncode == 1
    assert "follow the last wall entry" in r.stderr
    assert run("info", tmp_path / "long.lvl").returncode == 0


def test_refused_and_missing_textures_are_named(tmp_path, build):
    # A 1 KB BMP claiming 65536 x 65536 pixels, which the image library
    # would write far past; beside it a texture that does not exist.
    (tmp_path / "textures").mkdir()
    for name in ("rock.pcx", "brick.bmp"):
        (tmp_path / "textures" / name).write_bytes((GAME_DIR / "textures" / name).read_bytes())
    header = b"BM" + (0).to_bytes(8, "little") + (1078).to_bytes(4, "little")
    header += b"".join(v.to_bytes(4, "little") for v in (40, 65536, 65536))
    header += (1).to_bytes(2, "little") + (8).to_bytes(2, "little") + bytes(24)
    with open(tmp_path / "textures/wrap.bmp", "wb") as f:
        f.write(header + bytes(1024))
    src = SOURCE.replace("granite.bmp", "wrap.bmp").replace("cobble.pcx", "gone.pcx")
    assert build(src).returncode == 0

    def tool(*args):
        return subprocess.run([TOOL, *args, "out.lvl"], cwd=tmp_path, capture_output=True, text=True,
                              timeout=120)

    check = tool("check")
    assert check.returncode == 1, check.stderr
    assert "texture 1: textures/wrap.bmp: claims 65536 x 65536 pixels" in check.stderr
    assert "warning: texture 2: textures/gone.pcx: no such file" in check.stderr
    info = tool("info")
    assert info.returncode == 0, info.stderr
    assert json.loads(info.stdout)["textures"][1] == "wrap.bmp"
    assert info.stderr == check.stderr
    # A texture that is only missing is a warning, not a fault.
    (tmp_path / "textures/wrap.bmp").unlink()
    check = tool("check")
    assert check.returncode == 0, check.stderr
    assert check.stderr.count("warning: texture") == 2


def test_an_empty_texture_name_is_named_as_such(tmp_path):
    # An unpacked 1 x 1 solid land whose one texture has no name.
    with open(tmp_path / "blank.lvl", "wb") as f:
        f.write(b"slh.TAVO" + bytes([0, 1, 0, 0, 1, 1]) + b"\xff")
    check = run("check", tmp_path / "blank.lvl")
    assert check.returncode == 1, check.stderr
    assert check.stderr.strip() == "tavo-tool: %s: texture 0: has no file name" % (tmp_path / "blank.lvl")


def test_render_names_players_from_0(tmp_path):
    """--player counts from 0, and a wrong value is named, not met with the usage alone."""
    out = tmp_path / "view.png"
    for bad in ("2", "-1", "one", None):
        r = run("render", "land.lvl", out, *(["--player"] + ([bad] if bad else [])), cwd=GAME_DIR)
        assert r.returncode == 2 and "0 (player 1) or 1 (player 2)" in r.stderr, r.stderr
        assert f'not "{bad or ""}"' in r.stderr and not out.exists()
    # land.lvl is for one: there is no second player to see from.
    r = run("render", "land.lvl", out, "--player", "1", cwd=GAME_DIR)
    assert r.returncode == 1 and "no player 2 (--player 1)" in r.stderr, r.stderr
    assert run("render", "land.lvl", out, "--player", "0", cwd=GAME_DIR).returncode == 0 and out.is_file()
