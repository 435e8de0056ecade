"""tavo --levels on a small set of two lands: the list, a land won, its
results and the next land; the panel, a pause, a loss named, a rewind and a
restart; progress and the best run kept for the next time the game starts."""
import json

import pytest

from checks import BLACK, BLUE, CYAN, GREEN, WHITE, YELLOW, chooser_shown
from game import copy_game
from paths import LANDS
from screen import mismatch
from steps import walk_chooser
from tool import build_land, run_tool

pytestmark = pytest.mark.window

SET = LANDS / "set"
DOWN_TO_320 = ("160x120", "256x200", "256x224", "256x240", "256x256", "320x100", "320x200")
PANEL = 2  # the palette entry of the panel's text


def level_set(folder):
    """The two lands built into FOLDER/set, with their set.txt."""
    into = folder / "set"
    into.mkdir()
    for name in ("step", "drop"):
        build_land(into / f"{name}.lvl", SET / f"{name}.land", game=folder)
    (into / "set.txt").write_text((SET / "set.txt").read_text())
    return into


def solved_rows(shot):
    """The rows of the list, from 0, that say they are solved."""
    rows = set()
    for ink, bg in ((WHITE, BLACK), (YELLOW, BLUE)):
        v = shot.find("solved", ink, bg)
        if v:
            rows |= {(y - 16) // 8 for _, y in v.value}
    return rows


def list_shown(selected, rows):
    """The list of the set: its title, ROWS (title, solved) in order with row
    SELECTED yellow on blue, and the keys."""
    def check(shot):
        v = shot.text(0, 0, "A Small Set", CYAN)
        for i, (title, _) in enumerate(rows):
            chosen = i == selected
            v = v and shot.text(0, 16 + 8 * i, f"{i + 1:2d} {title}", YELLOW if chosen else WHITE,
                                bg=BLUE if chosen else None, prefix=True)
        v = v and shot.text(0, 184, "Up/Down Enter:play E:edit Esc:quit", GREEN)
        want = {i for i, (_, solved) in enumerate(rows) if solved}
        if v and solved_rows(shot) != want:
            return mismatch(f"the rows shown solved are {sorted(solved_rows(shot))}, want {sorted(want)}")
        return v
    return check


def panel_title(title):
    return lambda shot: shot.text(0, 16, title, entry=PANEL, prefix=True)


def in_panel(text):
    """TEXT written somewhere in the panel's ink."""
    return lambda shot: shot.find(text, entry=PANEL)


def test_a_set_played_won_and_kept(game, screen, window_dir):
    folder = copy_game(window_dir / "game")
    level_set(folder)
    game.start(folder, "--levels", "set")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    walk_chooser(screen, "Down", *DOWN_TO_320)
    screen.press("Return")
    screen.wait_for("the list, the first land chosen", list_shown(0, [("One Step", False), ("The Drop", False)]))

    # The first land: its panel names it; the diamond ahead wins it.
    screen.press("Return")
    screen.wait_for("the panel of One Step", panel_title("One Step"))
    screen.hold("a", 0.3)
    screen.wait_for("the results", lambda shot: shot.text(0, 0, "Level complete", CYAN)
                    and shot.text(0, 8, "One Step", WHITE) and shot.text(0, 24, "Time 0:00.", WHITE, prefix=True)
                    and shot.text(0, 32, "Best 0:00.", YELLOW, prefix=True)
                    and shot.text(0, 40, "Rewinds 0  Restarts 0", WHITE))

    # On to the next land: a pause, a restart, a loss named.
    screen.press("Return")
    screen.wait_for("the panel of The Drop", panel_title("The Drop"))
    start = screen.expect_view(folder / "set/drop.lvl", "240x200", 0, "drop-start", game=folder)
    screen.press("p")
    screen.wait_for("Paused in the panel", in_panel("Paused"))
    screen.press("p")
    screen.hold("a", 0.6)
    screen.wait_for("the loss named", in_panel("A diamond"))
    # Held R takes the game back through what happened, to its start; held
    # Backspace starts it again.
    at_start = (lambda shot: shot.image(80, 0, start, max_wrong=3)
                and shot.text(0, 40, "2/2", entry=PANEL, prefix=True))
    screen.hold("r", 1.5)
    screen.wait_for("the start, rewound", at_start)
    screen.hold("a", 0.6)
    screen.wait_for("the loss named again", in_panel("A diamond"))
    screen.hold("BackSpace", 0.8)
    screen.wait_for("the start again", at_start)
    screen.press("Escape")
    screen.wait_for("the list, the first land solved", list_shown(1, [("One Step", True), ("The Drop", False)]))
    screen.press("Escape")
    game.wait_exit(0)

    # The next start remembers the size, the progress and the best run.
    game.start(folder, "--levels", "set")
    screen.wait_for("chooser on 320x200", chooser_shown("320x200"))
    screen.press("Return")
    screen.wait_for("the list after a new start", list_shown(1, [("One Step", True), ("The Drop", False)]))
    screen.press("Escape")
    game.wait_exit(0)
    best = list((game.home / ".local/share/tavo/best").glob("step-*.tape"))
    assert len(best) == 1, f"best runs kept: {best}"
    r = run_tool("replay", str(best[0]), cwd=folder, game=folder)
    assert r.returncode == 0 and json.loads(r.stdout)["won"], f"the best run does not win: {r.stdout}{r.stderr}"
