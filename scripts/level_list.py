#!/usr/bin/env python3
"""Rewrites the README's list of bundled lands, with a map and a view of each.

    scripts/level_list.py [--game-dir build/game]

Every land is read as built in the game folder (so build the game first):
lands/land.land as land.lvl, then each lands/levels/NN-name.land as
levels/NN-name.lvl.  Its name and hint come from the "# name:" and "# hint:"
lines at the top of its source; its size and contents from `tavo-tool info`.
The pictures go to docs/levels/, the list between the README's
<!-- levels --> and <!-- /levels --> lines.
"""
import argparse
import json
import os
import re
import struct
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BEGIN, END = "<!-- levels -->", "<!-- /levels -->"
MAX_MAP_WIDTH = 800


def fail(message):
    sys.exit("level_list.py: " + message)


def tool(game_dir, *args):
    r = subprocess.run([os.path.join(game_dir, "tavo-tool"), *args], cwd=game_dir,
                       capture_output=True, text=True)
    if r.returncode != 0:
        fail("tavo-tool %s failed: %s" % (" ".join(args), r.stderr.strip()))
    return r.stdout


def header(source):
    """The name and hint from the comment lines that open a land source."""
    found = {}
    with open(source, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                break
            m = re.match(r"#\s*(name|hint):\s*(.*)$", line)
            if m:
                found[m.group(1)] = (found.get(m.group(1), "") + " " + m.group(2)).strip()
    return found.get("name"), found.get("hint")


def png_size(path):
    with open(path, "rb") as f:
        return struct.unpack(">II", f.read(24)[16:24])


def lands():
    """(source, built file inside the game folder) of every bundled land, in order."""
    found = [(os.path.join(REPO, "lands", "land.land"), "land.lvl")]
    levels = os.path.join(REPO, "lands", "levels")
    for name in sorted(os.listdir(levels) if os.path.isdir(levels) else []):
        if re.fullmatch(r"\d\d-.+\.land", name):
            found.append((os.path.join(levels, name), "levels/" + name[:-5] + ".lvl"))
    return found


def describe(game_dir, source, lvl, pictures):
    info = json.loads(tool(game_dir, "info", lvl))
    stem = os.path.basename(lvl)[:-4]
    map_png = os.path.join(pictures, stem + "-map.png")
    # As large as fits a square of the width; levels wrap into rows.
    for scale in range(16, 0, -1):
        tool(game_dir, "map", lvl, map_png, "--scale", str(scale), "--width", str(MAX_MAP_WIDTH))
        if max(png_size(map_png)) <= MAX_MAP_WIDTH:
            break
    view_png = None
    if info["n_players"] > 0:
        view_png = os.path.join(pictures, stem + "-view.png")
        tool(game_dir, "render", lvl, view_png, "--size", "320x240")
    name, hint = header(source)
    return {
        "name": name or stem, "hint": hint, "file": lvl, "source": os.path.relpath(source, REPO),
        "w": info["w"], "h": info["h"], "diamonds": info["n_diamonds"], "players": info["n_players"],
        "levels": max([h["roof"] for t in info["tiles"] for h in t["hollows"]] + [1]),
        "map": os.path.relpath(map_png, REPO), "view": view_png and os.path.relpath(view_png, REPO),
    }


def plural(n, word):
    return "%d %s%s" % (n, word, "" if n == 1 else "s")


def section(entries):
    out = ["<!-- Written by scripts/level_list.py from the land sources: edit those, then run it again. -->", ""]
    for e in entries:
        out += ["### %s" % e["name"], "",
                "`%s` (from `%s`): %d × %d cells, %s, %s, %s." % (
                    e["file"], e["source"], e["w"], e["h"], plural(e["levels"], "level"),
                    plural(e["diamonds"], "diamond"), plural(e["players"], "player")), ""]
        if e["hint"]:
            out += ["*Hint:* %s" % e["hint"], ""]
        pictures = []
        if e["view"]:
            pictures.append("![%s: player 1's view at the start](%s)" % (e["name"], e["view"]))
        pictures.append("![%s: every level from above](%s)" % (e["name"], e["map"]))
        out += [" ".join(pictures), ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description="Rewrites the README's list of bundled lands.")
    parser.add_argument("--game-dir", default=os.path.join(REPO, "build", "game"),
                        help="the built game folder (default: build/game in the repository)")
    game_dir = os.path.abspath(parser.parse_args().game_dir)
    if not os.path.exists(os.path.join(game_dir, "tavo-tool")):
        fail("%s has no tavo-tool: build the game first, or give --game-dir" % game_dir)
    readme_path = os.path.join(REPO, "README.md")
    with open(readme_path, encoding="utf-8") as f:
        readme = f.read()
    lines = readme.split("\n")
    if lines.count(BEGIN) != 1 or lines.count(END) != 1 or lines.index(BEGIN) > lines.index(END):
        fail("README.md needs one line %s and, after it, one line %s around the list" % (BEGIN, END))

    pictures = os.path.join(REPO, "docs", "levels")
    os.makedirs(pictures, exist_ok=True)
    bundled = lands()
    for source, lvl in bundled:
        path = os.path.join(game_dir, lvl)
        if not os.path.exists(path):
            fail("%s is missing: build the game first" % path)
        if os.path.getmtime(path) < os.path.getmtime(source):
            print("level_list.py: warning: %s is older than its source" % path, file=sys.stderr)
    entries = [describe(game_dir, source, lvl, pictures) for source, lvl in bundled]
    # Pictures of lands that are gone or renamed would only confuse.
    wanted = {os.path.basename(e[k]) for e in entries for k in ("map", "view") if e[k]}
    for name in sorted(os.listdir(pictures)):
        if re.fullmatch(r".+-(map|view)\.png", name) and name not in wanted:
            os.remove(os.path.join(pictures, name))
            print("removed docs/levels/" + name)

    begin, end = lines.index(BEGIN), lines.index(END)
    text = "\n".join(lines[:begin + 1] + [section(entries)] + lines[end:])
    if text != readme:
        with open(readme_path, "w", encoding="utf-8") as f:
            f.write(text)
    print("README.md lists %s" % plural(len(entries), "land"))


if __name__ == "__main__":
    main()
