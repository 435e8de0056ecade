// objects.cpp -- object lists, the per-type tables and the per-step walks.
#include "objects/objects.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "land/land.h"

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

HOLLOW *ao_hollow = nullptr;
OBJECT **ao_object = nullptr;
OBJECT **ao_prev_object = nullptr;
OBJECT **ao_before_prev_object = nullptr;
OBJECT **ao_two_before_prev_object = nullptr;

int walk_every_tile = 0;

void forget_object_tiles()
{
    objects_made++;
}

// Whatever a busy tile's objects do this step reaches at most two tiles
// away (a player pushing a rock into the tile beyond its target, a move's
// reservations), and a rock at rest looks at most one tile away, or at the
// owner of a reservation there, which is busy itself.  So a rock whose tile
// had nothing busy within three tiles since its last step would decide
// exactly as it did then: to stay.
enum { WAKE_REACH = 3 };

static void wake_tiles(int x, int y)
{
    int x0 = std::max(x - WAKE_REACH, 0), x1 = std::min(x + WAKE_REACH, 255);
    int y0 = std::max(y - WAKE_REACH, 0), y1 = std::min(y + WAKE_REACH, land->h - 1);
    for (int w = x0 >> 6; w <= x1 >> 6; w++) {
        int lo = std::max(x0, w * 64) - w * 64, hi = std::min(x1, w * 64 + 63) - w * 64;
        unsigned long long bits = (~0ull >> (63 - hi)) & (~0ull << lo);
        for (int r = y0; r <= y1; r++)
            land->awake_tiles[r][w] |= bits;
    }
}

void mark_object_tile(int x, int y)
{
    if (x >= 0 && y >= 0 && x < land->w && y < land->h) {
        land->object_tiles[y][x >> 6] |= 1ull << (x & 63);
        land->awake_tiles[y][x >> 6] |= 1ull << (x & 63);
    }
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
    // Rows past the land's are never read: a restore that makes the maps
    // afresh for every move of a search costs only the land's own rows.
    size_t rows = (size_t)l->h * sizeof l->object_tiles[0];
    memset(l->object_tiles, 0, rows);
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            if (tile_holds_objects(&l->tile[y][x]))
                l->object_tiles[y][x >> 6] |= 1ull << (x & 63);
    memcpy(l->awake_tiles, l->object_tiles, rows);
    memset(l->spin_tiles, 0, rows);
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

// Still also in its offset, so that a sleeping tile is one land_at_rest()
// may pass over.
static inline bool object_still(const OBJECT *o)
{
    return !o->move_step && !o->z_speed && !o->z_offset;
}

// What a tile's step showed: nothing but rocks at rest that stayed so
// (quiet), diamonds besides (they turn every step), or anything else.
enum { TILE_QUIET = 0, TILE_SPINS = 1, TILE_BUSY = 2 };

// *diamond, when asked for, is the tile's one diamond, or null when it holds
// none or more than one.  Objects are read after their step only with the
// rules' own handlers (own), which never destroy the object they step.
static inline __attribute__((always_inline)) int animate_tile(TILE *t, bool own = false,
                                                              DIAMOND_DATA **diamond = nullptr)
{
    int diamonds = 0;
    int seen = TILE_QUIET;
    for (HOLLOW *h = t->hollow; h; h = h->next) {
        ao_hollow = h;
        ao_prev_object = ao_before_prev_object = ao_two_before_prev_object = nullptr;
        ao_object = &h->object;
        while (*ao_object) {
            OBJECT *o = *ao_object;
            int type = o->type;
            bool resting_rock = own && type == OBJ_ROCK && object_still(o);
            animate_fn step = animate_object[type];
            // 0 means the link now holds another object: visit it again.
            if (!step || step()) {
                ao_two_before_prev_object = ao_before_prev_object;
                ao_before_prev_object = ao_prev_object;
                ao_prev_object = ao_object;
                ao_object = &(*ao_object)->next;
            }
            if (resting_rock)
                seen |= object_still(o) ? TILE_QUIET : TILE_BUSY;
            else if (type != OBJ_DIAMOND || !own)
                seen |= TILE_BUSY;
            else {
                seen |= TILE_SPINS;
                if (diamond && diamonds++ == 0)
                    *diamond = (DIAMOND_DATA *)o->data;
            }
        }
    }
    if (diamond && diamonds != 1)
        *diamond = nullptr;
    return seen;
}

// A sleeping tile's diamonds turn as they would in its step; nothing else
// there would change.
static void spin_tile(TILE *t)
{
    for (HOLLOW *h = t->hollow; h; h = h->next)
        for (OBJECT *o = h->object; o; o = o->next)
            if (o->type == OBJ_DIAMOND)
                turn_diamond((DIAMOND_DATA *)o->data);
}

const PLAYER_ACTIONS *step_actions = nullptr;
std::vector<RULE_EVENT> *step_events = nullptr;

static void walk_tiles();

void animate_objects(const PLAYER_ACTIONS &actions, std::vector<RULE_EVENT> *events)
{
    step_actions = &actions;
    step_events = events;
    walk_tiles();
    step_actions = nullptr;
    step_events = nullptr;
}

static void walk_tiles()
{
    if (walk_every_tile) {
        for (int y = 0; y < land->h; y++)
            for (int x = 0; x < land->w; x++)
                animate_tile(&land->tile[y][x]);
        return;
    }
    // Sleep is sound only for the rules' own rocks and diamonds; with a
    // test's handlers every tile stays awake.
    bool own = animate_object[OBJ_ROCK] == animate_rock && animate_object[OBJ_DIAMOND] == animate_diamond;
    if (land->object_tiles_made != objects_made || !own)
        make_object_tiles(land);
    if (!land->sleeping_diamond &&
        !(land->sleeping_diamond = (DIAMOND_DATA **)calloc(256 * 256, sizeof(DIAMOND_DATA *))))
        out_of_memory();
#ifndef NDEBUG
    if (int at = unmarked_object_tile(land); at >= 0) {
        fprintf(stderr, "tavo: objects in tile %d,%d are missing from the walk\n", at & 255, at >> 8);
        abort();
    }
#endif
    for (int y = 0; y < land->h; y++) {
        // A step may file objects in tiles ahead (placeholders reserving
        // the way) or wake them: the maps are read afresh after every tile,
        // so they are met in their turn, as a walk of every tile would meet them.
        unsigned long long *row = land->object_tiles[y];
        unsigned long long *awake = land->awake_tiles[y];
        unsigned long long *spin = land->spin_tiles[y];
        TILE *tiles = land->tile[y];
        for (int w = 0; w < 4; w++) {
            unsigned long long ahead = ~0ull;
            while (unsigned long long bits = row[w] & (awake[w] | spin[w]) & ahead) {
                int b = __builtin_ctzll(bits);
                unsigned long long bit = 1ull << b;
                TILE *t = &tiles[w * 64 + b];
                ahead = ~1ull << b;
                int key = y * 256 + w * 64 + b;
                if (!(awake[w] & bit)) {
                    if (DIAMOND_DATA *d = land->sleeping_diamond[key])
                        turn_diamond(d);
                    else
                        spin_tile(t);
                    continue;
                }
                DIAMOND_DATA *diamond;
                int seen = animate_tile(t, own, &diamond);
                if (!tile_holds_objects(t)) {
                    row[w] &= ~bit;
                    awake[w] &= ~bit;
                    spin[w] &= ~bit;
                } else if (seen & TILE_BUSY) {
                    wake_tiles(w * 64 + b, y);
                } else {
                    awake[w] &= ~bit;
                    spin[w] = (seen & TILE_SPINS) ? spin[w] | bit : spin[w] & ~bit;
                    land->sleeping_diamond[key] = diamond;
                }
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
        if (x < land->w && y < land->h) {
            refile_tile(x, y);
            wake_tiles(x, y);
        }
    }
    changed_tiles.clear();
}

static bool tile_at_rest(const TILE *t)
{
    for (const HOLLOW *h = t->hollow; h; h = h->next)
        for (const OBJECT *o = h->object; o; o = o->next)
            if (o->type == OBJ_PLACEHOLDER || !object_still(o))
                return false;
    return true;
}

bool land_at_rest(const LAND *l)
{
    // While the maps are good, a tile that is not awake holds only rocks that
    // are still and diamonds: only the awake ones need a look.
    bool maps = l->object_tiles_made == objects_made;
    for (int y = 0; y < l->h; y++)
        for (int w = 0; w < 4 && w * 64 < l->w; w++) {
            unsigned long long bits = maps ? l->object_tiles[y][w] & l->awake_tiles[y][w] : ~0ull;
            if (w * 64 + 64 > l->w)
                bits &= ~0ull >> (64 - (l->w - w * 64));
            for (; bits; bits &= bits - 1)
                if (!tile_at_rest(&l->tile[y][w * 64 + __builtin_ctzll(bits)]))
                    return false;
        }
    return true;
}
