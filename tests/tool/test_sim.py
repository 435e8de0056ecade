#!/usr/bin/env python3
"""tavo-tool sim: the rules run headless from key files, as JSON."""
import json
import os
import subprocess
import tempfile
import unittest

from tooltest import GAME_DIR, TOOL, ScratchTest, run  # noqa: F401

LAND_KEYS = {"n_players", "n_textures", "textures", "fog_colour", "w", "h", "n_diamonds", "tiles"}

# Player 1 faces east along a corridor one level high; the diamond is two
# tiles away.  Holding forward from step F, the first move ends on step
# F + 29 and the next one starts on F + 30, collecting the diamond in the
# tile it enters.
CORRIDOR = """
size 4 1
textures rock.pcx granite.bmp cobble.pcx
facing P 1
level 0
  .P...D..
"""

# Player 1 on a ledge at level 2 walks east over a shaft with a diamond on
# its floor, two levels down.  The move ends on step 30 with nothing under
# the player, so it starts falling on step 31; falling from rest passes the
# first level 28 steps later (1 + 2 + ... + 29 = 435 sub-units >= 420),
# and then the diamond lies just below: collected on step 59.
LEDGE = """
size 3 1
textures rock.pcx granite.bmp cobble.pcx
facing P 1
level 0
  ##.D##
level 1
  ##..##
level 2
  .P..##
"""

# A rock on a rock in the middle of an open room two levels high: it rolls
# off one of four free sides, chosen at random.  The diamond sits apart,
# behind solid rock, so that the run is not over before it starts.
STACK = """
size 5 3
textures rock.pcx granite.bmp cobble.pcx
level 0
  ......##..
  ...R..##.D
  ......##..
level 1
  ......##..
  ...R..##..
  ......##..
"""



def objects_of(land):
    return [o for t in land["tiles"] for h in t["hollows"] for o in h["objects"]]


class SimTest(ScratchTest):
    def keys(self, text, name="keys.txt"):
        with open(self.path(name), "w") as f:
            f.write(text)
        return self.path(name)

    def sim(self, *args):
        r = run("sim", *args)
        self.assertEqual(r.returncode, 0, r.stderr)
        return json.loads(r.stdout)

    def test_walking_into_the_diamond_ends_on_the_step_the_rules_give(self):
        lvl = self.build("corridor", CORRIDOR)
        for start in (1, 10):
            out = self.sim(lvl, "--keys", self.keys(f"{start} 200 A\n"), "--steps", "200")
            self.assertTrue(LAND_KEYS <= out.keys(), out.keys())
            self.assertEqual(out["ended_at_step"], start + 30)
            self.assertEqual(out["steps_run"], start + 30, "the run stops at the end of the game")
            self.assertEqual(out["n_diamonds"], 0)
            player = [o for o in objects_of(out) if o["type"] == 1][0]
            self.assertEqual((player["x"], player["move_step"], player["dir"]), (1, 1, 1))
        # Forward held for one step only: the move started is carried out,
        # then the player stands one tile short of the diamond.
        out = self.sim(lvl, "--keys", self.keys("1 1 A\n"), "--steps", "100")
        self.assertIsNone(out["ended_at_step"])
        self.assertEqual(out["steps_run"], 100)
        self.assertEqual(out["n_diamonds"], 1)
        player = [o for o in objects_of(out) if o["type"] == 1][0]
        self.assertEqual((player["x"], player["move_step"]), (1, 0))
        # Without keys nobody moves.
        out = self.sim(lvl, "--steps", "50")
        self.assertEqual((out["steps_run"], out["ended_at_step"]), (50, None))

    def test_a_fall_onto_a_diamond_collects_it_on_passing_a_level(self):
        lvl = self.build("ledge", LEDGE)
        out = self.sim(lvl, "--keys", self.keys("1 1 A\n"), "--steps", "200", "--trace")
        self.assertEqual(out["ended_at_step"], 59)
        trace = out["trace"]
        player = lambda step: [o for o in trace[step - 1] if o["type"] == 1][0]
        self.assertEqual((player(30)["x"], player(30)["z"], player(30)["z_speed"]), (1, 2, 0))
        self.assertEqual((player(31)["z_speed"], player(31)["z_offset"]), (1, 1))
        self.assertEqual((player(58)["z"], player(58)["z_offset"]), (2, 406))
        self.assertEqual((player(59)["z"], player(59)["z_offset"]), (1, 15))
        self.assertTrue(any(o["type"] == 2 for o in trace[57]))
        self.assertFalse(any(o["type"] == 2 for o in trace[58]))

    def test_trace_lists_every_object_of_every_step(self):
        lvl = self.build("corridor", CORRIDOR)
        out = self.sim(lvl, "--keys", self.keys("1 200 A\n"), "--steps", "200", "--trace")
        trace = out["trace"]
        self.assertEqual(len(trace), out["steps_run"])
        self.assertTrue(all(isinstance(step, list) for step in trace))

        def kinds(step):
            return sorted((o["type"], o["x"], o.get("kind", -1)) for o in trace[step - 1])

        # Step 1: the move starts and reserves the next tile.
        self.assertEqual(kinds(1), [(0, 1, 0), (1, 0, -1), (2, 2, -1)])
        first = [o for o in trace[0] if o["type"] == 1][0]
        self.assertEqual(first["move_step"], 1)
        self.assertEqual([o["move_step"] for o in trace[28] if o["type"] == 1], [29])
        # Step 30: the move is over, the player re-filed and the reservation gone.
        self.assertEqual(kinds(30), [(1, 1, -1), (2, 2, -1)])
        # Step 31: the next move takes the diamond and reserves its cell.
        self.assertEqual(kinds(31), [(0, 2, 0), (1, 1, -1)])
        # The final land matches the last step of the trace.
        self.assertEqual(objects_of(out), trace[-1])

    def test_same_seed_same_run_and_rolls_that_depend_on_the_seed(self):
        lvl = self.build("stack", STACK)
        a = run("sim", lvl, "--seed", "7", "--steps", "120", "--trace")
        b = run("sim", lvl, "--seed", "7", "--steps", "120", "--trace")
        self.assertEqual(a.returncode, 0, a.stderr)
        self.assertEqual(a.stdout, b.stdout)
        ends = set()
        for seed in range(1, 13):
            out = self.sim(lvl, "--seed", str(seed), "--steps", "120")
            rocks = sorted((o["x"], o["y"], o["z"]) for o in objects_of(out) if o["type"] == 3)
            self.assertIn((1, 1, 0), rocks, "the bottom rock stays")
            rocks.remove((1, 1, 0))
            moved = rocks[0]
            self.assertIn(moved, [(1, 0, 0), (2, 1, 0), (1, 2, 0), (0, 1, 0)], f"seed {seed}")
            self.assertFalse(any(o["type"] == 0 for o in objects_of(out)), "the roll and fall are over")
            ends.add(moved)
        self.assertGreater(len(ends), 1, "some seeds roll the rock different ways")

    def test_key_files_comments_blank_lines_and_mistakes(self):
        lvl = self.build("corridor", CORRIDOR)
        plain = run("sim", lvl, "--keys", self.keys("1 200 A\n"), "--steps", "200")
        commented = run("sim", lvl, "--keys", self.keys(
            "# player 1 walks east into the diamond\n\n   # from the first step\n\t\n1 200 A\n# done\n",
            "commented.txt"), "--steps", "200")
        self.assertEqual(commented.returncode, 0, commented.stderr)
        self.assertEqual(commented.stdout, plain.stdout)
        self.assertEqual(json.loads(commented.stdout)["ended_at_step"], 31)

        bad = self.keys("# walk east\n1 40 A\n\n5 10 A BANANA\n", "bad.txt")
        r = run("sim", lvl, "--keys", bad)
        self.assertEqual(r.returncode, 2)
        self.assertEqual(r.stdout, "")
        self.assertIn(bad + ":4:", r.stderr)
        self.assertIn("BANANA", r.stderr)
        for broken in ("10 5 A\n", "x 5 A\n", "0 5 A\n"):
            r = run("sim", lvl, "--keys", self.keys(broken, "broken.txt"))
            self.assertEqual(r.returncode, 2, broken)
            self.assertIn(":1:", r.stderr, broken)

    def test_zero_steps_runs_nothing(self):
        lvl = self.build("corridor", CORRIDOR)
        out = self.sim(lvl, "--keys", self.keys("1 200 A\n"), "--steps", "0", "--trace")
        self.assertEqual((out["steps_run"], out["ended_at_step"], out["trace"]), (0, None, []))
        info = json.loads(run("info", lvl).stdout)
        self.assertEqual(out["tiles"], info["tiles"])
        self.assertEqual(out["n_diamonds"], 1)
        self.assertEqual(run("sim", lvl, "--steps", "-1").returncode, 2)


if __name__ == "__main__":
    unittest.main(verbosity=2)
