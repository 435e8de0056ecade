"""Where the build under test lies.  Everything may be pointed elsewhere
from the environment; the defaults suit a plain build in <repo>/build.

  TAVO_BUILD_DIR       the CMake build (default <repo>/build); its game/
                       folder holds tavo, tavo-tool and their data
  TAVO_SCREEN_CHECK    the screen_check program (default: built in the build)
  TAVO_REPACK          the repack program (default: built in the build)
  TAVO_SHOT_DIR        where a failed window test leaves its last screenshot
                       and the pictures it was compared with
  TAVO_WINDOW_TIMEOUT  seconds that each wait of a window test may take
"""
import os
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
BUILD_DIR = Path(os.environ.get("TAVO_BUILD_DIR") or REPO / "build").resolve()
GAME_DIR = BUILD_DIR / "game"
GAME = GAME_DIR / "tavo"
TOOL = GAME_DIR / "tavo-tool"
DATA = GAME_DIR / "tavo.dat"
SCREEN_CHECK = Path(os.environ.get("TAVO_SCREEN_CHECK") or BUILD_DIR / "tests" / "screen_check")
REPACK = Path(os.environ.get("TAVO_REPACK") or BUILD_DIR / "tests" / "repack")
SHOT_DIR = Path(os.environ.get("TAVO_SHOT_DIR") or BUILD_DIR / "tests" / "failed-shots")
LANDS = Path(__file__).resolve().parent / "lands"

# Generous: these machines are shared with builds, and every wait polls.
TIMEOUT = float(os.environ.get("TAVO_WINDOW_TIMEOUT") or 30)
