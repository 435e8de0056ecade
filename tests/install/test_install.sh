#!/bin/bash
# test_install.sh -- the installed game finds its data from anywhere, its
# desktop entry and manual pages are sound, and the Debian package holds
# what `cmake --install` puts in place.
#
# Environment (CMake sets both): TAVO_BUILD_DIR, the built tree to install;
# TAVO_SOURCE_DIR, the sources, for the lands that must be installed.
set -u

build=${TAVO_BUILD_DIR:?TAVO_BUILD_DIR is not set}
source_dir=${TAVO_SOURCE_DIR:?TAVO_SOURCE_DIR is not set}
work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-install.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

DESTDIR=$work/root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    fail "cmake --install: $(tail -n 5 "$work/install.log")"
usr=$work/root/usr

# ---- what goes where --------------------------------------------------------

want=(bin/tavo bin/tavo-tool
    share/tavo/tavo.dat share/tavo/piece01.xm share/tavo/land.lvl share/tavo/land3.lvl
    share/applications/tavo.desktop share/man/man6/tavo.6 share/man/man6/tavo-tool.6
    share/doc/tavo/LICENSE share/doc/tavo/README.md)
for src in "$source_dir"/lands/levels/*.land; do
    name=$(basename "$src" .land)
    want+=("share/tavo/levels/$name.lvl")
    [[ -f $source_dir/lands/solutions/$name.tape ]] && want+=("share/tavo/levels/$name.tape")
done
for f in "${want[@]}"; do
    [[ -f $usr/$f ]] || fail "$f is not installed"
done
for f in bin/tavo bin/tavo-tool; do
    [[ -x $usr/$f ]] || fail "$f is not executable"
done
(($(ls "$usr/share/tavo/textures" | wc -l) >= 18)) || fail "the textures are not all installed: $(ls "$usr/share/tavo/textures")"

# A PNG's width and height are the big-endian words at bytes 16 and 20.
for size in 48 128 256; do
    icon=$usr/share/icons/hicolor/${size}x$size/apps/tavo.png
    [[ -f $icon ]] || fail "no ${size}x$size icon"
    read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$icon")
    [[ $w == "$size" && $h == "$size" ]] || fail "the ${size}x$size icon is ${w}x$h"
done

# ---- run from an unrelated folder ------------------------------------------

mkdir "$work/away"
cd "$work/away" || fail "no folder to run from"

help=$("$usr/bin/tavo" --help) || fail "tavo --help gave status $?"
for word in --windowed --fullscreen --record --replay LAND.lvl; do
    [[ $help == *"$word"* ]] || fail "tavo --help does not list $word"
done

# The bundled land, its textures found in the data folder (a texture that is
# not found is named on stderr, as "texture N: ...").
info=$("$usr/bin/tavo-tool" info land.lvl 2>"$work/stderr") || fail "tavo-tool info land.lvl: $(cat "$work/stderr")"
[[ $info == *'"w": 16, "h": 12'* ]] || fail "tavo-tool info land.lvl gave another land: ${info:0:200}"
grep -q texture "$work/stderr" && fail "tavo-tool info land.lvl complained: $(cat "$work/stderr")"

# A bundled tape by its relative name, and the land beside it.
replay=$("$usr/bin/tavo-tool" replay levels/01-first-steps.tape 2>&1) || fail "tavo-tool replay: $replay"
[[ $replay == *'"won": true'* ]] || fail "the bundled tape does not win: $replay"

# A land of the working folder comes before the bundled one of that name.
printf 'size 3 1\ntextures rock.pcx granite.bmp lichen.pcx\nlevel 0\n  .P.D..\nlevel 1\n  ......\n' >mine.land
"$usr/bin/tavo-tool" build mine.land land.lvl >"$work/build.log" 2>&1 || fail "tavo-tool build: $(cat "$work/build.log")"
info=$("$usr/bin/tavo-tool" info land.lvl 2>&1) || fail "tavo-tool info of the local land.lvl: $info"
[[ $info == *'"w": 3, "h": 1'* ]] || fail "the working folder's land.lvl was not the one read: ${info:0:200}"
rm land.lvl

# The data is found from the program's own place: a moved prefix still works.
mv "$usr" "$work/moved"
info=$("$work/moved/bin/tavo-tool" info land3.lvl 2>"$work/stderr") || fail "moved: tavo-tool info land3.lvl: $(cat "$work/stderr")"
grep -q texture "$work/stderr" && fail "moved: tavo-tool info land3.lvl complained: $(cat "$work/stderr")"
mv "$work/moved" "$usr"
cd "$work" || fail "cannot leave the folder"

# ---- desktop entry and manual pages ----------------------------------------

if command -v desktop-file-validate >/dev/null; then
    said=$(desktop-file-validate "$usr/share/applications/tavo.desktop" 2>&1) || fail "desktop-file-validate: $said"
    [[ -z $said ]] || fail "desktop-file-validate: $said"
else
    echo "skipped: desktop-file-validate is not installed (desktop-file-utils)"
fi

if command -v man >/dev/null; then
    for page in tavo.6 tavo-tool.6; do
        said=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$usr/share/man/man6/$page" 2>&1 >/dev/null)
        [[ -z $said ]] || fail "man --warnings on $page: $said"
    done
else
    echo "skipped: man is not installed (man-db)"
fi

# ---- the Debian package ------------------------------------------------------

if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null; then
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
        fail "cpack: $(tail -n 5 "$work/cpack.log")"
    debs=("$work"/package/tavo_*.deb)
    [[ -f ${debs[0]} ]] || fail "cpack made no tavo_*.deb: $(ls "$work/package")"
    # The package holds exactly the installed files, under /usr.
    dpkg-deb -c "${debs[0]}" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | sort >"$work/in-package"
    (cd "$usr" && find . -type f | sed 's|^\./||' | sort) >"$work/installed"
    diff "$work/installed" "$work/in-package" >"$work/diff" ||
        fail "the package and the installed tree differ (< installed, > package): $(cat "$work/diff")"
    depends=$(dpkg-deb -f "${debs[0]}" Depends)
    for p in liballegro4.4 libaldmb1 libdumb1 libloadpng4.4; do
        [[ $depends == *"$p"* ]] || fail "the package does not depend on $p: $depends"
    done
else
    echo "skipped: cpack or dpkg-deb is not installed"
fi

echo "PASS"
