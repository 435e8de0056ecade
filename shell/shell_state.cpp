// shell_state.cpp -- the program-wide state owned by the entry, kept apart
// from main() so that the tool and the tests share it.
#include "shell/shell.h"

#include "render/render.h"

DATAFILE *dat = nullptr;
RGB_MAP the_rgb_map;
BITMAP *scrbuf = nullptr;
DUH *music = nullptr;
AL_DUH_PLAYER *music_player = nullptr;
const char *piece = "piece01.xm";
int n_players = 0;

int (*collect_sample_player)(const SAMPLE *s, int vol, int pan, int freq, int loop) = play_sample;

void set_game_land(LAND *l)
{
    land = l;
    n_players = l->n_players;
    player_info[0].object = l->player[0];
    player_info[1].object = l->player[1];
    if (dat)
        build_fog_map((RGB *)dat[DATA_PALETTE].dat, l->fog_colour);
}

void free_game_land()
{
    destroy_land(land);
    land = nullptr;
    // The player table must never point into a land that is gone.
    player_info[0].object = player_info[1].object = nullptr;
    n_players = 0;
}

static std::string texture_in_data_folder(const char *name)
{
    return data_path(name);
}

void hand_out_game_data()
{
    find_texture_file = texture_in_data_folder;
    if (dat)
        set_model_textures((BITMAP *)dat[DATA_DIAMOND_TEX].dat, (BITMAP *)dat[DATA_PLAYER_TEX].dat);
}

void sound_rule_events(const std::vector<RULE_EVENT> &events)
{
    for (const RULE_EVENT &e : events)
        if (e.kind == EVENT_DIAMOND_COLLECTED && dat)
            collect_sample_player((SAMPLE *)dat[DATA_COLLECT].dat, 255, 128, e.chime_freq, 0);
}
