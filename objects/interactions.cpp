// interactions.cpp -- what happens when objects meet: entering a cell,
// passing one on a slope, and resting on the object below.
#include <cstdlib>

#include "land/land.h"
#include "objects/objects.h"

static const PLACEHOLDER_DATA *placeholder_of(const OBJECT *p)
{
    return (const PLACEHOLDER_DATA *)p->data;
}

static void set_roll_flags(int v)
{
    for (ROCK_DIR &e : rock_dir)
        e.possible = v;
}

void collect_diamond(const OBJECT *collector, OBJECT **link)
{
    // Drawn whether or not anyone sounds it, so that a game runs the same way
    // with and without a sound card.  Only the low 15 bits count: the chime
    // was tuned to a rand() that stops at 32767, and this one does not.
    int r = rand() & 0x7fff;
    int player = ((const PLAYER_DATA *)collector->data)->index;
    if (step_events)
        step_events->push_back({EVENT_DIAMOND_COLLECTED, player, 881 + ((r >> 8) & 255)});
    land->n_diamonds--;
    destroy_object(link);
    if (land->n_diamonds == 0 && step_events)
        step_events->push_back({EVENT_LAND_WON, player, 0});
}

// ---- into -----------------------------------------------------------------------

int moving_into_placeholder(OBJECT *m, OBJECT **x, int)
{
    const PLACEHOLDER_DATA *p = placeholder_of(*x);
    const OBJECT *owner = p->owner;
    switch (p->kind) {
    case 1: return owner->dir == m->dir ? 0 : 1;
    case 2: return (owner->z < m->z && owner->z_speed > 0) ? 0 : 1;
    default: return 1;
    }
}

int moving_into_moving(OBJECT *m, OBJECT **x, int)
{
    const OBJECT *o = *x;
    if (o->move_step == 0)
        return 1;
    if (o->dir == m->dir)
        return 0;  // moving away ahead of us
    if (o->z > m->z && o->z_speed < 0)
        return 0;  // climbing away
    if (o->z < m->z && o->z_speed > 0)
        return 0;  // descending away
    return 1;
}

int player_into_diamond(OBJECT *m, OBJECT **x, int commit)
{
    if (commit)
        collect_diamond(m, x);
    return 0;
}

int player_into_rock(OBJECT *m, OBJECT **x, int commit)
{
    OBJECT *r = *x;
    // A player pushes only straight ahead, never backing or strafing.
    if (m->dir != ((const PLAYER_DATA *)m->data)->facing)
        return 1;
    if (r->move_step)
        return (r->dir == m->dir || (r->z < m->z && r->z_speed > 0)) ? 0 : 1;
    if (r->z_speed)
        return 1;
    r->dir = m->dir;
    int tx = r->x + dir_dx[r->dir], ty = r->y + dir_dy[r->dir];
    if (tx < 0 || ty < 0 || tx >= land->w || ty >= land->h)
        return 1;
    HOLLOW *t = find_hollow(&land->tile[ty][tx], r->z);
    if (!t || r->z < floor_level(t))
        return 1;
    OBJECT **at = first_link_at(&t->object, r->z);
    if (*at && (*at)->z == r->z) {
        into_fn into = into_object[OBJ_ROCK][(*at)->type];
        if (!into || into(r, at, commit))
            return 1;
    }
    if (commit) {
        // A pushed rock always moves level; if its new cell has no support it
        // falls afterwards.
        r->move_step = 1;
        create_placeholder(first_link_at(&t->object, r->z), tx, ty, r->z, 0, r);
    }
    return 0;
}

// ---- through ----------------------------------------------------------------------

int player_up_through_placeholder(OBJECT *, OBJECT **, int)
{
    return 1;
}

int player_up_through_moving(OBJECT *, OBJECT **x, int)
{
    return ((*x)->move_step && (*x)->z_speed < 0) ? 0 : 1;
}

int player_through_diamond(OBJECT *m, OBJECT **x, int commit)
{
    if (commit)
        collect_diamond(m, x);
    return 0;
}

int player_down_through_placeholder(OBJECT *m, OBJECT **x, int)
{
    const PLACEHOLDER_DATA *p = placeholder_of(*x);
    switch (p->kind) {
    case 1: return p->owner->dir == m->dir ? 0 : 1;
    case 2: return 0;
    default: return 1;
    }
}

int player_down_through_moving(OBJECT *m, OBJECT **x, int)
{
    const OBJECT *o = *x;
    if (o->move_step == 0)
        return 1;
    return (o->dir == m->dir || o->z_speed > 0) ? 0 : 1;
}

// ---- onto ---------------------------------------------------------------------------

int moving_onto_placeholder()
{
    OBJECT *f = *ao_object;
    OBJECT *b = *ao_prev_object;
    OBJECT *owner = placeholder_of(b)->owner;
    if (owner == f)
        return 0;  // our own falling reservation holds nothing up
    if (f->z > b->z + 1)
        return 0;
    if (!f->next || (f->next != owner && f->next->next != owner))
        return 1;  // a cell reserved for another object's arrival
    // The owner is just above us and its reservation below: look through it
    // at what lies under it, for its effect on us (following a faller).
    if (!ao_before_prev_object)
        return 0;
    OBJECT *q = *ao_before_prev_object;
    onto_fn onto = onto_object[f->type][q->type];
    if (!onto)
        return 0;
    q->next = f;
    ao_prev_object = ao_before_prev_object;
    ao_before_prev_object = ao_two_before_prev_object;
    ao_object = &q->next;
    onto();
    b->next = *ao_object;
    *ao_object = b;
    ao_two_before_prev_object = ao_before_prev_object;
    ao_before_prev_object = ao_prev_object;
    ao_prev_object = ao_object;
    ao_object = &b->next;
    return 0;
}

int rock_onto_placeholder()
{
    int rests = moving_onto_placeholder();
    if (rests)
        set_roll_flags(0);
    return rests;
}

int moving_onto_moving()
{
    OBJECT *f = *ao_object;
    OBJECT *b = *ao_prev_object;
    if (f->z > b->z + 1)
        return 0;
    if (b->move_step)
        return 1;
    if (b->z_speed == 0)
        return 1;
    if (f->z_offset <= b->z_offset)
        return 0;
    // Catching up with a slower faller: lock one level above it at its speed.
    if (f->z_offset != 0) {
        destroy_object(ao_before_prev_object);
        ao_prev_object = ao_before_prev_object;
        ao_before_prev_object = ao_two_before_prev_object;
    }
    f->z = b->z + 1;
    f->z_offset = b->z_offset;
    if (f->z_offset != 0)
        add_falling_placeholder();
    f->z_speed = b->z_speed;
    return 0;
}

int rolling_onto_square_moving()
{
    int rests = moving_onto_moving();
    if (rests)
        set_roll_flags(0);
    return rests;
}

int rolling_onto_curved_moving()
{
    int rests = moving_onto_moving();
    if (rests)
        set_roll_flags((*ao_prev_object)->move_step == 0 ? 1 : 0);
    return rests;
}

int player_onto_diamond()
{
    OBJECT *f = *ao_object;
    OBJECT *b = *ao_prev_object;
    if (b->z == f->z - 1) {
        collect_diamond(f, ao_prev_object);
        ao_object = ao_prev_object;
        ao_prev_object = ao_before_prev_object;
        ao_before_prev_object = ao_two_before_prev_object;
    }
    return 0;
}

int rock_onto_diamond()
{
    OBJECT *f = *ao_object;
    OBJECT *b = *ao_prev_object;
    if (f->z <= b->z + 1) {
        set_roll_flags(1);
        return 1;
    }
    return 0;
}
