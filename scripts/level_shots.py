#!/usr/bin/python3
"""Draws the README's pictures of the level-set mode: the list of the bundled
set in 640 x 480, a few lands shown solved, and the first unsolved one, Rock
Yard, being played with its panel.  The game runs in an X server of its own, as the window tests run
it, with a HOME of its own.

    scripts/level_shots.py [OUT_DIR]     (default docs/; TAVO_BUILD_DIR as the tests)

Run it with Debian's python3, which has pytest (the window tests' modules use it).
"""
import shutil
import sys
import tempfile
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "py"))

from checks import CYAN, chooser_shown  # noqa: E402
from game import Game  # noqa: E402
from paths import DATA, GAME_DIR, TIMEOUT  # noqa: E402
from screen import Screen  # noqa: E402
from steps import UP_TO_640, walk_chooser  # noqa: E402
from xserver import XServer  # noqa: E402

# Lands shown solved, with the times of the bundled solutions, roughly.
SOLVED = {"01-first-steps.lvl": 698, "02-ramps.lvl": 1544, "03-ledges.lvl": 1739}


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[1] / "docs").resolve()
    work = Path(tempfile.mkdtemp(prefix="tavo-shots.")).resolve()
    server = XServer(work / "xvfb.log", TIMEOUT)
    game = Game(work, server.display, TIMEOUT)
    try:
        progress = game.home / ".local/share/tavo/progress.txt"
        progress.parent.mkdir(parents=True)
        lines = [f"{zlib.crc32((GAME_DIR / 'levels' / name).read_bytes()):08x} {name} {steps} 2026-12-08"
                 for name, steps in SOLVED.items()]
        progress.write_text("\n".join(lines) + "\n")

        screen = Screen(server.display, game, work, DATA, TIMEOUT)
        game.start(GAME_DIR, "--levels")
        screen.wait_for("the chooser", chooser_shown("80x80"))
        walk_chooser(screen, "Up", *UP_TO_640)
        screen.press("Return")
        screen.use(640, 480)
        screen.wait_for("the list", lambda shot: shot.text(0, 0, "Tavo", CYAN))
        shutil.copy(screen.shot().path, out / "levels-list.png")

        screen.press("Return")
        screen.wait_for("Rock Yard", lambda shot: shot.text(0, 16, "Rock Yard", entry=2, prefix=True))
        screen.hold("a", 1.5)
        shutil.copy(screen.shot().path, out / "level-panel.png")
        screen.press("Escape")
        screen.wait_for("the list again", lambda shot: shot.text(0, 0, "Tavo", CYAN))
        screen.press("Escape")
        game.wait_exit(0)
    finally:
        game.stop()
        server.stop()
        shutil.rmtree(work, ignore_errors=True)
    print(f"wrote {out / 'levels-list.png'} and {out / 'level-panel.png'}")


if __name__ == "__main__":
    main()
