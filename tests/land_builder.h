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

// Gives every tile the wall lists its neighbours call for, for lands built
// hollow by hollow once the hollows stand: texture(x, y, d, z) gives the
// entry for level z of side d of tile (x, y), called row by row, column by
// column, side by side and level by level; without it every entry is 0.
template <class F>
void add_wall_lists(LAND *l, F &&texture)
{
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++) {
                // Lists made before the hollows changed go: made afresh.
                free(l->tile[y][x].wall[d]);
                l->tile[y][x].wall[d] = nullptr;
                if (int n = wall_length(l, x, y, d)) {
                    int *list = (int *)malloc(n * sizeof(int)), i = 0;
                    walk_wall(&l->tile[y][x], neighbour_tile(l, x, y, d),
                              [&](int z) { list[i++] = texture(x, y, d, z); });
                    l->tile[y][x].wall[d] = list;
                }
            }
}

inline void add_wall_lists(LAND *l)
{
    add_wall_lists(l, [](int, int, int, int) { return 0; });
}

#endif
