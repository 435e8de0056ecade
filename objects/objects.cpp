// objects.cpp -- object lists, the per-type tables and the per-step walks.
#include "objects/objects.h"

#include <algorithm>
#include <cstdlib>
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

// The walk meets every hollow of the land once a step, and the hollows lie
// scattered in memory: ask for those a few tiles ahead, and for the first
// object of a nearer one, before they are needed.
static inline void prefetch_ahead(const TILE *row, int x, int w)
{
    if (x + 8 < w)
        __builtin_prefetch(row[x + 8].hollow);
    if (x + 3 < w && row[x + 3].hollow)
        __builtin_prefetch(row[x + 3].hollow->object);
}

void animate_objects()
{
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++) {
            prefetch_ahead(land->tile[y], x, land->w);
            for (HOLLOW *h = land->tile[y][x].hollow; h; h = h->next) {
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
