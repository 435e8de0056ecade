// fuzz_rules -- the game rules on small lands and keys made from the input.
//
// The input's first bytes shape a land of up to 8 x 8 tiles and 6 levels:
// each cell open or solid, slopes on floors, rocks and diamonds, one or two
// players.  The rest are the keys both players hold, stretch by stretch.
// The rules then run for a few hundred steps, exactly as the game loop runs
// them, with the soak test's invariants checked after every step, and the
// same land stepped by the walk of every tile must stay the same.
#include "fuzz_common.h"
#include "land_builder.h"

namespace {

const int max_side = 8, max_levels = 6, steps = 300;

struct byte_reader {
    const uint8_t *p;
    size_t n, i = 0;
    int next() { return i < n ? p[i++] : 0; }  // zeros past the end: solid rock, no keys
};

enum { NOTHING, ROCK, DIAMOND, PLAYER_1, PLAYER_2 };

// Which of the 8 input bits hold which action; bit 7 steps sideways.
const int action_bit[7] = {ACT_TURN_LEFT, ACT_TURN_RIGHT, ACT_DOWN, ACT_UP, ACT_FORWARD, ACT_BACK, ACT_STRAFE};

struct cell_plan {
    int open = 0, slope = 0, object = NOTHING, texture = 0, facing = 0;
};

generated_land build_land(byte_reader &in, int &players)
{
    int w = 1 + in.next() % max_side, h = 1 + in.next() % max_side, levels = 2 + in.next() % (max_levels - 1);
    int want_players = in.next() % 3;
    cell_plan plan[max_side][max_side][max_levels];
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int z = 0; z < levels; z++) {
                int c = in.next();
                cell_plan &p = plan[y][x][z];
                p.open = (c & 3) != 0;
                bool floor = p.open && (z == 0 || !plan[y][x][z - 1].open);
                if (floor && ((c >> 2) & 3) == 0)
                    p.slope = 1 + (c >> 4) % 12;
                int o = (c >> 5) & 7;
                p.object = o == 5 || o == 6 ? ROCK : o == 7 ? DIAMOND : NOTHING;
                p.texture = (c >> 2) % 3;
            }

    static const char *const names[] = {"a.pcx", "b.pcx", "c.pcx"};
    LAND *l = create_land(w, h, names, 3);
    if (!l)
        fuzz_fault("create_land failed");
    // Hollows column by column: a run of open levels is one hollow.
    std::vector<std::pair<HOLLOW *, int>> free_cells;  // (hollow, x + y * 8 + z * 64)
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            HOLLOW **tail = &l->tile[y][x].hollow;
            HOLLOW *o = nullptr;
            for (int z = 0; z < levels; z++) {
                cell_plan &p = plan[y][x][z];
                if (!p.open) {
                    o = nullptr;
                    continue;
                }
                if (!o) {
                    o = (HOLLOW *)calloc(1, sizeof(HOLLOW));
                    o->floor = z;
                    o->slope = p.slope;
                    *tail = o;
                    tail = &o->next;
                }
                o->roof = z + 1;
                if (z < floor_level(o))
                    p.object = NOTHING;  // inside the ramp
                else if (p.object == NOTHING)
                    free_cells.push_back({o, x + y * 8 + z * 64});
            }
        }
    for (int i = 0; i < want_players && !free_cells.empty(); i++) {
        int hi = in.next(), lo = in.next(), facing = in.next();
        size_t k = ((size_t)hi << 8 | lo) % free_cells.size();
        int at = free_cells[k].second;
        cell_plan &p = plan[at / 8 % 8][at % 8][at / 64];
        p.object = PLAYER_1 + i;
        p.facing = facing & 3;
        free_cells.erase(free_cells.begin() + k);
    }

    generated_land g;
    g.land = l;
    players = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (HOLLOW *o = l->tile[y][x].hollow; o; o = o->next) {
                OBJECT **tail = &o->object;
                for (int z = o->floor; z < o->roof; z++) {
                    const cell_plan &p = plan[y][x][z];
                    if (p.object == NOTHING)
                        continue;
                    int type = p.object == ROCK ? OBJ_ROCK : p.object == DIAMOND ? OBJ_DIAMOND : OBJ_PLAYER;
                    OBJECT *obj = create_object(type, x, y, z);
                    *tail = obj;
                    tail = &obj->next;
                    if (type == OBJ_ROCK) {
                        ((ROCK_DATA *)obj->data)->texture = p.texture;
                    } else if (type == OBJ_DIAMOND) {
                        l->n_diamonds++;
                    } else {
                        PLAYER_DATA *d = (PLAYER_DATA *)obj->data;
                        d->index = p.object - PLAYER_1;
                        d->facing = p.facing;
                        g.player[d->index] = obj;
                        players++;
                    }
                }
            }
    add_wall_lists(l);
    return g;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    start_fuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    byte_reader in{data, size}, again{data, size};
    int players = 0, twin_players = 0;
    generated_land g = build_land(in, players), twin = build_land(again, twin_players);
    check_round_trip(g.land, players, false, "a generated land");

    land = g.land;
    n_players = players;
    player_info[0].object = g.player[0];
    player_info[1].object = g.player[1];
    int held[2] = {0, 0}, left = 0;
    bool sideways_left = false;
    run_checked_steps(g, steps, [&](int, char *frame) {
        if (--left <= 0) {
            held[0] = in.next();
            held[1] = in.next();
            int d = in.next();
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
