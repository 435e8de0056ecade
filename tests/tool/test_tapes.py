#!/usr/bin/env python3
"""Tapes: every bundled land is won by its solution, and broken tapes are
refused with their line, by the land tool and by the game's arguments."""
import glob
import json
import os
import subprocess
import tempfile
import unittest
import zlib

TOOL = os.environ["TAVO_TOOL"]
GAME_DIR = os.environ["TAVO_GAME_DIR"]
GAME = os.path.join(GAME_DIR, "tavo")


def run(*args, cwd=GAME_DIR):
    return subprocess.run([TOOL, *args], cwd=cwd, capture_output=True, text=True, timeout=600)


def crc_of(path):
    with open(path, "rb") as f:
        return "%08x" % (zlib.crc32(f.read()) & 0xFFFFFFFF)


class BundledSolutions(unittest.TestCase):
    def test_every_bundled_land_is_won_by_its_tape(self):
        lands = ["land.lvl"] + sorted(os.path.relpath(p, GAME_DIR) for p in glob.glob(os.path.join(GAME_DIR, "levels", "*.lvl")))
        self.assertGreaterEqual(len(lands), 1)
        for land in lands:
            with self.subTest(land=land):
                tape = os.path.join(GAME_DIR, land[:-4] + ".tape")
                self.assertTrue(os.path.isfile(tape), "no solution tape for " + land)
                r = run("replay", tape)
                self.assertEqual(r.returncode, 0, r.stderr)
                out = json.loads(r.stdout)
                self.assertTrue(out["crc32_ok"])
                self.assertTrue(out["won"], "%s is not won by its tape: %s" % (land, r.stdout))
                self.assertEqual(out["ended_at_step"], out["frames"], "the tape goes on past its win")
                self.assertEqual(out["diamonds_left"], 0)


class RefusedTapes(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.land = os.path.join(self.dir.name, "l.lvl")
        src = os.path.join(self.dir.name, "l.land")
        with open(src, "w") as f:
            f.write("size 3 1\ntextures rock.pcx granite.bmp cobble.pcx\nfacing P 1\nlevel 0\n  .P...D\n")
        r = run("build", src, self.land)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.head = "tape 1\nland l.lvl\ncrc32 %s\nseed 3\nframes 100\n" % crc_of(self.land)

    def tearDown(self):
        self.dir.cleanup()

    def replay(self, text, *extra):
        path = os.path.join(self.dir.name, "t.tape")
        with open(path, "w") as f:
            f.write(text)
        return run("replay", path, *extra)

    def test_a_good_tape_wins_from_any_folder(self):
        r = self.replay(self.head + "# forward to the diamond\n1 100 A\n")
        self.assertEqual(r.returncode, 0, r.stderr)
        out = json.loads(r.stdout)
        self.assertEqual((out["won"], out["ended_at_step"], out["seed"], out["frames"]), (True, 31, 3, 100))

    def test_each_way_of_breaking_a_tape(self):
        h = self.head
        cases = [
            ("unknown header", h + "speed 4\n", 6, "unknown line"),
            ("unknown key", h + "1 5 A JUMP\n", 6, "unknown key JUMP"),
            ("missing header", h.replace("seed 3\n", ""), None, '"seed"'),
            ("repeated header", h + "seed 4\n", 6, "second"),
            ("first frame 0", h + "0 5 A\n", 6, "FROM"),
            ("first after last", h + "9 5 A\n", 6, "FROM <= TO"),
            ("past the frames", h + "90 101 A\n", 6, "past the tape's last frame"),
            ("seed too big", h.replace("seed 3", "seed 4294967296"), 4, "seed"),
            ("frames too big", h.replace("frames 100", "frames 99999999999999999999"), 5, "frames"),
            ("range too big", h + "1 99999999999999999999 A\n", 6, "FROM"),
            ("negative", h + "-1 5 A\n", 6, "FROM"),
            ("other version", h.replace("tape 1", "tape 2"), 1, "tape 1"),
            ("short crc", h.replace("crc32 ", "crc32 0"), 3, "crc32"),
            ("upper-case crc", h.replace("crc32 " + crc_of(self.land), "crc32 ABCDEF12"), 3, "crc32"),
            ("land without name", h.replace("land l.lvl", "land"), 2, "land"),
        ]
        for name, text, line, words in cases:
            with self.subTest(name):
                r = self.replay(text)
                self.assertEqual(r.returncode, 2, r.stdout + r.stderr)
                self.assertEqual(r.stdout, "")
                self.assertIn(words, r.stderr)
                if line:
                    self.assertIn("t.tape:%d:" % line, r.stderr)

    def test_a_missing_or_changed_land(self):
        r = self.replay(self.head.replace("land l.lvl", "land gone.lvl"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("gone.lvl", r.stderr)
        self.assertIn("t.tape", r.stderr)
        # A changed land still plays, for its author to see, but fails.
        r = self.replay(self.head.replace("crc32 " + crc_of(self.land), "crc32 00000000") + "1 100 A\n")
        self.assertEqual(r.returncode, 1)
        self.assertIn("00000000", r.stderr)
        self.assertIn(crc_of(self.land), r.stderr)
        self.assertFalse(json.loads(r.stdout)["crc32_ok"])
        # --land names the land to play instead, checked all the same.
        r = self.replay(self.head.replace("land l.lvl", "land gone.lvl"), "--land", self.land)
        self.assertEqual(r.returncode, 0, r.stderr)


class GameArguments(unittest.TestCase):
    def test_help_and_wrong_arguments(self):
        r = subprocess.run([GAME, "--help"], capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 0)
        for word in ("--record", "--replay", "LAND.lvl"):
            self.assertIn(word, r.stdout)
        for args in (["--bogus"], ["--record"], ["--replay", "a.tape", "b.lvl"], ["a.lvl", "b.lvl"]):
            with self.subTest(args=args):
                r = subprocess.run([GAME, *args], capture_output=True, text=True, timeout=60)
                self.assertEqual(r.returncode, 2)
                self.assertIn("usage", r.stderr)


if __name__ == "__main__":
    unittest.main()
