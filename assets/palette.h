// palette.h -- the game palette.
//
//   0        black (colour matching never returns 0, so 1 is black too)
//   1..15    exact colours the menus ask makecol() for, and a few more
//   16..255  fifteen ramps of sixteen shades, dark to light
#ifndef TAVO_ASSETS_PALETTE_H
#define TAVO_ASSETS_PALETTE_H

#include <allegro.h>

enum {
    PAL_BLACK = 1,
    PAL_WHITE = 2,
    PAL_GREY = 3,
    PAL_RED = 4,
    PAL_GREEN = 5,
    PAL_BLUE = 6,
    PAL_YELLOW = 7,
    PAL_CYAN = 8,
    PAL_MAGENTA = 9,
    PAL_DARK_GREY = 10,
    PAL_LIGHT_GREY = 11,
    PAL_ORANGE = 12,
    PAL_DARK_RED = 13,
    PAL_DARK_GREEN = 14,
    PAL_DARK_BLUE = 15,
};

// Ramps in palette order: ramp r holds entries 16 + 16 r to 31 + 16 r.
enum RAMP {
    RAMP_GREY,
    RAMP_STONE,
    RAMP_SLATE,
    RAMP_EARTH,
    RAMP_SAND,
    RAMP_GRASS,
    RAMP_MOSS,
    RAMP_BRICK,
    RAMP_WOOD,
    RAMP_STEEL,
    RAMP_ICE,
    RAMP_GOLD,
    RAMP_FIRE,
    RAMP_ROSE,
    RAMP_UMBER,
    N_RAMPS
};

const int RAMP_FIRST = 16;
const int RAMP_LENGTH = 16;

inline int ramp_index(RAMP r, int shade)
{
    return RAMP_FIRST + (int)r * RAMP_LENGTH + shade;
}

void make_game_palette(PALETTE pal);

#endif
