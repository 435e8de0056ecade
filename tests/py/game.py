"""The program under test, started as a player would start it."""
import os
import shutil
import subprocess
import time

import pytest

from paths import DATA, GAME_DIR, LANDS
from tool import build_land
from xserver import stop_process


class Game:
    """One run of the program at a time, with a HOME of its own (no stray
    user configuration) and its output kept in files of the test's folder."""

    def __init__(self, work, display, timeout):
        self.work = work
        self.home = work / "home"
        self.home.mkdir(exist_ok=True)
        self.display = display
        self.timeout = timeout
        self.proc = None
        self.stdout_path = work / "stdout"
        self.stderr_path = work / "stderr"

    def start(self, folder=GAME_DIR, *args, env=None, program=None):
        """PROGRAM (folder/tavo by default) run from FOLDER with ARGS and
        the environment variables ENV besides the usual ones."""
        assert not self.running(), "the game is started while an earlier run still runs"
        program = program or os.path.join(folder, "tavo")
        with open(self.stdout_path, "w") as out, open(self.stderr_path, "w") as err:
            self.proc = subprocess.Popen(
                [str(program), *map(str, args)], cwd=folder, stdout=out, stderr=err,
                env={**os.environ, "HOME": str(self.home), "DISPLAY": self.display, **(env or {})})

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, status):
        """The game must end by itself, with STATUS."""
        deadline = time.monotonic() + self.timeout
        while self.running():
            if time.monotonic() > deadline:
                pytest.fail(f"the game still runs {self.timeout:g}s later (want exit status {status})",
                            pytrace=False)
            time.sleep(0.1)
        got = self.proc.returncode
        assert got == status, f"the game ended with status {got}, want {status}"

    def stdout(self):
        return self.stdout_path.read_text(errors="replace")

    def stderr(self):
        return self.stderr_path.read_text(errors="replace") if self.stderr_path.exists() else ""

    def stop(self):
        if self.proc is not None:
            stop_process(self.proc)


def copy_game(dest):
    """A game folder of a test's own at DEST, without the built lands."""
    assert DATA.is_file(), f"no tavo.dat in {GAME_DIR}: build the game data first"
    dest.mkdir()
    for name in ("tavo", "tavo-tool", "tavo.dat"):
        shutil.copy2(GAME_DIR / name, dest)
    shutil.copytree(GAME_DIR / "textures", dest / "textures")
    # Without the music the game plays in silence, which does as well.
    if (GAME_DIR / "piece01.xm").is_file():
        shutil.copy2(GAME_DIR / "piece01.xm", dest)
    return dest


def copy_editor_game(dest):
    """A game folder with the land the editor starts on: not the bundled
    land3.lvl, whose room is around the camera, for the editor's tests dig
    from solid rock."""
    copy_game(dest)
    build_land(dest / "land3.lvl", LANDS / "editor_start.land", game=dest)
    return dest
