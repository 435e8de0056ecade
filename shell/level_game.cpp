// level_game.cpp -- a land of a level set played as the game plays any land,
// with what a player of a set expects around it: a panel that tells the
// level, the diamonds and the time, a restart, a pause, and the name of a
// loss that is certain.
//
// The loop is the game loop's: one logic step per recorded input frame, the
// same views and layouts.  The keys it adds (Backspace, P, R, Esc) are bound
// to no player.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/render.h"
#include "shell/shell.h"

namespace {

// Backspace restarts once it has been held this many steps: a slip of the
// hand throws nothing away.
enum { RESTART_HOLD_STEPS = 50 };

// The panel's ink: the colour of the frame rate above it.
enum { PANEL_TEXT = 2 };

// The reach check runs between two steps once the land has come to rest:
// about 0.3 ms on the largest bundled land, 7 ms on a 255 x 255 one
// (bench_loss_check).  Bigger lands than this go unchecked, so that it never
// costs a frame.
enum { LOSS_CHECK_MAX_TILES = 128 * 128 };

const char *const out_of_reach_text = "A diamond is out of reach: hold Backspace to restart, R to rewind";

// Frames while R is held take the game this many steps back, so that a rewind
// runs at least three times as fast as play.
enum { REWIND_STEPS_PER_FRAME = 3 };

} // namespace

std::string format_level_time(long steps)
{
    char text[32];
    snprintf(text, sizeof text, "%ld:%02ld.%02ld", steps / 6000, steps / 100 % 60, steps % 100);
    return text;
}

void draw_level_panels(const LEVEL_PANEL &p)
{
    std::string diamonds = "Diamonds " + std::to_string(p.diamonds_left) + "/" + std::to_string(p.diamonds);
    std::string time = format_level_time(p.steps);
    if (n_players == 2) {
        for (int i = 0; i < 2; i++) {
            BITMAP *b = player_info[i].panel;
            int y = write_wrapped(b, 8, "Player " + std::to_string(i + 1) + ": " + p.title, PANEL_TEXT);
            y = write_wrapped(b, y, diamonds + " " + time, PANEL_TEXT);
            if (p.paused)
                y = write_wrapped(b, y, "Paused", PANEL_TEXT);
            if (p.out_of_reach)
                y = write_wrapped(b, y, out_of_reach_text, PANEL_TEXT);
            // Two lines of keys that fit the narrowest bottom panel.
            y = write_wrapped(b, y, "Bksp:restart P:pause", PANEL_TEXT);
            write_wrapped(b, y, "R:rewind Esc:list", PANEL_TEXT);
        }
        return;
    }
    BITMAP *b = player_info[0].panel;
    int y = write_wrapped(b, 16, p.title, PANEL_TEXT);
    y = write_wrapped(b, y + 8, diamonds, PANEL_TEXT);
    y = write_wrapped(b, y, time, PANEL_TEXT);
    y = write_wrapped(b, y + 8, "Backspace: restart", PANEL_TEXT);
    y = write_wrapped(b, y, "R: rewind", PANEL_TEXT);
    y = write_wrapped(b, y, "P: pause", PANEL_TEXT);
    y = write_wrapped(b, y, "Esc: list", PANEL_TEXT);
    if (p.paused)
        y = write_wrapped(b, y + 8, "Paused", PANEL_TEXT);
    if (p.out_of_reach)
        write_wrapped(b, y + 8, out_of_reach_text, PANEL_TEXT);
}

int play_level_game(LEVEL_GAME &g)
{
    // The generator is seeded as a tape's replay seeds it, right before the
    // land is read, so that the run kept is a tape that plays back.
    srand((unsigned)g.seed);
    LAND *l = load_land(g.land_path.c_str(), LAND_FOR_PLAY);
    if (!l) {
        g.why = land_load_error();
        return LEVEL_GAME_FAILED;
    }
    set_game_land(l);
    GAME_HISTORY history;
    start_history(history, g.seed);
    music = dumb_load_xm(data_path(piece).c_str());  // null plays in silence
    music_player = al_start_duh(music, 2, 0, 1.0f, 4096, 44100);
    lay_out_views(n_players, scrbuf->w, scrbuf->h);
    start_input();

    LEVEL_PANEL panel;
    panel.title = g.title;
    panel.diamonds = land->n_diamonds;
    int outcome = -1;
    int steps_counted = 0, drawn = 0, rate = 0;
    int backspace_held = 0;
    bool rewinding = false;
    int still = 0;  // steps in a row after which the land was at rest
    while (outcome < 0) {
        if (quit_signal()) {
            outcome = LEVEL_GAME_LEFT;  // left as Esc leaves: the attempt is not kept
            break;
        }
        while (frame_store.load(std::memory_order_acquire) == 0 && !quit_signal()) {
            al_poll_duh(music_player);
            rest(0);
        }
        while (frame_store.load(std::memory_order_acquire) > 0) {
            ckey = retrieve_input_frame();
            // The key must be let go before it restarts again.
            backspace_held = ckey[KEY_BACKSPACE] ? backspace_held + 1 : 0;
            bool rewind = ckey[KEY_R] != 0;
            destroy_input_frame();
            if (backspace_held == RESTART_HOLD_STEPS) {
                restart_history(history);
                backspace_held = INT_MIN / 2;
                g.restarts++;
                panel.paused = panel.out_of_reach = false;
                still = 0;
                continue;
            }
            if (rewind) {
                // Back through the very states the game went through; a held
                // R past the start waits there.
                if (!rewinding && history.steps > 0)
                    g.rewinds++;
                rewinding = true;
                rewind_history(history, std::max(0L, history.steps - REWIND_STEPS_PER_FRAME));
                panel.paused = panel.out_of_reach = false;
                still = 0;
                continue;
            }
            rewinding = false;
            if (panel.paused)
                continue;
            std::vector<RULE_EVENT> events;
            run_history_step(history, ckey, &events);
            sound_rule_events(events);
            if (++steps_counted == 100) {
                rate = drawn;  // frames drawn over the last 100 logic steps
                steps_counted = drawn = 0;
            }
            if (land->n_diamonds == 0) {
                outcome = LEVEL_GAME_WON;
                break;
            }
            // Settled: only now is a loss certain rather than a guess.
            if (land_newly_settled(still, land))
                panel.out_of_reach = land->w * land->h <= LOSS_CHECK_MAX_TILES &&
                                     count_unreachable_diamonds(land) > 0;
            al_poll_duh(music_player);
        }
        panel.diamonds_left = land->n_diamonds;
        panel.steps = history.steps;
        draw_game_frame(rate);
        draw_level_panels(panel);
        blit(scrbuf, screen, 0, 0, 0, 0, scrbuf->w, scrbuf->h);
        drawn++;
        while (keypressed()) {
            int k = readkey() >> 8;
            if (k == KEY_ESC)
                outcome = LEVEL_GAME_LEFT;
            else if (k == KEY_P)
                panel.paused = !panel.paused;
        }
    }

    end_input();
    remove_views();
    al_stop_duh(music_player);
    music_player = nullptr;
    unload_duh(music);
    music = nullptr;
    if (outcome == LEVEL_GAME_WON) {
        g.steps = history.steps;
        g.tape = history_tape(history);
    }
    free_game_land();
    return outcome;
}
