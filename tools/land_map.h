// land_map.h -- a land drawn from above, one panel per level.
//
// The 3D view shows what a player can see; an author also needs what it
// hides: a diamond sealed in rock, a shaft that drops three levels, the
// high side of a ramp at the far end of a hall.  The map shows every cell of
// every level at once, with the objects where they stand.
#ifndef TAVO_TOOLS_LAND_MAP_H
#define TAVO_TOOLS_LAND_MAP_H

#include <allegro.h>

struct LAND;

// The map of l as a new 8-bit bitmap in the current palette, every cell
// scale x scale pixels (1 to 64), the levels wrapping into rows past
// max_width pixels, with a legend; the caller destroys it.  Null when the
// map would be too large to be of use, or memory runs out.
BITMAP *draw_land_map(const LAND *l, int scale, int max_width = 2048);

// tavo-tool map LAND OUT.png [--scale N] [--width W]: argv as the tool gets it.
// 0 on success, 1 on failure (said on stderr), 2 for a usage error.
int cmd_map(int argc, char **argv);

#endif
