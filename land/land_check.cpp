// land_check.cpp -- the land model's invariants, checked from scratch.
#include <cstdarg>
#include <cstdio>

#include "land/land.h"

namespace {

bool fail(char *buf, size_t n, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, n, fmt, ap);
    va_end(ap);
    return false;
}

bool texture_ok(const LAND *l, int t)
{
    return t >= 0 && t < l->n_textures;
}

} // namespace

bool check_land(const LAND *l, char *why, size_t why_size)
{
    if (l->n_textures < 1 || l->n_textures > 256)
        return fail(why, why_size, "texture count %d is not 1 to 256", l->n_textures);
    if (l->w < 0 || l->w > 255 || l->h < 0 || l->h > 255)
        return fail(why, why_size, "size %dx%d is outside 0 to 255", l->w, l->h);
    int diamonds = 0;
    int players[2] = {0, 0};
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            const TILE *t = &l->tile[y][x];
            const HOLLOW *prev = nullptr;
            for (const HOLLOW *h = t->hollow; h; prev = h, h = h->next) {
                if (h->slope < 0 || h->slope > 12)
                    return fail(why, why_size, "tile %d,%d: slope %d", x, y, h->slope);
                if (h->floor >= h->roof)
                    return fail(why, why_size, "tile %d,%d: hollow %d-%d is not open at any level",
                                x, y, h->floor, h->roof);
                if (h->floor < 0 || h->roof > 65535)
                    return fail(why, why_size, "tile %d,%d: hollow %d-%d outside the levels a file holds",
                                x, y, h->floor, h->roof);
                if (prev && prev->roof > h->floor)
                    return fail(why, why_size, "tile %d,%d: hollow %d-%d overlaps or precedes %d-%d",
                                x, y, h->floor, h->roof, prev->floor, prev->roof);
                if (!texture_ok(l, h->floor_tex) || !texture_ok(l, h->roof_tex))
                    return fail(why, why_size, "tile %d,%d: hollow %d-%d has a texture above %d",
                                x, y, h->floor, h->roof, l->n_textures - 1);
                for (int d = 0; d < 4; d++)
                    if (!texture_ok(l, h->slope_tex[d]))
                        return fail(why, why_size, "tile %d,%d: slope face %d has texture %d",
                                    x, y, d, h->slope_tex[d]);
                int last_z = h->floor;
                const OBJECT *last_thing = nullptr;  // reservations may share a level
                for (const OBJECT *o = h->object; o; o = o->next) {
                    if (o->x != x || o->y != y)
                        return fail(why, why_size, "tile %d,%d: object filed at %d,%d", x, y, o->x, o->y);
                    if (o->z < h->floor || o->z >= h->roof)
                        return fail(why, why_size, "tile %d,%d: object at level %d outside hollow %d-%d",
                                    x, y, o->z, h->floor, h->roof);
                    if (o->z < h->floor + (h->slope ? 1 : 0))
                        return fail(why, why_size, "tile %d,%d: object at level %d is inside the slope below it",
                                    x, y, o->z);
                    if (o->z < last_z)
                        return fail(why, why_size, "tile %d,%d: object at level %d after one at %d",
                                    x, y, o->z, last_z);
                    last_z = o->z;
                    if (o->type != OBJ_PLACEHOLDER) {
                        if (last_thing && last_thing->z == o->z)
                            return fail(why, why_size, "tile %d,%d: two objects at level %d", x, y, o->z);
                        last_thing = o;
                    }
                    if (o->type < 0 || o->type >= N_OBJECT_TYPES)
                        return fail(why, why_size, "tile %d,%d: object of type %d", x, y, o->type);
                    if (o->type == OBJ_DIAMOND)
                        diamonds++;
                    if (o->type == OBJ_PLAYER) {
                        int i = ((const PLAYER_DATA *)o->data)->index;
                        if (i < 0 || i > 1 || players[i]++)
                            return fail(why, why_size, "tile %d,%d: player %d is not unique", x, y, i);
                    }
                }
            }
            for (int d = 0; d < 4; d++) {
                const int *list = t->wall[d];
                int n = wall_length(l, x, y, d);
                if ((n == 0) != (list == nullptr))
                    return fail(why, why_size, "tile %d,%d side %d: wall list %s but %d squares exposed",
                                x, y, d, list ? "present" : "missing", n);
                for (int i = 0; i < n; i++)
                    if (!texture_ok(l, list[i]))
                        return fail(why, why_size, "tile %d,%d side %d: wall entry %d has texture %d",
                                    x, y, d, i, list[i]);
            }
        }
    if (diamonds != l->n_diamonds)
        return fail(why, why_size, "%d diamonds counted, %d in the land", l->n_diamonds, diamonds);
    return true;
}
