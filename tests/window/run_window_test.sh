#!/bin/bash
# run_window_test.sh CASE -- plays one case of the real program in an X server
# of its own, pressing keys as a player would and checking screenshots.
#
# Environment (CMake sets the first three):
#   TAVO_GAME_DIR        the build's game folder: tavo, its data and tavo-tool,
#                        which builds lands and draws the views to expect
#   SCREEN_CHECK         the screen_check program
#   TAVO_SHOT_DIR        where a failed case leaves its last screenshot and
#                        the pictures it was compared with
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
mkdir "$work/home" "$work/expected"
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
    # The pictures the shot was compared with, to look at side by side.
    local picture
    for picture in "$work"/expected/*.png; do
        [[ -f $picture ]] || continue
        mkdir -p "$shot_dir"
        cp "$picture" "$shot_dir/$case_name-expected-${picture##*/}"
        echo "expected picture: $shot_dir/$case_name-expected-${picture##*/}"
    done
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

# start_game DIR [NAME=VALUE...] [-- ARG...]: runs tavo from DIR, with DIR as
# its working directory and a HOME of its own (no stray user configuration),
# with the given environment and arguments.
start_game() {
    local dir=$1 envs=()
    shift
    while (($#)) && [[ $1 != -- ]]; do
        envs+=("$1")
        shift
    done
    (($#)) && shift
    (cd "$dir" && exec env HOME="$work/home" "${envs[@]}" ./tavo "$@" >"$work/stdout" 2>"$work/stderr") &
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

# Every mode sits in the middle of the 1024 x 768 screen; shots hold only
# the mode's picture.
screen_w=320
screen_h=200

# use_screen W H: the size of the mode that the next shots must show.
use_screen() {
    screen_w=$1
    screen_h=$2
}

take_shot() {
    local crop=${screen_w}x${screen_h}+$(((1024 - screen_w) / 2))+$(((768 - screen_h) / 2))
    xwd -root -silent 2>/dev/null |
        "$convert" xwd:- -crop "$crop" +repage "PNG24:$shot.new" 2>/dev/null &&
        mv "$shot.new" "$shot"
}

text() { "$screen_check" text "$shot" "$@" "${palette[@]}"; }
fill() { "$screen_check" fill "$shot" "$@" "${palette[@]}"; }
number() { "$screen_check" number "$shot" "$@" "${palette[@]}"; }
image() { "$screen_check" image "$shot" "$@"; }

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

# The editor's panel: its key list starts at (0, 32) in palette entry 2.
# Only "N:" fits in the panel of the smallest size.
editor_shown() {
    text 0 32 "N:" --entry 2 --prefix
}

# leave_editor W H: the editor that a size chosen on the E path opens (which
# proves the size was set), left with Esc for the menu.
leave_editor() {
    use_screen "$1" "$2"
    wait_for "editor in $1x$2" editor_shown
    press Escape
    use_screen 320 200
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
    leave_editor 80 80
    wait_for "menu after the editor in 80x80" menu_shown
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
    leave_editor 160 120
    wait_for "menu after the editor in 160x120" menu_shown
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
    # A refused mode would be waiting on its message instead.
    leave_editor 320 240
    wait_for "menu after the editor in 320x240" menu_shown
    press e
    wait_for "chooser still on 320x240" chooser_shown 320x240
    press Return
    leave_editor 320 240
    wait_for "menu after the editor in 320x240 again" menu_shown
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
    leave_editor 80 80
    wait_for "menu after the editor in 80x80" menu_shown
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
        text 0 8 "The data file is missing or damaged." 255 255 255 --bg 0 0 0 &&
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

# ---- games -----------------------------------------------------------------

# copy_game DIR: a game folder of the case's own, without the built lands.
copy_game() {
    need_data
    mkdir "$1" &&
        cp -r "$game_dir"/{tavo,tavo-tool,tavo.dat,textures} "$1"/ ||
        fail "cannot copy the game folder into $1"
    # Without the music the game plays in silence, which would do as well.
    [[ -f $game_dir/piece01.xm ]] && cp "$game_dir/piece01.xm" "$1"/
}

# build_land DIR NAME.lvl: the land written on stdin, built into DIR.
build_land() {
    local source=$work/${2%.lvl}.land
    cat >"$source"
    (cd "$1" && ./tavo-tool build "$source" "$2") >"$work/tool.log" 2>&1 ||
        fail "the land tool cannot build $2: $(cat "$work/tool.log")"
}

# expect_view DIR LAND WxH PLAYER NAME: the player's view of the land as the
# land tool draws it, into $work/expected/NAME.png.
expect_view() {
    (cd "$1" && ./tavo-tool render "$2" "$work/expected/$5.png" --size "$3" --player "$4") \
        >"$work/tool.log" 2>&1 ||
        fail "the land tool cannot draw player $4's view of $2: $(cat "$work/tool.log")"
}

selector_shown() {
    text 119 13 "Load level" 255 255 0 --bg 0 0 255 --prefix
}

# open_land [NAME]: G at the menu, then NAME typed into the file selector,
# or without NAME the selector cancelled (the game falls back on land.lvl).
open_land() {
    press g
    wait_for "file selector" selector_shown
    if (($# == 0)); then
        press Escape
        return
    fi
    xdotool type --delay 50 "$1" || fail "xdotool could not type $1"
    press Return
}

# walk_chooser KEY SIZE...: KEY pressed once for each size, which the
# chooser must then show.
walk_chooser() {
    local key=$1 size
    shift
    for size in "$@"; do
        press "$key"
        wait_for "chooser on $size after $key" chooser_shown "$size"
    done
}

land_failure_shown() {
    text 0 0 "Cannot load the land:" 255 0 0 &&
        text 0 8 "$1" 255 255 255 &&
        fill 0 16 320 8 &&
        text 0 24 "Press a key." 255 255 0 &&
        fill 0 32 320 168
}

# panel_shown X Y W H MIN: a panel of colour 0 but for the frame rate in its
# top-left corner, a number in palette entry 2 from MIN to 100 (a frame is
# drawn only after a logic step, and there are 100 steps to the second).
panel_shown() {
    local x=$1 y=$2 w=$3 h=$4 min=$5 rate
    rate=$(number "$x" "$y" --entry 2) || {
        echo "no frame rate: $rate"
        return 1
    }
    if ((rate < min || rate > 100)); then
        echo "the frame rate is $rate, want $min to 100"
        return 1
    fi
    fill $((x + 8 * ${#rate})) "$y" $((w - 8 * ${#rate})) 8 --entry 0 &&
        fill "$x" $((y + 8)) "$w" $((h - 8)) --entry 0
}

# Per cent of a view that may differ from the tool's still picture: a
# diamond near the eye, caught at another angle of its spin, covers over 1
# per cent of the default land's view.  A view drawn out of place, from
# elsewhere or in other colours differs all over.
view_tolerance=3

one_player_game_shown() {
    local w=$1 h=$2 min=$3
    image $((w / 4)) 0 "$work/expected/view.png" --max-wrong "$view_tolerance" &&
        panel_shown 0 0 $((w / 4)) "$h" "$min"
}

two_player_game_shown() {
    local w=$1 h=$2 min=$3 view_h=$(($2 - $2 / 4))
    image 0 0 "$work/expected/player0.png" --max-wrong "$view_tolerance" &&
        image $((w / 2)) 0 "$work/expected/player1.png" --max-wrong "$view_tolerance" &&
        panel_shown 0 "$view_h" $((w / 2)) $((h / 4)) "$min" &&
        fill $((w / 2)) "$view_h" $((w / 2)) $((h / 4)) --entry 0
}

# The default land in 640 x 480: the view as the tool draws it, a frame rate
# that counts, Esc back to the menu.
case_game_loop() {
    need_data
    expect_view "$game_dir" land.lvl 480x480 0 view
    start_game "$game_dir"
    wait_for "menu" menu_shown
    open_land
    wait_for "chooser on 80x80 after the file selector" chooser_shown 80x80
    walk_chooser Up 1600x1200 1280x1024 1024x768 800x600 640x480
    press Return
    use_screen 640 480
    wait_for "game view and panel with a frame rate" one_player_game_shown 640 480 0
    must_differ fill 160 0 480 480  # so the view has a picture to compare
    # The rate counts from the second second on; the player stands still
    # all the while, and the land keeps its diamonds: the game goes on.
    wait_for "frame rate above 0" one_player_game_shown 640 480 1
    press Escape
    use_screen 320 200
    wait_for "menu after Esc in the game" menu_shown
    press Escape
    wait_for_exit 0
}

# Nothing to collect: the game is over after its first step, twice over.
case_game_ends_without_diamonds() {
    copy_game "$work/game"
    build_land "$work/game" land.lvl <<'EOF'
# A player alone in a small room.
size 3 3
textures rock.pcx granite.bmp cobble.pcx
level 0
  ######
  ##.P##
  ######
level 1
  ######
  ##..##
  ######
EOF
    start_game "$work/game"
    wait_for "menu" menu_shown
    open_land
    wait_for "chooser on 80x80" chooser_shown 80x80
    walk_chooser Down 160x120
    press Return
    wait_for "menu after a game without diamonds, with no key pressed" menu_shown
    open_land
    wait_for "chooser still on 160x120" chooser_shown 160x120
    press Return
    wait_for "menu after the second game" menu_shown
    press Escape
    wait_for_exit 0
}

# Lands that cannot be loaded: a message naming the file, a key back to the
# menu, and no game.
case_game_bad_land() {
    copy_game "$work/game"
    local i
    for i in $(seq 20); do
        echo "These bytes are no land."
    done >"$work/game/land.lvl"
    # The first half of a good land.
    head -c $(($(stat -c %s "$game_dir/land.lvl") / 2)) "$game_dir/land.lvl" >"$work/game/cut.lvl"
    start_game "$work/game"
    wait_for "menu" menu_shown
    open_land
    wait_for "message about land.lvl" land_failure_shown land.lvl
    press space
    wait_for "menu after the message about land.lvl" menu_shown
    open_land cut.lvl
    wait_for "message about cut.lvl" land_failure_shown cut.lvl
    press space
    wait_for "menu after the message about cut.lvl" menu_shown
    press Escape
    wait_for_exit 0
}

# Two players in 800 x 600: each half a view of its own player over a panel,
# the frame rate on the left panel only.
case_two_players() {
    copy_game "$work/game"
    build_land "$work/game" two.lvl <<'EOF'
# P looks along the hall at Q, Q at the far wall; the diamond lies behind
# them both.
size 8 6
textures rock.pcx granite.bmp cobble.pcx brick.bmp grass.pcx planks.bmp marble.pcx
players 2
facing P 1
facing Q 0
default floor 4 roof 1 wall 3
level 0
  ################
  ##..........####
  ##.P.......Q####
  ##..........####
  ##.D........####
  ################
level 1
  ################
  ##..........####
  ##..........####
  ##..........####
  ##..........####
  ################
paint wall 1 1 6 1 0-1 6 side 0
EOF
    expect_view "$work/game" two.lvl 400x450 0 player0
    expect_view "$work/game" two.lvl 400x450 1 player1
    start_game "$work/game"
    wait_for "menu" menu_shown
    open_land two.lvl
    wait_for "chooser on 80x80 after choosing two.lvl" chooser_shown 80x80
    walk_chooser Up 1600x1200 1280x1024 1024x768 800x600
    press Return
    use_screen 800 600
    wait_for "two views over two panels" two_player_game_shown 800 600 1
    # Each half shows its own player's view, not the other's.
    must_differ image 400 0 "$work/expected/player0.png" --max-wrong "$view_tolerance"
    must_differ image 0 0 "$work/expected/player1.png" --max-wrong "$view_tolerance"
    press Escape
    use_screen 320 200
    wait_for "menu after Esc in the game" menu_shown
    press Escape
    wait_for_exit 0
}

# ---- the editor in 640 x 480 -------------------------------------------------

# copy_editor_game DIR: a game folder of the case's own with the land that
# the editor starts on.
copy_editor_game() {
    copy_game "$1"
    # Not the bundled land3.lvl, whose room is around the camera: these
    # cases dig from solid rock.
    local start_land
    start_land=$(cd "$(dirname "${BASH_SOURCE[0]}")/../py/lands" && pwd)/editor_start.land
    (cd "$1" && ./tavo-tool build "$start_land" land3.lvl) >"$work/tool.log" 2>&1 ||
        fail "the land tool cannot build land3.lvl: $(cat "$work/tool.log")"
}

# open_editor: E at the menu, and 640 x 480 from the chooser's first size.
open_editor() {
    press e
    wait_for "chooser on 80x80" chooser_shown 80x80
    walk_chooser Up 1600x1200 1280x1024 1024x768 800x600 640x480
    press Return
    use_screen 640 480
    wait_for "editor in 640x480" editor_shown
    # The dialogs show Allegro's mouse pointer wherever the mode change left
    # it, over their text at times: park it in the picture's bottom-right
    # corner, where only its tip shows.
    xdotool mousemove 1023 767 || fail "xdotool could not move the pointer"
}

# panel_line Y TEXT: a line of the 160-pixel panel, blank after the text;
# a longer text is cut at the panel's edge.
panel_line() {
    local line=${2:0:20}
    local w=$((8 * ${#line}))
    text 0 "$1" "$line" --entry 2 --prefix || return 1
    ((w == 160)) || fill "$w" "$1" $((160 - w)) 8 --entry 0
}

# editor_panel_shown NAME MODE: the panel in 640 x 480, and nothing else on it.
editor_panel_shown() {
    local lines
    case $2 in
    Blocks) lines=("M:clear" "<:fill" ">:slope") ;;
    Textures) lines=("M:surface" "<:last tex" ">:next tex") ;;
    Objects) lines=("M:clear" "<:insert" ">:edit") ;;
    Players) lines=("M:clear" "<:player 1" ">:player 2") ;;
    esac
    panel_line 0 "$1" && fill 0 8 160 8 --entry 0 &&
        panel_line 16 "$2" && fill 0 24 160 8 --entry 0 &&
        panel_line 32 "N:mode" && panel_line 40 "${lines[0]}" &&
        panel_line 48 "${lines[1]}" && panel_line 56 "${lines[2]}" &&
        fill 0 64 160 416 --entry 0
}

# cursor_alone X Y: the view shows the fog, but for the cursor's white disc
# of radius 10 centred at (X, Y) of the shot.
cursor_alone() {
    local x=$1 y=$2
    fill $((x - 5)) $((y - 5)) 10 10 255 255 255 &&
        fill 160 0 480 $((y - 12)) --entry 0 &&
        fill 160 $((y + 13)) 480 $((480 - y - 13)) --entry 0 &&
        fill 160 $((y - 12)) $((x - 172)) 25 --entry 0 &&
        fill $((x + 13)) $((y - 12)) $((627 - x)) 25 --entry 0
}

# Allegro's dialogs, centred in 640 x 480 in the menu's yellow on blue.
dialog_line() { text "$1" "$2" "$3" 255 255 0 --bg 0 0 255 --prefix; }

# selector_640_shown TITLE PATH: the file selector with PATH in its edit
# field, the text cursor right after it.
selector_640_shown() {
    local end=$((46 + 8 * ${#2}))
    dialog_line 279 31 "$1" && dialog_line 46 62 "$2" &&
        fill "$end" 62 8 8 255 255 0 && fill $((end + 8)) 62 $((600 - end - 8)) 8 0 0 255
}

unsaved_question_shown() {
    dialog_line 204 216 "The land has unsaved changes." &&
        dialog_line 196 224 "Leave the editor and lose them?"
}

question_gone() {
    if unsaved_question_shown >/dev/null; then
        echo "the question is still shown"
        return 1
    fi
}

saved_shown() { dialog_line 272 216 "Level saved."; }

# unreachable_shown "N diamond(s) cannot be reached": after a save.
unreachable_shown() {
    dialog_line $((320 - 4 * ${#1})) 216 "$1" && dialog_line 264 224 "by any player."
}

# save_failure_shown NAME
save_failure_shown() {
    dialog_line 224 216 "The level was NOT saved:" &&
        dialog_line $((320 - 4 * ${#1})) 224 "$1" &&
        dialog_line 212 232 "the file cannot be written."
}

# replace_question_shown NAME: Save asks before writing over a file that
# the editor did not load or save itself.
replace_question_shown() {
    local line="$1 exists."
    dialog_line $((320 - 4 * ${#line})) 216 "$line" && dialog_line 276 224 "Replace it?"
}

# save_as DIR NAME: F3 in the editor, the offered land.lvl replaced with NAME.
save_as() {
    press F3
    wait_for "save selector offering land.lvl" selector_640_shown "Save level" "$1/land.lvl"
    local i
    for i in 1 2 3 4 5 6 7 8; do
        press BackSpace
    done
    xdotool type --delay 50 "$2" || fail "xdotool could not type $2"
    wait_for "save selector on $2" selector_640_shown "Save level" "$1/$2"
    press Return
}

# keys KEY...: each pressed in turn; the editor reads them from its buffer
# in order, so the screen need not be watched between them.
keys() {
    local k
    for k in "$@"; do
        press "$k"
    done
}

# A user builds a land in the editor, saves it under a new name and plays
# it.  The camera stays at (0, 0, 0) looking along x+1, so Y moves the
# cursor to the next column, H back, J to the previous row, L to the next.
case_editor_session() {
    copy_editor_game "$work/game"
    local game
    game=$(cd "$work/game" && pwd -P)  # as the file selector writes it
    start_game "$work/game"
    wait_for "menu" menu_shown
    open_editor
    wait_for "editor panel in Blocks mode" editor_panel_shown land.lvl Blocks
    # The cursor starts in the camera's own cell, too near to be drawn, and
    # the camera sits in solid rock with nothing in sight.
    wait_for "a view of fog alone" fill 160 0 480 480 --entry 0
    press y
    # One cell ahead, at depth 1: a disc of radius 10, 0.3 below the eye.
    wait_for "the cursor one cell ahead" cursor_alone 400 312
    press i
    wait_for "the cursor one level up" cursor_alone 400 72
    press k
    wait_for "the cursor back down" cursor_alone 400 312

    # A corridor ending in a slope, a corridor south and a room beside it.
    keys m y m y m period l m l m l m y m y m l m h m
    press n
    wait_for "panel in Textures mode" editor_panel_shown land.lvl Textures
    # The east wall of (3, 1), which the land's player will see: surface
    # walls, texture 0 stepped twice.
    keys m j j j h period period
    press n
    wait_for "panel in Objects mode" editor_panel_shown land.lvl Objects
    # A diamond at (4, 3); at (5, 4) a diamond that the second press turns
    # into a rock.
    keys l l y comma y l comma comma
    press n
    wait_for "panel in Players mode" editor_panel_shown land.lvl Players
    # Player 1 leaves the room of land3.lvl for (3, 3).
    keys h h j comma

    save_as "$game" myland.lvl
    wait_for "alert: level saved" saved_shown
    press Return
    # Player 1 has left the room of land3.lvl, and its diamond behind.
    wait_for "alert: a diamond out of reach" unreachable_shown "1 diamond cannot be reached"
    press Return
    wait_for "panel naming the saved file" editor_panel_shown "$game/myland.lvl" Players
    # Saved, so Esc asks nothing.
    press Escape
    use_screen 320 200
    wait_for "menu after Esc in the saved land" menu_shown

    (cd "$work/game" && ./tavo-tool check myland.lvl) >"$work/tool.log" 2>&1 ||
        fail "tavo-tool check refuses the saved land: $(cat "$work/tool.log")"
    (cd "$work/game" && ./tavo-tool info myland.lvl) >"$work/info.json" 2>"$work/tool.log" ||
        fail "tavo-tool info cannot read the saved land: $(cat "$work/tool.log")"
    python3 - "$work/info.json" >"$work/land.log" 2>&1 <<'EOF' || fail "the saved land is not what was built: $(cat "$work/land.log")"
import json, sys

land = json.load(open(sys.argv[1]))
tiles = {(t["x"], t["y"]): t for t in land["tiles"]}
wrong = []

def hollows(x, y):
    return [(h["slope"], h["floor"], h["roof"]) for h in tiles[x, y]["hollows"]]

def objects(x, y):
    return [(o["type"], o["z"]) for h in tiles[x, y]["hollows"] for o in h["objects"]]

for cell in [(1, 0), (2, 0), (3, 1), (3, 2), (3, 3), (4, 3), (5, 3), (5, 4), (4, 4)]:
    if hollows(*cell) != [(0, 0, 1)]:
        wrong.append(f"{cell} has hollows {hollows(*cell)}, want one open level 0")
if hollows(3, 0) != [(1, 0, 1)]:
    wrong.append(f"(3, 0) has hollows {hollows(3, 0)}, want slope 1 on level 0")
for cell in [(0, 0), (4, 0), (4, 1), (4, 2), (2, 1), (5, 2), (3, 4)]:
    if hollows(*cell):
        wrong.append(f"{cell} was not to be opened: {hollows(*cell)}")
if tiles[3, 1]["wall"][1] != [2]:
    wrong.append(f"the east wall of (3, 1) is {tiles[3, 1]['wall'][1]}, want [2]")
if tiles[3, 2]["wall"][1] != [0]:
    wrong.append(f"the east wall of (3, 2) is {tiles[3, 2]['wall'][1]}, want [0]")
want = {(4, 3): [(2, 0)], (5, 4): [(3, 0)], (3, 3): [(1, 0)], (13, 10): [(2, 1)],
        (13, 13): [(3, 1)], (10, 12): []}
for cell, objs in want.items():
    if objects(*cell) != objs:
        wrong.append(f"{cell} holds {objects(*cell)}, want {objs}")
players = [o for t in land["tiles"] for h in t["hollows"] for o in h["objects"] if o["type"] == 1]
if land["n_players"] != 1 or len(players) != 1 or players[0]["index"] != 0:
    wrong.append(f"{land['n_players']} players declared, {len(players)} placed: want player 1 alone")
if land["n_diamonds"] != 2:
    wrong.append(f"{land['n_diamonds']} diamonds, want 2")
print("\n".join(wrong))
sys.exit(1 if wrong else 0)
EOF

    # Player 1 looks north along the corridor to the slope; the diamond and
    # the rock lie behind its right shoulder, out of sight.
    expect_view "$work/game" myland.lvl 480x480 0 view
    open_land myland.lvl
    wait_for "chooser still on 640x480" chooser_shown 640x480
    press Return
    use_screen 640 480
    wait_for "the saved land's game view" one_player_game_shown 640 480 0
    press Escape
    use_screen 320 200
    wait_for "menu after Esc in the game" menu_shown
    press Escape
    wait_for_exit 0
}

# Esc with the land changed asks first: No stays, Yes leaves.  An Esc that
# closes a dialog is not taken for the editor's own.
case_editor_unsaved() {
    copy_editor_game "$work/game"
    local game
    game=$(cd "$work/game" && pwd -P)
    start_game "$work/game"
    wait_for "menu" menu_shown
    open_editor
    wait_for "editor panel in Blocks mode" editor_panel_shown land.lvl Blocks
    press F2
    wait_for "load selector" selector_640_shown "Load level" "$game/"
    press Escape
    wait_for "editor after leaving the selector" editor_panel_shown land.lvl Blocks
    # Nothing has changed yet: an editor that took the Esc would be gone.
    press n
    wait_for "the editor in Textures mode after leaving the selector" \
        editor_panel_shown land.lvl Textures
    keys n n n y m
    wait_for "editor back in Blocks mode" editor_panel_shown land.lvl Blocks
    press Escape
    wait_for "question about unsaved changes" unsaved_question_shown
    press n
    wait_for "the question gone after No" question_gone
    # The editor goes on, and the n answered the question only.
    press n
    wait_for "the editor in Textures mode after No" editor_panel_shown land.lvl Textures
    press Escape
    wait_for "question about unsaved changes again" unsaved_question_shown
    press y
    use_screen 320 200
    wait_for "menu after Yes" menu_shown
    press Escape
    wait_for_exit 0
}

# A save that cannot be written leaves the old file as it was, and the land
# still unsaved.  Root may write anywhere, but nobody can open a folder as
# the file the save writes first.
case_editor_failed_save() {
    copy_editor_game "$work/game"
    local game
    game=$(cd "$work/game" && pwd -P)
    build_land "$work/game" old.lvl <<'EOF'
# An earlier level that must survive a failed save over it.
size 3 1
textures rock.pcx granite.bmp cobble.pcx
level 0
  ##.P.D
EOF
    cp "$work/game/old.lvl" "$work/old.lvl"
    mkdir "$work/game/old.lvl.tmp"
    start_game "$work/game"
    wait_for "menu" menu_shown
    open_editor
    wait_for "editor panel" editor_panel_shown land.lvl Blocks
    keys y m
    save_as "$game" old.lvl
    wait_for "question about replacing old.lvl" replace_question_shown old.lvl
    press y
    wait_for "alert: not saved" save_failure_shown old.lvl
    press Return
    wait_for "editor after the alert" editor_panel_shown "$game/old.lvl" Blocks
    cmp "$work/old.lvl" "$work/game/old.lvl" || fail "the failed save changed old.lvl"
    [[ -d $work/game/old.lvl.tmp ]] || fail "old.lvl.tmp is no longer a folder"
    local lands
    lands=$(cd "$work/game" && echo *.lvl)
    [[ $lands == "land3.lvl old.lvl" ]] || fail "the lands in the folder are $lands"
    press Escape
    wait_for "question about unsaved changes after the failed save" unsaved_question_shown
    press y
    use_screen 320 200
    wait_for "menu after Yes" menu_shown
    press Escape
    wait_for_exit 0
}

# won.lvl in game folder $1: two steps along a corridor to the only diamond.
build_won_land() {
    build_land "$1" won.lvl <<'EOF'
size 6 1
textures rock.pcx granite.bmp cobble.pcx
facing P 1
level 0
  ##.P...D..##
level 1
  ##........##
EOF
}

# The player walks into the land's only diamond: the game ends by itself.
case_game_won() {
    copy_game "$work/game"
    build_won_land "$work/game"
    expect_view "$work/game" won.lvl 120x120 0 view
    start_game "$work/game"
    wait_for "menu" menu_shown
    open_land won.lvl
    wait_for "chooser on 80x80" chooser_shown 80x80
    walk_chooser Down 160x120
    press Return
    use_screen 160 120
    # With its diamond still there the game goes on, drawing frames.
    wait_for "game view with the diamond ahead" one_player_game_shown 160 120 1
    xdotool keydown a || fail "xdotool could not hold a"
    use_screen 320 200
    wait_for "menu once the diamond is collected" menu_shown
    xdotool keyup a
    press Escape
    wait_for_exit 0
}

# ---- tapes -----------------------------------------------------------------

# A game recorded with --record on a land named on the command line (no
# menu, no file selector): one diamond collected, then Esc.  The land tool
# replays the tape to the same step count and the same diamonds left.
case_tape_record() {
    copy_game "$work/game"
    build_land "$work/game" rec.lvl <<'EOF'
# A diamond just ahead; another beyond a wall keeps the game going.
size 8 1
textures rock.pcx granite.bmp cobble.pcx
facing P 1
level 0
  ##.P.D....##...D
level 1
  ##........##....
EOF
    start_game "$work/game" -- --record rec.tape rec.lvl
    wait_for "chooser straight away" chooser_shown 80x80
    walk_chooser Down 160x120
    press Return
    use_screen 160 120
    wait_for "game view" panel_shown 0 0 40 120 1
    # Long enough to walk into the diamond and on to the wall.
    { xdotool keydown a && sleep 1.5 && xdotool keyup a; } || fail "xdotool could not hold a"
    press Escape
    use_screen 320 200
    wait_for "menu after the game" menu_shown
    press Escape
    wait_for_exit 0
    local said steps left replay
    said=$(grep 'steps recorded' "$work/stdout") || fail "the game said nothing of its tape: $(cat "$work/stdout")"
    [[ $said =~ rec\.tape:\ ([0-9]+)\ steps\ recorded,\ ([0-9]+)\ diamonds\ left ]] || fail "cannot read: $said"
    steps=${BASH_REMATCH[1]}
    left=${BASH_REMATCH[2]}
    ((left == 1)) || fail "the game left $left diamonds, want 1 (the first collected)"
    grep -q '^land rec.lvl$' "$work/game/rec.tape" || fail "the tape names no land rec.lvl: $(head -5 "$work/game/rec.tape")"
    grep -qE '^[0-9]+ [0-9]+ A$' "$work/game/rec.tape" || fail "the tape holds no A: $(cat "$work/game/rec.tape")"
    replay=$(cd "$work/game" && ./tavo-tool replay rec.tape) || fail "the tool cannot replay the tape: $replay"
    [[ $replay == *"\"steps_run\": $steps,"* && $replay == *'"diamonds_left": 1,'* && $replay == *'"crc32_ok": true'* ]] ||
        fail "the replay differs from the game ($steps steps, 1 left): $replay"
}

# --replay of a winning tape plays it and ends the game by itself; a broken
# tape is refused on the menu screen with its line.
case_tape_replay() {
    copy_game "$work/game"
    build_won_land "$work/game"
    local crc
    crc=$(python3 -c "import sys, zlib; print('%08x' % zlib.crc32(open(sys.argv[1], 'rb').read()))" "$work/game/won.lvl")
    # Forward for a minute: only winning ends the game within the time-out.
    printf 'tape 1\nland won.lvl\ncrc32 %s\nseed 7\nframes 6000\n1 6000 A\n' "$crc" >"$work/game/won.tape"
    printf 'tape 1\nland won.lvl\ncrc32 %s\nseed 7\nframes 10\n1 11 A\n' "$crc" >"$work/game/bad.tape"
    start_game "$work/game" -- --replay won.tape
    wait_for "chooser straight away" chooser_shown 80x80
    press Return
    use_screen 320 200
    wait_for "menu once the tape has won" menu_shown
    press Escape
    wait_for_exit 0

    start_game "$work/game" -- --replay bad.tape
    wait_for "refused tape" tape_failure_shown "bad.tape:6: keys held past the"
    press space
    wait_for "menu after the refusal" menu_shown
    press Escape
    wait_for_exit 0
}

tape_failure_shown() {
    text 0 0 "Cannot replay the tape:" 255 0 0 && text 0 8 "$1" 255 255 255 --prefix
}

# ---- installed, and in a window -------------------------------------------

# install_game ROOT: the build installed under ROOT (with DESTDIR), where a
# package would put it under /usr.
install_game() {
    local build_dir=${TAVO_BUILD_DIR:-${game_dir%/game}}
    DESTDIR=$1 cmake --install "$build_dir" --prefix /usr >"$work/install.log" 2>&1 ||
        fail "cmake --install of $build_dir: $(tail -n 5 "$work/install.log")"
}

# start_program PROGRAM DIR [NAME=VALUE...] [-- ARG...]: as start_game, for
# a program that lies elsewhere than its working directory DIR.
start_program() {
    local program=$1 dir=$2 envs=()
    shift 2
    while (($#)) && [[ $1 != -- ]]; do
        envs+=("$1")
        shift
    done
    (($#)) && shift
    (cd "$dir" && exec env HOME="$work/home" "${envs[@]}" "$program" "$@" >"$work/stdout" 2>"$work/stderr") &
    game_pid=$!
}

# start_room_shown: the editor's first view of the bundled land3.lvl, from
# the corner of its room: the wall on the camera's left and the floor at its
# feet, where a land that failed to load would show fog.
start_room_shown() {
    if fill 160 0 100 480 --entry 0 >/dev/null || fill 160 400 480 80 --entry 0 >/dev/null; then
        echo "fog where the room's wall or floor should be"
        return 1
    fi
}

# The installed game started from a folder that holds none of its data: the
# editor opens the bundled land3.lvl (else it would show fog), a
# cancelled file selector plays the bundled land.lvl drawn with the bundled
# textures, and Esc leaves.
case_installed() {
    need_data
    install_game "$work/root"
    mkdir "$work/away"
    expect_view "$game_dir" land.lvl 480x480 0 view
    start_program "$work/root/usr/bin/tavo" "$work/away"
    wait_for "menu" menu_shown
    open_editor
    wait_for "editor panel in Blocks mode" editor_panel_shown land.lvl Blocks
    wait_for "the room of land3.lvl" start_room_shown
    press Escape
    use_screen 320 200
    wait_for "menu after the editor" menu_shown
    open_land
    wait_for "chooser still on 640x480" chooser_shown 640x480
    press Return
    use_screen 640 480
    wait_for "the bundled land.lvl" one_player_game_shown 640 480 0
    press Escape
    use_screen 320 200
    wait_for "menu after the game" menu_shown
    press Escape
    wait_for_exit 0
}

# window_is X Y W H: the game's window is shown with that place and size.
# Without a window manager keys go where the pointer is, and a mode change
# leaves the pointer where the library put it, maybe outside the new window:
# once the window is right, the pointer is put over it.
window_is() {
    local id now
    id=$(xdotool search --onlyvisible --name '^tavo$' 2>/dev/null | head -n 1)
    [[ -n $id ]] || {
        echo "no window named tavo is shown"
        return 1
    }
    now=$(xdotool getwindowgeometry --shell "$id" | awk -F= '$1 == "X" || $1 == "Y" || $1 == "WIDTH" || $1 == "HEIGHT" { printf "%s ", $2 }')
    [[ $now == "$* " ]] || {
        echo "the window is X Y W H = $now, want $*"
        return 1
    }
    xdotool mousemove 10 10
}

# --windowed: every mode in a window of its own size at the top left (with
# no window manager to place it); TAVO_WINDOWED=1 asks the same, and
# --fullscreen overrides it.
case_windowed() {
    need_data
    local in_window=1
    # Shots are cropped where the picture is: at the top left in a window.
    take_shot() {
        local x=$(((1024 - screen_w) / 2)) y=$(((768 - screen_h) / 2))
        ((in_window)) && x=0 y=0
        xwd -root -silent 2>/dev/null |
            "$convert" xwd:- -crop "${screen_w}x${screen_h}+$x+$y" +repage "PNG24:$shot.new" 2>/dev/null &&
            mv "$shot.new" "$shot"
    }
    start_game "$game_dir" -- --windowed
    wait_for "a 320x200 window at the top left" window_is 0 0 320 200
    wait_for "menu in the window" menu_shown
    press e
    wait_for "chooser in the window" chooser_shown 80x80
    press Return
    use_screen 80 80
    wait_for "an 80x80 window at the top left" window_is 0 0 80 80
    wait_for "editor in the window" editor_shown
    press Escape
    use_screen 320 200
    wait_for "the 320x200 window again" window_is 0 0 320 200
    wait_for "menu after the editor" menu_shown
    press Escape
    wait_for_exit 0

    start_game "$game_dir" TAVO_WINDOWED=1
    wait_for "a 320x200 window for TAVO_WINDOWED=1" window_is 0 0 320 200
    wait_for "menu in the window" menu_shown
    press Escape
    wait_for_exit 0

    # Full screen, the library shows a nameless window the size of the
    # screen with the picture in its middle, and leaves the named one unmapped.
    in_window=0
    start_game "$game_dir" TAVO_WINDOWED=1 -- --fullscreen
    wait_for "menu in the middle of the screen for --fullscreen" menu_shown
    must_differ window_is 0 0 320 200
    press Escape
    wait_for_exit 0
}

# ---- undo, redo and test play in the editor -------------------------------

# view_is NAME: the editor's 480 x 480 view shows $work/expected/NAME.png
# exactly (nothing in the editor's land moves).
view_is() { image 160 0 "$work/expected/$1.png"; }

# settled_view NAME [UNLIKE]: the view, once two shots in a row agree (and
# differ from view UNLIKE), kept as $work/expected/NAME.png.
settled_view() {
    "$convert" "$shot" -crop 480x480+160+0 +repage "PNG24:$work/view-now.png" || return 1
    if [[ -f $work/view-last.png ]] &&
        image 160 0 "$work/view-last.png" >/dev/null &&
        { [[ -z ${2:-} ]] || ! view_is "$2" >/dev/null; }; then
        mv "$work/view-now.png" "$work/expected/$1.png"
        rm -f "$work/view-last.png"
        return 0
    fi
    mv "$work/view-now.png" "$work/view-last.png"
    echo "the view has not settled${2:+ on a picture unlike $2}"
    return 1
}

# A cell dug, undone and done again; the land played with F5 until its only
# diamond is collected, and again until Esc, each time on a copy; then a
# save over another land refused and one over the loaded land made.
case_editor_undo_play() {
    copy_editor_game "$work/game"
    local game
    game=$(cd "$work/game" && pwd -P)
    cp "$work/game/land3.lvl" "$work/land3.lvl"
    build_land "$work/game" play.lvl <<'EOF'
# Player 1 looks west along a corridor, past its only diamond.
size 6 2
textures rock.pcx granite.bmp cobble.pcx
facing P 3
level 0
  ############
  ##.D...P..##
EOF
    # What the editor makes of it: a niche beside the cell ahead of player 1.
    build_land "$work/game" want.lvl <<'EOF'
size 6 2
textures rock.pcx granite.bmp cobble.pcx
facing P 3
level 0
  ####..######
  ##.D...P..##
EOF
    mv "$work/game/want.lvl" "$work/want.lvl"
    expect_view "$work/game" "$work/want.lvl" 480x480 0 view
    expect_view "$work/game" play.lvl 480x480 0 undug
    start_game "$work/game"
    wait_for "menu" menu_shown
    open_editor
    wait_for "editor panel in Blocks mode" editor_panel_shown land.lvl Blocks
    press F2
    wait_for "load selector" selector_640_shown "Load level" "$game/"
    xdotool type --delay 50 play.lvl || fail "xdotool could not type play.lvl"
    press Return
    wait_for "alert: level loaded" dialog_line 268 216 "Level loaded."
    press Return
    wait_for "panel naming play.lvl" editor_panel_shown "$game/play.lvl" Blocks

    # The camera sits in the rock at (0, 0) facing east, the cursor with
    # it: two cells east is the niche.
    wait_for "the view of the loaded land" settled_view loaded
    keys y y
    wait_for "the cursor two cells east" settled_view solid loaded
    press m
    wait_for "the view of the dug cell" settled_view dug solid
    press u
    wait_for "the view before the dig after U" view_is solid
    press r
    wait_for "the dug cell again after R" view_is dug

    press F5
    wait_for "the test play of the dug land" one_player_game_shown 640 480 0
    must_differ image 160 0 "$work/expected/undug.png" --max-wrong "$view_tolerance"
    # Two steps west, the second into the diamond: the game ends by itself.
    { xdotool keydown a && sleep 1 && xdotool keyup a; } || fail "xdotool could not hold a"
    wait_for "the editor back after the last diamond" editor_panel_shown "$game/play.lvl" Blocks
    wait_for "the editor's view as it was, diamond and all" view_is dug
    press F5
    wait_for "a second test play from the start" one_player_game_shown 640 480 0
    press Escape
    wait_for "the editor back after Esc" editor_panel_shown "$game/play.lvl" Blocks
    wait_for "the editor's view as it was after Esc" view_is dug
    # The Esc ended the game only: the editor goes on without a question.
    press n
    wait_for "the editor in Textures mode" editor_panel_shown "$game/play.lvl" Textures

    # Saving over land3.lvl asks first; No writes nothing.
    press F3
    wait_for "save selector offering play.lvl" selector_640_shown "Save level" "$game/play.lvl"
    keys BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
    xdotool type --delay 50 land3.lvl || fail "xdotool could not type land3.lvl"
    wait_for "save selector on land3.lvl" selector_640_shown "Save level" "$game/land3.lvl"
    press Return
    wait_for "question about replacing land3.lvl" replace_question_shown land3.lvl
    press n
    wait_for "the editor after No, still on play.lvl" editor_panel_shown "$game/play.lvl" Textures
    cmp -s "$work/land3.lvl" "$work/game/land3.lvl" || fail "No to the question still changed land3.lvl"
    # Saving over the land loaded asks nothing.
    press F3
    wait_for "save selector offering play.lvl again" selector_640_shown "Save level" "$game/play.lvl"
    press Return
    wait_for "alert: level saved" saved_shown
    press Return
    wait_for "the editor after saving" editor_panel_shown "$game/play.lvl" Textures
    press Escape
    use_screen 320 200
    wait_for "menu after Esc in the saved land" menu_shown
    press Escape
    wait_for_exit 0

    local got want
    got=$(cd "$work/game" && ./tavo-tool info play.lvl 2>&1) || fail "tavo-tool cannot read the saved land: $got"
    want=$(cd "$work/game" && ./tavo-tool info "$work/want.lvl" 2>&1) || fail "tavo-tool cannot read want.lvl: $want"
    [[ $got == "$want" ]] || fail "the saved land is not the dug corridor with its diamond:
$(diff <(echo "$want") <(echo "$got") | head -n 20)"
}

if [[ $(type -t "case_$case_name") != function ]]; then
    echo "unknown case: $case_name"
    exit 2
fi
start_x
"case_$case_name"
# Pictures from an earlier failure would mislead.
rm -f "$shot_dir/$case_name.png" "$shot_dir/$case_name"-expected-*.png
echo "PASS ($case_name) in ${SECONDS}s"
