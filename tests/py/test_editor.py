"""The level editor in 640 x 480: a land built, saved and played; unsaved
changes guarded; a save that fails; undo, redo and test play."""
import json
import shutil
import subprocess

import pytest

from checks import (chooser_shown, cursor_alone, editor_panel_shown, loaded_shown, menu_shown,
                    one_player_game_shown, question_gone, replace_question_shown, save_failure_shown,
                    saved_shown, selector_640_shown, unreachable_shown, unsaved_question_shown, VIEW_TOLERANCE)
from game import copy_editor_game
from screen import CONVERT, Verdict, mismatch
from steps import UP_TO_640, open_editor, open_land, parked, save_as, walk_chooser
from tool import run_tool

pytestmark = pytest.mark.window


def saved_land_faults(land):
    """What differs in the land that test_editor_session builds."""
    tiles = {(t["x"], t["y"]): t for t in land["tiles"]}
    wrong = []

    def hollows(x, y):
        return [(h["slope"], h["floor"], h["roof"]) for h in tiles[x, y]["hollows"]]

    def objects(x, y):
        return [(o["type"], o["z"]) for h in tiles[x, y]["hollows"] for o in h["objects"]]

    for cell in [(1, 0), (2, 0), (3, 1), (3, 2), (3, 3), (4, 3), (5, 3), (5, 4), (4, 4)]:
        if hollows(*cell) != [(0, 0, 1)]:
            wrong.append(f"{cell} has hollows {hollows(*cell)}, want one open level 0")
    if hollows(3, 0) != [(1, 0, 1)]:
        wrong.append(f"(3, 0) has hollows {hollows(3, 0)}, want slope 1 on level 0")
    for cell in [(0, 0), (4, 0), (4, 1), (4, 2), (2, 1), (5, 2), (3, 4)]:
        if hollows(*cell):
            wrong.append(f"{cell} was not to be opened: {hollows(*cell)}")
    if tiles[3, 1]["wall"][1] != [2]:
        wrong.append(f"the east wall of (3, 1) is {tiles[3, 1]['wall'][1]}, want [2]")
    if tiles[3, 2]["wall"][1] != [0]:
        wrong.append(f"the east wall of (3, 2) is {tiles[3, 2]['wall'][1]}, want [0]")
    want = {(4, 3): [(2, 0)], (5, 4): [(3, 0)], (3, 3): [(1, 0)], (13, 10): [(2, 1)],
            (13, 13): [(3, 1)], (10, 12): []}
    for cell, objs in want.items():
        if objects(*cell) != objs:
            wrong.append(f"{cell} holds {objects(*cell)}, want {objs}")
    players = [o for t in land["tiles"] for h in t["hollows"] for o in h["objects"] if o["type"] == 1]
    if land["n_players"] != 1 or len(players) != 1 or players[0]["index"] != 0:
        wrong.append(f"{land['n_players']} players declared, {len(players)} placed: want player 1 alone")
    if land["n_diamonds"] != 2:
        wrong.append(f"{land['n_diamonds']} diamonds, want 2")
    return wrong


def test_editor_session(game, screen, window_dir):
    # A user builds a land in the editor, saves it under a new name and
    # plays it.  The camera stays at (0, 0, 0) looking along x+1, so Y moves
    # the cursor to the next column, H back, J to the previous row, L to the
    # next.
    folder = copy_editor_game(window_dir / "game")
    game.start(folder)
    screen.wait_for("menu", menu_shown)
    open_editor(screen)
    screen.wait_for("editor panel in Blocks mode", editor_panel_shown("land.lvl", "Blocks"))
    # The cursor starts in the camera's own cell, too near to be drawn, and
    # the camera sits in solid rock with nothing in sight.
    screen.wait_for("a view of fog alone", lambda shot: shot.fill(160, 0, 480, 480, entry=0))
    screen.press("y")
    # One cell ahead, at depth 1: a disc of radius 10, 0.3 below the eye.
    screen.wait_for("the cursor one cell ahead", cursor_alone(400, 312))
    screen.press("i")
    screen.wait_for("the cursor one level up", cursor_alone(400, 72))
    screen.press("k")
    screen.wait_for("the cursor back down", cursor_alone(400, 312))

    # A corridor ending in a slope, a corridor south and a room beside it.
    screen.keys(*"m y m y m period l m l m l m y m y m l m h m".split())
    screen.press("n")
    screen.wait_for("panel in Textures mode", editor_panel_shown("land.lvl", "Textures"))
    # The east wall of (3, 1), which the land's player will see: surface
    # walls, texture 0 stepped twice.
    screen.keys(*"m j j j h period period".split())
    screen.press("n")
    screen.wait_for("panel in Objects mode", editor_panel_shown("land.lvl", "Objects"))
    # A diamond at (4, 3); at (5, 4) a diamond that the second press turns
    # into a rock.
    screen.keys(*"l l y comma y l comma comma".split())
    screen.press("n")
    screen.wait_for("panel in Players mode", editor_panel_shown("land.lvl", "Players"))
    # Player 1 leaves the room of land3.lvl for (3, 3).
    screen.keys(*"h h j comma".split())

    save_as(screen, folder, "myland.lvl")
    screen.wait_for("alert: level saved", saved_shown)
    screen.press("Return")
    # Player 1 has left the room of land3.lvl, and its diamond behind.
    screen.wait_for("alert: a diamond out of reach", unreachable_shown("1 diamond cannot be reached"))
    screen.press("Return")
    screen.wait_for("panel naming the saved file", editor_panel_shown(f"{folder}/myland.lvl", "Players"))
    # Saved, so Esc asks nothing.
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("menu after Esc in the saved land", menu_shown)

    r = run_tool("check", "myland.lvl", cwd=folder, game=folder)
    assert r.returncode == 0, f"tavo-tool check refuses the saved land: {r.stdout}{r.stderr}"
    r = run_tool("info", "myland.lvl", cwd=folder, game=folder)
    assert r.returncode == 0, f"tavo-tool info cannot read the saved land: {r.stderr}"
    wrong = saved_land_faults(json.loads(r.stdout))
    assert not wrong, "the saved land is not what was built:\n" + "\n".join(wrong)

    # Player 1 looks north along the corridor to the slope; the diamond and
    # the rock lie behind its right shoulder, out of sight.
    view = screen.expect_view("myland.lvl", "480x480", 0, "view", game=folder)
    open_land(screen, "myland.lvl")
    screen.wait_for("chooser still on 640x480", chooser_shown("640x480"))
    screen.press("Return")
    screen.use(640, 480)
    screen.wait_for("the saved land's game view", one_player_game_shown(640, 480, 0, view))
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("menu after Esc in the game", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)


def test_editor_unsaved(game, screen, window_dir):
    # Esc with the land changed asks first: No stays, Yes leaves.  An Esc
    # that closes a dialog is not taken for the editor's own.
    folder = copy_editor_game(window_dir / "game")
    game.start(folder)
    screen.wait_for("menu", menu_shown)
    open_editor(screen)
    screen.wait_for("editor panel in Blocks mode", editor_panel_shown("land.lvl", "Blocks"))
    screen.press("F2")
    screen.wait_for("load selector", selector_640_shown("Load level", f"{folder}/"))
    screen.press("Escape")
    screen.wait_for("editor after leaving the selector", editor_panel_shown("land.lvl", "Blocks"))
    # Nothing has changed yet: an editor that took the Esc would be gone.
    screen.press("n")
    screen.wait_for("the editor in Textures mode after leaving the selector",
                    editor_panel_shown("land.lvl", "Textures"))
    screen.keys("n", "n", "n", "y", "m")
    screen.wait_for("editor back in Blocks mode", editor_panel_shown("land.lvl", "Blocks"))
    screen.press("Escape")
    screen.wait_for("question about unsaved changes", unsaved_question_shown)
    screen.press("n")
    screen.wait_for("the question gone after No", question_gone)
    # The editor goes on, and the n answered the question only.
    screen.press("n")
    screen.wait_for("the editor in Textures mode after No", editor_panel_shown("land.lvl", "Textures"))
    screen.press("Escape")
    screen.wait_for("question about unsaved changes again", unsaved_question_shown)
    screen.press("y")
    screen.use(320, 200)
    screen.wait_for("menu after Yes", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)


def test_editor_failed_save(game, screen, build_land, window_dir):
    # A save that cannot be written leaves the old file as it was, and the
    # land still unsaved.  Root may write anywhere, but nobody can open a
    # folder as the file the save writes first.
    folder = copy_editor_game(window_dir / "game")
    old = build_land("old", into=folder, game=folder)
    kept = window_dir / "old.lvl"
    shutil.copy2(old, kept)
    (folder / "old.lvl.tmp").mkdir()
    game.start(folder)
    screen.wait_for("menu", menu_shown)
    open_editor(screen)
    screen.wait_for("editor panel", editor_panel_shown("land.lvl", "Blocks"))
    screen.keys("y", "m")
    save_as(screen, folder, "old.lvl")
    screen.wait_for("question about replacing old.lvl", replace_question_shown("old.lvl"))
    screen.press("y")
    screen.wait_for("alert: not saved", parked(screen, save_failure_shown("old.lvl")))
    # With the pointer off its button the alert takes Esc, not Return.
    screen.press("Escape")
    screen.wait_for("editor after the alert", editor_panel_shown(f"{folder}/old.lvl", "Blocks"))
    assert old.read_bytes() == kept.read_bytes(), "the failed save changed old.lvl"
    assert (folder / "old.lvl.tmp").is_dir(), "old.lvl.tmp is no longer a folder"
    lands = sorted(p.name for p in folder.glob("*.lvl"))
    assert lands == ["land3.lvl", "old.lvl"], f"the lands in the folder are {lands}"
    screen.press("Escape")
    screen.wait_for("question about unsaved changes after the failed save", unsaved_question_shown)
    screen.press("y")
    screen.use(320, 200)
    screen.wait_for("menu after Yes", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)


def view_is(screen, name):
    """The editor's 480 x 480 view shows expected/NAME.png exactly (nothing
    in the editor's land moves)."""
    return lambda shot: shot.image(160, 0, screen.expected_dir / f"{name}.png")


def settled_view(screen, name, unlike=None):
    """The view, once two shots in a row agree (and differ from view
    UNLIKE), kept as expected/NAME.png."""
    last, now = screen.work / "view-last.png", screen.work / "view-now.png"

    def check(shot):
        crop = subprocess.run([CONVERT, str(shot.path), "-crop", "480x480+160+0", "+repage", f"PNG24:{now}"],
                              capture_output=True, text=True, timeout=60)
        if crop.returncode != 0:
            return Verdict(2, "convert: " + crop.stderr)
        if last.exists() and shot.image(160, 0, last) and not (unlike and view_is(screen, unlike)(shot)):
            now.replace(screen.expected_dir / f"{name}.png")
            last.unlink()
            return Verdict(0)
        now.replace(last)
        return mismatch("the view has not settled" + (f" on a picture unlike {unlike}" if unlike else ""))
    return check


def test_editor_undo_play(game, screen, build_land, window_dir):
    # A cell dug, undone and done again; the land played with F5 until its
    # only diamond is collected, and again until Esc, each time on a copy;
    # then a save over another land refused and one over the loaded land made.
    folder = copy_editor_game(window_dir / "game")
    land3 = window_dir / "land3.lvl"
    shutil.copy2(folder / "land3.lvl", land3)
    build_land("play", into=folder, game=folder)
    # What the editor makes of it, kept out of the game folder.
    dug = build_land("dug", into=window_dir, game=folder)
    view = screen.expect_view(dug, "480x480", 0, "view", game=folder)
    undug = screen.expect_view("play.lvl", "480x480", 0, "undug", game=folder)
    game.start(folder)
    screen.wait_for("menu", menu_shown)
    open_editor(screen)
    screen.wait_for("editor panel in Blocks mode", editor_panel_shown("land.lvl", "Blocks"))
    screen.press("F2")
    screen.wait_for("load selector", selector_640_shown("Load level", f"{folder}/"))
    screen.type("play.lvl")
    screen.press("Return")
    screen.wait_for("alert: level loaded", loaded_shown)
    screen.press("Return")
    screen.wait_for("panel naming play.lvl", editor_panel_shown(f"{folder}/play.lvl", "Blocks"))

    # The camera sits in the rock at (0, 0) facing east, the cursor with
    # it: two cells east is the niche.
    screen.wait_for("the view of the loaded land", settled_view(screen, "loaded"))
    screen.keys("y", "y")
    screen.wait_for("the cursor two cells east", settled_view(screen, "solid", "loaded"))
    screen.press("m")
    screen.wait_for("the view of the dug cell", settled_view(screen, "dug", "solid"))
    screen.press("u")
    screen.wait_for("the view before the dig after U", view_is(screen, "solid"))
    screen.press("r")
    screen.wait_for("the dug cell again after R", view_is(screen, "dug"))

    screen.press("F5")
    screen.wait_for("the test play of the dug land", one_player_game_shown(640, 480, 0, view))
    screen.must_differ(lambda shot: shot.image(160, 0, undug, max_wrong=VIEW_TOLERANCE))
    # Two steps west, the second into the diamond: the game ends by itself.
    screen.hold("a", 1)
    screen.wait_for("the editor back after the last diamond", editor_panel_shown(f"{folder}/play.lvl", "Blocks"))
    screen.wait_for("the editor's view as it was, diamond and all", view_is(screen, "dug"))
    screen.press("F5")
    screen.wait_for("a second test play from the start", one_player_game_shown(640, 480, 0, view))
    screen.press("Escape")
    screen.wait_for("the editor back after Esc", editor_panel_shown(f"{folder}/play.lvl", "Blocks"))
    screen.wait_for("the editor's view as it was after Esc", view_is(screen, "dug"))
    # The Esc ended the game only: the editor goes on without a question.
    screen.press("n")
    screen.wait_for("the editor in Textures mode", editor_panel_shown(f"{folder}/play.lvl", "Textures"))

    # Saving over land3.lvl asks first; No writes nothing.
    save_as(screen, folder, "land3.lvl", offered="play.lvl")
    screen.wait_for("question about replacing land3.lvl", replace_question_shown("land3.lvl"))
    screen.press("n")
    screen.wait_for("the editor after No, still on play.lvl", editor_panel_shown(f"{folder}/play.lvl", "Textures"))
    assert (folder / "land3.lvl").read_bytes() == land3.read_bytes(), "No to the question still changed land3.lvl"
    # Saving over the land loaded asks nothing.
    screen.press("F3")
    screen.wait_for("save selector offering play.lvl again", selector_640_shown("Save level", f"{folder}/play.lvl"))
    screen.press("Return")
    screen.wait_for("alert: level saved", saved_shown)
    screen.press("Return")
    screen.wait_for("the editor after saving", editor_panel_shown(f"{folder}/play.lvl", "Textures"))
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("menu after Esc in the saved land", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)

    got = run_tool("info", "play.lvl", cwd=folder, game=folder)
    assert got.returncode == 0, f"tavo-tool cannot read the saved land: {got.stderr}"
    want = run_tool("info", dug, cwd=folder, game=folder)
    assert want.returncode == 0, f"tavo-tool cannot read dug.lvl: {want.stderr}"
    assert (got.stdout, got.stderr) == (want.stdout, want.stderr), \
        "the saved land is not the dug corridor with its diamond"


def test_editor_opened_on_a_land_named_to_it(game, screen, window_dir):
    # tavo --edit NAME: the chooser, then the editor at once on NAME, which
    # does not exist yet: a new land that Save offers to write under that
    # name.  Esc then leads to the menu.
    folder = copy_editor_game(window_dir / "game")
    game.start(folder, "--edit", "mine.lvl")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    walk_chooser(screen, "Up", *UP_TO_640)
    screen.press("Return")
    screen.use(640, 480)
    screen.wait_for("editor panel naming the new land", editor_panel_shown("mine.lvl", "Blocks"))
    screen.mousemove(1023, 767)
    # A cell opened ahead, and player 1 put in it: a land that may be saved.
    screen.keys("y", "m", "n", "n", "n", "comma")
    screen.wait_for("panel in Players mode", editor_panel_shown("mine.lvl", "Players"))
    screen.press("F3")
    screen.wait_for("save selector offering mine.lvl", selector_640_shown("Save level", f"{folder}/mine.lvl"))
    screen.press("Return")
    screen.wait_for("alert: level saved", saved_shown)
    screen.press("Return")
    screen.wait_for("panel naming the saved land", editor_panel_shown(f"{folder}/mine.lvl", "Players"))
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("menu after the editor", menu_shown)

    r = run_tool("info", "mine.lvl", cwd=folder, game=folder)
    assert r.returncode == 0, f"tavo-tool info cannot read the saved land: {r.stderr}"
    tiles = {(t["x"], t["y"]): t for t in json.loads(r.stdout)["tiles"]}
    opened = [(x, y) for (x, y), t in tiles.items() if t["hollows"]]
    assert opened == [(1, 0)], f"the cells opened are {opened}, want the one ahead of the camera"
    screen.press("Escape")
    game.wait_exit(0)
