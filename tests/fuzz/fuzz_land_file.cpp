// fuzz_land_file -- the land loader on hostile files.
//
// The input is a land file's data as the loader sees it once unpacked
// ("TAVO", players, textures, ...).  It is written packed, as the game saves
// lands, and unpacked behind the "slh." header; both must load alike, in
// the game and in the editor.  An input that is itself a packfile (it begins
// with "slh!" or "slh.") is also written as it stands, so that the unpacker
// sees hostile data too.  A small land the game takes is then played for a
// few steps with the rules' invariants checked.
#include <cstring>

#include "fuzz_common.h"

namespace {

// Lands small enough to run the rules on, and for how long.
const int max_rules_tiles = 100, rules_steps = 100;

struct outcome {
    bool loaded = false;
    std::string error;
    std::string shape;       // the land, its player count left out
    std::string with_count;  // the land with the player count it loaded with
};

outcome load(const std::string &path, bool editor, const char *what)
{
    outcome r;
    LAND *l;
    {
        in_fuzz_folder here;
        srand(1);
        l = load_land(path.c_str(), editor ? LAND_FOR_EDITING : LAND_FOR_PLAY);
    }
    if (!l) {
        r.error = land_load_error();
        if (r.error.empty())
            fuzz_fault("%s: load_land gave null without saying why", what);
        return r;
    }
    r.loaded = true;
    int players = l->n_players;
    if (!editor) {
        // The game draws a view for each counted player from its placement.
        if (players < 0 || players > 2)
            fuzz_fault("%s: the game takes a land with %d players", what, players);
        for (int i = 0; i < players; i++)
            if (!l->player[i])
                fuzz_fault("%s: player %d is counted but has no object", what, i);
    } else if (players != (l->player[0] != nullptr) + (l->player[1] != nullptr)) {
        fuzz_fault("%s: the editor counts %d players, of whom %d and %d are placed", what, players,
                   l->player[0] != nullptr, l->player[1] != nullptr);
    }
    check_round_trip(l, players, editor, what);
    r.shape = land_shape(l, 0);
    r.with_count = land_shape(l, players);
    if (!editor && l->w * l->h <= max_rules_tiles) {
        // Whatever the game loads, its rules must run: the players walk
        // and turn now and then while everything falls and rolls.
        set_game_land(l);
        generated_land g;
        g.land = l;
        g.player[0] = player_info[0].object;
        g.player[1] = player_info[1].object;
        run_checked_steps(g, rules_steps, [](int step, char *frame) {
            for (int p = 0; p < 2; p++) {
                frame[player_info[p].key[ACT_FORWARD][0]] = 1;
                if (step % 45 < 3)
                    frame[player_info[p].key[p ? ACT_TURN_LEFT : ACT_TURN_RIGHT][0]] = 1;
            }
        });
        land = nullptr;
        player_info[0].object = player_info[1].object = nullptr;
        n_players = 0;
    }
    destroy_land(l);
    return r;
}

void same(const outcome &a, const outcome &b, const char *what)
{
    if (a.loaded != b.loaded)
        fuzz_fault("%s: one loads and the other does not (%s)", what, (a.loaded ? b : a).error.c_str());
    if (a.error != b.error)
        fuzz_fault("%s: refused for different reasons: \"%s\" and \"%s\"", what, a.error.c_str(), b.error.c_str());
    if (a.with_count != b.with_count)
        fuzz_fault("%s: different lands, %s", what, first_difference(a.with_count, b.with_count).c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    start_fuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string packed = fuzz_path("packed.lvl"), unpacked = fuzz_path("unpacked.lvl");
    write_packed(packed, data, size);
    write_unpacked(unpacked, data, size);
    outcome game = load(packed, false, "the packed file");
    same(game, load(unpacked, false, "the unpacked file"), "the packed and the unpacked file");

    // The editor is the more lenient reader: it counts the players placed
    // instead of trusting the file.  It must take whatever the game takes.
    outcome editor = load(unpacked, true, "the file in the editor");
    if (game.loaded && !editor.loaded)
        fuzz_fault("the editor refuses a land the game loads: %s", editor.error.c_str());
    if (game.loaded && game.shape != editor.shape)
        fuzz_fault("the game and the editor load different lands, %s",
                   first_difference(game.shape, editor.shape).c_str());

    if (size >= 4 && (!memcmp(data, "slh!", 4) || !memcmp(data, "slh.", 4))) {
        std::string raw = fuzz_path("raw.lvl");
        write_plain(raw, data, size);
        load(raw, false, "the file as it stands");
    }
    return 0;
}
