// test_play.cpp -- F5: the land being edited, played as the game plays it.
//
// The game gets a land of its own, written out and read back by the game's
// loader (rocks, players and diamond count as a game sees them), so nothing
// the rules do can reach the editor's land.  The globals the game takes over
// are set aside and put back: the land, the player table's rows (the editor's
// camera and views live in row 0), the player count and editor_running.
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "editor/editor.h"
#include "land/land.h"
#include "shell/shell.h"

namespace {

// The game's copy of the land, or null with the reason.
LAND *load_game_copy(const char *&why)
{
    const char *dir = getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/tavo-play-XXXXXX";
    int fd = mkstemp(&path[0]);
    if (fd < 0) {
        why = "no temporary file can be made";
        return nullptr;
    }
    close(fd);
    LAND *copy = nullptr;
    if (save_land(land, path.c_str()) != 0) {
        why = "the temporary file cannot be written";
    } else {
        copy = load_land(path.c_str(), LAND_FOR_PLAY);
        if (!copy)
            why = land_load_error();
    }
    unlink(path.c_str());
    return copy;
}

// Keys still held from the game would fly the camera.
void wait_for_game_keys_up()
{
    for (;;) {
        bool held = key[KEY_ESC] != 0;
        for (const PLAYER_INFO &row : player_info)
            for (int a = 0; a < N_ACTIONS; a++)
                for (int k = 0; k < 2; k++)
                    held |= row.key[a][k] && key[row.key[a][k]];
        if (!held || quit_signal())
            break;
        rest(1);
    }
    clear_keybuf();
}

} // namespace

void (*editor_play_game)() = play_game_with_music;

void editor_test_play()
{
    end_input();
    if (!editor_player_exists[0]) {
        alert("You must put", "Player 1 somewhere!", nullptr, "OK", nullptr, 0, 0);
    } else {
        LAND *edited = land;
        int players = n_players;
        PLAYER_INFO rows[2] = {player_info[0], player_info[1]};
        for (PLAYER_INFO &row : player_info)
            row.object = nullptr, row.view = row.panel = nullptr;

        const char *why = "";
        LAND *copy = load_game_copy(why);
        if (copy) {
            set_game_land(copy);
            editor_running = 0;
            editor_play_game();
            free_game_land();
            editor_running = 1;
        }
        land = edited;
        n_players = players;
        for (int i = 0; i < 2; i++)
            player_info[i] = rows[i];
        if (dat)
            build_fog_map((RGB *)dat[DATA_PALETTE].dat, land->fog_colour);
        if (!copy && !quit_signal())
            alert("Cannot play the land:", why, nullptr, "OK", nullptr, 0, 0);
    }
    wait_for_game_keys_up();
    start_input();  // a fresh ring: the game's last frames are not the editor's
}
