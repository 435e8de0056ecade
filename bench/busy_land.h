// busy_land.h -- the largest land there can be, full of rocks and diamonds,
// made in memory for the benchmarks.
#ifndef TAVO_BENCH_BUSY_LAND_H
#define TAVO_BENCH_BUSY_LAND_H

#include "land/land.h"
#include "objects/objects.h"
#include "tests/land_builder.h"

const int BUSY_LAND_SIZE = 255;
const int BUSY_LAND_ROOF = 48;
const int BUSY_LAND_DROP_HEIGHT = 40;

// An open floor, with a ramp on every seventh tile so that some rocks roll
// downhill too, and on a grid of squares of side tiles: a column of standing
// rocks, a rock dropped onto a diamond, a diamond on the floor and one in
// mid-air.
inline LAND *build_busy_land(int side, int column_height)
{
    const int size = BUSY_LAND_SIZE;
    LAND *l = make_solid_land(size, size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            int cell = (x * 3 + y * 5) % 7;
            int shape = cell == 0 ? 1 + (x + y) % 4 : 0;
            HOLLOW *h = add_hollow(l, x, y, 0, BUSY_LAND_ROOF, shape);
            int base = floor_level(h);
            int gx = x % side, gy = y % side;
            if (gx == 0 && gy == 0) {
                for (int z = base; z < base + column_height; z++)
                    add_object(h, OBJ_ROCK, x, y, z);
            } else if (gx == side / 2 && gy == side / 2) {
                add_object(h, OBJ_DIAMOND, x, y, base);
                add_object(h, OBJ_ROCK, x, y, BUSY_LAND_DROP_HEIGHT);
            } else if (gx == side / 4 && gy == side * 3 / 4) {
                add_object(h, OBJ_DIAMOND, x, y, base);
            } else if (gx == side * 3 / 4 && gy == side / 4) {
                add_object(h, OBJ_DIAMOND, x, y, base + 5);
            }
        }
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++)
            for (HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (OBJECT *o = h->object; o; o = o->next)
                    l->n_diamonds += o->type == OBJ_DIAMOND;
    return l;
}

#endif
