// land.cpp -- land records: lookups, the fog table and destruction.
#include "land/land.h"

#include <cstdlib>
#include <cstring>

const int dir_dx[4] = {0, 1, 0, -1};
const int dir_dy[4] = {-1, 0, 1, 0};

LAND *land = nullptr;
COLOR_MAP the_fog_map;

TILE *neighbour_tile(const LAND *l, int x, int y, int d)
{
    int nx = x + dir_dx[d & 3];
    int ny = y + dir_dy[d & 3];
    if (nx < 0 || ny < 0 || nx >= l->w || ny >= l->h)
        return nullptr;
    return &l->tile[ny][nx];
}

HOLLOW *find_hollow(const TILE *t, int z)
{
    HOLLOW *h = t->hollow;
    while (h && h->roof <= z)
        h = h->next;
    return h;
}

HOLLOW *hollow_at_level(const TILE *t, int z)
{
    HOLLOW *h = find_hollow(t, z);
    return (h && h->floor <= z) ? h : nullptr;
}

int wall_length(const LAND *l, int x, int y, int d)
{
    return count_wall(&l->tile[y][x], neighbour_tile(l, x, y, d));
}

void build_fog_map(const RGB *palette, int fog_colour)
{
    const RGB &c = palette[fog_colour & 255];
    create_light_table(&the_fog_map, palette, c.r, c.g, c.b, nullptr);
}

bool allocate_tiles(LAND *l, int w, int h)
{
    l->tile = (TILE **)calloc(h ? h : 1, sizeof(TILE *));
    if (!l->tile)
        return false;
    l->w = w;
    l->h = h;
    for (int y = 0; y < h; y++)
        if (!(l->tile[y] = (TILE *)calloc(w ? w : 1, sizeof(TILE))))
            return false;
    return true;
}

LAND *create_land(int w, int h, const char *const *names, int n)
{
    LAND *l = (LAND *)calloc(1, sizeof(LAND));
    if (!l)
        return nullptr;
    l->n_textures = n;
    l->texture = (BITMAP **)calloc(n, sizeof(BITMAP *));
    l->texture_filename = (char **)calloc(n, sizeof(char *));
    bool ok = l->texture && l->texture_filename && allocate_tiles(l, w, h);
    for (int i = 0; ok && i < n; i++)
        ok = (l->texture_filename[i] = strdup(names[i])) != nullptr;
    if (!ok) {
        destroy_land(l);
        return nullptr;
    }
    return l;
}

void free_tile(TILE *t)
{
    HOLLOW *h = t->hollow;
    while (h) {
        HOLLOW *next = h->next;
        destroy_all_objects(h->object);
        free(h);
        h = next;
    }
    for (int d = 0; d < 4; d++)
        free(t->wall[d]);
    *t = TILE{};
}

void destroy_land(LAND *l)
{
    if (!l)
        return;
    if (l->tile) {
        for (int y = 0; y < l->h; y++) {
            TILE *row = l->tile[y];
            if (!row)
                continue;
            for (int x = 0; x < l->w; x++)
                free_tile(&row[x]);
            free(row);
        }
        free(l->tile);
    }
    free(l->sleeping_diamond);
    if (l->texture) {
        for (int i = 0; i < l->n_textures; i++)
            if (l->texture[i])
                destroy_bitmap(l->texture[i]);
        free(l->texture);
    }
    if (l->texture_filename) {
        for (int i = 0; i < l->n_textures; i++)
            free(l->texture_filename[i]);
        free(l->texture_filename);
    }
    if (l->missing_texture)
        destroy_bitmap(l->missing_texture);
    free(l);
}

BITMAP *land_texture(const LAND *l, int i)
{
    if (i >= 0 && i < l->n_textures && l->texture[i])
        return l->texture[i];
    return l->missing_texture;
}

BITMAP *create_missing_texture()
{
    BITMAP *b = create_bitmap_ex(8, 128, 128);
    if (!b)
        return nullptr;
    int a = makecol8(255, 0, 255), c = makecol8(0, 0, 0);
    for (int y = 0; y < 128; y += 16)
        for (int x = 0; x < 128; x += 16)
            rectfill(b, x, y, x + 15, y + 15, ((x ^ y) & 16) ? c : a);
    return b;
}
