// main.cpp -- program entry: start-up, the menu and its two paths.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

#include "editor/editor.h"
#include "levels/levels.h"
#include "land/land.h"
#include "shell/shell.h"

// What the command line asks for besides the menu.
struct OPTIONS {
    const char *land = nullptr;    // played at once, instead of the menu's first G
    const char *record = nullptr;  // every game's tape goes here
    const char *replay = nullptr;  // a tape played back at once
    bool edit = false;             // the editor at once, on `land` when given
    bool levels = false;           // the level-set mode, on the set in `land` when given
    int windowed = -1;             // 1 --windowed, 0 --fullscreen, -1 as TAVO_WINDOWED says
    bool windowed_given = false;   // by an option or the environment
};

static const char usage_text[] =
    "usage: tavo [--windowed | --fullscreen] [LAND.lvl]\n"
    "       tavo [--windowed | --fullscreen] --record FILE.tape [LAND.lvl]\n"
    "       tavo [--windowed | --fullscreen] --replay FILE.tape\n"
    "       tavo [--windowed | --fullscreen] --edit [LAND.lvl]\n"
    "       tavo [--windowed | --fullscreen] --levels [FOLDER]\n"
    "       tavo --help\n"
    "\n"
    "Without arguments the menu starts: G plays, E edits, Esc leaves.\n"
    "  LAND.lvl            play this land at once, then the menu\n"
    "  --record FILE.tape  record every game played; when a game ends, its tape\n"
    "                      (land, random seed and keys) is written to FILE.tape\n"
    "  --replay FILE.tape  play a recorded game back in the window; Esc stops it\n"
    "  --edit [LAND.lvl]   edit this land at once (Save writes it back; a new\n"
    "                      name begins a new land), then the menu\n"
    "  --levels [FOLDER]   play a level set (the bundled one by default) from a\n"
    "                      list that keeps your progress and best runs; in a\n"
    "                      level, hold Backspace to restart, hold R to rewind,\n"
    "                      P pauses, Esc goes back to the list\n"
    "  --windowed          every screen in a window of its own size\n"
    "                      (also with TAVO_WINDOWED=1 in the environment)\n"
    "  --fullscreen        every screen full screen (the default)\n"
    "  --help              this text\n"
    "\n"
    "Lands and tapes named by relative paths are looked up in the working\n"
    "folder, then among the bundled ones.\n";

// 0 when the arguments make sense, else the exit status to leave with.
static int parse_options(int argc, char **argv, OPTIONS &o)
{
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (!strcmp(a, "--help") || !strcmp(a, "-h")) {
            fputs(usage_text, stdout);
            exit(0);
        } else if (!strcmp(a, "--record") && i + 1 < argc && !o.record) {
            o.record = argv[++i];
        } else if (!strcmp(a, "--replay") && i + 1 < argc && !o.replay) {
            o.replay = argv[++i];
        } else if (!strcmp(a, "--edit")) {
            o.edit = true;
        } else if (!strcmp(a, "--levels")) {
            o.levels = true;
        } else if (!strcmp(a, "--windowed") || !strcmp(a, "--fullscreen")) {
            o.windowed = !strcmp(a, "--windowed");  // the last one given counts
        } else if (a[0] != '-' && !o.land) {
            o.land = a;
        } else {
            fprintf(stderr, "tavo: cannot make sense of \"%s\"\n", a);
            return 2;
        }
    }
    if (o.replay && (o.record || o.land)) {
        fprintf(stderr, "tavo: --replay plays its tape's own land and records nothing\n");
        return 2;
    }
    if (o.edit && (o.record || o.replay)) {
        fprintf(stderr, "tavo: --edit plays nothing to record or replay\n");
        return 2;
    }
    if (o.levels && (o.record || o.replay || o.edit)) {
        fprintf(stderr, "tavo: --levels keeps its own records, and edits from its list\n");
        return 2;
    }
    o.windowed_given = o.windowed >= 0;
    if (o.windowed < 0) {
        const char *w = getenv("TAVO_WINDOWED");
        o.windowed = w && *w && strcmp(w, "0") != 0;
        o.windowed_given = w && *w;
    }
    return 0;
}

static OPTIONS options;

static bool data_is_whole(DATAFILE *d)
{
    // Entries are used by position: check that each is what it must be.
    static const int want[4] = {DAT_PALETTE, DAT_SAMPLE, DAT_BITMAP, DAT_BITMAP};
    for (int i = 0; i < 4; i++)
        if (d[i].type == DAT_END || d[i].type != want[i])
            return false;
    return true;
}

// Loads a land, asks for the screen size and plays it; back to the menu
// after.  Gives the diamonds left when a game was played, else -1.
static int play_land(const char *path)
{
    LAND *l = load_land(path, LAND_FOR_PLAY);
    if (!l) {
        // No game starts without a land.
        show_failure("Cannot load the land:", get_filename(path));
        return -1;
    }
    set_game_land(l);
    int left = -1;
    if (choose_gfx_mode()) {
        scrbuf = create_bitmap(gfx_mode_d[gfx_mode].w, gfx_mode_d[gfx_mode].h);
        play_game_with_music();
        left = land->n_diamonds;
        destroy_bitmap(scrbuf);
        scrbuf = nullptr;
    }
    free_game_land();
    return left;
}

// The game path; a land given on the command line skips the file selector.
static void game_path(const char *given)
{
    char path[PATH_MAX] = "";  // a bundled land's full path may be long
    if (given)
        snprintf(path, sizeof path, "%s", data_path(given).c_str());
    else if (!file_select_ex("Load level", path, "lvl", sizeof path, 0, 0))
        snprintf(path, sizeof path, "%s", data_path("land.lvl").c_str());
    if (quit_signal())
        return;  // the selector was closed by the signal, not by the player
    if (!options.record) {
        play_land(path);
        return;
    }

    // The rocks' textures and the rolls depend on the seed: it is given to
    // the generator right before the land is loaded, as a replay will.
    TAPE tape;
    tape.seed = (unsigned long)time(nullptr) & 0xffffffffUL;
    srand((unsigned)tape.seed);
    TAPE_RECORDING recording;
    game_recording = &recording;
    int left = play_land(path);
    game_recording = nullptr;
    if (left < 0)
        return;  // no game was played
    tape.land = tape_land_name(path, options.record);
    tape.frames = recording.steps;
    tape.held = finish_recording(recording);
    if (!file_crc32(path, tape.crc32) || save_tape(options.record, tape) != 0)
        show_failure("Cannot write the tape:", options.record);
    else
        printf("tavo: %s: %ld steps recorded, %d diamonds left\n", options.record, tape.frames, left);
    fflush(stdout);
}

static void replay_path(const char *tape_name)
{
    std::string tape_file = data_path(tape_name);
    const char *tape_path = tape_file.c_str();
    TAPE tape;
    std::string why, land_path;
    int line = read_tape(tape_path, tape, why);
    if (line) {
        show_failure("Cannot replay the tape:",
                     std::string(tape_path) + (line > 0 ? ":" + std::to_string(line) : "") + ": " + why);
        return;
    }
    if (find_tape_land(tape, tape_path, nullptr, land_path, why)) {
        show_failure("Cannot replay the tape:", why);
        return;
    }
    TAPE_PLAYBACK playback;
    start_playback(playback, tape);
    srand((unsigned)tape.seed);
    game_playback = &playback;
    play_land(land_path.c_str());
    game_playback = nullptr;
}

// Shuts the library down on the main thread, in a known order, rather than
// leave it to the exit handlers; a signal that asked for the end gives its
// own status, as though it had ended the program itself.
[[noreturn]] static void leave_program(int status)
{
    if (dat)
        unload_datafile(dat);
    remove_sound();
    allegro_exit();
    if (int n = quit_signal()) {
        fprintf(stderr, "tavo: ended by signal %d (%s)\n", n, strsignal(n));
        exit(128 + n);
    }
    exit(status);
}

static void editor_path(const char *land_path = nullptr)
{
    if (!choose_gfx_mode())
        return;
    scrbuf = create_bitmap(gfx_mode_d[gfx_mode].w, gfx_mode_d[gfx_mode].h);
    run_editor(land_path);
    destroy_bitmap(scrbuf);
    scrbuf = nullptr;
}

int main(int argc, char **argv)
{
    if (int status = parse_options(argc, argv, options)) {
        fputs(usage_text, stderr);
        return status;
    }
    gfx_windowed = options.windowed == 1;
    srand((unsigned)time(nullptr));

    // A display that is still starting up can refuse the first connection:
    // give it a moment before giving up.
    // Ours before the library's too: it puts back what it found when it shuts
    // down, so that a signal during allegro_exit() still only records itself.
    install_quit_signals();
    int tries = 0;
    while (allegro_init() != 0) {
        if (++tries == 10) {
            fprintf(stderr, "tavo: cannot start Allegro: %s\n", allegro_error);
            return 1;
        }
        usleep(200 * 1000);
    }
    install_keyboard();
    install_mouse();

    reserve_voices(64, -1);
    set_volume_per_voice(2);
    install_sound(DIGI_AUTODETECT, MIDI_NONE, nullptr);  // silence is no reason to stop
    install_quit_signals();
    if (start_escape_feeder() != 0)
        fprintf(stderr, "tavo: no timer: a signal cannot close the dialogs\n");

    atexit(dumb_exit);
    dumb_register_stdfiles();

    set_color_conversion(COLORCONV_NONE);
    dat = load_datafile(data_path("tavo.dat").c_str());
    if (!dat || !data_is_whole(dat)) {
        set_menu_gfx_mode();
        show_failure("Cannot load tavo.dat.", "The data file is missing or damaged.");
        leave_program(1);
    }

    hand_out_game_data();
    create_rgb_table(&the_rgb_map, (RGB *)dat[DATA_PALETTE].dat, nullptr);
    rgb_map = &the_rgb_map;
    color_map = &the_fog_map;

    initialise_input();

    if (options.levels) {
        // The set's own screens from start to end; Esc on its list quits.
        leave_program(run_levels_mode(data_path(options.land ? options.land : "levels"), options.windowed_given));
    }

    // What the command line asks for comes first, then the menu as ever.
    if (options.replay || options.land || options.edit) {
        set_menu_gfx_mode();
        set_up_screen();
        if (options.replay)
            replay_path(options.replay);
        else if (options.edit)
            editor_path(options.land ? data_path(options.land).c_str() : nullptr);
        else
            game_path(options.land);
    }

    while (!quit_signal()) {
        set_menu_gfx_mode();
        set_up_screen();
        textout_ex(screen, font, "  G - game", 0, 0, makecol(0, 255, 255), -1);
        textout_ex(screen, font, "  E - editor", 0, 8, makecol(255, 255, 0), -1);
        textout_ex(screen, font, "Esc - exit", 0, 16, makecol(0, 255, 0), -1);

        int k;
        do {
            k = read_key_or_quit() >> 8;
        } while (k != KEY_G && k != KEY_E && k != KEY_ESC && !quit_signal());
        if (k == KEY_ESC || quit_signal())
            break;
        if (k == KEY_G)
            game_path(nullptr);
        else
            editor_path();
    }

    leave_program(0);
}
END_OF_MAIN()
