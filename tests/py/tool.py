"""The land tool, as the tests drive it: run with arguments, or building a
land from its text."""
import subprocess
from pathlib import Path

from paths import GAME_DIR, LANDS


def run_tool(*args, cwd=GAME_DIR, timeout=120, game=None):
    """tavo-tool ARGS run from CWD (the game folder, by default), its output
    caught as text.  GAME names another game folder whose tool to run."""
    tool = Path(game or GAME_DIR) / "tavo-tool"
    return subprocess.run([str(tool), *map(str, args)], cwd=cwd, capture_output=True, text=True,
                          timeout=timeout)


def build_land(out, source=None, game=None):
    """OUT (a .lvl path) built from SOURCE: a land's text, written beside it
    as OUT's name with .land, or the Path of a .land file; without SOURCE,
    from lands/NAME.land of these tests.  With GAME, that game folder's tool
    builds it from there.  The build must succeed."""
    out = Path(out)
    if source is None:
        src = LANDS / (out.stem + ".land")
    elif isinstance(source, Path):
        src = source
    else:
        src = out.with_suffix(".land")
        src.write_text(source)
    r = run_tool("build", src, out, cwd=game or GAME_DIR, game=game)
    assert r.returncode == 0, f"the land tool cannot build {out.name}: {r.stderr}"
    return out
