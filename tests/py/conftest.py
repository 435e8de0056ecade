"""Fixtures shared by the tests of the program, its tool and its install.

Window tests (marker `window`) each get an X server of their own, the game
started in it and a `screen` to watch and type into; when one fails, its
last screenshot and the pictures it was compared with are kept in
TAVO_SHOT_DIR, and the game's stderr is shown with the failure."""
import re
import shutil
import tempfile
from pathlib import Path

import pytest

import tool
from game import Game
from paths import DATA, SHOT_DIR, TIMEOUT, TOOL
from screen import Screen
from xserver import XServer


@pytest.fixture(scope="session", autouse=True)
def built_tool():
    if not TOOL.is_file():
        pytest.exit(f"no {TOOL}: build first, or point TAVO_BUILD_DIR at a build", returncode=4)


@pytest.fixture
def run_tool():
    return tool.run_tool


@pytest.fixture
def build_land(tmp_path):
    """build_land(NAME, SOURCE=None, into=None, game=None): NAME.lvl built
    into the test's scratch folder (or INTO) from SOURCE, a land's text, or
    else from lands/NAME.land."""
    def build(name, source=None, into=None, game=None):
        return tool.build_land((into or tmp_path) / f"{name}.lvl", source, game=game)
    return build


# ---- window tests ------------------------------------------------------------

@pytest.fixture
def window_dir():
    """The window test's folder: short, for the file selector's edit field
    shows the whole path of the game folder inside it."""
    folder = Path(tempfile.mkdtemp(prefix="tavo-window.")).resolve()
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture
def xserver(window_dir):
    server = XServer(window_dir / "xvfb.log", TIMEOUT)
    yield server
    server.stop()


@pytest.fixture
def game(request, window_dir, xserver):
    """The program, started with game.start(FOLDER, ARGS..., env=...)."""
    g = Game(window_dir, xserver.display, TIMEOUT)
    request.node.tavo_game = g
    yield g
    g.stop()


@pytest.fixture
def screen(request, window_dir, xserver, game):
    """The game's screen, with colours through the datafile's palette."""
    assert DATA.is_file(), f"no tavo.dat in {DATA.parent}: build the game data first"
    s = Screen(xserver.display, game, window_dir, DATA, TIMEOUT)
    request.node.tavo_screen = s
    return s


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    report = (yield).get_result()
    if report.when != "call":
        return
    name = re.sub(r"[^\w.-]+", "_", item.name)
    screen = getattr(item, "tavo_screen", None)
    if report.failed and screen:
        kept = screen.keep_pictures(SHOT_DIR, name)
        if kept:
            report.sections.append(("pictures kept", "\n".join(kept)))
    elif screen:
        # Pictures from an earlier failure would mislead.
        for old in SHOT_DIR.glob(f"{name}*.png"):
            if old.name == f"{name}.png" or old.name.startswith(f"{name}-expected-"):
                old.unlink()
    g = getattr(item, "tavo_game", None)
    if report.failed and g:
        said = [line for line in g.stderr().splitlines() if not line.startswith("ALSA lib")]
        report.sections.append(("the game's stderr (ALSA lines left out)", "\n".join(said[-20:]) or "(nothing)"))
