// movement.cpp -- moves from tile to tile, falls, and the placeholders that
// reserve the cells an object is about to enter.
#include <cstdio>
#include <cstdlib>

#include "land/land.h"
#include "objects/objects.h"

void create_placeholder(OBJECT **link, int x, int y, int z, int kind, OBJECT *owner)
{
    OBJECT *p = create_object(OBJ_PLACEHOLDER, x, y, z);
    if (!p)
        out_of_memory();
    PLACEHOLDER_DATA *d = (PLACEHOLDER_DATA *)p->data;
    d->kind = kind;
    d->owner = owner;
    p->next = *link;
    *link = p;
    mark_object_tile(x, y);  // a reservation is filed in its own cell's tile
}

OBJECT **first_link_at(OBJECT **link, int z)
{
    while (*link && (*link)->z < z)
        link = &(*link)->next;
    return link;
}

OBJECT **object_link_at(OBJECT **head, int z)
{
    OBJECT **link = first_link_at(head, z);
    return (*link && (*link)->z == z) ? link : nullptr;
}

void start_move(HOLLOW *t, int tx, int ty)
{
    OBJECT *o = *ao_object;
    o->move_step = 1;
    int end = o->z - o->z_speed;
    OBJECT **link = first_link_at(&t->object, end);
    create_placeholder(link, tx, ty, end, 0, o);
    if (o->z_speed < 0)
        create_placeholder(&o->next, o->x, o->y, end, 1, o);
    else if (o->z_speed > 0)
        create_placeholder(first_link_at(link, end + 1), tx, ty, end + 1, 2, o);
}

void process_moving_object()
{
    OBJECT *o = *ao_object;
    int old = o->move_step++;
    if (old != FRAMES_PER_TILE - 1) {
        o->z_offset += SLOPE_STEP * o->z_speed;
        return;
    }
    o->move_step = 0;
    note_tile_change(o->x, o->y);
    switch (o->dir) {
    case 0: o->y--; break;
    case 1: o->x++; break;
    case 2: o->y++; break;
    default: o->x--; break;
    }
    o->z -= o->z_speed;
    o->z_offset = 0;
    o->z_speed = 0;
}

void start_object_falling()
{
    OBJECT *o = *ao_object;
    o->z_offset = 1;
    o->z_speed = 1;
    add_falling_placeholder();
}

static bool left_column(const OBJECT *e, const OBJECT *o)
{
    return e->x != o->x || e->y != o->y;
}

void add_falling_placeholder()
{
    OBJECT *o = *ao_object;
    OBJECT **old_prev = ao_prev_object;
    OBJECT **old_before = ao_before_prev_object;
    ao_two_before_prev_object = ao_before_prev_object;
    ao_before_prev_object = ao_prev_object;
    if (old_prev && left_column(*old_prev, o) && old_before && !left_column(*old_before, o) &&
        (*old_before)->z >= o->z - 1) {
        // The entry before us has just finished a move out of this column and
        // is re-filed only at the end of the frame.  It must not stand
        // between us and what is really below: move it in front (it has been
        // stepped already), then lay out the list as for an entry below:
        // the departed one, placeholder, the entry below, the current object.
        OBJECT *departed = *old_prev;
        OBJECT *below = *old_before;
        below->next = o;
        create_placeholder(old_before, o->x, o->y, o->z - 1, 0, o);
        OBJECT *reservation = *old_before;
        departed->next = reservation;
        *old_before = departed;
        ao_two_before_prev_object = old_before;
        ao_before_prev_object = &departed->next;
        ao_prev_object = &reservation->next;
        ao_object = &below->next;
    } else if (old_prev && (*old_prev)->z >= o->z - 1) {
        // placeholder, the entry below, the current object
        create_placeholder(old_prev, o->x, o->y, o->z - 1, 0, o);
        ao_prev_object = &(*old_prev)->next;
    } else {
        create_placeholder(ao_object, o->x, o->y, o->z - 1, 0, o);
        ao_prev_object = ao_object;
        ao_object = &(*ao_object)->next;
    }
}

static bool is_own_placeholder(const OBJECT *p, const OBJECT *owner)
{
    return p->type == OBJ_PLACEHOLDER && ((const PLACEHOLDER_DATA *)p->data)->owner == owner;
}

static void step_cursor_back()
{
    ao_prev_object = ao_before_prev_object;
    ao_before_prev_object = ao_two_before_prev_object;
}

// Finds the current object's links afresh from the head of its list.
static void reseat_cursor(const OBJECT *o)
{
    OBJECT **links[4] = {nullptr, nullptr, nullptr, nullptr};
    for (OBJECT **link = &ao_hollow->object;; link = &(*link)->next) {
        links[3] = links[2];
        links[2] = links[1];
        links[1] = links[0];
        links[0] = link;
        if (*link == o)
            break;
    }
    ao_object = links[0];
    ao_prev_object = links[1];
    ao_before_prev_object = links[2];
    ao_two_before_prev_object = links[3];
}

// The object of this column that still holds the level a faller is about to
// pass into, or null.  The faller's reservation stands in front of it, and a
// follower's reservation of the faller's own cell may stand between them.
static OBJECT *still_below(const OBJECT *o)
{
    OBJECT *e = *ao_prev_object;
    if (is_own_placeholder(e, o))
        return nullptr;
    if (e->type == OBJ_PLACEHOLDER) {
        if (!ao_before_prev_object)
            return nullptr;
        e = *ao_before_prev_object;
    }
    if (e->type == OBJ_PLACEHOLDER || e->x != o->x || e->y != o->y || e->z != o->z - 1)
        return nullptr;
    return e;
}

// A faller that would pass into a level still held has caught up with what
// holds it in this very step: it stays one level above, following it down at
// its offset and speed as moving_onto_moving has it, or resting on it.
// Overtaking would put two objects at one level and lose the reservation
// links the cursor holds.
static void keep_above(OBJECT *o, const OBJECT *e)
{
    bool falling = !e->move_step && e->z_speed;
    o->z_offset = falling ? e->z_offset : 0;
    o->z_speed = falling ? e->z_speed : 0;
    if (o->z_offset)
        return;  // its reservation stays, in front of e
    for (OBJECT **link = &ao_hollow->object; *link; link = &(*link)->next)
        if (is_own_placeholder(*link, o)) {
            destroy_object(link);
            break;
        }
    reseat_cursor(o);
}

void process_falling_object()
{
    OBJECT *o = *ao_object;
    if (o->z_speed < TERMINAL_SPEED)
        o->z_speed++;
    if (o->z_offset == 0)
        add_falling_placeholder();
    o->z_offset += o->z_speed;
    if (o->z_offset >= SUBUNITS_PER_LEVEL) {
        if (const OBJECT *e = still_below(o)) {
            keep_above(o, e);
            return;
        }
        o->z--;
        OBJECT *below = *ao_prev_object;
        if (!is_own_placeholder(below, o)) {
            // The reservation sits in front of the entry below: overtake it.
            *ao_prev_object = o;
            below->next = o->next;
            o->next = below;
            ao_object = ao_prev_object;
            step_cursor_back();
        }
        destroy_object(ao_prev_object);
        ao_object = ao_prev_object;
        step_cursor_back();
        if (o->z == floor_level(ao_hollow)) {
            o->z_offset = 0;
            o->z_speed = 0;
            return;
        }
        o->z_offset -= SUBUNITS_PER_LEVEL;
        if (o->z_offset != 0)
            add_falling_placeholder();
    }
    if (!ao_prev_object)
        return;
    onto_fn onto = onto_object[o->type][(*ao_prev_object)->type];
    if (onto && onto()) {
        if (o->z_offset != 0) {
            destroy_object(ao_before_prev_object);  // the falling reservation
            step_cursor_back();
        }
        o->z_offset = 0;
        o->z_speed = 0;
    }
}
