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
#include "rules_invariants.h"
#include "shell/shell.h"
#include "tools/land_json.h"
#include "tools/land_source.h"

namespace {

struct walk_rng {
    uint64_t s;
    explicit walk_rng(uint64_t seed) : s(seed * 0x9e3779b97f4a7c15ull + 7) {}
    uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return (uint32_t)(s >> 11);
    }
    int below(int n) { return (int)(next() % (uint32_t)n); }
    bool chance(double p) { return next() % 10000 < p * 10000; }
};

// Rolling ground with pits, now and then a second storey, ramps and corner
// slopes, rocks and diamonds scattered thinly or thickly, stacks of rocks,
// one or two players; as land source text.
std::string generate_source(unsigned seed)
{
    walk_rng r(seed);
    bool wide = r.chance(0.3);
    int w = wide ? 20 + r.below(41) : 4 + r.below(21), h = wide ? 20 + r.below(31) : 4 + r.below(21);
    int levels = 3 + r.below(7);
    std::vector<std::string> terrain(levels * h, std::string(w, '#')), object(levels * h, std::string(w, '.'));
    auto t = [&](int z, int y) -> std::string & { return terrain[z * h + y]; };
    auto o = [&](int z, int y) -> std::string & { return object[z * h + y]; };
    double fx = 0.1 + r.below(40) / 100.0, fy = 0.1 + r.below(40) / 100.0;
    double px = r.below(630) / 100.0, py = r.below(630) / 100.0, amp = 0.3 + r.below(13) / 10.0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            if (r.chance(0.04))
                continue;  // solid
            int g = (int)std::lround(1 + amp * (std::sin(x * fx + px) + std::cos(y * fy + py)));
            g = std::max(0, std::min(levels - 2, g));
            if (r.chance(0.05))
                g = 0;  // a pit
            int top = std::min(levels, g + 2 + r.below(4));
            for (int z = g; z < top; z++)
                t(z, y)[x] = '.';
            if (r.chance(0.15) && top + 2 < levels)  // a storey over a layer of rock
                for (int z = top + 1; z < std::min(levels, top + 3 + r.below(2)); z++)
                    t(z, y)[x] = '.';
        }
    const char *slopes = "^>v<56789abc";
    static const double slope_shares[] = {0, 0.03, 0.1, 0.25};
    double slope_share = slope_shares[r.below(4)];
    for (int z = 0; z < levels; z++)
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                bool on_rock = z == 0 || t(z - 1, y)[x] == '#';
                bool open_above = z + 1 < levels && t(z + 1, y)[x] == '.';
                if (t(z, y)[x] == '.' && on_rock && open_above && r.chance(slope_share))
                    t(z, y)[x] = slopes[r.chance(0.7) ? r.below(4) : r.below(12)];
            }
    static const double rock_shares[] = {0.005, 0.01, 0.03, 0.08, 0.2}, diamond_shares[] = {0.01, 0.03, 0.1};
    double rocks = rock_shares[r.below(5)], diamonds = diamond_shares[r.below(3)];
    std::vector<int> open;  // z * 65536 + y * 256 + x
    for (int z = 0; z < levels; z++)
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                if (t(z, y)[x] == '.') {
                    open.push_back(z * 65536 + y * 256 + x);
                    if (r.chance(rocks))
                        o(z, y)[x] = 'R';
                    else if (r.chance(diamonds))
                        o(z, y)[x] = 'D';
                }
    if (open.empty())
        return "";
    for (int n = r.below(7); n > 0; n--) {
        int c = open[r.below((int)open.size())], x = c & 255, y = c >> 8 & 255;
        for (int z = c >> 16; z < levels && t(z, y)[x] == '.'; z++)
            o(z, y)[x] = 'R';  // a stack
    }
    int players = r.chance(0.3) ? 1 : 2;
    for (int p = 0; p < players; p++) {
        int c = open[r.below((int)open.size())];
        o(c >> 16, c >> 8 & 255)[c & 255] = "PQ"[p];
    }
    int c = open[r.below((int)open.size())];
    char &last = o(c >> 16, c >> 8 & 255)[c & 255];
    if (last != 'P' && last != 'Q')
        last = 'D';  // at least one, so the game does not end at once
    std::string s = "size " + std::to_string(w) + " " + std::to_string(h) + "\ntextures a.pcx b.pcx c.pcx\n" +
                    "players " + std::to_string(players) + "\nfacing P " + std::to_string(r.below(4)) + "\n";
    if (players == 2)
        s += "facing Q " + std::to_string(r.below(4)) + "\n";
    for (int z = 0; z < levels; z++) {
        s += "level " + std::to_string(z) + "\n";
        for (int y = 0; y < h; y++) {
            s += "  ";
            for (int x = 0; x < w; x++) {
                s += t(z, y)[x];
                s += t(z, y)[x] == '#' ? '#' : o(z, y)[x];
            }
            s += "\n";
        }
    }
    return s;
}

// What one player holds, for a stretch of steps.
struct held_keys {
    int left = 0;
    std::vector<int> actions;
};

void choose(held_keys &k, walk_rng &r)
{
    k.left = 1 + r.below(80);
    k.actions.clear();
    for (int a = 0; a < N_ACTIONS; a++)
        if (r.chance(a == ACT_FORWARD ? 0.5 : 0.15))
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
    std::string text = generate_source(seed);
    if (text.empty())
        return true;
    land_source_result every = parse_land_source(text), mapped = parse_land_source(text);
    if (!every.land || !mapped.land) {
        ADD_FAILURE() << "seed " << seed << ": " << every.error << "\n" << text;
        destroy_land(every.land);
        destroy_land(mapped.land);
        return true;
    }
    counts.lands++;
    walk_rng keys(seed ^ 0xbeef);
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
        for (int map = 0; map < 2; map++) {
            land = map ? mapped.land : every.land;
            walk_every_tile = !map;
            srand(seed * 100003u + (unsigned)step);
            step_land(frame);
        }
        walk_every_tile = 0;
        counts.steps++;
        counts.entered += count_entered(mapped.land, occupied);
        std::string at = "seed " + std::to_string(seed) + " step " + std::to_string(step);
        std::string why = compare_objects(every.land, mapped.land);
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
