"""tavo-tool check --reach: the diamonds that no player can ever collect."""
import json
import random

import pytest

from paths import GAME_DIR
from tool import run_tool as run

TEXTURES = "textures rock.pcx granite.bmp cobble.pcx\n"

# A diamond behind rock, beside one in the open.
SEALED = """
size 5 1
facing P 1
level 0
  .P.D##.D##
"""

# Each way in, as a land whose every diamond can be had, with the keys that
# have it in the real game, and the same land with the way taken away: then
# the cell named is out of reach.
WAYS = {
    # Up a ramp to a ledge one level higher.
    "ramp": ("""
size 4 1
facing P 1
level 0
  .P..>.##
level 1
  .......D
""", "1 200 A", (".P..>.##", ".P....##"), [(3, 0, 1)]),
    # Off a ledge into a shaft: the fall takes the diamond on its floor, but
    # passes a ledge at the side by.
    "fall": ("""
size 3 1
facing P 1
level 0
  ##.D##
level 1
  ##....
level 2
  .P..##
""", "1 100 A", ("##.D##\nlevel 1\n  ##....", "##..##\nlevel 1\n  ##...D"), [(2, 0, 1)]),
    # A pit one level deep that the rock fills once pushed in; a rock
    # sealed in a pocket of its own fills nothing.
    "pit": ("""
size 8 1
facing P 1
level 0
  ####..##########
level 1
  .P.R.....D..##..
""", "1 400 A", (".P.R.....D..##..", ".P.......D..##.R"), [(4, 0, 1)]),
    # On top of a corner slope, walked onto from a ledge at its top; from
    # below, every side of that shape is raised.
    "slope top": ("""
size 3 1
facing P 1
level 0
  ##9.##
level 1
  .P.D..
""", "1 100 A", ("##9.##\nlevel 1\n  .P.D..", ".P9.##\nlevel 1\n  ...D.."), [(1, 0, 1)]),
    # On top of a ramp, climbed from its low side: it needs the level above
    # the player open too.
    "ramp top": ("""
size 2 1
facing P 1
level 0
  .P>.
level 1
  ...D
""", "1 100 A", ("level 1\n  ...D", "level 1\n  ##.D"), [(1, 0, 1)]),
    # A pit that a rock can fill, when the rock is no lower than the pit's
    # top: rocks never rise.
    "rock above": ("""
size 4 1
facing P 1
level 0
  ######..
level 1
  ##..##..
level 2
  .P.R.D..
""", "1 200 A", ("######..\nlevel 1\n  ##..##..\nlevel 2\n  .P.R.D..",
                 "######.R\nlevel 1\n  ##..##..\nlevel 2\n  .P...D.."), [(2, 0, 2)]),
    # Over a deep pit on a rock that the other player pushes in from the
    # side: for the moment it moves, it holds up a player one level above
    # it.  Moved one tile away, walled off, it holds up nobody.
    "pushed in": ("""
size 3 3
facing P 1
facing Q 2
level 0
  ######
  ######
  ##..##
level 1
  ######
  ######
  ##..##
level 2
  ######
  ######
  ##..##
level 3
  ######
  ######
  ##..##
level 4
  ##.Q##
  ##.R##
  ##..##
level 5
  ######
  ######
  .P...D
""", "1 100 A\n10 10 OPENBRACE", ("level 4\n  ##.Q##\n  ##.R##", "level 4\n  .Q####\n  .R####"), [(2, 2, 5)]),
    # Across a trench on the other player's head; alone, there is no way.
    "partner": ("""
size 5 1
facing P 1
facing Q 1
level 0
  ####..####
level 1
  .P.Q.....D
""", "1 40 OPENBRACE\n61 400 A", (".P.Q", ".P.."), [(4, 0, 1)]),
}


def diamonds_of(land):
    return {(o["x"], o["y"], o["z"]) for t in land["tiles"] for h in t["hollows"] for o in h["objects"]
            if o["type"] == 2}


@pytest.fixture
def build(build_land):
    """A land of TEXTURES and the source given, built in the scratch folder."""
    return lambda name, source: build_land(name, TEXTURES + source)


def reach(lvl, status):
    r = run("check", "--reach", lvl)
    assert r.returncode == status, r.stdout + r.stderr
    out = json.loads(r.stdout)
    assert out["reachable"] + len(out["unreachable"]) == out["diamonds"]
    return [(c["x"], c["y"], c["z"]) for c in out["unreachable"]]


def test_a_sealed_diamond_is_named_and_plain_check_is_unchanged(tmp_path, build):
    lvl = build("sealed", SEALED)
    assert reach(lvl, 3) == [(3, 0, 0)]
    plain = run("check", lvl)
    assert (plain.returncode, plain.stdout) == (0, "")
    # Nobody to collect anything: every diamond is out of reach.
    lvl = build("nobody", "size 2 1\nplayers 0\nlevel 0\n  .D.D\n")
    assert reach(lvl, 3) == [(0, 0, 0), (1, 0, 0)]
    after = run("check", lvl, "--reach")  # the option may follow the land
    assert (after.returncode, json.loads(after.stdout)["diamonds"]) == (3, 2)
    assert run("check", "--reach", tmp_path / "missing.lvl").returncode == 1
    assert run("check", "--reach").returncode == 2


@pytest.mark.parametrize("way", WAYS)
def test_each_way_in_is_found_and_missed_without_it(tmp_path, build, way):
    source, keys, (old, new), cut_off = WAYS[way]
    lvl = build("way", source)
    assert reach(lvl, 0) == []
    # The real rules agree: the keys win it.
    with open(tmp_path / "keys.txt", "w") as f:
        f.write(keys + "\n")
    r = run("sim", lvl, "--keys", tmp_path / "keys.txt", "--steps", "400")
    assert r.returncode == 0, r.stderr
    assert json.loads(r.stdout)["ended_at_step"] is not None, "the keys do not win " + way
    assert old in source
    lvl = build("cut", source.replace(old, new))
    assert reach(lvl, 3) == cut_off


def test_bundled_lands_have_every_diamond_within_reach():
    lands = ["land.lvl", "land3.lvl"] + sorted(
        str(p.relative_to(GAME_DIR)) for p in GAME_DIR.glob("levels/*.lvl"))
    for land in lands:
        assert reach(land, 0) == [], land


def test_the_editor_starts_in_a_room():
    # The editor's camera stands in tile (0, 0) at level 0 facing x+1:
    # its cell is open with a floor at its feet and a room ahead, and
    # player 1 is placed, so that the land can be saved as it is.
    land = json.loads(run("info", "land3.lvl").stdout)
    tiles = {(t["x"], t["y"]): t for t in land["tiles"]}
    for x in range(4):
        hollows = tiles[x, 0]["hollows"]
        assert hollows and hollows[0]["floor"] == 0 and hollows[0]["roof"] >= 2, (x, hollows)
    players = [o for t in land["tiles"] for h in t["hollows"] for o in h["objects"] if o["type"] == 1]
    assert [p["index"] for p in players] == [0]


def test_nothing_named_is_ever_collected_in_random_play(tmp_path, build):
    # Small random lands played with random keys: a diamond that the
    # rules let a player collect must never have been named.
    named = collected = 0
    for i in range(40):
        rng = random.Random(i)
        source = random_land(rng)
        lvl = build("random", source)
        r = run("check", "--reach", lvl)
        assert r.returncode in (0, 3), r.stderr
        out = set((c["x"], c["y"], c["z"]) for c in json.loads(r.stdout)["unreachable"])
        start = diamonds_of(json.loads(run("info", lvl).stdout))
        named += len(out)
        for seed in (1, 2):
            with open(tmp_path / "keys.txt", "w") as f:
                f.write(random_keys(rng, "players 2" in source, 4000))
            r = run("sim", lvl, "--keys", tmp_path / "keys.txt", "--steps", "4000", "--seed", str(seed))
            assert r.returncode == 0, r.stderr
            got = start - diamonds_of(json.loads(r.stdout))
            collected += len(got)
            assert not got & out, f"collected but named: {got & out} in\n{source}"
    # Both sides are exercised, or the test proves nothing.
    assert named > 10
    assert collected > 40


def random_land(rng):
    w, h, levels = rng.randint(2, 6), rng.randint(1, 4), rng.randint(2, 4)
    p_open = rng.uniform(0.45, 0.85)
    open_ = [[[rng.random() < p_open for x in range(w)] for y in range(h)] for z in range(levels)]
    rows = {}
    free = []
    for z in range(levels):
        for y in range(h):
            for x in range(w):
                if not open_[z][y][x]:
                    rows[x, y, z] = "##"
                elif (z == 0 or not open_[z - 1][y][x]) and rng.random() < 0.3:
                    rows[x, y, z] = rng.choice("^>v<56789abc") + "."
                else:
                    free.append((x, y, z))
    rng.shuffle(free)
    players = 2 if len(free) > 3 and rng.random() < 0.35 else 1
    for i, cell in enumerate(free):
        if i < players:
            rows[cell] = ".P" if i == 0 else ".Q"
        else:
            rows[cell] = "." + rng.choices(".DR", weights=(55, 30, 15))[0]
    text = f"size {w} {h}\nplayers {players}\nfacing P {rng.randint(0, 3)}\nfacing Q {rng.randint(0, 3)}\n"
    for z in range(levels):
        text += f"level {z}\n" + "".join("  " + "".join(rows[x, y, z] for x in range(w)) + "\n" for y in range(h))
    return text


def random_keys(rng, two, steps):
    names = [("A", "Z", "S", "F", "E", "X", "C"), ("OPENBRACE", "QUOTE", "LEFT", "RIGHT", "UP", "COMMA", "STOP")]
    lines, t = [], 1
    while t <= steps:
        n = rng.randint(10, 90)
        held = set()
        for forward, back, left, right, up, strafe_left, strafe_right in names[:2 if two else 1]:
            x = rng.random()
            held.add(forward if x < 0.45 else rng.choice((left, right)) if x < 0.65 else
                     rng.choice((strafe_left, strafe_right)) if x < 0.8 else back if x < 0.9 else up)
            if rng.random() < 0.25:
                held.add(up)
        lines.append(f"{t} {min(t + n - 1, steps)} " + " ".join(sorted(held)))
        t += n
    return "\n".join(lines) + "\n"
