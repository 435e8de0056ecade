// random_views.h -- random lands, things and viewers, and the game's
// palette and data, for the tests that compare two ways of drawing a view.
#ifndef TAVO_TESTS_RANDOM_VIEWS_H
#define TAVO_TESTS_RANDOM_VIEWS_H

#include <gtest/gtest.h>

#include <string>

#include "headless.h"
#include "land/land.h"
#include "objects/objects.h"
#include "random_land.h"
#include "shell/shell.h"

inline const char *const texture_names[] = {"rock.pcx",   "granite.bmp", "cobble.pcx", "brick.bmp",
                                            "marble.pcx", "planks.bmp",  "tiles.pcx",  "lava.bmp"};
inline const int N_TEXTURES = sizeof texture_names / sizeof texture_names[0];

// The land's own textures, or for a generated land a few of the game's.
inline void load_textures(LAND *l)
{
    l->missing_texture = create_missing_texture();
    for (int i = 0; i < l->n_textures; i++) {
        const char *name = l->texture_filename ? l->texture_filename[i] : texture_names[i % N_TEXTURES];
        l->texture[i] = load_texture((std::string("textures/") + name).c_str());
    }
}

// A land to look at, w x h tiles: every tile a stack of hollows of random
// heights and slopes, solid here and there, `tall` of them 300 levels high;
// floors, faces and walls of random textures, so that a list cursor that
// slips shows in the picture; on `things` percent of the floors up to four
// things, mostly rocks, standing, moving across tile borders, climbing and
// falling.  With twelve of the game's textures and a fog colour.
inline LAND *land_to_view(random_source &r, int w, int h, int things, int tall = 0)
{
    land_recipe p;
    p.w = {w, w};
    p.h = {h, h};
    p.n_textures = 12;
    p.paint = true;
    p.tall = tall;
    p.solid = 10;
    p.jitter = 3;
    p.stack = {1, 4}, p.height = {1, 5}, p.gap = {1, 3};
    p.slope = 30;
    p.stacks = things;
    p.mix = {7, 2, 40, 30};
    LAND *l = random_land(r, p).land;
    load_textures(l);
    static const int fogs[] = {0, 2, 3, 40, 200};
    l->fog_colour = fogs[r.draw(0, 4)];
    return l;
}

// A viewer somewhere in an open cell (now and then in rock), turned, pitched,
// and sometimes moving or falling.
inline void place_viewer(random_source &rng, OBJECT *o)
{
    const LAND *l = land;
    o->x = rng.draw(0, l->w - 1);
    o->y = rng.draw(0, l->h - 1);
    o->z = rng.draw(0, 6);
    for (int tries = 0; tries < 20; tries++) {
        int x = rng.draw(0, l->w - 1), y = rng.draw(0, l->h - 1);
        const HOLLOW *h = l->tile[y][x].hollow;
        if (!h)
            continue;
        while (h->next && rng.chance(40))
            h = h->next;
        o->x = x;
        o->y = y;
        o->z = rng.draw(h->floor, h->roof - 1);
        break;
    }
    PLAYER_DATA *p = (PLAYER_DATA *)o->data;
    p->facing = rng.draw(0, 3);
    p->turn = rng.draw(-29, 29);
    p->pitch = rng.draw(-30, 30);
    o->move_step = 0;
    o->z_offset = 0;
    o->dir = rng.draw(0, 3);
    int how = rng.draw(0, 3);
    if (how == 1)
        o->move_step = rng.draw(1, 29);
    else if (how == 2)
        o->z_offset = rng.draw(-84, 419);
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
