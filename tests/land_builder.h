// land_builder.h -- small lands made in memory for tests.
#ifndef TAVO_TESTS_LAND_BUILDER_H
#define TAVO_TESTS_LAND_BUILDER_H

#include <cstdlib>

#include "land/land.h"
#include "objects/objects.h"

// A solid w x h land with n_textures null textures, allocated the way the
// loader does so that destroy_land can free it.
inline LAND *make_solid_land(int w, int h, int n_textures = 1)
{
    LAND *l = (LAND *)calloc(1, sizeof(LAND));
    l->n_textures = n_textures;
    l->texture = (BITMAP **)calloc(n_textures, sizeof(BITMAP *));
    l->w = w;
    l->h = h;
    l->tile = (TILE **)calloc(h ? h : 1, sizeof(TILE *));
    for (int y = 0; y < h; y++)
        l->tile[y] = (TILE *)calloc(w ? w : 1, sizeof(TILE));
    return l;
}

// Appends a hollow above the tile's highest one (callers keep them ordered).
inline HOLLOW *add_hollow(LAND *l, int x, int y, int floor, int roof, int slope = 0)
{
    HOLLOW *h = (HOLLOW *)calloc(1, sizeof(HOLLOW));
    h->slope = slope;
    h->floor = floor;
    h->roof = roof;
    HOLLOW **link = &l->tile[y][x].hollow;
    while (*link)
        link = &(*link)->next;
    *link = h;
    return h;
}

// Appends an object to the end of a hollow's list.  Made by hand, it may
// fall outside the step's map of object tiles: the map is made afresh.
inline OBJECT *add_object(HOLLOW *h, int type, int x, int y, int z)
{
    forget_object_tiles();
    OBJECT *o = (OBJECT *)calloc(1, sizeof(OBJECT));
    o->type = type;
    o->x = x;
    o->y = y;
    o->z = z;
    switch (type) {
    case OBJ_PLACEHOLDER: o->data = calloc(1, sizeof(PLACEHOLDER_DATA)); break;
    case OBJ_PLAYER: o->data = calloc(1, sizeof(PLAYER_DATA)); break;
    case OBJ_DIAMOND: o->data = calloc(1, sizeof(DIAMOND_DATA)); break;
    default: o->data = calloc(1, sizeof(ROCK_DATA)); break;
    }
    OBJECT **link = &h->object;
    while (*link)
        link = &(*link)->next;
    *link = o;
    return o;
}

// Gives every tile the wall lists its neighbours call for, for lands built
// hollow by hollow once the hollows stand: texture() gives each entry in
// turn, by row, column, side and level; without it every entry is 0.
template <class F>
void add_wall_lists(LAND *l, F &&texture)
{
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++)
                if (int n = wall_length(l, x, y, d)) {
                    int *list = (int *)malloc(n * sizeof(int));
                    for (int i = 0; i < n; i++)
                        list[i] = texture();
                    l->tile[y][x].wall[d] = list;
                }
}

inline void add_wall_lists(LAND *l)
{
    add_wall_lists(l, [] { return 0; });
}

#endif
