// fuzz_land_source -- the text land builder on hostile sources.
//
// A source is refused with a line and a message, or builds a land that keeps
// every invariant and survives being saved and loaded in the game and in
// the editor.
#include "fuzz_common.h"
#include "tools/land_source.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    start_fuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text((const char *)data, size);
    land_source_result r = parse_land_source(text);
    if (!r.land) {
        // "LINE: message", or the message alone for the land as a whole.
        if (r.error.empty())
            fuzz_fault("the builder refuses a source without saying why");
        return 0;
    }
    if (!r.error.empty())
        fuzz_fault("the builder gives a land and an error: %s", r.error.c_str());
    if (r.n_players < 0 || r.n_players > 2)
        fuzz_fault("the builder counts %d players", r.n_players);
    int placed = 0;
    for (int y = 0; y < r.land->h; y++)
        for (int x = 0; x < r.land->w; x++)
            for (HOLLOW *h = r.land->tile[y][x].hollow; h; h = h->next)
                for (OBJECT *o = h->object; o; o = o->next)
                    placed += o->type == OBJ_PLAYER;
    check_round_trip(r.land, r.n_players, false, "a built land");
    check_round_trip(r.land, placed, true, "a built land, in the editor");
    destroy_land(r.land);
    return 0;
}
