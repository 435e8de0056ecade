// random_views.h -- random lands, things and viewers, and the game's
// palette and data, for the tests that compare two ways of drawing a view.
#ifndef TAVO_TESTS_RANDOM_VIEWS_H
#define TAVO_TESTS_RANDOM_VIEWS_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "headless.h"
#include "land/land.h"
#include "land_builder.h"
#include "objects/objects.h"
#include "shell/shell.h"

inline const char *const texture_names[] = {"rock.pcx",   "granite.bmp", "cobble.pcx", "brick.bmp",
                                            "marble.pcx", "planks.bmp",  "tiles.pcx",  "lava.bmp"};
inline const int N_TEXTURES = sizeof texture_names / sizeof texture_names[0];

inline int pick(std::mt19937 &rng, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

inline float pick(std::mt19937 &rng, float lo, float hi)
{
    return std::uniform_real_distribution<float>(lo, hi)(rng);
}

inline bool chance(std::mt19937 &rng, double p)
{
    return std::bernoulli_distribution(p)(rng);
}

// Links o into h's list after the objects at its level or below.
inline void file_object(HOLLOW *h, OBJECT *o)
{
    OBJECT **link = &h->object;
    while (*link && (*link)->z <= o->z)
        link = &(*link)->next;
    o->next = *link;
    *link = o;
}

inline OBJECT *add_placeholder(HOLLOW *h, int x, int y, int z, int kind, OBJECT *owner)
{
    OBJECT *p = create_object(OBJ_PLACEHOLDER, x, y, z);
    PLACEHOLDER_DATA *d = (PLACEHOLDER_DATA *)p->data;
    d->kind = kind;
    d->owner = owner;
    file_object(h, p);
    return p;
}

// How add_thing() picks: of ten things, `rocks` are rocks and `players`
// players (the rest diamonds); of `hows` + 1 rocks or players, one stands,
// one falls and the others move.
struct thing_mix {
    int rocks, players, hows;
};

// A rock, player or diamond at level z of h: standing, moving into a
// neighbour (a kind 0 placeholder there owned by it), climbing or sinking a
// level on the way, or falling with a placeholder below.
inline void add_thing(LAND *l, std::mt19937 &rng, int x, int y, HOLLOW *h, int z, const thing_mix &mix)
{
    int r = pick(rng, 0, 9);
    int type = r < mix.rocks ? OBJ_ROCK : r < mix.rocks + mix.players ? OBJ_PLAYER : OBJ_DIAMOND;
    OBJECT *o = create_object(type, x, y, z);
    if (type == OBJ_ROCK) {
        ((ROCK_DATA *)o->data)->texture = pick(rng, 0, l->n_textures - 1);
    } else if (type == OBJ_PLAYER) {
        PLAYER_DATA *p = (PLAYER_DATA *)o->data;
        p->index = 1;
        p->facing = pick(rng, 0, 3);
        p->turn = pick(rng, -29, 29);
    } else {
        ((DIAMOND_DATA *)o->data)->spin = pick(rng, 0, 239);
    }
    file_object(h, o);
    if (type == OBJ_DIAMOND)
        return;
    int how = pick(rng, 0, mix.hows);
    if (how >= 1 && how < mix.hows) {
        int d = pick(rng, 0, 3);
        TILE *n = neighbour_tile(l, x, y, d);
        int climb = chance(rng, 0.3) ? pick(rng, -1, 1) : 0;
        int t = z - climb;
        HOLLOW *target = n ? hollow_at_level(n, t) : nullptr;
        if (target) {
            o->dir = d;
            o->move_step = pick(rng, 1, 29);
            o->z_speed = climb;
            o->z_offset = 14 * climb * o->move_step;
            add_placeholder(target, x + dir_dx[d], y + dir_dy[d], t, 0, o);
        }
    } else if (how == mix.hows && z > h->floor) {
        o->z_offset = pick(rng, 1, 419);
        o->z_speed = pick(rng, 1, 50);
        add_placeholder(h, x, y, z - 1, 0, o);
    }
}

// Wall lists of random textures, so that a list cursor that slips shows in
// the picture.
inline void fill_wall_lists(LAND *l, std::mt19937 &rng)
{
    add_wall_lists(l, [&] { return pick(rng, 0, l->n_textures - 1); });
}

// A viewer somewhere in an open cell (now and then in rock), turned, pitched,
// and sometimes moving or falling.
inline void place_viewer(std::mt19937 &rng, OBJECT *o)
{
    const LAND *l = land;
    o->x = pick(rng, 0, l->w - 1);
    o->y = pick(rng, 0, l->h - 1);
    o->z = pick(rng, 0, 6);
    for (int tries = 0; tries < 20; tries++) {
        int x = pick(rng, 0, l->w - 1), y = pick(rng, 0, l->h - 1);
        const HOLLOW *h = l->tile[y][x].hollow;
        if (!h)
            continue;
        while (h->next && chance(rng, 0.4))
            h = h->next;
        o->x = x;
        o->y = y;
        o->z = pick(rng, h->floor, h->roof - 1);
        break;
    }
    PLAYER_DATA *p = (PLAYER_DATA *)o->data;
    p->facing = pick(rng, 0, 3);
    p->turn = pick(rng, -29, 29);
    p->pitch = pick(rng, -30, 30);
    o->move_step = 0;
    o->z_offset = 0;
    o->dir = pick(rng, 0, 3);
    int how = pick(rng, 0, 3);
    if (how == 1)
        o->move_step = pick(rng, 1, 29);
    else if (how == 2)
        o->z_offset = pick(rng, -84, 419);
}

// Shows every texel unfaded: pixels the fog would hide (sphere points more
// than 10 units away are drawn at light 1) become visible.
inline COLOR_MAP unfaded_map;

// The game's datafile and palette, its colour table and the unfaded map; run
// from the game folder.
inline void start_drawing_tests()
{
    start_headless_allegro();
    dat = load_datafile("tavo.dat");
    ASSERT_NE(dat, nullptr) << "run from the game folder";
    RGB *pal = (RGB *)dat[DATA_PALETTE].dat;
    set_palette(pal);
    create_rgb_table(&the_rgb_map, pal, nullptr);
    rgb_map = &the_rgb_map;
    hand_out_game_data();
    for (int l = 0; l < PAL_SIZE; l++)
        for (int c = 0; c < PAL_SIZE; c++)
            unfaded_map.data[l][c] = (unsigned char)c;
}

inline void end_drawing_tests()
{
    unload_datafile(dat);
    dat = nullptr;
}

#endif
