#!/bin/bash
# run_window_test.sh CASE -- plays one case of the real program in an X server
# of its own, pressing keys as a player would and checking screenshots.
#
# Environment (CMake sets the first three):
#   TAVO_GAME_DIR        the build's game folder: tavo and its data
#   SCREEN_CHECK         the screen_check program
#   TAVO_SHOT_DIR        where the last screenshot of a failed case is kept
#   TAVO_WINDOW_TIMEOUT  seconds to wait for each screen or exit (default 30)
#
# Nothing here trusts a fixed sleep: every step polls the screen (or the
# process) until it shows what it must, or the time-out runs out.
set -u

case_name=${1:?usage: run_window_test.sh CASE}
game_dir=${TAVO_GAME_DIR:?TAVO_GAME_DIR is not set}
screen_check=${SCREEN_CHECK:?SCREEN_CHECK is not set}
shot_dir=${TAVO_SHOT_DIR:-$PWD}
timeout_s=${TAVO_WINDOW_TIMEOUT:-30}
convert=/usr/bin/convert  # an earlier convert on PATH may not be ImageMagick

work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-window.XXXXXX")
shot=$work/shot.png
mkdir "$work/home"
xvfb_pid=
game_pid=
palette=()  # set to the datafile's palette when the game has its data

stop_process() {
    local pid=$1 _
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
    wait "$pid" 2>/dev/null
}

clean_up() {
    [[ -n $game_pid ]] && stop_process "$game_pid"
    [[ -n $xvfb_pid ]] && stop_process "$xvfb_pid"
    rm -rf "$work"
}
trap clean_up EXIT
trap 'exit 130' INT TERM HUP  # so that the clean-up runs on a kill too

fail() {
    echo "FAIL ($case_name): $*"
    if [[ -s $shot ]]; then
        mkdir -p "$shot_dir"
        cp "$shot" "$shot_dir/$case_name.png"
        echo "last screenshot: $shot_dir/$case_name.png"
    fi
    local said
    said=$(grep -v '^ALSA lib' "$work/stderr" 2>/dev/null | tail -n 20)
    [[ -n $said ]] && printf "the game's stderr (ALSA lines left out):\n%s\n" "$said"
    exit 1
}

# ---- the X server --------------------------------------------------------

start_x() {
    # -displayfd picks a free display, so tests may run side by side;
    # -r turns off auto-repeat, so a key held on a slow machine is one press.
    Xvfb -displayfd 3 -r -screen 0 1024x768x24 -nolisten tcp \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local deadline=$((SECONDS + timeout_s)) n=
    while :; do
        n=$(cat "$work/display" 2>/dev/null)
        [[ $n =~ ^[0-9]+$ ]] && break
        kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
        ((SECONDS < deadline)) || fail "Xvfb gave no display in ${timeout_s}s"
        sleep 0.1
    done
    export DISPLAY=:$n
}

# ---- the game ------------------------------------------------------------

need_data() {
    [[ -f $game_dir/tavo.dat ]] || fail "no tavo.dat in $game_dir: build the game data first"
    palette=(--palette "$game_dir/tavo.dat")
}

# start_game DIR [NAME=VALUE...]: runs tavo from DIR, with DIR as its working
# directory and a HOME of its own (no stray user configuration).
start_game() {
    local dir=$1
    shift
    (cd "$dir" && exec env HOME="$work/home" "$@" ./tavo >"$work/stdout" 2>"$work/stderr") &
    game_pid=$!
}

game_running() {
    local state
    [[ -n $game_pid ]] || return 1
    state=$(awk '{ print $3 }' "/proc/$game_pid/stat" 2>/dev/null)
    [[ -n $state && $state != Z ]]
}

# wait_for_exit STATUS: the game must end, with that status.
wait_for_exit() {
    local want=$1 deadline=$((SECONDS + timeout_s)) status
    while game_running; do
        ((SECONDS < deadline)) || fail "the game still runs ${timeout_s}s later (want exit status $want)"
        sleep 0.1
    done
    wait "$game_pid"
    status=$?
    game_pid=
    ((status == want)) || fail "the game ended with status $status, want $want"
}

# press KEY: held for a while, as a hand would, so that it cannot be missed.
press() {
    if ! { xdotool keydown "$1" && sleep 0.15 && xdotool keyup "$1"; }; then
        fail "xdotool could not press $1"
    fi
}

# ---- the screen ----------------------------------------------------------

# The 320 x 200 mode sits in the middle of the 1024 x 768 screen.
take_shot() {
    xwd -root -silent 2>/dev/null |
        "$convert" xwd:- -crop 320x200+352+284 +repage "PNG24:$shot.new" 2>/dev/null &&
        mv "$shot.new" "$shot"
}

text() { "$screen_check" text "$shot" "$@" "${palette[@]}"; }
fill() { "$screen_check" fill "$shot" "$@" "${palette[@]}"; }

# wait_for WHAT CHECK [ARG...]: polls screenshots until CHECK passes on one.
wait_for() {
    local what=$1 deadline=$((SECONDS + timeout_s)) report=
    shift
    while :; do
        if take_shot; then
            report=$("$@" 2>&1) && return 0
        else
            report="no screenshot"
        fi
        if ! game_running; then
            wait "$game_pid"
            local status=$?
            game_pid=
            fail "the game ended (status $status) while waiting for $what; last check said:
$report"
        fi
        ((SECONDS < deadline)) || fail "no $what after ${timeout_s}s; last check said:
$report"
        sleep 0.2
    done
}

# must_differ CHECK [ARG...]: the last screenshot must fail CHECK (so the
# checks can tell one picture from another).
must_differ() {
    "$@" >/dev/null 2>&1
    local rc=$?
    ((rc == 1)) || fail "check '$*' gave $rc on the last screenshot, want a mismatch (1)"
}

menu_shown() {
    text 0 0 "  G - game" 0 255 255 &&
        text 0 8 "  E - editor" 255 255 0 &&
        text 0 16 "Esc - exit" 0 255 0 &&
        fill 0 24 320 176
}

# chooser_shown SIZE
chooser_shown() {
    text 0 0 "Up/down to choose; Enter to confirm" 0 255 255 &&
        text 0 8 "$1" 255 255 0 &&
        fill 0 16 320 184
}

mode_failure_shown() {
    text 0 0 "Failed to set graphics mode." 255 0 0 && fill 0 8 320 192
}

# ---- the cases -----------------------------------------------------------

# The menu, E in upper case, a key the menu ignores, and Esc.
case_menu() {
    need_data
    start_game "$game_dir"
    wait_for "menu" menu_shown
    must_differ text 0 8 "  E - editor" 0 255 255
    must_differ text 0 0 "  G - gam" 0 255 255
    press shift+e
    wait_for "chooser after Shift+E" chooser_shown 80x80
    press Return
    wait_for "menu after choosing 80x80" menu_shown
    # Had x opened anything, the Esc after it would not end the program.
    press x
    press Escape
    wait_for_exit 0
}

# Up from the first size wraps to the last, Down from the last to the first.
case_chooser_wrap() {
    need_data
    start_game "$game_dir"
    wait_for "menu" menu_shown
    press e
    wait_for "chooser on 80x80" chooser_shown 80x80
    must_differ chooser_shown 1600x1200
    must_differ chooser_shown 80x800
    # The keypad's Enter does not confirm: had it, Up would meet the menu.
    press KP_Enter
    press Up
    wait_for "chooser on 1600x1200 after Up" chooser_shown 1600x1200
    must_differ chooser_shown 160x120
    press Down
    wait_for "chooser back on 80x80 after Down" chooser_shown 80x80
    press Down
    wait_for "chooser on 160x120 after Down" chooser_shown 160x120
    press Return
    wait_for "menu after choosing 160x120" menu_shown
    press Escape
    wait_for_exit 0
}

# A size that is set brings the menu back by itself, and stays chosen.
case_mode_change() {
    need_data
    start_game "$game_dir"
    wait_for "menu" menu_shown
    press e
    wait_for "chooser on 80x80" chooser_shown 80x80
    local size
    for size in 160x120 256x200 256x224 256x240 256x256 320x100 320x200 320x240; do
        press Down
        wait_for "chooser on $size" chooser_shown "$size"
    done
    press Return
    # Without a key: a refused mode would be waiting on its message instead.
    wait_for "menu after setting 320x240" menu_shown
    press e
    wait_for "chooser still on 320x240" chooser_shown 320x240
    press Return
    wait_for "menu after setting 320x240 again" menu_shown
    press Escape
    wait_for_exit 0
}

# A refused size: the message in red, a key back to the menu, the size kept.
case_refused_mode() {
    need_data
    start_game "$game_dir" TAVO_REFUSE_GFX=1600x1200,640x480
    wait_for "menu" menu_shown
    press e
    wait_for "chooser on 80x80" chooser_shown 80x80
    press Up
    wait_for "chooser on 1600x1200" chooser_shown 1600x1200
    press Return
    wait_for "failure message for 1600x1200" mode_failure_shown
    press space
    wait_for "menu after the failure" menu_shown
    press e
    wait_for "chooser still on 1600x1200" chooser_shown 1600x1200
    press Down
    wait_for "chooser on 80x80" chooser_shown 80x80
    press Return
    wait_for "menu after setting 80x80" menu_shown
    press Escape
    wait_for_exit 0
}

# No datafile: a message on the default palette, a key, status 1.
case_missing_data() {
    mkdir "$work/bare"
    cp "$game_dir/tavo" "$work/bare/"
    start_game "$work/bare"
    wait_for "missing data message" missing_data_shown
    press space
    wait_for_exit 1
}

missing_data_shown() {
    text 0 0 "Cannot load tavo.dat." 255 0 0 --bg 0 0 0 &&
        text 0 8 "The game's data file is missing" 255 255 255 --bg 0 0 0 --prefix &&
        fill 0 16 320 8 0 0 0 &&
        text 0 24 "Press a key." 255 255 0 --bg 0 0 0 &&
        fill 0 32 320 168 0 0 0
}

# Not even the menu's mode: a message on stderr and status 1, with and
# without the datafile.
case_menu_mode_refused() {
    local with
    for with in data no-data; do
        mkdir "$work/$with"
        cp "$game_dir/tavo" "$work/$with/"
        if [[ $with == data ]]; then
            need_data
            cp "$game_dir/tavo.dat" "$work/$with/"
        fi
        printf '[graphics]\ngfx_card = DGA2\n' >"$work/$with/allegro.cfg"
        start_game "$work/$with"
        wait_for_exit 1
        grep -q "Failed to set graphics mode" "$work/stderr" ||
            fail "($with) no message on stderr"
    done
}

if [[ $(type -t "case_$case_name") != function ]]; then
    echo "unknown case: $case_name"
    exit 2
fi
start_x
"case_$case_name"
rm -f "$shot_dir/$case_name.png"  # a shot from an earlier failure would mislead
echo "PASS ($case_name) in ${SECONDS}s"
