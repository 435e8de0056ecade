// objects.cpp -- object lists, the per-type tables and the per-step walks.
#include "objects/objects.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "editor/editor.h"
#include "land/land.h"
#include "render/render.h"

animate_fn animate_object[N_OBJECT_TYPES] = {nullptr, animate_player, animate_diamond, animate_rock};
into_fn into_object[N_OBJECT_TYPES][N_OBJECT_TYPES] = {
    {},
    {moving_into_placeholder, moving_into_moving, player_into_diamond, player_into_rock},
    {},
    {moving_into_placeholder, moving_into_moving, nullptr, moving_into_moving},
};
into_fn up_through_object[N_OBJECT_TYPES] = {
    player_up_through_placeholder, player_up_through_moving, player_through_diamond, player_up_through_moving};
into_fn down_through_object[N_OBJECT_TYPES] = {
    player_down_through_placeholder, player_down_through_moving, player_through_diamond,
    player_down_through_moving};
// Rocks and diamonds are curved (a rock on them may roll off), players
// square, reserved cells flat.
onto_fn onto_object[N_OBJECT_TYPES][N_OBJECT_TYPES] = {
    {},
    {moving_onto_placeholder, moving_onto_moving, player_onto_diamond, moving_onto_moving},
    {},
    {rock_onto_placeholder, rolling_onto_square_moving, rock_onto_diamond, rolling_onto_curved_moving},
};
draw_fn draw_object[N_OBJECT_TYPES] = {draw_placeholder, draw_player, draw_diamond, draw_rock};
void (*destroy_object_data[N_OBJECT_TYPES])(void *) = {free, free, free, free};
load_data_fn load_object_data[N_OBJECT_TYPES] = {
    nullptr, load_player_data, load_diamond_data, load_rock_data};
save_data_fn save_object_data[N_OBJECT_TYPES] = {
    nullptr, save_player_data, save_diamond_data, save_rock_data};
init_data_fn editobj_init_data[N_OBJECT_TYPES] = {nullptr, nullptr, editor_init_diamond_data,
                                                    editor_init_rock_data};

int drawing_placeholder = 0;

HOLLOW *ao_hollow = nullptr;
OBJECT **ao_object = nullptr;
OBJECT **ao_prev_object = nullptr;
OBJECT **ao_before_prev_object = nullptr;
OBJECT **ao_two_before_prev_object = nullptr;

static const size_t data_size[N_OBJECT_TYPES] = {
    sizeof(PLACEHOLDER_DATA), sizeof(PLAYER_DATA), sizeof(DIAMOND_DATA), sizeof(ROCK_DATA)};

// Bumped for every object made outside the rules; a land's map of object
// tiles is good while its object_tiles_made matches.  Starts above 0, which
// a new land's map holds.
static unsigned long long objects_made = 1;

OBJECT *create_object(int type, int x, int y, int z)
{
    OBJECT *o = (OBJECT *)calloc(1, sizeof(OBJECT));
    if (!o)
        return nullptr;
    o->data = calloc(1, data_size[type]);
    if (!o->data) {
        free(o);
        return nullptr;
    }
    o->type = type;
    o->x = x;
    o->y = y;
    o->z = z;
    if (type != OBJ_PLACEHOLDER)
        objects_made++;
    return o;
}

void destroy_object(OBJECT **link)
{
    OBJECT *o = *link;
    *link = o->next;
    destroy_object_data[o->type](o->data);
    free(o);
}

void destroy_all_objects(OBJECT *list)
{
    while (list) {
        OBJECT *next = list->next;
        destroy_object_data[list->type](list->data);
        free(list);
        list = next;
    }
}

int walk_every_tile = 0;

void forget_object_tiles()
{
    objects_made++;
}

void mark_object_tile(int x, int y)
{
    if (x >= 0 && y >= 0 && x < land->w && y < land->h)
        land->object_tiles[y][x >> 6] |= 1ull << (x & 63);
}

static bool tile_holds_objects(const TILE *t)
{
    for (const HOLLOW *h = t->hollow; h; h = h->next)
        if (h->object)
            return true;
    return false;
}

static void make_object_tiles(LAND *l)
{
    memset(l->object_tiles, 0, sizeof l->object_tiles);
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            if (tile_holds_objects(&l->tile[y][x]))
                l->object_tiles[y][x >> 6] |= 1ull << (x & 63);
    l->object_tiles_made = objects_made;
}

int unmarked_object_tile(const LAND *l)
{
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            if (!(l->object_tiles[y][x >> 6] >> (x & 63) & 1) && tile_holds_objects(&l->tile[y][x]))
                return y * 256 + x;
    return -1;
}

static inline __attribute__((always_inline)) void animate_tile(TILE *t)
{
    for (HOLLOW *h = t->hollow; h; h = h->next) {
        ao_hollow = h;
        ao_prev_object = ao_before_prev_object = ao_two_before_prev_object = nullptr;
        ao_object = &h->object;
        while (*ao_object) {
            animate_fn step = animate_object[(*ao_object)->type];
            // 0 means the link now holds another object: visit it again.
            if (!step || step()) {
                ao_two_before_prev_object = ao_before_prev_object;
                ao_before_prev_object = ao_prev_object;
                ao_prev_object = ao_object;
                ao_object = &(*ao_object)->next;
            }
        }
    }
}

void animate_objects()
{
    if (walk_every_tile) {
        for (int y = 0; y < land->h; y++)
            for (int x = 0; x < land->w; x++)
                animate_tile(&land->tile[y][x]);
        return;
    }
    if (land->object_tiles_made != objects_made)
        make_object_tiles(land);
#ifndef NDEBUG
    if (int at = unmarked_object_tile(land); at >= 0) {
        fprintf(stderr, "tavo: objects in tile %d,%d are missing from the walk\n", at & 255, at >> 8);
        abort();
    }
#endif
    for (int y = 0; y < land->h; y++) {
        // A step may file objects in tiles ahead (placeholders reserving
        // the way): the map is read afresh after every tile, so they are
        // met in their turn, as a walk of every tile would meet them.
        unsigned long long *row = land->object_tiles[y];
        TILE *tiles = land->tile[y];
        for (int w = 0; w < 4; w++) {
            unsigned long long ahead = ~0ull;
            while (unsigned long long bits = row[w] & ahead) {
                int b = __builtin_ctzll(bits);
                TILE *t = &tiles[w * 64 + b];
                animate_tile(t);
                if (!tile_holds_objects(t))
                    row[w] &= ~(1ull << b);
                ahead = ~1ull << b;
            }
        }
    }
}

static bool is_placeholder_of(const OBJECT *p, const OBJECT *owner)
{
    return p && p->type == OBJ_PLACEHOLDER && ((PLACEHOLDER_DATA *)p->data)->owner == owner;
}

static void destroy_placeholders_of(OBJECT **link, const OBJECT *owner)
{
    while (*link) {
        if (is_placeholder_of(*link, owner))
            destroy_object(link);
        else
            link = &(*link)->next;
    }
}

// Tiles to walk in sort_objects, as y * 256 + x so that sorting gives row order.
static std::vector<int> changed_tiles;

void note_tile_change(int x, int y)
{
    changed_tiles.push_back(y * 256 + x);
}

static void refile_tile(int x, int y)
{
    for (HOLLOW *h = land->tile[y][x].hollow; h; h = h->next) {
        OBJECT **link = &h->object;
        while (*link) {
            OBJECT *o = *link;
            if (o->x == x && o->y == y) {
                link = &o->next;
                continue;
            }
            HOLLOW *to = find_hollow(&land->tile[o->y][o->x], o->z);
            if (!to) {  // the rules never allow this; leave it rather than lose it
                link = &o->next;
                continue;
            }
            mark_object_tile(o->x, o->y);  // its reservations marked it; they go now
            // Every reservation of the finished move goes, also where
            // another mover's has come to stand between it and its
            // owner: in the target list and, for a climb, behind it.
            destroy_placeholders_of(&to->object, o);
            OBJECT **at = &to->object;
            while (*at && (*at)->z < o->z)
                at = &(*at)->next;
            *link = o->next;
            o->next = *at;
            *at = o;
            destroy_placeholders_of(link, o);
        }
    }
}

// On a large land nearly every tile is quiet in a step; walking only the
// tiles where a move ended keeps the step's cost to what happens in it.
void sort_objects()
{
    std::sort(changed_tiles.begin(), changed_tiles.end());
    changed_tiles.erase(std::unique(changed_tiles.begin(), changed_tiles.end()), changed_tiles.end());
    for (int key : changed_tiles) {
        int x = key & 255, y = key >> 8;
        if (x < land->w && y < land->h)
            refile_tile(x, y);
    }
    changed_tiles.clear();
}
