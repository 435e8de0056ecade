"""Fixtures shared by the tests of the program, its tool and its install.

Window tests (marker `window`) each get an X server of their own, the game
started in it and a `screen` to watch and type into; when one fails, its
last screenshot and the pictures it was compared with are kept in
TAVO_SHOT_DIR, and the game's stderr is shown with the failure."""
import pytest

import tool
from paths import TOOL


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
