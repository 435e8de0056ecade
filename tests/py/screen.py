"""The game's screen as a test sees it: screenshots checked by screen_check,
and keys and text played in with xdotool."""
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

from paths import GAME_DIR, SCREEN_CHECK

CONVERT = "/usr/bin/convert"  # an earlier convert on PATH may not be ImageMagick


class Verdict:
    """What a check made of a shot: true when it matched.  STATUS is
    screen_check's (0 match, 1 mismatch, 2 the check itself is wrong), SAID
    what it printed; VALUE what it read, for checks that read something."""

    def __init__(self, status, said="", value=None):
        self.status, self.said, self.value = status, said.strip(), value

    def __bool__(self):
        return self.status == 0

    def __repr__(self):
        return f"Verdict({self.status}, {self.said!r})"


def mismatch(said):
    return Verdict(1, said)


def colour_args(colour, entry):
    """screen_check's colour arguments: an (R, G, B) or a palette entry."""
    if entry is not None:
        return ["--entry", str(entry)]
    return [str(c) for c in colour] if colour else []


class Shot:
    """One screenshot, of the size of the mode shown.  Colours are asked
    for as the game asks for them, through the datafile's palette, unless
    the game runs without one (PALETTE None)."""

    def __init__(self, path, width, height, palette):
        self.path, self.width, self.height, self.palette = path, width, height, palette

    def _check(self, mode, *args, palette=True):
        cmd = [str(SCREEN_CHECK), mode, str(self.path), *map(str, args)]
        if palette and self.palette:
            cmd += ["--palette", str(self.palette)]
        r = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
        return Verdict(r.returncode, r.stdout + r.stderr)

    def text(self, x, y, text, colour=None, *, entry=None, bg=None, prefix=False):
        """TEXT at (x, y) pixel for pixel; without PREFIX the rest of the
        line is background too."""
        bg_args = ["--bg", *bg] if bg else []
        return self._check("text", x, y, text, *colour_args(colour, entry), *bg_args,
                           *(["--prefix"] if prefix else []))

    def fill(self, x, y, w, h, colour=None, *, entry=None):
        """The area in one colour: COLOUR, ENTRY, or else the background."""
        return self._check("fill", x, y, w, h, *colour_args(colour, entry))

    def number(self, x, y, colour=None, *, entry=None):
        """A number written at (x, y); its value in the verdict's VALUE."""
        v = self._check("number", x, y, *colour_args(colour, entry))
        if v:
            v.value = int(v.said)
        return v

    def image(self, x, y, reference, max_wrong=None):
        """The picture REFERENCE at (x, y), but for MAX_WRONG per cent."""
        extra = ["--max-wrong", max_wrong] if max_wrong is not None else []
        return self._check("image", x, y, reference, *extra, palette=False)

    def find(self, text, colour=None, bg=None, *, entry=None):
        """Every place where TEXT is written in COLOUR (or palette ENTRY) on
        BG (the palette's first entry when not given), in VALUE."""
        v = self._check("find", text, *colour_args(colour, entry), *(["--bg", *bg] if bg else []))
        if v:
            v.value = [tuple(int(n) for n in line.split()) for line in v.said.splitlines()]
        return v


class Screen:
    """The picture of the mode shown, in the middle of the 1024 x 768
    screen (or at its top left, for a window), and the keyboard."""

    def __init__(self, display, game, work, palette, timeout):
        self.display, self.game, self.work, self.timeout = display, game, work, timeout
        self.palette = palette
        self.width, self.height = 320, 200
        self.in_window = False
        self.last = None
        self.expected_dir = work / "expected"
        self.expected_dir.mkdir(exist_ok=True)
        self._env = {**os.environ, "DISPLAY": display}

    def use(self, width, height):
        """The size of the mode that the next shots must show."""
        self.width, self.height = width, height

    def shot(self):
        """A screenshot now, or None if none could be taken."""
        x, y = (0, 0) if self.in_window else ((1024 - self.width) // 2, (768 - self.height) // 2)
        path = self.work / "shot.png"
        xwd = subprocess.run(["xwd", "-root", "-silent"], env=self._env, capture_output=True, timeout=60)
        if xwd.returncode != 0:
            return None
        crop = subprocess.run([CONVERT, "xwd:-", "-crop", f"{self.width}x{self.height}+{x}+{y}", "+repage",
                               f"PNG24:{path}.new"], input=xwd.stdout, capture_output=True, timeout=60)
        if crop.returncode != 0:
            return None
        os.replace(f"{path}.new", path)
        self.last = Shot(path, self.width, self.height, self.palette)
        return self.last

    def wait_for(self, what, check, timeout=None):
        """Screenshots until CHECK (a function of a Shot) passes on one;
        the test fails if the time-out runs out or the game ends first."""
        timeout = self.timeout if timeout is None else timeout
        deadline = time.monotonic() + timeout
        said = "no screenshot"
        while True:
            shot = self.shot()
            if shot:
                verdict = check(shot)
                if verdict:
                    return verdict
                if verdict.status == 2:
                    pytest.fail(f"the check for {what} cannot be made: {verdict.said}", pytrace=False)
                said = verdict.said
            if self.game.proc is not None and not self.game.running():
                pytest.fail(f"the game ended (status {self.game.proc.returncode}) while waiting for {what}; "
                            f"last check said:\n{said}", pytrace=False)
            if time.monotonic() > deadline:
                pytest.fail(f"no {what} after {timeout:g}s; last check said:\n{said}", pytrace=False)
            time.sleep(0.2)

    def must_differ(self, check):
        """The last shot must fail CHECK: a mismatch, not a broken check,
        so that the checks are seen to tell one picture from another."""
        verdict = check(self.last)
        assert verdict.status == 1, f"a check gave {verdict.status} on the last screenshot, want a mismatch (1)"

    def xdotool(self, *args):
        r = subprocess.run(["xdotool", *map(str, args)], env=self._env, capture_output=True, text=True,
                           timeout=60)
        assert r.returncode == 0, f"xdotool {' '.join(map(str, args))}: {r.stderr}"
        return r.stdout

    def hold(self, key, seconds):
        self.xdotool("keydown", key)
        time.sleep(seconds)
        self.xdotool("keyup", key)

    def press(self, key):
        """KEY held for a while, as a hand would: the game polls the
        keyboard, and a press between two polls would be missed."""
        self.hold(key, 0.15)

    def keys(self, *keys):
        """Each pressed in turn, for screens that read them from a buffer
        in order, so that they need not be watched between keys."""
        for key in keys:
            self.press(key)

    def type(self, text):
        self.xdotool("type", "--delay", 50, text)

    def mousemove(self, x, y):
        self.xdotool("mousemove", x, y)

    def window_is(self, x, y, w, h):
        """The game's window is shown with that place and size.  Without a
        window manager keys go where the pointer is, and a mode change
        leaves the pointer where the library put it: once the window is
        right, the pointer is put over it."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^tavo$"], env=self._env,
                               capture_output=True, text=True, timeout=60).stdout.split()
        if not found:
            return mismatch("no window named tavo is shown")
        geometry = self.xdotool("getwindowgeometry", "--shell", found[0])
        now = dict(line.split("=", 1) for line in geometry.split())
        got = tuple(int(now[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        if got != (x, y, w, h):
            return mismatch(f"the window is X Y W H = {got}, want {(x, y, w, h)}")
        self.mousemove(10, 10)
        return Verdict(0)

    def expect_view(self, land, size, player, name, game=GAME_DIR):
        """The player's view of LAND as the land tool draws it, kept as
        expected/NAME.png beside the shots; returns its path."""
        picture = self.expected_dir / f"{name}.png"
        r = subprocess.run([str(Path(game) / "tavo-tool"), "render", str(land),
                            str(picture), "--size", size, "--player", str(player)],
                           cwd=game, capture_output=True, text=True, timeout=120)
        assert r.returncode == 0, f"the land tool cannot draw player {player}'s view of {land}: {r.stderr}"
        return picture

    def keep_pictures(self, shot_dir, name):
        """The last shot and the expected pictures copied into SHOT_DIR, to
        look at side by side; returns their paths."""
        kept = []
        pictures = [(self.last.path, f"{name}.png")] if self.last and self.last.path.exists() else []
        pictures += [(p, f"{name}-expected-{p.name}") for p in sorted(self.expected_dir.glob("*.png"))]
        for src, to in pictures:
            shot_dir.mkdir(parents=True, exist_ok=True)
            shutil.copy2(src, shot_dir / to)
            kept.append(str(shot_dir / to))
        return kept
