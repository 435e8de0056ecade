"""The menu and the screen-size chooser of the real program, how it starts
without its data or its graphics mode, and in a window."""
import shutil

import pytest

from checks import CYAN, chooser_shown, editor_shown, menu_shown, missing_data_shown, mode_failure_shown
from paths import DATA, GAME, GAME_DIR

pytestmark = pytest.mark.window


def leave_editor(screen, w, h):
    """The editor that a size chosen on the E path opens (which proves the
    size was set), left with Esc for the menu."""
    screen.use(w, h)
    screen.wait_for(f"editor in {w}x{h}", editor_shown)
    screen.press("Escape")
    screen.use(320, 200)


def test_menu(game, screen):
    # E in upper case, a key the menu ignores, and Esc.
    game.start()
    screen.wait_for("menu", menu_shown)
    screen.must_differ(lambda shot: shot.text(0, 8, "  E - editor", CYAN))
    screen.must_differ(lambda shot: shot.text(0, 0, "  G - gam", CYAN))
    screen.press("shift+e")
    screen.wait_for("chooser after Shift+E", chooser_shown("80x80"))
    screen.press("Return")
    leave_editor(screen, 80, 80)
    screen.wait_for("menu after the editor in 80x80", menu_shown)
    # Had x opened anything, the Esc after it would not end the program.
    screen.press("x")
    screen.press("Escape")
    game.wait_exit(0)


def test_chooser_wrap(game, screen):
    # Up from the first size wraps to the last, Down from the last to the first.
    game.start()
    screen.wait_for("menu", menu_shown)
    screen.press("e")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    screen.must_differ(chooser_shown("1600x1200"))
    screen.must_differ(chooser_shown("80x800"))
    # The keypad's Enter does not confirm: had it, Up would meet the menu.
    screen.press("KP_Enter")
    screen.press("Up")
    screen.wait_for("chooser on 1600x1200 after Up", chooser_shown("1600x1200"))
    screen.must_differ(chooser_shown("160x120"))
    screen.press("Down")
    screen.wait_for("chooser back on 80x80 after Down", chooser_shown("80x80"))
    screen.press("Down")
    screen.wait_for("chooser on 160x120 after Down", chooser_shown("160x120"))
    screen.press("Return")
    leave_editor(screen, 160, 120)
    screen.wait_for("menu after the editor in 160x120", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)


def test_mode_change(game, screen):
    # A size that is set brings the menu back by itself, and stays chosen.
    game.start()
    screen.wait_for("menu", menu_shown)
    screen.press("e")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    for size in ("160x120", "256x200", "256x224", "256x240", "256x256", "320x100", "320x200", "320x240"):
        screen.press("Down")
        screen.wait_for(f"chooser on {size}", chooser_shown(size))
    screen.press("Return")
    # A refused mode would be waiting on its message instead.
    leave_editor(screen, 320, 240)
    screen.wait_for("menu after the editor in 320x240", menu_shown)
    screen.press("e")
    screen.wait_for("chooser still on 320x240", chooser_shown("320x240"))
    screen.press("Return")
    leave_editor(screen, 320, 240)
    screen.wait_for("menu after the editor in 320x240 again", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)


def test_refused_mode(game, screen):
    # A refused size: the message in red, a key back to the menu, the size kept.
    game.start(GAME_DIR, env={"TAVO_REFUSE_GFX": "1600x1200,640x480"})
    screen.wait_for("menu", menu_shown)
    screen.press("e")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    screen.press("Up")
    screen.wait_for("chooser on 1600x1200", chooser_shown("1600x1200"))
    screen.press("Return")
    screen.wait_for("failure message for 1600x1200", mode_failure_shown)
    screen.press("space")
    screen.wait_for("menu after the failure", menu_shown)
    screen.press("e")
    screen.wait_for("chooser still on 1600x1200", chooser_shown("1600x1200"))
    screen.press("Down")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    screen.press("Return")
    leave_editor(screen, 80, 80)
    screen.wait_for("menu after the editor in 80x80", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)


def test_missing_data(game, screen, window_dir):
    # No datafile: a message on the default palette, a key, status 1.
    bare = window_dir / "bare"
    bare.mkdir()
    shutil.copy2(GAME, bare)
    screen.palette = None
    game.start(bare)
    screen.wait_for("missing data message", missing_data_shown)
    screen.press("space")
    game.wait_exit(1)


@pytest.mark.parametrize("with_data", [True, False], ids=["data", "no-data"])
def test_menu_mode_refused(game, window_dir, with_data):
    # Not even the menu's mode: a message on stderr and status 1.
    folder = window_dir / "game"
    folder.mkdir()
    shutil.copy2(GAME, folder)
    if with_data:
        shutil.copy2(DATA, folder)
    (folder / "allegro.cfg").write_text("[graphics]\ngfx_card = DGA2\n")
    game.start(folder)
    game.wait_exit(1)
    assert "Failed to set graphics mode" in game.stderr(), "no message on stderr"


def test_windowed(game, screen):
    # --windowed: every mode in a window of its own size at the top left
    # (with no window manager to place it); TAVO_WINDOWED=1 asks the same,
    # and --fullscreen overrides it.
    screen.in_window = True
    game.start(GAME_DIR, "--windowed")
    screen.wait_for("a 320x200 window at the top left", lambda shot: screen.window_is(0, 0, 320, 200))
    screen.wait_for("menu in the window", menu_shown)
    screen.press("e")
    screen.wait_for("chooser in the window", chooser_shown("80x80"))
    screen.press("Return")
    screen.use(80, 80)
    screen.wait_for("an 80x80 window at the top left", lambda shot: screen.window_is(0, 0, 80, 80))
    screen.wait_for("editor in the window", editor_shown)
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("the 320x200 window again", lambda shot: screen.window_is(0, 0, 320, 200))
    screen.wait_for("menu after the editor", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)

    game.start(GAME_DIR, env={"TAVO_WINDOWED": "1"})
    screen.wait_for("a 320x200 window for TAVO_WINDOWED=1", lambda shot: screen.window_is(0, 0, 320, 200))
    screen.wait_for("menu in the window", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)

    # Full screen, the library shows a nameless window the size of the
    # screen with the picture in its middle, and leaves the named one unmapped.
    screen.in_window = False
    game.start(GAME_DIR, "--fullscreen", env={"TAVO_WINDOWED": "1"})
    screen.wait_for("menu in the middle of the screen for --fullscreen", menu_shown)
    screen.must_differ(lambda shot: screen.window_is(0, 0, 320, 200))
    screen.press("Escape")
    game.wait_exit(0)
