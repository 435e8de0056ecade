// main.cpp -- program entry: start-up, the menu and its two paths.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

#include "editor/editor.h"
#include "land/land.h"
#include "shell/shell.h"

// Shows a failure on the menu screen and waits for a key.
static void show_failure(const char *line1, const char *line2)
{
    clear_bitmap(screen);
    textout_ex(screen, font, line1, 0, 0, makecol(255, 0, 0), -1);
    textout_ex(screen, font, line2, 0, 8, makecol(255, 255, 255), -1);
    textout_ex(screen, font, "Press a key.", 0, 24, makecol(255, 255, 0), -1);
    clear_keybuf();
    readkey();
}

static bool data_is_whole(DATAFILE *d)
{
    // Entries are used by position: check that each is what it must be.
    static const int want[4] = {DAT_PALETTE, DAT_SAMPLE, DAT_BITMAP, DAT_BITMAP};
    for (int i = 0; i < 4; i++)
        if (d[i].type == DAT_END || d[i].type != want[i])
            return false;
    return true;
}

static void game_path()
{
    char path[256] = "";
    if (!file_select_ex("Load level", path, "lvl", sizeof path, 0, 0))
        snprintf(path, sizeof path, "land.lvl");

    land = load_land(path);
    if (!land) {
        // No game starts without a land.
        show_failure("Cannot load the land:", get_filename(path));
        return;
    }
    if (choose_gfx_mode()) {
        music = dumb_load_xm(piece);  // null plays in silence
        scrbuf = create_bitmap(gfx_mode_d[gfx_mode].w, gfx_mode_d[gfx_mode].h);
        play_game();
        destroy_bitmap(scrbuf);
        scrbuf = nullptr;
        unload_duh(music);
        music = nullptr;
    }
    destroy_land(land);
    land = nullptr;
}

static void editor_path()
{
    if (!choose_gfx_mode())
        return;
    scrbuf = create_bitmap(gfx_mode_d[gfx_mode].w, gfx_mode_d[gfx_mode].h);
    run_editor();
    destroy_bitmap(scrbuf);
    scrbuf = nullptr;
}

int main()
{
    srand((unsigned)time(nullptr));

    // A display that is still starting up can refuse the first connection:
    // give it a moment before giving up.
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

    atexit(dumb_exit);
    dumb_register_stdfiles();

    set_color_conversion(COLORCONV_NONE);
    dat = load_datafile("tavo.dat");
    if (!dat || !data_is_whole(dat)) {
        set_menu_gfx_mode();
        show_failure("Cannot load tavo.dat.", "The data file is missing or damaged.");
        if (dat)
            unload_datafile(dat);
        return 1;
    }

    create_rgb_table(&the_rgb_map, (RGB *)dat[DATA_PALETTE].dat, nullptr);
    rgb_map = &the_rgb_map;
    color_map = &the_fog_map;

    initialise_input();

    for (;;) {
        set_menu_gfx_mode();
        set_up_screen();
        textout_ex(screen, font, "  G - game", 0, 0, makecol(0, 255, 255), -1);
        textout_ex(screen, font, "  E - editor", 0, 8, makecol(255, 255, 0), -1);
        textout_ex(screen, font, "Esc - exit", 0, 16, makecol(0, 255, 0), -1);

        int k;
        do {
            k = readkey() >> 8;
        } while (k != KEY_G && k != KEY_E && k != KEY_ESC);
        if (k == KEY_ESC)
            break;
        if (k == KEY_G)
            game_path();
        else
            editor_path();
    }

    unload_datafile(dat);
    // Shut the library down here, on the main thread and in a known order,
    // rather than leave it to the exit handlers.
    remove_sound();
    allegro_exit();
    return 0;
}
END_OF_MAIN()
