"""Tapes in the real program: a game recorded, which the land tool replays
alike, and tapes replayed, won or refused."""
import json
import re
import zlib

import pytest

from checks import chooser_shown, menu_shown, panel_shown, tape_failure_shown
from game import copy_game
from steps import walk_chooser
from tool import run_tool

pytestmark = pytest.mark.window


def test_tape_record(game, screen, build_land, window_dir):
    # A game recorded with --record on a land named on the command line (no
    # menu, no file selector): one diamond collected, then Esc.  The land
    # tool replays the tape to the same step count and the same diamonds left.
    folder = copy_game(window_dir / "game")
    build_land("rec", into=folder, game=folder)
    game.start(folder, "--record", "rec.tape", "rec.lvl")
    screen.wait_for("chooser straight away", chooser_shown("80x80"))
    walk_chooser(screen, "Down", "160x120")
    screen.press("Return")
    screen.use(160, 120)
    screen.wait_for("game view", panel_shown(0, 0, 40, 120, 1))
    # Long enough to walk into the diamond and on to the wall.
    screen.hold("a", 1.5)
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("menu after the game", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)

    said = [line for line in game.stdout().splitlines() if "steps recorded" in line]
    assert said, f"the game said nothing of its tape: {game.stdout()}"
    m = re.search(r"rec\.tape: ([0-9]+) steps recorded, ([0-9]+) diamonds left", said[0])
    assert m, f"cannot read: {said[0]}"
    steps, left = int(m[1]), int(m[2])
    assert left == 1, f"the game left {left} diamonds, want 1 (the first collected)"
    tape = (folder / "rec.tape").read_text()
    assert re.search(r"^land rec\.lvl$", tape, re.M), f"the tape names no land rec.lvl: {tape[:200]}"
    assert re.search(r"^[0-9]+ [0-9]+ A$", tape, re.M), f"the tape holds no A: {tape}"
    r = run_tool("replay", "rec.tape", cwd=folder, game=folder)
    assert r.returncode == 0, f"the tool cannot replay the tape: {r.stdout}{r.stderr}"
    replay = json.loads(r.stdout)
    assert (replay["steps_run"], replay["diamonds_left"], replay["crc32_ok"]) == (steps, 1, True), \
        f"the replay differs from the game ({steps} steps, 1 left): {r.stdout}"


def test_tape_replay(game, screen, build_land, window_dir):
    # --replay of a winning tape plays it and ends the game by itself; a
    # broken tape is refused on the menu screen with its line.
    folder = copy_game(window_dir / "game")
    land = build_land("won", into=folder, game=folder)
    crc = "%08x" % zlib.crc32(land.read_bytes())
    # Forward for a minute: only winning ends the game within the time-out.
    (folder / "won.tape").write_text(f"tape 1\nland won.lvl\ncrc32 {crc}\nseed 7\nframes 6000\n1 6000 A\n")
    (folder / "bad.tape").write_text(f"tape 1\nland won.lvl\ncrc32 {crc}\nseed 7\nframes 10\n1 11 A\n")
    game.start(folder, "--replay", "won.tape")
    screen.wait_for("chooser straight away", chooser_shown("80x80"))
    screen.press("Return")
    screen.wait_for("menu once the tape has won", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)

    game.start(folder, "--replay", "bad.tape")
    screen.wait_for("refused tape", tape_failure_shown("bad.tape:6: keys held past the"))
    screen.press("space")
    screen.wait_for("menu after the refusal", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)
