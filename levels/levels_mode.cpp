// levels_mode.cpp -- tavo --levels: a set played as a game, from a list that
// shows what is solved and how fast, through each land, to a results screen
// and on to the next land.
//
// Everything is shown in the mode the player chose once; the choice and
// the progress outlive the program (levels.h).
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "editor/editor.h"
#include "levels/levels.h"

namespace {

// Colours of the list, as the menu's.
int cyan()
{
    return makecol(0, 255, 255);
}
int yellow()
{
    return makecol(255, 255, 0);
}
int white()
{
    return makecol(255, 255, 255);
}
int green()
{
    return makecol(0, 255, 0);
}
int red()
{
    return makecol(255, 0, 0);
}

// text cut to n characters.
std::string cut(const std::string &text, size_t n)
{
    return text.size() <= n ? text : text.substr(0, n);
}

// text padded with blanks, or cut, to n characters.
std::string pad(const std::string &text, size_t n)
{
    std::string s = cut(text, n);
    return s + std::string(n - s.size(), ' ');
}

struct levels_mode {
    LEVEL_SET set;
    PROGRESS progress;
    std::string note;  // said once on the list, then forgotten
    int selected = 0;

    std::optional<long> best(const LEVEL &l) const
    {
        if (!l.crc32_ok)
            return std::nullopt;
        return best_steps(progress, l.crc32, l.name);
    }

    int first_unsolved() const
    {
        for (size_t i = 0; i < set.levels.size(); i++)
            if (!best(set.levels[i]))
                return (int)i;
        return 0;
    }

    // One row: number, title, players, whether solved and the best time.
    std::string row(int i, size_t width) const
    {
        const LEVEL &l = set.levels[i];
        std::optional<long> b = best(l);
        char number[16];
        snprintf(number, sizeof number, "%2d ", i + 1);
        std::string players = l.n_players > 0 ? std::to_string(l.n_players) + "P" : "?";
        std::string right = " " + pad(players, 3) + (b ? "solved " + format_level_time(*b) : std::string(""));
        size_t tail = 3 + 7 + 8;  // players, "solved ", the time
        size_t title_width = width > 3 + 1 + tail ? width - 3 - 1 - tail : 4;
        return number + pad(l.title, title_width) + right;
    }

    void draw_list(BITMAP *b) const
    {
        clear_bitmap(b);
        const size_t width = (size_t)(b->w / 8);
        textout_ex(b, font, cut(set.title, width).c_str(), 0, 0, cyan(), -1);
        // Below the rows: the chosen land's hint in up to three lines, the
        // keys, and a note.
        int first_row = 2, last_row = b->h / 8 - 7;
        int rows = std::max(1, last_row - first_row + 1);
        int top = std::max(0, std::min(selected - rows / 2, (int)set.levels.size() - rows));
        for (int i = top; i < (int)set.levels.size() && i < top + rows; i++) {
            int y = (first_row + i - top) * 8;
            if (i == selected)
                rectfill(b, 0, y, b->w - 1, y + 7, makecol(0, 0, 255));  // as the dialogs
            textout_ex(b, font, row(i, width).c_str(), 0, y, i == selected ? yellow() : white(), -1);
        }
        int y = b->h - 16;
        const std::string &hint = set.levels[selected].hint;
        if (!hint.empty()) {
            BITMAP *area = create_sub_bitmap(b, 0, y - 32, b->w, 24);
            if (area) {
                write_wrapped(area, 0, hint, cyan());
                destroy_bitmap(area);
            }
        }
        textout_ex(b, font, cut("Up/Down Enter:play E:edit Esc:quit", width).c_str(), 0, y, green(), -1);
        if (!note.empty())
            textout_ex(b, font, cut(note, width).c_str(), 0, y + 8, red(), -1);
    }
};

// Waits for one of the keys that matter (by scancode).  A signal answers
// Esc, which leaves every screen of the mode.
int wait_key(std::initializer_list<int> wanted)
{
    for (;;) {
        int k = read_key_or_quit() >> 8;
        if (quit_signal())
            return KEY_ESC;
        if (std::find(wanted.begin(), wanted.end(), k) != wanted.end())
            return k;
    }
}

// The results of a won land; true when the player goes on to the next.
bool show_results(const LEVEL &l, const LEVEL_GAME &g, std::optional<long> old_best, bool beaten)
{
    BITMAP *b = scrbuf;
    clear_bitmap(b);
    const size_t width = (size_t)(b->w / 8);
    int y = 0;
    auto line = [&](const std::string &text, int colour) {
        textout_ex(b, font, cut(text, width).c_str(), 0, y, colour, -1);
        y += 8;
    };
    line("Level complete", cyan());
    line(l.title, white());
    y += 8;
    line("Time " + format_level_time(g.steps), white());
    long best = old_best && !beaten ? *old_best : g.steps;
    line("Best " + format_level_time(best) + (beaten && old_best ? "  new best!" : ""), beaten ? yellow() : white());
    line("Rewinds " + std::to_string(g.rewinds) + "  Restarts " + std::to_string(g.restarts), white());
    y += 8;
    line("Enter: next land  Esc: list", green());
    blit(b, screen, 0, 0, 0, 0, b->w, b->h);
    clear_keybuf();
    return wait_key({KEY_ENTER, KEY_ESC}) == KEY_ENTER;
}


// Plays land i and the ones after it while the player goes on; back to the
// list after Esc, a failure or the last land.
void play_from(levels_mode &m, int i)
{
    while (i < (int)m.set.levels.size()) {
        m.selected = i;
        const LEVEL &l = m.set.levels[i];
        LEVEL_GAME g;
        g.land_path = l.file;
        g.title = l.title;
        g.seed = (unsigned long)time(nullptr) & 0xffffffffUL;
        int outcome = play_level_game(g);
        clear_keybuf();
        if (quit_signal())
            return;
        if (outcome == LEVEL_GAME_FAILED) {
            show_failure(("Cannot play " + l.name + ":").c_str(), g.why);
            return;
        }
        if (outcome != LEVEL_GAME_WON)
            return;
        // The file as it is now: a land changed since the list was read is
        // another land.
        unsigned long crc = 0;
        bool crc_ok = file_crc32(l.file.c_str(), crc);
        std::optional<long> old_best = crc_ok ? best_steps(m.progress, crc, l.name) : std::nullopt;
        bool beaten = false;
        if (crc_ok) {
            beaten = record_run(m.progress, crc, l.name, g.steps, today_date());
            std::string why;
            if (beaten) {
                g.tape.land = tape_land_name(l.file.c_str(), best_run_path(l.name, crc).c_str());
                g.tape.crc32 = crc;
                if (!save_progress(progress_path(), m.progress, why) ||
                    !save_best_run(l.name, crc, g.tape, why))
                    m.note = "Progress is not saved: " + why;
            }
            m.set.levels[i].crc32 = crc;
            m.set.levels[i].crc32_ok = true;
        }
        if (!show_results(l, g, old_best, beaten))
            return;
        i++;
    }
    m.selected = (int)m.set.levels.size() - 1;
}

} // namespace

int run_levels_mode(const std::string &folder, bool windowed_given)
{
    levels_mode m;
    SETTINGS settings;
    std::string note, why;
    if (!load_settings(settings_path(), settings, note))
        m.note = note;
    if (!windowed_given)
        gfx_windowed = settings.windowed;
    gfx_mode = settings.gfx_mode;
    set_menu_gfx_mode();
    set_up_screen();
    if (!read_level_set(folder, m.set, why)) {
        show_failure("Cannot open the level set:", why);
        return 1;
    }
    if (!choose_gfx_mode())
        return 0;
    settings.gfx_mode = gfx_mode;
    settings.windowed = gfx_windowed;
    if (!save_settings(settings_path(), settings, why))
        m.note = "Settings are not saved: " + why;
    if (!load_progress(progress_path(), m.progress, note))
        m.note = note;
    m.selected = m.first_unsolved();

    scrbuf = create_bitmap(gfx_mode_d[gfx_mode].w, gfx_mode_d[gfx_mode].h);
    for (;;) {
        m.draw_list(scrbuf);
        blit(scrbuf, screen, 0, 0, 0, 0, scrbuf->w, scrbuf->h);
        int k = wait_key({KEY_UP, KEY_DOWN, KEY_ENTER, KEY_E, KEY_ESC});
        int n = (int)m.set.levels.size();
        if (k == KEY_ESC)
            break;
        if (k == KEY_UP) {
            m.selected = (m.selected + n - 1) % n;
        } else if (k == KEY_DOWN) {
            m.selected = (m.selected + 1) % n;
        } else if (k == KEY_ENTER) {
            m.note.clear();
            play_from(m, m.selected);
        } else {
            m.note.clear();
            run_editor(m.set.levels[m.selected].file.c_str());
            // The land may have been saved anew: it is another land now.
            LEVEL &l = m.set.levels[m.selected];
            l.crc32_ok = file_crc32(l.file.c_str(), l.crc32);
            l.n_players = land_player_count(l.file.c_str());
        }
        clear_keybuf();
    }
    destroy_bitmap(scrbuf);
    scrbuf = nullptr;
    return 0;
}
