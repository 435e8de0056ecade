"""SIGTERM, SIGINT and SIGHUP at every kind of screen, on a machine whose
cores are kept busy: the program must end within 2 s with 128 + the signal,
never with the library's SIGABRT (134) nor hang; the editor's unsaved land
is kept and told about once; a recording keeps the game so far."""
import json
import random
import signal
import subprocess
import time

import pytest

from checks import CYAN, alert_shown, chooser_shown, editor_panel_shown, editor_shown, menu_shown, panel_shown, selector_shown
from game import copy_editor_game, copy_game
from paths import GAME_DIR
from steps import UP_TO_640, open_editor, walk_chooser
from test_levels import DOWN_TO_320, in_panel, level_set, list_shown, panel_title
from tool import run_tool

pytestmark = pytest.mark.window

SIGNALS = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
END_WITHIN = 2.0


@pytest.fixture
def busy():
    """Both cores kept busy, as on the machine where the library's own
    handler was seen to abort or hang."""
    hogs = [subprocess.Popen(["yes"], stdout=subprocess.DEVNULL) for _ in range(2)]
    yield
    for h in hogs:
        h.kill()
        h.wait()


def ended_by(game, sig):
    """SIG sent now; the program must be gone within END_WITHIN seconds
    with 128 + SIG, having said so itself rather than through the library."""
    start = time.monotonic()
    game.proc.send_signal(sig)
    while game.running() and time.monotonic() - start < END_WITHIN:
        time.sleep(0.02)
    took = time.monotonic() - start
    if game.running():
        game.stop()
        pytest.fail(f"{sig.name}: the program still ran {END_WITHIN:g}s later", pytrace=False)
    got = game.proc.returncode
    assert got == 128 + sig, f"{sig.name}: ended with {got} after {took:.2f}s, want {128 + sig}"
    said = game.stderr()
    assert "Shutting down Allegro" not in said, f"{sig.name}: the library's own handler ran:\n{said}"
    assert f"ended by signal {int(sig)}" in said, f"{sig.name}: the program did not end itself:\n{said}"


def at_menu(game, screen, folder):
    game.start(folder)
    screen.wait_for("menu", menu_shown)


def at_selector(game, screen, folder):
    at_menu(game, screen, folder)
    screen.press("g")
    screen.wait_for("file selector", selector_shown)


def at_chooser(game, screen, folder):
    game.start(folder, "land.lvl")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))


def at_game(game, screen, folder):
    at_chooser(game, screen, folder)
    walk_chooser(screen, "Down", "160x120")
    screen.press("Return")
    screen.use(160, 120)
    screen.wait_for("a game drawing frames", panel_shown(0, 0, 40, 120, 1))


def at_editor(game, screen, folder):
    game.start(folder, "--edit")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    screen.press("Return")
    screen.use(80, 80)
    screen.wait_for("editor", editor_shown)


SCREENS = {"menu": at_menu, "selector": at_selector, "chooser": at_chooser, "game": at_game,
           "editor": at_editor}


@pytest.mark.parametrize("where", SCREENS)
def test_each_signal_ends_the_program(where, game, screen, busy):
    seed = random.randrange(1 << 30)
    moments = random.Random(seed)
    for sig in SIGNALS:
        screen.use(320, 200)
        SCREENS[where](game, screen, GAME_DIR)
        # Anywhere in a frame or a dialog's loop, not just after a screenshot.
        wait = moments.uniform(0, 0.5)
        time.sleep(wait)
        print(f"{sig.name} at the {where} {wait:.3f}s after it was seen (seed {seed})")
        ended_by(game, sig)


def recovered_files(data_home):
    return sorted((data_home / "tavo" / "recovered").glob("*.lvl"))


def test_editor_keeps_its_unsaved_land(game, screen, window_dir, busy):
    folder = copy_editor_game(window_dir / "game")
    data_home = window_dir / "data"
    env = {"XDG_DATA_HOME": str(data_home)}
    game.start(folder, env=env)
    screen.wait_for("menu", menu_shown)
    open_editor(screen)
    screen.wait_for("editor panel", editor_panel_shown("land.lvl", "Blocks"))
    # The cell ahead of the camera opened; F2 then asks about the change,
    # which also shows that the editor has taken it.
    screen.keys("y", "m", "F2")
    screen.wait_for("the unsaved-changes question",
                    alert_shown("The land has unsaved changes.", "Load another and lose them?"))
    ended_by(game, signal.SIGTERM)

    kept = recovered_files(data_home)
    assert len(kept) == 1, f"want one recovered land, found {kept}"
    assert kept[0].name.startswith("land-") and len(kept[0].name) == len("land-YYYYMMDD-HHMMSS.lvl"), kept[0].name
    assert f"kept as {kept[0]}" in game.stderr(), game.stderr()
    r = run_tool("info", kept[0], cwd=folder, game=folder)
    assert r.returncode == 0, f"the recovered land does not load: {r.stderr}"
    tiles = {(t["x"], t["y"]): t for t in json.loads(r.stdout)["tiles"]}
    opened = [(h["floor"], h["roof"]) for h in tiles[1, 0]["hollows"]]
    assert opened == [(0, 1)], f"cell (1, 0) of the recovered land has {opened}, want the cell opened"
    r = run_tool("info", "land3.lvl", cwd=folder, game=folder)
    assert not {(t["x"], t["y"]): t for t in json.loads(r.stdout)["tiles"]}[1, 0]["hollows"], \
        "the land the editor started on had that cell open already"

    # The next editor start says where it is, once.
    screen.use(320, 200)
    game.start(folder, env=env)
    screen.wait_for("menu", menu_shown)
    screen.press("e")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    walk_chooser(screen, "Up", *UP_TO_640)
    screen.press("Return")
    screen.use(640, 480)
    screen.mousemove(1023, 767)  # the pointer off the alert's text
    told = alert_shown("An unsaved land was recovered into", f"{kept[0].parent}/", kept[0].name)
    screen.wait_for("the recovered land told about", told)
    screen.press("Escape")  # with the pointer off its button, Return has nothing to press
    screen.wait_for("editor panel", editor_panel_shown("land.lvl", "Blocks"))
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("menu", menu_shown)
    screen.press("e")
    screen.wait_for("chooser on 640x480", chooser_shown("640x480"))
    screen.press("Return")
    screen.use(640, 480)
    screen.wait_for("editor panel", editor_panel_shown("land.lvl", "Blocks"))
    screen.must_differ(told)
    ended_by(game, signal.SIGHUP)
    assert recovered_files(data_home) == kept, "a land without changes was recovered"


def test_recording_keeps_the_game_so_far(game, screen, window_dir, busy):
    folder = copy_game(window_dir / "game")
    (folder / "land.lvl").write_bytes((GAME_DIR / "land.lvl").read_bytes())
    tape = folder / "so-far.tape"
    game.start(folder, "--record", tape, "land.lvl")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    walk_chooser(screen, "Down", "160x120")
    screen.press("Return")
    screen.use(160, 120)
    screen.wait_for("a game drawing frames", panel_shown(0, 0, 40, 120, 1))
    screen.hold("a", 0.5)  # a key in the tape
    time.sleep(3)  # long enough for its replay to be caught in play
    ended_by(game, signal.SIGINT)
    assert tape.is_file(), "no tape was written"
    r = run_tool("replay", tape, cwd=folder, game=folder)
    assert r.returncode == 0, f"the tape does not replay: {r.stdout}{r.stderr}"
    assert "recorded" in game.stdout(), game.stdout()

    # Its replay is ended as any game is, and writes nothing.
    before = tape.read_bytes()
    screen.use(320, 200)
    game.start(folder, "--replay", tape)
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    walk_chooser(screen, "Down", "160x120")
    screen.press("Return")
    screen.use(160, 120)
    screen.wait_for("the replay drawing frames", panel_shown(0, 0, 40, 120, 1))
    ended_by(game, signal.SIGTERM)
    assert tape.read_bytes() == before


def test_level_set_screens(game, screen, window_dir, busy):
    # The list, the results of a won land and a paused land, one signal each.
    folder = copy_game(window_dir / "game")
    level_set(folder)

    def to_list(chooser_at, selected, solved):
        game.start(folder, "--levels", "set")
        screen.wait_for(f"chooser on {chooser_at}", chooser_shown(chooser_at))
        if chooser_at != "320x200":
            walk_chooser(screen, "Down", *DOWN_TO_320)
        screen.press("Return")
        screen.wait_for("the list", list_shown(selected, [("One Step", solved), ("The Drop", False)]))

    to_list("80x80", 0, False)
    ended_by(game, signal.SIGTERM)

    to_list("320x200", 0, False)
    screen.press("Return")
    screen.wait_for("the panel of One Step", panel_title("One Step"))
    screen.hold("a", 0.3)
    screen.wait_for("the results", lambda shot: shot.text(0, 0, "Level complete", CYAN))
    ended_by(game, signal.SIGHUP)

    to_list("320x200", 1, True)
    screen.press("Return")
    screen.wait_for("the panel of The Drop", panel_title("The Drop"))
    screen.press("p")
    screen.wait_for("Paused in the panel", in_panel("Paused"))
    ended_by(game, signal.SIGINT)
