"""tavo-tool sim: the rules run headless from key files, as JSON."""
import json

import pytest

from tool import run_tool as run

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


def sim(*args):
    r = run("sim", *args)
    assert r.returncode == 0, r.stderr
    return json.loads(r.stdout)


@pytest.fixture
def keys(tmp_path):
    """A key file of the given text in the scratch folder, by its name."""
    def write(text, name="keys.txt"):
        (tmp_path / name).write_text(text)
        return str(tmp_path / name)
    return write


def test_walking_into_the_diamond_ends_on_the_step_the_rules_give(build_land, keys):
    lvl = build_land("corridor", CORRIDOR)
    for start in (1, 10):
        out = sim(lvl, "--keys", keys(f"{start} 200 A\n"), "--steps", "200")
        assert LAND_KEYS <= out.keys(), out.keys()
        assert out["ended_at_step"] == start + 30
        assert out["steps_run"] == start + 30, "the run stops at the end of the game"
        assert out["n_diamonds"] == 0
        player = [o for o in objects_of(out) if o["type"] == 1][0]
        assert (player["x"], player["move_step"], player["dir"]) == (1, 1, 1)
    # Forward held for one step only: the move started is carried out,
    # then the player stands one tile short of the diamond.
    out = sim(lvl, "--keys", keys("1 1 A\n"), "--steps", "100")
    assert out["ended_at_step"] is None
    assert out["steps_run"] == 100
    assert out["n_diamonds"] == 1
    player = [o for o in objects_of(out) if o["type"] == 1][0]
    assert (player["x"], player["move_step"]) == (1, 0)
    # Without keys nobody moves.
    out = sim(lvl, "--steps", "50")
    assert (out["steps_run"], out["ended_at_step"]) == (50, None)


def test_a_fall_onto_a_diamond_collects_it_on_passing_a_level(build_land, keys):
    lvl = build_land("ledge", LEDGE)
    out = sim(lvl, "--keys", keys("1 1 A\n"), "--steps", "200", "--trace")
    assert out["ended_at_step"] == 59
    trace = out["trace"]
    player = lambda step: [o for o in trace[step - 1] if o["type"] == 1][0]
    assert (player(30)["x"], player(30)["z"], player(30)["z_speed"]) == (1, 2, 0)
    assert (player(31)["z_speed"], player(31)["z_offset"]) == (1, 1)
    assert (player(58)["z"], player(58)["z_offset"]) == (2, 406)
    assert (player(59)["z"], player(59)["z_offset"]) == (1, 15)
    assert any(o["type"] == 2 for o in trace[57])
    assert not any(o["type"] == 2 for o in trace[58])


def test_trace_lists_every_object_of_every_step(build_land, keys):
    lvl = build_land("corridor", CORRIDOR)
    out = sim(lvl, "--keys", keys("1 200 A\n"), "--steps", "200", "--trace")
    trace = out["trace"]
    assert len(trace) == out["steps_run"]
    assert all(isinstance(step, list) for step in trace)

    def kinds(step):
        return sorted((o["type"], o["x"], o.get("kind", -1)) for o in trace[step - 1])

    # Step 1: the move starts and reserves the next tile.
    assert kinds(1) == [(0, 1, 0), (1, 0, -1), (2, 2, -1)]
    first = [o for o in trace[0] if o["type"] == 1][0]
    assert first["move_step"] == 1
    assert [o["move_step"] for o in trace[28] if o["type"] == 1] == [29]
    # Step 30: the move is over, the player re-filed and the reservation gone.
    assert kinds(30) == [(1, 1, -1), (2, 2, -1)]
    # Step 31: the next move takes the diamond and reserves its cell.
    assert kinds(31) == [(0, 2, 0), (1, 1, -1)]
    # The final land matches the last step of the trace.
    assert objects_of(out) == trace[-1]


def test_same_seed_same_run_and_rolls_that_depend_on_the_seed(build_land):
    lvl = build_land("stack", STACK)
    a = run("sim", lvl, "--seed", "7", "--steps", "120", "--trace")
    b = run("sim", lvl, "--seed", "7", "--steps", "120", "--trace")
    assert a.returncode == 0, a.stderr
    assert a.stdout == b.stdout
    ends = set()
    for seed in range(1, 13):
        out = sim(lvl, "--seed", str(seed), "--steps", "120")
        rocks = sorted((o["x"], o["y"], o["z"]) for o in objects_of(out) if o["type"] == 3)
        assert (1, 1, 0) in rocks, "the bottom rock stays"
        rocks.remove((1, 1, 0))
        moved = rocks[0]
        assert moved in [(1, 0, 0), (2, 1, 0), (1, 2, 0), (0, 1, 0)], f"seed {seed}"
        assert not any(o["type"] == 0 for o in objects_of(out)), "the roll and fall are over"
        ends.add(moved)
    assert len(ends) > 1, "some seeds roll the rock different ways"


def test_key_files_comments_blank_lines_and_mistakes(build_land, keys):
    lvl = build_land("corridor", CORRIDOR)
    plain = run("sim", lvl, "--keys", keys("1 200 A\n"), "--steps", "200")
    commented = run("sim", lvl, "--keys", keys(
        "# player 1 walks east into the diamond\n\n   # from the first step\n\t\n1 200 A\n# done\n",
        "commented.txt"), "--steps", "200")
    assert commented.returncode == 0, commented.stderr
    assert commented.stdout == plain.stdout
    assert json.loads(commented.stdout)["ended_at_step"] == 31

    bad = keys("# walk east\n1 40 A\n\n5 10 A BANANA\n", "bad.txt")
    r = run("sim", lvl, "--keys", bad)
    assert r.returncode == 2
    assert r.stdout == ""
    assert bad + ":4:" in r.stderr
    assert "BANANA" in r.stderr
    for broken in ("10 5 A\n", "x 5 A\n", "0 5 A\n"):
        r = run("sim", lvl, "--keys", keys(broken, "broken.txt"))
        assert r.returncode == 2, broken
        assert ":1:" in r.stderr, broken


def test_zero_steps_runs_nothing(build_land, keys):
    lvl = build_land("corridor", CORRIDOR)
    out = sim(lvl, "--keys", keys("1 200 A\n"), "--steps", "0", "--trace")
    assert (out["steps_run"], out["ended_at_step"], out["trace"]) == (0, None, [])
    info = json.loads(run("info", lvl).stdout)
    assert out["tiles"] == info["tiles"]
    assert out["n_diamonds"] == 1
    assert run("sim", lvl, "--steps", "-1").returncode == 2
