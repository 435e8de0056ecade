// cells.cpp -- opening and filling cells and shaping slopes at the cursor,
// with the wall lists kept exact one entry at a time.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "editor/editor.h"
#include "land/land.h"
#include "objects/objects.h"

namespace {

// Entries of t's wall towards n below level z, and the list's full length.
void count_wall_below(const TILE *t, const TILE *n, int z, int &below, int &length)
{
    below = 0;
    length = walk_wall(t, n, [&](int level) {
        if (level < z)
            below++;
    });
}

// Resizes a wall list to its exact new length with entry i inserted (texture
// 0) or removed.
void insert_wall_entry(int *&list, int length, int i)
{
    int *grown = (int *)realloc(list, (length + 1) * sizeof(int));
    if (!grown)
        out_of_memory();
    memmove(grown + i + 1, grown + i, (length - i) * sizeof(int));
    grown[i] = 0;  // a wall that comes back does not remember its texture
    list = grown;
}

void remove_wall_entry(int *&list, int length, int i)
{
    if (length <= 1) {
        free(list);
        list = nullptr;
        return;
    }
    memmove(list + i, list + i + 1, (length - i - 1) * sizeof(int));
    int *shrunk = (int *)realloc(list, (length - 1) * sizeof(int));
    if (shrunk)
        list = shrunk;
}

bool open_at(const TILE *t, int z)
{
    return t && hollow_at_level(t, z);
}

struct cursor_cell {
    TILE *t;
    HOLLOW **link;  // the link holding the hollow at z (or where one would go)
    HOLLOW *h;      // the hollow at z: the first whose roof is above z
    HOLLOW *prev;   // the hollow below it
    bool open;
};

cursor_cell cell_at_cursor()
{
    cursor_cell c;
    c.t = &land->tile[yeditor][xeditor];
    c.link = &c.t->hollow;
    c.prev = nullptr;
    while (*c.link && (*c.link)->roof <= zeditor) {
        c.prev = *c.link;
        c.link = &(*c.link)->next;
    }
    c.h = *c.link;
    c.open = c.h && c.h->floor <= zeditor;
    return c;
}

HOLLOW *new_hollow(int slope_shape, int floor, int roof)
{
    HOLLOW *h = (HOLLOW *)calloc(1, sizeof(HOLLOW));
    if (!h)
        out_of_memory();
    h->slope = slope_shape;
    h->floor = floor;
    h->roof = roof;
    return h;
}

void walls_cleared(int z)
{
    for (int d = 0; d < 4; d++)
        do_texw_cleared(&land->tile[yeditor][xeditor], neighbour_tile(land, xeditor, yeditor, d), z, d);
}

void walls_filled(int z)
{
    for (int d = 0; d < 4; d++)
        do_texw_filled(&land->tile[yeditor][xeditor], neighbour_tile(land, xeditor, yeditor, d), z, d);
}

bool remove_object_at(HOLLOW *h, int z)
{
    OBJECT **link = object_link_at(&h->object, z);
    if (!link)
        return false;
    editor_destroy_object(link);
    return true;
}

// Moves the objects of h above level z, in order, to the end of n's list.
void move_objects_above(HOLLOW *h, int z, HOLLOW *n)
{
    OBJECT **link = first_link_at(&h->object, z + 1);
    OBJECT **tail = &n->object;
    while (*tail)
        tail = &(*tail)->next;
    *tail = *link;
    *link = nullptr;
}

// Joins upper into lower (which ends where upper starts) and frees upper.
void join_hollows(HOLLOW *lower, HOLLOW *upper)
{
    lower->roof = upper->roof;
    lower->roof_tex = upper->roof_tex;
    OBJECT **tail = &lower->object;
    while (*tail)
        tail = &(*tail)->next;
    *tail = upper->object;
    lower->next = upper->next;
    free(upper);
}

// Cuts h at level z: h ends below z, and a new hollow from upper_floor up
// (sloped or flat) takes its roof and the objects above z.  The object at z
// goes.
void split_hollow(HOLLOW *h, int z, int upper_floor, int upper_slope)
{
    HOLLOW *n = new_hollow(upper_slope, upper_floor, h->roof);
    n->roof_tex = h->roof_tex;
    h->roof = z;
    h->roof_tex = 0;
    remove_object_at(h, z);
    move_objects_above(h, z, n);
    n->next = h->next;
    h->next = n;
}

} // namespace

void editor_forget_object(OBJECT *o)
{
    if (o->type == OBJ_DIAMOND)
        land->n_diamonds--;
    if (o->type != OBJ_PLAYER)
        return;
    int i = ((PLAYER_DATA *)o->data)->index & 1;
    if (editor_player_exists[i]) {
        editor_player_exists[i] = 0;
        land->n_players--;
    }
}

void editor_destroy_object(OBJECT **link)
{
    editor_forget_object(*link);
    destroy_object(link);
}

// Opening (t, z) takes away the neighbour's wall facing it, where the
// neighbour is open at z, or else gives t a wall facing the neighbour;
// filling does the reverse.  Exactly one entry of one list changes.
static void change_wall(TILE *t, TILE *n, int z, int d, bool opening)
{
    TILE *owner = t;
    const TILE *other = n;
    int side = d;
    bool gains = opening;
    if (open_at(n, z)) {
        owner = n;
        other = t;
        side = d ^ 2;
        gains = !opening;
    }
    int at, length;
    count_wall_below(owner, other, z, at, length);
    if (gains)
        insert_wall_entry(owner->wall[side], length, at);
    else
        remove_wall_entry(owner->wall[side], length, at);
}

void do_texw_cleared(TILE *t, TILE *n, int z, int d)
{
    change_wall(t, n, z, d, true);
}

void do_texw_filled(TILE *t, TILE *n, int z, int d)
{
    change_wall(t, n, z, d, false);
}

bool clear_land()
{
    int z = zeditor;
    cursor_cell c = cell_at_cursor();
    if (c.open) {
        HOLLOW *h = c.h;
        if (!h->slope || z != h->floor)
            return remove_object_at(h, z);
        if (c.prev && c.prev->roof == z)
            join_hollows(c.prev, h);
        else
            h->slope = 0;
        return true;
    }
    walls_cleared(z);
    HOLLOW *next = c.h;
    bool next_touches = next && next->slope == 0 && next->floor == z + 1;
    if (c.prev && c.prev->roof == z) {
        if (next_touches)
            join_hollows(c.prev, next);  // the only level between them
        else
            c.prev->roof = z + 1;
    } else if (next_touches) {
        next->floor = z;
    } else {
        HOLLOW *h = new_hollow(0, z, z + 1);
        h->next = next;
        *c.link = h;
    }
    return true;
}

bool fill_land()
{
    int z = zeditor;
    cursor_cell c = cell_at_cursor();
    if (!c.open)
        return false;
    walls_filled(z);
    HOLLOW *h = c.h;
    if (z == h->floor && z == h->roof - 1) {
        *c.link = h->next;
        while (h->object)
            editor_destroy_object(&h->object);
        free(h);
    } else if (z == h->floor) {
        h->slope = 0;
        remove_object_at(h, z);
        h->floor = z + 1;
    } else if (z == h->roof - 1) {
        remove_object_at(h, z);
        h->roof = z;
    } else {
        split_hollow(h, z, z + 1, 0);
    }
    return true;
}

// Always a change: a slope turns to its next shape, never back to itself.
bool insert_slope()
{
    int z = zeditor;
    cursor_cell c = cell_at_cursor();
    if (c.open) {
        HOLLOW *h = c.h;
        if (z == h->floor) {
            if (h->slope == 0)
                memset(h->slope_tex, 0, sizeof h->slope_tex);
            h->slope = h->slope % 12 + 1;  // flat again only through M
            remove_object_at(h, z);
        } else {
            split_hollow(h, z, z, 1);  // the two halves touch: no wall changes
        }
        return true;
    }
    walls_cleared(z);
    HOLLOW *next = c.h;
    if (next && next->slope == 0 && next->floor == z + 1) {
        next->floor = z;
        next->slope = 1;
        memset(next->slope_tex, 0, sizeof next->slope_tex);
    } else {
        HOLLOW *h = new_hollow(1, z, z + 1);
        h->next = next;
        *c.link = h;
    }
    return true;
}
