// Land model: the wall walk, hollow lookups and destruction.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "headless.h"
#include "land_builder.h"
#include "shell/shell.h"
#include "random_land.h"
#include "tools/land_json.h"

namespace {

std::vector<int> exposed(const LAND *l, int x, int y, int d)
{
    std::vector<int> zs;
    walk_wall(&l->tile[y][x], neighbour_tile(l, x, y, d), [&](int z) { zs.push_back(z); });
    return zs;
}

// The definition the walk must agree with: a level is exposed when it is
// open in the tile and not open in the neighbour.
std::vector<int> exposed_by_definition(const LAND *l, int x, int y, int d)
{
    std::vector<int> zs;
    const TILE *n = neighbour_tile(l, x, y, d);
    for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
        for (int z = h->floor; z < h->roof; z++)
            if (!n || !hollow_at_level(n, z))
                zs.push_back(z);
    return zs;
}

struct LandDeleter {
    void operator()(LAND *l) const { destroy_land(l); }
};
using land_ptr = std::unique_ptr<LAND, LandDeleter>;

} // namespace

TEST(WallWalk, SolidTilesAndBorders)
{
    land_ptr l(make_solid_land(3, 3));
    // A solid tile has no walls of its own, whatever surrounds it.
    add_hollow(l.get(), 0, 0, 2, 5);
    for (int d = 0; d < 4; d++)
        EXPECT_EQ(wall_length(l.get(), 1, 1, d), 0);

    // The corner tile faces outside the grid on sides 0 and 3 and solid
    // tiles on 1 and 2: every open level is exposed on every side.
    for (int d = 0; d < 4; d++)
        EXPECT_EQ(exposed(l.get(), 0, 0, d), (std::vector<int>{2, 3, 4})) << "side " << d;
    EXPECT_EQ(neighbour_tile(l.get(), 0, 0, 0), nullptr);
    EXPECT_EQ(neighbour_tile(l.get(), 0, 0, 3), nullptr);
    EXPECT_EQ(neighbour_tile(l.get(), 2, 2, 1), nullptr);
    EXPECT_EQ(neighbour_tile(l.get(), 2, 2, 2), nullptr);
    EXPECT_EQ(neighbour_tile(l.get(), 1, 1, 2), &l->tile[2][1]);
}

TEST(WallWalk, NeighboursOpenAtTheSameOrOtherLevels)
{
    land_ptr l(make_solid_land(4, 1));
    add_hollow(l.get(), 0, 0, 0, 4);
    add_hollow(l.get(), 1, 0, 0, 4);   // same levels: nothing exposed between them
    add_hollow(l.get(), 2, 0, 1, 3);   // open only in the middle of tile 1's hollow
    add_hollow(l.get(), 3, 0, 7, 8);   // one level, far above the rest

    EXPECT_TRUE(exposed(l.get(), 0, 0, 1).empty());
    EXPECT_TRUE(exposed(l.get(), 1, 0, 3).empty());
    EXPECT_EQ(exposed(l.get(), 1, 0, 1), (std::vector<int>{0, 3}));
    EXPECT_TRUE(exposed(l.get(), 2, 0, 3).empty());
    EXPECT_EQ(exposed(l.get(), 2, 0, 1), (std::vector<int>{1, 2}));
    EXPECT_EQ(exposed(l.get(), 3, 0, 3), (std::vector<int>{7}));
    EXPECT_EQ(wall_length(l.get(), 3, 0, 0), 1);
}

TEST(WallWalk, SeveralHollowsOnBothSides)
{
    land_ptr l(make_solid_land(2, 1));
    add_hollow(l.get(), 0, 0, 0, 2);
    add_hollow(l.get(), 0, 0, 5, 9);
    add_hollow(l.get(), 0, 0, 9, 10);  // touching the one below
    add_hollow(l.get(), 1, 0, 1, 6);
    add_hollow(l.get(), 1, 0, 7, 8);
    EXPECT_EQ(exposed(l.get(), 0, 0, 1), (std::vector<int>{0, 6, 8, 9}));
    EXPECT_EQ(exposed(l.get(), 1, 0, 3), (std::vector<int>{2, 3, 4}));
}

TEST(WallWalk, AgreesWithTheDefinitionOnRandomLands)
{
    // Stacks of flat hollows, touching now and then.
    seeded_source rng(7);
    land_recipe p;
    p.jitter = 3;
    p.stack = {0, 3}, p.height = {1, 4}, p.gap = {0, 2};
    for (int round = 0; round < 200; round++) {
        land_ptr l(random_land(rng, p).land);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 4; x++)
                for (int d = 0; d < 4; d++)
                    ASSERT_EQ(exposed(l.get(), x, y, d), exposed_by_definition(l.get(), x, y, d))
                        << "round " << round << " tile " << x << "," << y << " side " << d;
    }
}

TEST(HollowLookup, FindsTheHollowHoldingALevel)
{
    land_ptr l(make_solid_land(1, 1));
    HOLLOW *a = add_hollow(l.get(), 0, 0, 2, 4);
    HOLLOW *b = add_hollow(l.get(), 0, 0, 6, 7);
    const TILE *t = &l->tile[0][0];
    EXPECT_EQ(find_hollow(t, 0), a);  // below the floor: filed there, not open
    EXPECT_EQ(hollow_at_level(t, 0), nullptr);
    EXPECT_EQ(hollow_at_level(t, 3), a);
    EXPECT_EQ(find_hollow(t, 4), b);
    EXPECT_EQ(hollow_at_level(t, 4), nullptr);
    EXPECT_EQ(hollow_at_level(t, 6), b);
    EXPECT_EQ(find_hollow(t, 7), nullptr);
}

TEST(DestroyLand, FreesEverythingAndTheGameDropsItsPlayers)
{
    start_headless_allegro();
    LAND *l = make_solid_land(3, 2, 2);
    l->texture[0] = create_bitmap(128, 128);  // slot 1 stays null, as a failed load leaves it
    HOLLOW *h = add_hollow(l, 1, 1, 0, 3);
    add_hollow(l, 1, 1, 4, 6);
    OBJECT *p = add_object(h, OBJ_PLAYER, 1, 1, 0);
    add_object(h, OBJ_ROCK, 1, 1, 1);
    add_object(h, OBJ_PLACEHOLDER, 1, 1, 2);
    l->tile[1][1].wall[0] = (int *)calloc(5, sizeof(int));
    l->texture_filename = (char **)calloc(2, sizeof(char *));
    l->texture_filename[0] = strdup("rock.pcx");
    l->texture_filename[1] = strdup("grass.pcx");
    l->n_players = 1;
    l->player[0] = p;

    // The game takes its rows from the land, and must never keep pointing
    // into it once it is gone.  Leaks and double frees are caught by the
    // sanitiser build of this test.
    set_game_land(l);
    EXPECT_EQ(land, l);
    EXPECT_EQ(n_players, 1);
    EXPECT_EQ(player_info[0].object, p);
    EXPECT_EQ(player_info[1].object, nullptr);
    free_game_land();
    EXPECT_EQ(land, nullptr);
    EXPECT_EQ(n_players, 0);
    EXPECT_EQ(player_info[0].object, nullptr);

    destroy_land(nullptr);  // as free() takes null
}

TEST(FogMap, FadesTowardsTheFogColour)
{
    start_headless_allegro();
    PALETTE pal;
    for (int i = 0; i < 256; i++) {
        pal[i].r = (unsigned char)(i % 64);
        pal[i].g = (unsigned char)((i / 4) % 64);
        pal[i].b = (unsigned char)(63 - i % 64);
    }
    build_fog_map(pal, 17);
    for (int c = 0; c < 256; c += 15) {
        EXPECT_EQ(the_fog_map.data[255][c], c) << "full light keeps colour " << c;
        int f = the_fog_map.data[0][c];
        EXPECT_EQ(pal[f].r, pal[17].r);
        EXPECT_EQ(pal[f].g, pal[17].g);
        EXPECT_EQ(pal[f].b, pal[17].b);
    }
}

// Whatever a recipe asks, the generator's lands keep the model; and the same
// numbers draw the same land, since the rules fuzzer steps a twin drawn from
// the same bytes and the walk test a copy drawn from the same seed.
TEST(RandomLand, LandsKeepTheModelAndComeAgainFromTheSameNumbers)
{
    start_headless_allegro();
    land_recipe rules;  // at rest on rolling ground, with storeys, ledges and pits
    rules.w = rules.h = {1, 12};
    rules.base = 4, rules.waves = 15, rules.jitter = 1;
    rules.shift = 5, rules.shift_by = {-6, 2};
    rules.solid = 5;
    rules.stack = {1, 2}, rules.height = {1, 5}, rules.gap = {0, 2};
    rules.storey = 10, rules.storey_beside = 50, rules.storey_rise = {2, 5}, rules.ledge = 70;
    rules.ramp = 50, rules.slope = 20, rules.stacks = 20, rules.rocks = 5, rules.diamonds = 5;
    rules.min_diamonds = 2, rules.player[0] = 80, rules.player[1] = 80, rules.head_rock = 50;
    land_recipe things = rules;  // stacked, touching, painted, in mid-move, high up
    things.paint = true, things.n_textures = 5, things.tall = 2, things.touch_sloped = true;
    things.shift_by = {60000, 65000}, things.stack = {0, 4}, things.storey = things.storey_beside = 0;
    things.stacks = 70, things.mix = {7, 0, 40, 30};  // players as things would share index 1
    auto json = [](generated_land g) {
        char why[200] = "";
        EXPECT_TRUE(check_land(g.land, why, sizeof why)) << why;
        std::string s = land_json(g.land, g.n_players);
        destroy_land(g.land);
        return s;
    };
    for (const land_recipe *p : {&rules, &things})
        for (unsigned seed = 1; seed <= 40; seed++) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            seeded_source a(seed), b(seed);
            EXPECT_EQ(json(random_land(a, *p)), json(random_land(b, *p)));
            std::vector<uint8_t> bytes(seed * 37);
            for (uint8_t &c : bytes)
                c = (uint8_t)a.draw(0, 255);
            byte_source c(bytes.data(), bytes.size()), d(bytes.data(), bytes.size());
            EXPECT_EQ(json(random_land(c, *p)), json(random_land(d, *p)));
        }
}
