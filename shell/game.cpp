// game.cpp -- one game: the catch-up loop that runs one logic step per
// recorded input frame and draws whenever the logic has caught up.
#include <cstdio>

#include "render/render.h"
#include "shell/shell.h"

void initialise_messages() {}
void update_messages() {}
void draw_message(BITMAP *) {}

void draw_player_panel(PLAYER_INFO *row)
{
    clear_to_color(row->panel, 0);
}

void lay_out_views(int players, int w, int h)
{
    if (players == 2) {
        for (int p = 0; p < 2; p++) {
            player_info[p].view = create_sub_bitmap(scrbuf, p * (w / 2), 0, w / 2, h - h / 4);
            player_info[p].panel = create_sub_bitmap(scrbuf, p * (w / 2), h - h / 4, w / 2, h / 4);
        }
    } else {
        player_info[0].view = create_sub_bitmap(scrbuf, w / 4, 0, w - w / 4, h);
        player_info[0].panel = create_sub_bitmap(scrbuf, 0, 0, w / 4, h);
    }
}

void remove_views()
{
    for (PLAYER_INFO &row : player_info) {
        if (row.view)
            destroy_bitmap(row.view);
        if (row.panel)
            destroy_bitmap(row.panel);
        row.view = row.panel = nullptr;
    }
}

static void poll_music()
{
    al_poll_duh(music_player);
}

void draw_player_row(PLAYER_INFO *row)
{
    draw_player_view(row->view, row->object, poll_music);
}

void step_land(const char *f, std::vector<RULE_EVENT> *events)
{
    step_land_actions(read_player_actions(f), events);
}

void step_land_actions(const PLAYER_ACTIONS &actions, std::vector<RULE_EVENT> *events)
{
    animate_objects(actions, events);
    sort_objects();
}

bool land_newly_settled(int &still, const LAND *l)
{
    still = land_at_rest(l) ? still + 1 : 0;
    return still == 2;
}

void run_logic_step()
{
    ckey = retrieve_input_frame();
    // A replay takes its keys from the tape; the timer only paces it.
    if (game_playback)
        ckey = next_playback_frame(*game_playback);
    if (game_recording)
        record_frame(*game_recording, ckey);
    std::vector<RULE_EVENT> events;
    step_land(ckey, &events);
    sound_rule_events(events);
    destroy_input_frame();
    update_messages();
}

// Draws the panels and views into scrbuf, with the frame rate over the first
// panel; play_game shows it.
void draw_game_frame(int rate)
{
    for (int p = 0; p < n_players; p++) {
        draw_player_panel(&player_info[p]);
        al_poll_duh(music_player);
        draw_player_row(&player_info[p]);
        al_poll_duh(music_player);
    }
    if (n_players == 0) {
        // Nothing else clears the one-player layout then, and the frame rate
        // would pile up over the last frame's and whatever was shown before.
        draw_player_panel(&player_info[0]);
        clear_to_color(player_info[0].view, 0);
    }
    textprintf_ex(player_info[0].panel, font, 0, 0, 2, -1, "%d", rate);
    draw_message(scrbuf);
}

void play_game()
{
    music_player = al_start_duh(music, 2, 0, 1.0f, 4096, 44100);
    lay_out_views(n_players, scrbuf->w, scrbuf->h);
    initialise_messages();
    start_input();

    bool done = false;
    int steps = 0, drawn = 0, rate = 0;
    while (!done && !quit_signal()) {
        while (frame_store.load(std::memory_order_acquire) == 0 && !quit_signal()) {
            al_poll_duh(music_player);
            rest(0);
        }
        while (frame_store.load(std::memory_order_acquire) > 0) {
            if (game_playback && game_playback->step >= game_playback->frames) {
                done = true;  // the tape has run out before the game ended
                break;
            }
            run_logic_step();
            if (++steps == 100) {
                rate = drawn;  // frames drawn over the last 100 logic steps
                steps = drawn = 0;
            }
            if (land->n_diamonds == 0) {
                done = true;
                break;
            }
            al_poll_duh(music_player);
        }
        draw_game_frame(rate);
        blit(scrbuf, screen, 0, 0, 0, 0, scrbuf->w, scrbuf->h);
        drawn++;
        while (keypressed())
            if ((readkey() >> 8) == KEY_ESC)
                done = true;
    }

    end_input();
    remove_views();
    al_stop_duh(music_player);
    music_player = nullptr;
}

void play_game_with_music()
{
    music = dumb_load_xm(data_path(piece).c_str());  // null plays in silence
    play_game();
    unload_duh(music);
    music = nullptr;
}
