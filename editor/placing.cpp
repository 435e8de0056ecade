// placing.cpp -- players, rocks and diamonds at the cursor, and the texture
// number that the textures mode changes.
#include <cstdio>
#include <cstdlib>

#include "editor/editor.h"
#include "land/land.h"
#include "objects/objects.h"

namespace {

void *new_record(size_t size)
{
    void *p = calloc(1, size);
    if (!p)
        out_of_memory();
    return p;
}

// The hollow where an object may stand at the cursor: open, and not the
// cell of a slope.  Null elsewhere.
HOLLOW *standing_hollow()
{
    HOLLOW *h = find_hollow(&land->tile[yeditor][xeditor], zeditor);
    if (!h || zeditor < floor_level(h))
        return nullptr;
    return h;
}

// Gives an object standing at the cursor a new type and a fresh record.
void retype(OBJECT *o, int type)
{
    editor_forget_object(o);
    destroy_object_data[o->type](o->data);
    o->data = nullptr;
    o->type = type;
}

int next_insertable(int type)
{
    do
        type = (type + 1) & 3;
    while (!editobj_init_data[type]);
    return type;
}

OBJECT *new_object_at_cursor(HOLLOW *h, int type)
{
    OBJECT *o = (OBJECT *)new_record(sizeof(OBJECT));
    o->type = type;
    o->x = xeditor;
    o->y = yeditor;
    o->z = zeditor;
    // Before the first object above, keeping the list in order.
    OBJECT **link = first_link_at(&h->object, zeditor + 1);
    o->next = *link;
    *link = o;
    return o;
}

} // namespace

init_data_fn editobj_init_data[N_OBJECT_TYPES] = {nullptr, nullptr, editor_init_diamond_data,
                                                    editor_init_rock_data};

void editor_init_player_data(OBJECT *o, int n)
{
    o->z_offset = o->z_speed = o->move_step = 0;
    PLAYER_DATA *p = (PLAYER_DATA *)new_record(object_data_size[OBJ_PLAYER]);
    p->index = n;
    o->data = p;
}

void editor_init_diamond_data(OBJECT *o)
{
    o->data = new_record(object_data_size[OBJ_DIAMOND]);
}

void editor_init_rock_data(OBJECT *o)
{
    o->z_offset = o->z_speed = o->move_step = 0;
    o->data = new_record(object_data_size[OBJ_ROCK]);
}

// Always a change where anything may stand: a type never cycles to itself.
bool insert_object()
{
    HOLLOW *h = standing_hollow();
    if (!h)
        return false;
    if (OBJECT **link = object_link_at(&h->object, zeditor)) {
        OBJECT *o = *link;
        retype(o, next_insertable(o->type));
        editobj_init_data[o->type](o);
        editor_object = o->type;
        if (o->type == OBJ_DIAMOND)
            land->n_diamonds++;
        return true;
    }
    if (!editobj_init_data[editor_object & 3])
        editor_object = next_insertable(editor_object & 3);
    OBJECT *o = new_object_at_cursor(h, editor_object);
    editobj_init_data[o->type](o);
    if (o->type == OBJ_DIAMOND)
        land->n_diamonds++;
    return true;
}

void remove_player(int n)
{
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            for (HOLLOW *h = land->tile[y][x].hollow; h; h = h->next)
                for (OBJECT **link = &h->object; *link; link = &(*link)->next) {
                    OBJECT *o = *link;
                    if (o->type == OBJ_PLAYER && ((PLAYER_DATA *)o->data)->index == n) {
                        editor_destroy_object(link);
                        return;
                    }
                }
}

bool insert_player(int n)
{
    HOLLOW *h = standing_hollow();
    if (!h)
        return false;  // nowhere to stand: the player stays where it was
    OBJECT **link = object_link_at(&h->object, zeditor);
    if (link && (*link)->type == OBJ_PLAYER) {
        const PLAYER_DATA *p = (const PLAYER_DATA *)(*link)->data;
        if (p->index == n && p->facing == 0)
            return false;  // already here, as placing it would leave it
    }
    remove_player(n);
    link = object_link_at(&h->object, zeditor);  // remove_player may have taken it
    if (link) {
        retype(*link, OBJ_PLAYER);
        editor_init_player_data(*link, n);
    } else {
        editor_init_player_data(new_object_at_cursor(h, OBJ_PLAYER), n);
    }
    editor_player_exists[n] = 1;
    land->n_players++;
    return true;
}

int *editor_get_texture(int d)
{
    TILE *t = &land->tile[yeditor][xeditor];
    int z = zeditor;
    if (editor_texwall == 0 || editor_texwall == 2) {
        for (HOLLOW *h = t->hollow; h; h = h->next) {
            if (editor_texwall == 0 && (z == h->floor || (h->slope && z == h->floor + 1)))
                return &h->floor_tex;
            if (editor_texwall == 2 && z == h->roof - 1)
                return &h->roof_tex;
            if (z < h->roof)
                return nullptr;
        }
        return nullptr;
    }
    TILE *n = neighbour_tile(land, xeditor, yeditor, d);
    if (t->hollow) {
        const HOLLOW *top = t->hollow;
        while (top->next)
            top = top->next;
        if (top->roof <= z)
            return nullptr;
    }
    bool n_open = n && hollow_at_level(n, z);
    if (hollow_at_level(t, z) && !n_open) {
        int below = 0;
        walk_wall(t, n, [&](int level) {
            if (level < z)
                below++;
        });
        return &t->wall[d][below];
    }
    if (n)
        for (HOLLOW *h = n->hollow; h; h = h->next)
            if (h->floor == z)
                return &h->slope_tex[d ^ 2];
    return nullptr;
}
