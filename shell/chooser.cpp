// chooser.cpp -- the graphics-mode chooser and the screen set-up after a mode change.
#include "shell/shell.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const GFX_MODE_SIZE gfx_mode_d[N_GFX_MODES] = {
    {80, 80},   {160, 120}, {256, 200}, {256, 224}, {256, 240}, {256, 256},
    {320, 100}, {320, 200}, {320, 240}, {320, 350}, {320, 400}, {320, 480},
    {320, 600}, {360, 200}, {360, 240}, {360, 270}, {360, 360}, {360, 400},
    {360, 480}, {360, 600}, {376, 282}, {376, 308}, {376, 564}, {400, 150},
    {400, 300}, {400, 600}, {640, 400}, {640, 480}, {800, 600}, {1024, 768},
    {1280, 1024}, {1600, 1200},
};

int gfx_mode = 0;
bool gfx_windowed = false;

int gfx_mode_up(int m) { return (m + N_GFX_MODES - 1) % N_GFX_MODES; }
int gfx_mode_down(int m) { return (m + 1) % N_GFX_MODES; }

static bool refused_by_environment(int w, int h)
{
    const char *list = getenv("TAVO_REFUSE_GFX");
    if (!list)
        return false;
    char want[32];
    snprintf(want, sizeof want, "%dx%d", w, h);
    size_t n = strlen(want);
    for (const char *p = list; (p = strstr(p, want)); p += n) {
        bool starts = p == list || p[-1] == ',';
        bool ends = p[n] == '\0' || p[n] == ',';
        if (starts && ends)
            return true;
    }
    return false;
}

int set_game_gfx_mode(int w, int h)
{
    if (refused_by_environment(w, h))
        return -1;
    // Plain autodetection prefers full screen but falls back on a window
    // where full screen is not to be had.
    return set_gfx_mode(gfx_windowed ? GFX_AUTODETECT_WINDOWED : GFX_AUTODETECT, w, h, 0, 0);
}

void set_menu_gfx_mode()
{
    if (set_game_gfx_mode(320, 200) == 0)
        return;
    // Without even the menu's screen there is nothing left to write on.
    set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
    fprintf(stderr, "tavo: Failed to set graphics mode. (320x200: %s)\n", allegro_error);
    exit(1);
}

void set_up_screen()
{
    set_palette((RGB *)dat[DATA_PALETTE].dat);
    gui_fg_color = makecol(255, 255, 0);
    gui_mg_color = makecol(128, 128, 128);
    gui_bg_color = makecol(0, 0, 255);
}

int choose_gfx_mode()
{
    for (;;) {
        clear_bitmap(screen);
        textout_ex(screen, font, "Up/down to choose; Enter to confirm", 0, 0,
                   makecol(0, 255, 255), -1);
        textprintf_ex(screen, font, 0, 8, makecol(255, 255, 0), -1, "%dx%d",
                      gfx_mode_d[gfx_mode].w, gfx_mode_d[gfx_mode].h);
        int k;
        do {
            k = read_key_or_quit() >> 8;
        } while (k != KEY_UP && k != KEY_DOWN && k != KEY_ENTER && !quit_signal());
        if (quit_signal())
            return 0;
        if (k == KEY_UP) {
            gfx_mode = gfx_mode_up(gfx_mode);
        } else if (k == KEY_DOWN) {
            gfx_mode = gfx_mode_down(gfx_mode);
        } else {
            break;
        }
    }
    if (set_game_gfx_mode(gfx_mode_d[gfx_mode].w, gfx_mode_d[gfx_mode].h) != 0) {
        set_menu_gfx_mode();
        set_up_screen();
        textout_ex(screen, font, "Failed to set graphics mode.", 0, 0,
                   makecol(255, 0, 0), -1);
        clear_keybuf();  // a key typed ahead must not dismiss the message unseen
        read_key_or_quit();
        return 0;
    }
    set_up_screen();
    return 1;
}

int write_wrapped(BITMAP *b, int y, const std::string &text, int colour)
{
    const size_t width = (size_t)(b->w / 8 > 0 ? b->w / 8 : 1);
    for (size_t at = 0; at < text.size(); y += 8) {
        size_t n = std::min(width, text.size() - at);
        if (at + n < text.size()) {
            // Broken after the last blank that fits; a word longer than a
            // line is cut.
            size_t space = text.rfind(' ', at + n);
            if (space != std::string::npos && space > at)
                n = space - at + 1;
        }
        textout_ex(b, font, text.substr(at, n).c_str(), 0, y, colour, -1);
        at += n;
    }
    return y;
}

void show_failure(const char *line1, const std::string &text)
{
    if (quit_signal()) {
        // Nobody is left to press a key; the reason is still worth keeping.
        fprintf(stderr, "tavo: %s %s\n", line1, text.c_str());
        return;
    }
    clear_bitmap(screen);
    textout_ex(screen, font, line1, 0, 0, makecol(255, 0, 0), -1);
    int y = text.empty() ? 16 : write_wrapped(screen, 8, text, makecol(255, 255, 255));
    textout_ex(screen, font, "Press a key.", 0, y + 8, makecol(255, 255, 0), -1);
    clear_keybuf();
    read_key_or_quit();
}
