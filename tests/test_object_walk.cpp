// The step walks only the tiles its map marks as holding objects.  Here it
// is held to the walk of every tile: two copies of each generated land,
// one stepped each way with the same keys and random numbers, must stay
// identical after every step, and the map must cover every object.
//
// The lands are wider than the soak's and mostly empty, so that objects
// keep entering tiles that held none: rocks rolling and falling, players
// walking, the placeholders that reserve their way.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "headless.h"
#include "land_builder.h"
#include "land_invariants.h"
#include "random_land.h"
#include "shell/shell.h"
#include "tools/land_json.h"

namespace {

// Rolling ground with pits, now and then a second storey, ramps and corner
// slopes, rocks and diamonds scattered thinly or thickly, stacks of rocks,
// one or two players and at least one diamond, so that the game does not
// end at once.  Drawn afresh from the seed for each copy.
generated_land generate_land(unsigned seed)
{
    seeded_source r(seed);
    land_recipe p;
    bool wide = r.chance(30);
    p.w = wide ? span{20, 60} : span{4, 24};
    p.h = wide ? span{20, 50} : span{4, 24};
    p.top = r.draw(3, 9);
    p.base = 1, p.waves = 15;
    p.shift = 5, p.shift_by = {-9, -9};  // a pit
    p.solid = 4;
    p.height = {2, 5};
    p.storey = 15, p.storey_rise = {3, 6};
    static const int slope_shares[] = {0, 3, 10, 25}, rock_shares[] = {1, 1, 3, 8, 20}, diamond_shares[] = {1, 3, 10};
    p.ramp = p.slope = slope_shares[r.draw(0, 3)];
    p.stacks = r.draw(0, 2), p.stack_height = 9;
    p.rocks = rock_shares[r.draw(0, 4)];
    p.diamonds = diamond_shares[r.draw(0, 2)];
    p.min_diamonds = 1;
    p.player[0] = 100, p.player[1] = 70;
    return random_land(r, p);
}

// What one player holds, for a stretch of steps.
struct held_keys {
    int left = 0;
    std::vector<int> actions;
};

void choose(held_keys &k, random_source &r)
{
    k.left = r.draw(1, 80);
    k.actions.clear();
    for (int a = 0; a < N_ACTIONS; a++)
        if (r.chance(a == ACT_FORWARD ? 50 : 15))
            k.actions.push_back(a);
}

struct walk_counts {
    long lands = 0, steps = 0, entered = 0;
};

// Tiles holding objects after a step that held none before it.
long count_entered(const LAND *l, std::vector<char> &held)
{
    long n = 0;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            bool now = false;
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                now |= h->object != nullptr;
            char &before = held[y * 256 + x];
            n += now && !before;
            before = now;
        }
    return n;
}

// Steps both copies of land `seed`; false at the first difference.
bool compare_walks(unsigned seed, int steps, walk_counts &counts)
{
    generated_land every = generate_land(seed), mapped = generate_land(seed);
    counts.lands++;
    seeded_source keys(seed ^ 0xbeef);
    held_keys held[2];
    static INPUT_FRAME frame;
    std::vector<char> occupied(256 * 256);
    count_entered(mapped.land, occupied);
    bool same = true;
    for (int step = 1; step <= steps && same; step++) {
        memset(frame, 0, sizeof frame);
        for (int p = 0; p < 2; p++) {
            if (--held[p].left <= 0)
                choose(held[p], keys);
            for (int a : held[p].actions)
                frame[player_info[p].key[a][0]] = 1;
        }
        ckey = frame;
        std::string why = step_with_twin(mapped.land, every.land, seed * 100003u + (unsigned)step);
        counts.steps++;
        counts.entered += count_entered(mapped.land, occupied);
        std::string at = "seed " + std::to_string(seed) + " step " + std::to_string(step);
        if (!why.empty()) {
            ADD_FAILURE() << at << ": " << why;
            same = false;
        }
        int missed = unmarked_object_tile(mapped.land);
        if (missed >= 0) {
            ADD_FAILURE() << at << ": tile " << (missed & 255) << "," << (missed >> 8)
                          << " holds objects the map leaves out";
            same = false;
        }
    }
    land = nullptr;
    destroy_land(every.land);
    destroy_land(mapped.land);
    return same;
}

} // namespace

TEST(ObjectWalk, MapWalkStepsAsTheWalkOfEveryTile)
{
    start_headless_allegro();
    walk_counts counts;
    int failed = 0;
    for (unsigned seed = 1; seed <= 200 && failed < 3; seed++)
        failed += !compare_walks(seed, 300, counts);
    printf("object walk: %ld lands, %ld steps, %ld tiles entered that held no object\n", counts.lands,
           counts.steps, counts.entered);
    // The point is objects arriving where there were none.
    EXPECT_GT(counts.lands, 190);
    EXPECT_GT(counts.entered, counts.steps / 25);
}

namespace {

// Which objects a step met, by tile.
std::vector<std::string> met;

int note_meeting()
{
    const OBJECT *o = *ao_object;
    met.push_back(std::to_string(o->type) + "@" + std::to_string(o->x) + "," + std::to_string(o->y));
    return 1;
}

// On its first step the rock reserves cells in empty tiles ahead of it in
// the walk (same word, next row) and behind it, as moves do.
int reserve_around()
{
    note_meeting();
    static const int cells[][2] = {{3, 1}, {70, 1}, {0, 2}, {0, 0}};
    OBJECT *o = *ao_object;
    if (o->move_step++ == 0)
        for (const auto &c : cells)
            create_placeholder(&land->tile[c[1]][c[0]].hollow->object, c[0], c[1], 0, 0, o);
    return 1;
}

class ObjectWalkTables : public ::testing::Test {
protected:
    void SetUp() override
    {
        start_headless_allegro();
        std::copy(animate_object, animate_object + N_OBJECT_TYPES, saved);
        met.clear();
    }
    void TearDown() override
    {
        std::copy(saved, saved + N_OBJECT_TYPES, animate_object);
        walk_every_tile = 0;
        destroy_land(land);
        land = nullptr;
    }
    // A land of open tiles, one hollow each.
    void open_land(int w, int h)
    {
        destroy_land(land);
        land = make_solid_land(w, h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                add_hollow(land, x, y, 0, 4);
    }
    animate_fn saved[N_OBJECT_TYPES];
};

} // namespace

// A tile ahead that gains its first entry during the step is met in its
// turn, as the walk of every tile meets it; one behind waits for the next.
TEST_F(ObjectWalkTables, TilesFilledDuringTheStepAreMetInTurn)
{
    std::vector<std::string> seen[2];
    for (int map = 0; map < 2; map++) {
        open_land(72, 3);
        add_object(land->tile[1][1].hollow, OBJ_ROCK, 1, 1, 0);
        animate_object[OBJ_ROCK] = reserve_around;
        animate_object[OBJ_PLACEHOLDER] = note_meeting;
        walk_every_tile = !map;
        met.clear();
        animate_objects(PLAYER_ACTIONS{});
        animate_objects(PLAYER_ACTIONS{});
        seen[map] = met;
    }
    EXPECT_EQ(seen[0], (std::vector<std::string>{"3@1,1", "0@3,1", "0@70,1", "0@0,2",
                                                  "0@0,0", "3@1,1", "0@3,1", "0@70,1", "0@0,2"}));
    EXPECT_EQ(seen[1], seen[0]);
}

// The loader, the editor and builders make objects with create_object, and
// a map made before them must not keep them out of the walk; nor an object
// moved to another tile by hand, once forget_object_tiles() is called.
TEST_F(ObjectWalkTables, ObjectsFiledOutsideTheRulesJoinTheWalk)
{
    open_land(130, 4);
    add_object(land->tile[0][0].hollow, OBJ_DIAMOND, 0, 0, 0);
    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(unmarked_object_tile(land), -1);

    OBJECT *d = create_object(OBJ_DIAMOND, 129, 3, 1);
    land->tile[3][129].hollow->object = d;
    EXPECT_NE(unmarked_object_tile(land), -1);
    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(((DIAMOND_DATA *)d->data)->spin, 1);
    EXPECT_EQ(unmarked_object_tile(land), -1);

    land->tile[3][129].hollow->object = nullptr;
    d->x = 64, d->y = 2;
    land->tile[2][64].hollow->object = d;
    forget_object_tiles();
    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(((DIAMOND_DATA *)d->data)->spin, 2);

    // A new land starts without a map, however its objects were made (the
    // editor makes its own records).
    open_land(130, 4);
    OBJECT *e = (OBJECT *)calloc(1, sizeof(OBJECT));
    e->type = OBJ_DIAMOND, e->x = 100, e->y = 1;
    e->data = calloc(1, sizeof(DIAMOND_DATA));
    land->tile[1][100].hollow->object = e;
    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(((DIAMOND_DATA *)e->data)->spin, 1);
}
