"""The installed game finds its data from anywhere, its desktop entry and
manual pages are sound, and the Debian package holds what `cmake --install`
puts in place.  One case plays the installed game in a window."""
import io
import os
import shutil
import subprocess
import tarfile

import pytest

from checks import chooser_shown, editor_panel_shown, menu_shown, one_player_game_shown, start_room_shown
from paths import BUILD_DIR, REPO
from steps import open_editor, open_land

pytestmark = pytest.mark.install


def install(root):
    """The build installed under ROOT (DESTDIR), where a package would put
    it under /usr; returns ROOT/usr."""
    r = subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", "/usr"], capture_output=True, text=True,
                       env={**os.environ, "DESTDIR": str(root)}, timeout=300)
    assert r.returncode == 0, "cmake --install: " + "\n".join((r.stdout + r.stderr).splitlines()[-5:])
    return root / "usr"


@pytest.fixture(scope="module")
def usr(tmp_path_factory):
    return install(tmp_path_factory.mktemp("install") / "root")


def run(*args, cwd):
    return subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True, timeout=120)


def test_what_goes_where(usr):
    want = ["bin/tavo", "bin/tavo-tool",
            "share/tavo/tavo.dat", "share/tavo/piece01.xm", "share/tavo/land.lvl", "share/tavo/land3.lvl",
            "share/applications/tavo.desktop", "share/man/man6/tavo.6", "share/man/man6/tavo-tool.6",
            "share/doc/tavo/LICENSE", "share/doc/tavo/README.md", "share/tavo/levels/set.txt"]
    sources = sorted((REPO / "lands" / "levels").glob("*.land"))
    assert sources, "no bundled level sources in lands/levels"
    for src in sources:
        want.append(f"share/tavo/levels/{src.stem}.lvl")
        if (REPO / "lands" / "solutions" / f"{src.stem}.tape").is_file():
            want.append(f"share/tavo/levels/{src.stem}.tape")
    missing = [f for f in want if not (usr / f).is_file()]
    assert not missing, f"not installed: {missing}"
    for f in ("bin/tavo", "bin/tavo-tool"):
        assert os.access(usr / f, os.X_OK), f"{f} is not executable"
    textures = sorted(p.name for p in (usr / "share/tavo/textures").iterdir())
    assert len(textures) >= 18, f"the textures are not all installed: {textures}"
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    for size in (48, 128, 256):
        icon = usr / f"share/icons/hicolor/{size}x{size}/apps/tavo.png"
        assert icon.is_file(), f"no {size}x{size} icon"
        head = icon.read_bytes()[16:24]
        w, h = int.from_bytes(head[:4], "big"), int.from_bytes(head[4:], "big")
        assert (w, h) == (size, size), f"the {size}x{size} icon is {w}x{h}"


def test_runs_from_an_unrelated_folder(usr, tmp_path):
    away = tmp_path / "away"
    away.mkdir()
    r = run(usr / "bin/tavo", "--help", cwd=away)
    assert r.returncode == 0, f"tavo --help gave status {r.returncode}"
    for word in ("--windowed", "--fullscreen", "--record", "--replay", "LAND.lvl"):
        assert word in r.stdout, f"tavo --help does not list {word}"

    # The bundled land, its textures found in the data folder (a texture that
    # is not found is named on stderr, as "texture N: ...").
    r = run(usr / "bin/tavo-tool", "info", "land.lvl", cwd=away)
    assert r.returncode == 0, f"tavo-tool info land.lvl: {r.stderr}"
    assert '"w": 16, "h": 12' in r.stdout, f"tavo-tool info land.lvl gave another land: {r.stdout[:200]}"
    assert "texture" not in r.stderr, f"tavo-tool info land.lvl complained: {r.stderr}"

    # A bundled tape by its relative name, and the land beside it.
    r = run(usr / "bin/tavo-tool", "replay", "levels/01-first-steps.tape", cwd=away)
    assert r.returncode == 0, f"tavo-tool replay: {r.stdout}{r.stderr}"
    assert '"won": true' in r.stdout, f"the bundled tape does not win: {r.stdout}"

    # A land of the working folder comes before the bundled one of that name.
    (away / "mine.land").write_text(
        "size 3 1\ntextures rock.pcx granite.bmp lichen.pcx\nlevel 0\n  .P.D..\nlevel 1\n  ......\n")
    r = run(usr / "bin/tavo-tool", "build", "mine.land", "land.lvl", cwd=away)
    assert r.returncode == 0, f"tavo-tool build: {r.stdout}{r.stderr}"
    r = run(usr / "bin/tavo-tool", "info", "land.lvl", cwd=away)
    assert r.returncode == 0, f"tavo-tool info of the local land.lvl: {r.stderr}"
    assert '"w": 3, "h": 1' in r.stdout, f"the working folder's land.lvl was not the one read: {r.stdout[:200]}"


def test_a_moved_prefix_still_finds_its_data(tmp_path):
    # The data is found from the program's own place.  An install of its
    # own, so that the others' tree stays where it is.
    moved = tmp_path / "moved"
    install(tmp_path / "root").rename(moved)
    away = tmp_path / "away"
    away.mkdir()
    r = run(moved / "bin/tavo-tool", "info", "land3.lvl", cwd=away)
    assert r.returncode == 0, f"moved: tavo-tool info land3.lvl: {r.stderr}"
    assert "texture" not in r.stderr, f"moved: tavo-tool info land3.lvl complained: {r.stderr}"


def test_desktop_entry_and_manual_pages(usr):
    for program in ("desktop-file-validate", "man"):
        assert shutil.which(program), f"{program} is missing (scripts/setup.sh installs it)"
    r = run("desktop-file-validate", usr / "share/applications/tavo.desktop", cwd=usr)
    said = (r.stdout + r.stderr).strip()
    assert r.returncode == 0 and not said, f"desktop-file-validate: {said}"
    # Started from the desktop, the game opens the level set; the editor has
    # an action of its own.
    entry = (usr / "share/applications/tavo.desktop").read_text()
    execs = [line.split("=", 1)[1] for line in entry.splitlines() if line.startswith("Exec=")]
    assert execs and all(e.startswith("tavo --levels") for e in execs[:3]), f"Exec lines: {execs}"
    assert "tavo --edit" in execs, f"no action starts the editor: {execs}"
    for page in ("tavo.6", "tavo-tool.6"):
        r = subprocess.run(["man", "--warnings", "-l", str(usr / "share/man/man6" / page)], capture_output=True,
                           text=True, env={**os.environ, "LC_ALL": "C.UTF-8", "MANWIDTH": "80"}, timeout=120)
        assert not r.stderr, f"man --warnings on {page}: {r.stderr}"


def test_the_debian_package_holds_the_installed_tree(usr, tmp_path):
    for program in ("cpack", "dpkg-deb"):
        assert shutil.which(program), f"{program} is missing (scripts/setup.sh installs it)"
    r = subprocess.run(["cpack", "-G", "DEB", "--config", str(BUILD_DIR / "CPackConfig.cmake"),
                        "-B", str(tmp_path / "package")], capture_output=True, text=True, timeout=300)
    assert r.returncode == 0, "cpack: " + "\n".join((r.stdout + r.stderr).splitlines()[-5:])
    debs = sorted((tmp_path / "package").glob("tavo_*.deb"))
    assert debs, f"cpack made no tavo_*.deb: {os.listdir(tmp_path / 'package')}"
    # The package holds exactly the installed files, under /usr.
    r = subprocess.run(["dpkg-deb", "--fsys-tarfile", str(debs[0])], capture_output=True, check=True)
    with tarfile.open(fileobj=io.BytesIO(r.stdout)) as tar:
        packaged = sorted(m.name.removeprefix("./usr/") for m in tar.getmembers() if not m.isdir())
    installed = sorted(str(p.relative_to(usr)) for p in usr.rglob("*") if p.is_file())
    only_installed = sorted(set(installed) - set(packaged))
    only_packaged = sorted(set(packaged) - set(installed))
    assert not only_installed and not only_packaged, \
        f"the package and the installed tree differ: only installed {only_installed}, only packaged {only_packaged}"
    depends = subprocess.run(["dpkg-deb", "-f", str(debs[0]), "Depends"], capture_output=True, text=True,
                             check=True).stdout
    for p in ("liballegro4.4", "libaldmb1", "libdumb1", "libloadpng4.4"):
        assert p in depends, f"the package does not depend on {p}: {depends}"


@pytest.mark.window
def test_installed(game, screen, window_dir):
    # The installed game started from a folder that holds none of its data:
    # the editor opens the bundled land3.lvl (else it would show fog), a
    # cancelled file selector plays the bundled land.lvl drawn with the
    # bundled textures, and Esc leaves.
    usr = install(window_dir / "root")
    away = window_dir / "away"
    away.mkdir()
    view = screen.expect_view("land.lvl", "480x480", 0, "view")
    game.start(away, program=usr / "bin/tavo")
    screen.wait_for("menu", menu_shown)
    open_editor(screen)
    screen.wait_for("editor panel in Blocks mode", editor_panel_shown("land.lvl", "Blocks"))
    screen.wait_for("the room of land3.lvl", start_room_shown)
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("menu after the editor", menu_shown)
    open_land(screen)
    screen.wait_for("chooser still on 640x480", chooser_shown("640x480"))
    screen.press("Return")
    screen.use(640, 480)
    screen.wait_for("the bundled land.lvl", one_player_game_shown(640, 480, 0, view))
    screen.press("Escape")
    screen.use(320, 200)
    screen.wait_for("menu after the game", menu_shown)
    screen.press("Escape")
    game.wait_exit(0)
