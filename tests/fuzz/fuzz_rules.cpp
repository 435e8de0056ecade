// fuzz_rules -- the game rules on small lands and keys made from the input.
//
// The input's first bytes shape a land of up to 8 x 8 tiles and 6 levels,
// drawn by the tests' generator: stacks of hollows, ramps and slopes on
// floors, stacks of rocks, rocks and diamonds on the floor and in mid-air,
// none, one or two players.  The rest are the keys both players hold,
// stretch by stretch.
// The rules then run for a few hundred steps, exactly as the game loop runs
// them, with the soak test's invariants checked after every step, and the
// same land stepped by the walk of every tile must stay the same.
#include "fuzz_common.h"
#include "random_land.h"

namespace {

const int steps = 300;

// Which of the 8 input bits hold which action; bit 7 steps sideways.
const int action_bit[7] = {ACT_TURN_LEFT, ACT_TURN_RIGHT, ACT_DOWN, ACT_UP, ACT_FORWARD, ACT_BACK, ACT_STRAFE};

generated_land build_land(random_source &in)
{
    land_recipe p;
    p.w = p.h = {1, 8};
    p.texture_names = {"a.pcx", "b.pcx", "c.pcx"};
    p.top = 6;
    p.jitter = 3;
    p.solid = 15;
    p.stack = {1, 3}, p.height = {1, 5}, p.gap = {1, 2};
    p.ramp = 30, p.slope = 25;
    p.stacks = 10, p.stack_height = 3;
    p.rocks = 15, p.diamonds = 10;
    p.player[0] = 67, p.player[1] = 50;
    p.head_rock = 10;
    return random_land(in, p);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    start_fuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    byte_source in(data, size), again(data, size);
    generated_land g = build_land(in), twin = build_land(again);
    check_round_trip(g.land, g.n_players, false, "a generated land");

    make_current(g);
    int held[2] = {0, 0}, left = 0;
    bool sideways_left = false;
    run_checked_steps(g, steps, [&](int, char *frame) {
        if (--left <= 0) {
            held[0] = in.byte();
            held[1] = in.byte();
            int d = in.byte();
            left = 1 + d % 48;
            sideways_left = d & 1;
        }
        for (int p = 0; p < 2; p++) {
            for (int b = 0; b < 7; b++)
                if (held[p] >> b & 1)
                    frame[player_info[p].key[action_bit[b]][0]] = 1;
            if (held[p] & 128)
                frame[player_info[p].key[sideways_left ? ACT_STRAFE_LEFT : ACT_STRAFE_RIGHT][0]] = 1;
        }
    }, twin.land);
    destroy_land(twin.land);
    destroy_land(land);
    land = nullptr;
    n_players = 0;
    player_info[0].object = player_info[1].object = nullptr;
    return 0;
}
