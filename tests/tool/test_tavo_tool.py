#!/usr/bin/env python3
"""The land tool as a level author uses it: build, info, check."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

from tooltest import GAME_DIR, TOOL, ScratchTest, run  # noqa: F401



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


class ToolTest(ScratchTest):
    def build(self, text):
        with open(self.path("src.land"), "w") as f:
            f.write(text)
        return run("build", self.path("src.land"), self.path("out.lvl"))

    def test_bundled_lands_check_and_read_as_json(self):
        for name in ("land.lvl", "land3.lvl"):
            self.assertEqual(run("check", name).returncode, 0, name)
            out = run("info", name)
            self.assertEqual(out.returncode, 0, out.stderr)
            land = json.loads(out.stdout)
            self.assertEqual(len(land["tiles"]), land["w"] * land["h"])
            order = [(t["y"], t["x"]) for t in land["tiles"]]
            self.assertEqual(order, sorted(order), "tiles in row order")
            self.assertEqual(land["n_textures"], len(land["textures"]))
        land = json.loads(run("info", "land.lvl").stdout)
        self.assertEqual(land["n_players"], 1)
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
        self.assertGreaterEqual(len(used), 8, "the default land shows at least 8 textures")
        self.assertGreaterEqual(len(slopes - {0}), 3, "slopes of several shapes")
        self.assertGreaterEqual(len(levels), 3, "hollows on several levels")
        self.assertTrue(any(len(t["hollows"]) > 1 for t in land["tiles"]))

    def test_build_then_info_shows_the_source(self):
        r = self.build(SOURCE)
        self.assertEqual(r.returncode, 0, r.stderr)
        land = json.loads(run("info", self.path("out.lvl")).stdout)
        self.assertEqual(land["textures"], ["rock.pcx", "granite.bmp", "cobble.pcx", "brick.bmp"])
        self.assertEqual(land["fog_colour"], 7)
        self.assertEqual((land["w"], land["h"]), (3, 2))
        self.assertEqual(land["n_players"], 1)
        self.assertEqual(land["n_diamonds"], 1)
        tile = {(t["x"], t["y"]): t for t in land["tiles"]}
        # Column (0,1): open at 0-1, solid above; (0,0): open only at level 4.
        h = tile[(0, 1)]["hollows"]
        self.assertEqual([(x["floor"], x["roof"]) for x in h], [(0, 2)])
        self.assertEqual(h[0]["floor_tex"], 1)
        self.assertEqual(h[0]["objects"][0]["type"], 1)
        self.assertEqual(h[0]["objects"][0]["facing"], 2)
        self.assertEqual(h[0]["objects"][0]["index"], 0)
        self.assertEqual(tile[(0, 0)]["hollows"][0]["floor"], 4)
        self.assertEqual(tile[(0, 0)]["wall"][0], [1])      # painted
        self.assertEqual(tile[(0, 0)]["wall"][1], [3])
        # (1,1) is open at 0 and 1 with a diamond; (2,1) carries the slope and the rock.
        diamond = tile[(1, 1)]["hollows"][0]["objects"][0]
        self.assertEqual((diamond["type"], diamond["z"], diamond["spin"]), (2, 0, 0))
        s = tile[(2, 1)]["hollows"]
        self.assertEqual([(x["slope"], x["floor"], x["roof"]) for x in s], [(4, 0, 2)])
        self.assertEqual((s[0]["objects"][0]["type"], s[0]["objects"][0]["z"]), (3, 1))
        self.assertIn(s[0]["objects"][0]["texture"], (0, 1, 2))
        # The middle column is open at 0 only: two hollows would need a gap.
        self.assertEqual([(x["floor"], x["roof"]) for x in tile[(1, 1)]["hollows"]], [(0, 1)])
        self.assertEqual(run("check", self.path("out.lvl")).returncode, 0)

    def test_source_errors_name_their_line(self):
        bad = SOURCE.replace(".P.D<.", ".P.D<X")
        r = self.build(bad)
        self.assertEqual(r.returncode, 1)
        self.assertIn(":10:", r.stderr)
        self.assertIn("unknown object", r.stderr)
        r = self.build(SOURCE.replace("default floor 1", "default floor 9"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("texture", r.stderr)
        r = self.build(SOURCE.replace("  ..##.R", "  ..##."))
        self.assertEqual(r.returncode, 1)
        self.assertIn(":13:", r.stderr)
        # Mistakes that used to slip through: an object inside its own slope,
        # a second size after the maps, a path for a texture name, and a map
        # row too many that looked like a comment.
        for broken, words in ((SOURCE.replace(".P.D<.", ".P.D<R"), "inside its slope"),
                              (SOURCE + "size 9 9\n", "twice"),
                              (SOURCE.replace("brick.bmp", "../brick.bmp"), "plain file name"),
                              (SOURCE.replace("level 4\n  ..####\n  ######\n",
                                              "level 4\n  ..####\n  ######\n  ######\n"), "unknown command")):
            r = self.build(broken)
            self.assertEqual(r.returncode, 1, words)
            self.assertIn(words, r.stderr)

    def test_comments_inside_maps(self):
        # A comment line inside a map is skipped; a solid cell with a blank
        # object inside a row does not start a comment.
        src = SOURCE.replace("level 0\n  ######\n", "level 0\n  # the back wall\n  ### ##\n")
        r = self.build(src)
        self.assertEqual(r.returncode, 0, r.stderr)

    def test_files_that_cannot_be_loaded(self):
        r = run("info", self.path("missing.lvl"))
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout, "")
        self.assertEqual(len(r.stderr.strip().splitlines()), 1)
        with open(self.path("junk.lvl"), "wb") as f:
            f.write(b"not a land at all")
        r = run("check", self.path("junk.lvl"))
        self.assertEqual(r.returncode, 1)
        self.assertEqual(run("frobnicate").returncode, 2)
        self.assertEqual(run("info").returncode, 2)

    def test_info_that_cannot_be_written_fails(self):
        with open("/dev/full", "w") as full:
            r = subprocess.run([TOOL, "info", "land3.lvl"], cwd=GAME_DIR, stdout=full,
                               stderr=subprocess.PIPE, text=True, timeout=120)
        self.assertEqual(r.returncode, 1)
        self.assertIn("standard output: cannot be written", r.stderr)

    def test_check_finds_bytes_beyond_the_walls(self):
        self.assertEqual(self.build(SOURCE).returncode, 0)
        # Repack the file with a stray byte after the last wall entry.
        helper = os.environ.get("TAVO_REPACK")
        if not helper:
            self.skipTest("no repack helper")
        subprocess.run([helper, self.path("out.lvl"), self.path("long.lvl")], check=True)
        r = run("check", self.path("long.lvl"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("follow the last wall entry", r.stderr)
        self.assertEqual(run("info", self.path("long.lvl")).returncode, 0)

    def test_refused_and_missing_textures_are_named(self):
        # A 1 KB BMP claiming 65536 x 65536 pixels, which the image library
        # would write far past; beside it a texture that does not exist.
        os.mkdir(self.path("textures"))
        for name in ("rock.pcx", "brick.bmp"):
            with open(os.path.join(GAME_DIR, "textures", name), "rb") as src, \
                    open(self.path("textures/" + name), "wb") as dst:
                dst.write(src.read())
        header = b"BM" + (0).to_bytes(8, "little") + (1078).to_bytes(4, "little")
        header += b"".join(v.to_bytes(4, "little") for v in (40, 65536, 65536))
        header += (1).to_bytes(2, "little") + (8).to_bytes(2, "little") + bytes(24)
        with open(self.path("textures/wrap.bmp"), "wb") as f:
            f.write(header + bytes(1024))
        src = SOURCE.replace("granite.bmp", "wrap.bmp").replace("cobble.pcx", "gone.pcx")
        self.assertEqual(self.build(src).returncode, 0)

        def tool(*args):
            return subprocess.run([TOOL, *args, "out.lvl"], cwd=self.dir.name, capture_output=True, text=True,
                                  timeout=120)

        check = tool("check")
        self.assertEqual(check.returncode, 1, check.stderr)
        self.assertIn("texture 1: textures/wrap.bmp: claims 65536 x 65536 pixels", check.stderr)
        self.assertIn("warning: texture 2: textures/gone.pcx: no such file", check.stderr)
        info = tool("info")
        self.assertEqual(info.returncode, 0, info.stderr)
        self.assertEqual(json.loads(info.stdout)["textures"][1], "wrap.bmp")
        self.assertEqual(info.stderr, check.stderr)
        # A texture that is only missing is a warning, not a fault.
        os.remove(self.path("textures/wrap.bmp"))
        check = tool("check")
        self.assertEqual(check.returncode, 0, check.stderr)
        self.assertEqual(check.stderr.count("warning: texture"), 2)

    def test_an_empty_texture_name_is_named_as_such(self):
        # An unpacked 1 x 1 solid land whose one texture has no name.
        with open(self.path("blank.lvl"), "wb") as f:
            f.write(b"slh.TAVO" + bytes([0, 1, 0, 0, 1, 1]) + b"\xff")
        check = run("check", self.path("blank.lvl"))
        self.assertEqual(check.returncode, 1, check.stderr)
        self.assertEqual(check.stderr.strip(), "tavo-tool: %s: texture 0: has no file name" % self.path("blank.lvl"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
