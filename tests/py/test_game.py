"""Games played in the real program: the views drawn, the frame rate, lands
that cannot be loaded, two players, and a game won."""
import pytest

from checks import (VIEW_TOLERANCE, chooser_shown, land_failure_shown, menu_shown, one_player_game_shown,
                    two_player_game_shown)
from game import copy_game
from paths import GAME_DIR, LANDS
from steps import UP_TO_640, open_land, walk_chooser

pytestmark = pytest.mark.window


def leave_game(screen, game):
    """Esc in the game for the menu, and Esc there to end the program."""
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("menu after Esc in the game", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)


def test_game_loop(game, screen):
    # The default land in 640 x 480: the view as the tool draws it, a frame
    # rate that counts, Esc back to the menu.
    view = screen.expect_view("land.lvl", "480x480", 0, "view")
    game.start()
    screen.wait_for("menu", menu_shown)
    open_land(screen)
    screen.wait_for("chooser on 80x80 after the file selector", chooser_shown("80x80"))
    walk_chooser(screen, "Up", *UP_TO_640)
    screen.press("Return")
    screen.use(640, 480)
    screen.wait_for("game view and panel with a frame rate", one_player_game_shown(640, 480, 0, view))
    # So that the view has a picture to compare.
    screen.must_differ(lambda shot: shot.fill(160, 0, 480, 480))
    # The rate counts from the second second on; the player stands still
    # all the while, and the land keeps its diamonds: the game goes on.
    screen.wait_for("frame rate above 0", one_player_game_shown(640, 480, 1, view))
    leave_game(screen, game)


def test_game_ends_without_diamonds(game, screen, build_land, window_dir):
    # Nothing to collect: the game is over after its first step, twice over.
    folder = copy_game(window_dir / "game")
    build_land("land", LANDS / "alone.land", into=folder, game=folder)
    game.start(folder)
    screen.wait_for("menu", menu_shown)
    open_land(screen)
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    walk_chooser(screen, "Down", "160x120")
    screen.press("Return")
    screen.wait_for("menu after a game without diamonds, with no key pressed", menu_shown)
    open_land(screen)
    screen.wait_for("chooser still on 160x120", chooser_shown("160x120"))
    screen.press("Return")
    screen.wait_for("menu after the second game", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)


def test_game_bad_land(game, screen, window_dir):
    # Lands that cannot be loaded: a message naming the file, a key back to
    # the menu, and no game.
    folder = copy_game(window_dir / "game")
    (folder / "land.lvl").write_text("These bytes are no land.\n" * 20)
    good = (GAME_DIR / "land.lvl").read_bytes()
    (folder / "cut.lvl").write_bytes(good[:len(good) // 2])
    game.start(folder)
    screen.wait_for("menu", menu_shown)
    open_land(screen)
    screen.wait_for("message about land.lvl", land_failure_shown("land.lvl"))
    screen.press("space")
    screen.wait_for("menu after the message about land.lvl", menu_shown)
    open_land(screen, "cut.lvl")
    screen.wait_for("message about cut.lvl", land_failure_shown("cut.lvl"))
    screen.press("space")
    screen.wait_for("menu after the message about cut.lvl", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)


def test_two_players(game, screen, build_land, window_dir):
    # Two players in 800 x 600: each half a view of its own player over a
    # panel, the frame rate on the left panel only.
    folder = copy_game(window_dir / "game")
    build_land("two", into=folder, game=folder)
    view0 = screen.expect_view("two.lvl", "400x450", 0, "player0", game=folder)
    view1 = screen.expect_view("two.lvl", "400x450", 1, "player1", game=folder)
    game.start(folder)
    screen.wait_for("menu", menu_shown)
    open_land(screen, "two.lvl")
    screen.wait_for("chooser on 80x80 after choosing two.lvl", chooser_shown("80x80"))
    walk_chooser(screen, "Up", *UP_TO_640[:-1])
    screen.press("Return")
    screen.use(800, 600)
    screen.wait_for("two views over two panels", two_player_game_shown(800, 600, 1, view0, view1))
    # Each half shows its own player's view, not the other's.
    screen.must_differ(lambda shot: shot.image(400, 0, view0, max_wrong=VIEW_TOLERANCE))
    screen.must_differ(lambda shot: shot.image(0, 0, view1, max_wrong=VIEW_TOLERANCE))
    leave_game(screen, game)


def test_game_won(game, screen, build_land, window_dir):
    # The player walks into the land's only diamond: the game ends by itself.
    folder = copy_game(window_dir / "game")
    build_land("won", into=folder, game=folder)
    view = screen.expect_view("won.lvl", "120x120", 0, "view", game=folder)
    game.start(folder)
    screen.wait_for("menu", menu_shown)
    open_land(screen, "won.lvl")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    walk_chooser(screen, "Down", "160x120")
    screen.press("Return")
    screen.use(160, 120)
    # With its diamond still there the game goes on, drawing frames.
    screen.wait_for("game view with the diamond ahead", one_player_game_shown(160, 120, 1, view))
    screen.xdotool("keydown", "a")
    screen.use(320, 200)
    screen.wait_for("menu once the diamond is collected", menu_shown)
    screen.xdotool("keyup", "a")
    screen.press("Escape")
    game.wait_exit(0)
