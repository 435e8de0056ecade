"""Tapes: every bundled land is won by its solution, and broken tapes are
refused with their line, by the land tool and by the game's arguments."""
import json
import subprocess
import zlib

import pytest

from paths import GAME, GAME_DIR
from tool import run_tool


def run(*args):
    return run_tool(*args, timeout=600)


def crc_of(path):
    with open(path, "rb") as f:
        return "%08x" % (zlib.crc32(f.read()) & 0xFFFFFFFF)


def test_every_bundled_land_is_won_by_its_tape():
    lands = ["land.lvl"] + sorted(str(p.relative_to(GAME_DIR)) for p in GAME_DIR.glob("levels/*.lvl"))
    assert len(lands) >= 1
    for land in lands:
        tape = GAME_DIR / (land[:-4] + ".tape")
        assert tape.is_file(), "no solution tape for " + land
        r = run("replay", tape)
        assert r.returncode == 0, f"{land}: {r.stderr}"
        out = json.loads(r.stdout)
        assert out["crc32_ok"], land
        assert out["won"], "%s is not won by its tape: %s" % (land, r.stdout)
        assert out["ended_at_step"] == out["frames"], f"{land}: the tape goes on past its win"
        assert out["diamonds_left"] == 0, land


class Tapes:
    """Tapes of l.lvl, a corridor with a diamond, in a scratch folder."""

    def __init__(self, folder, build_land):
        self.dir = folder
        self.land = build_land("l", "size 3 1\ntextures rock.pcx granite.bmp cobble.pcx\nfacing P 1\nlevel 0\n  .P...D\n")
        self.head = "tape 1\nland l.lvl\ncrc32 %s\nseed 3\nframes 100\n" % crc_of(self.land)

    def replay(self, text, *extra):
        path = self.dir / "t.tape"
        path.write_text(text)
        return run("replay", path, *extra)


@pytest.fixture
def tapes(tmp_path, build_land):
    return Tapes(tmp_path, build_land)


def test_a_good_tape_wins_from_any_folder(tapes):
    r = tapes.replay(tapes.head + "# forward to the diamond\n1 100 A\n")
    assert r.returncode == 0, r.stderr
    out = json.loads(r.stdout)
    assert (out["won"], out["ended_at_step"], out["seed"], out["frames"]) == (True, 31, 3, 100)


# Each: how the tape of the fixture's head is broken, the line named (if
# any) and words of the message.
BROKEN = [
    ("unknown header", lambda h, crc: h + "speed 4\n", 6, "unknown line"),
    ("unknown key", lambda h, crc: h + "1 5 A JUMP\n", 6, "unknown key JUMP"),
    ("missing header", lambda h, crc: h.replace("seed 3\n", ""), None, '"seed"'),
    ("repeated header", lambda h, crc: h + "seed 4\n", 6, "second"),
    ("first frame 0", lambda h, crc: h + "0 5 A\n", 6, "FROM"),
    ("first after last", lambda h, crc: h + "9 5 A\n", 6, "FROM <= TO"),
    ("past the frames", lambda h, crc: h + "90 101 A\n", 6, "past the tape's last frame"),
    ("seed too big", lambda h, crc: h.replace("seed 3", "seed 4294967296"), 4, "seed"),
    ("frames too big", lambda h, crc: h.replace("frames 100", "frames 99999999999999999999"), 5, "frames"),
    ("range too big", lambda h, crc: h + "1 99999999999999999999 A\n", 6, "FROM"),
    ("negative", lambda h, crc: h + "-1 5 A\n", 6, "FROM"),
    ("other version", lambda h, crc: h.replace("tape 1", "tape 2"), 1, "tape 1"),
    ("short crc", lambda h, crc: h.replace("crc32 ", "crc32 0"), 3, "crc32"),
    ("upper-case crc", lambda h, crc: h.replace("crc32 " + crc, "crc32 ABCDEF12"), 3, "crc32"),
    ("land without name", lambda h, crc: h.replace("land l.lvl", "land"), 2, "land"),
]


@pytest.mark.parametrize("break_tape, line, words", [case[1:] for case in BROKEN],
                         ids=[case[0] for case in BROKEN])
def test_each_way_of_breaking_a_tape(tapes, break_tape, line, words):
    r = tapes.replay(break_tape(tapes.head, crc_of(tapes.land)))
    assert r.returncode == 2, r.stdout + r.stderr
    assert r.stdout == ""
    assert words in r.stderr
    if line:
        assert "t.tape:%d:" % line in r.stderr


def test_a_missing_or_changed_land(tapes):
    r = tapes.replay(tapes.head.replace("land l.lvl", "land gone.lvl"))
    assert r.returncode == 1
    assert "gone.lvl" in r.stderr
    assert "t.tape" in r.stderr
    # A changed land still plays, for its author to see, but fails.
    r = tapes.replay(tapes.head.replace("crc32 " + crc_of(tapes.land), "crc32 00000000") + "1 100 A\n")
    assert r.returncode == 1
    assert "00000000" in r.stderr
    assert crc_of(tapes.land) in r.stderr
    assert not json.loads(r.stdout)["crc32_ok"]
    # --land names the land to play instead, checked all the same.
    r = tapes.replay(tapes.head.replace("land l.lvl", "land gone.lvl"), "--land", tapes.land)
    assert r.returncode == 0, r.stderr


def test_help_and_wrong_arguments():
    r = subprocess.run([GAME, "--help"], capture_output=True, text=True, timeout=60)
    assert r.returncode == 0
    for word in ("--record", "--replay", "LAND.lvl"):
        assert word in r.stdout
    for args in (["--bogus"], ["--record"], ["--replay", "a.tape", "b.lvl"], ["a.lvl", "b.lvl"]):
        r = subprocess.run([GAME, *args], capture_output=True, text=True, timeout=60)
        assert r.returncode == 2, args
        assert "usage" in r.stderr, args
