// rock.cpp -- rocks fall, roll off curved things and down slopes; diamonds spin.
#include <cstdlib>

#include "land/land.h"
#include "objects/objects.h"

ROCK_DIR rock_dir[4];

int animate_rock()
{
    OBJECT *o = *ao_object;
    if (o->move_step)
        process_moving_object();
    else if (o->z_speed)
        process_falling_object();
    else
        process_standing_rock();
    return 1;
}

void process_standing_rock()
{
    for (ROCK_DIR &e : rock_dir)
        e.possible = 0;
    OBJECT *o = *ao_object;
    const SLOPE &s = slope[ao_hollow->slope];
    if (o->z > ao_hollow->floor + s.rise) {
        // The onto handler also says which ways the rock may roll off.
        onto_fn onto = ao_prev_object ? onto_object[OBJ_ROCK][(*ao_prev_object)->type] : nullptr;
        if (onto && onto())
            rock_try_to_move(0);
        else
            start_object_falling();
        return;
    }
    // On a flat floor there is no way to roll: most rocks of a quiet land
    // stand so, and need no more.
    if (!s.rise)
        return;
    for (int d = 0; d < 4; d++)
        rock_dir[d].possible = s.high[d] == 0;
    rock_try_to_move(1);
}

void check_rock_dir(ROCK_DIR *e)
{
    OBJECT *r = *ao_object;
    int z = r->z;
    e->hollow = find_hollow(&land->tile[e->y][e->x], z);
    if (!e->hollow || floor_level(e->hollow) >= z) {
        e->possible = 0;  // rocks only roll towards lower ground
        return;
    }
    e->lower_link = first_link_at(&e->hollow->object, z - 1);
    e->lower_into = nullptr;
    if (*e->lower_link && (*e->lower_link)->z == z - 1) {
        e->lower_into = into_object[OBJ_ROCK][(*e->lower_link)->type];
        if (!e->lower_into || e->lower_into(r, e->lower_link, 0)) {
            e->possible = 0;
            return;
        }
    }
    e->level_link = first_link_at(e->lower_link, z);
    e->level_into = nullptr;
    if (*e->level_link && (*e->level_link)->z == z) {
        e->level_into = into_object[OBJ_ROCK][(*e->level_link)->type];
        if (!e->level_into || e->level_into(r, e->level_link, 0)) {
            e->possible = 0;
            return;
        }
    }
    e->possible = 1;
}

void rock_try_to_move(int roll_down)
{
    OBJECT *o = *ao_object;
    for (int d = 0; d < 4; d++) {
        ROCK_DIR &e = rock_dir[d];
        if (!e.possible)
            continue;
        o->dir = d;
        e.x = o->x + dir_dx[d];
        e.y = o->y + dir_dy[d];
        if (e.x < 0 || e.y < 0 || e.x >= land->w || e.y >= land->h)
            e.possible = 0;
        else
            check_rock_dir(&e);
    }
    // One random number per candidate, in direction order: each candidate
    // ends up chosen with equal chance.
    int n = 0;
    for (int d = 0; d < 4; d++) {
        if (!rock_dir[d].possible)
            continue;
        n++;
        if (rand() % n == 0)
            o->dir = d;
    }
    if (n == 0)
        return;
    ROCK_DIR &e = rock_dir[o->dir];
    if (e.lower_into)
        e.lower_into(o, e.lower_link, 1);
    if (roll_down) {
        if (e.level_into)
            e.level_into(o, e.level_link, 1);
        o->z_speed = 1;
        o->z_offset = SLOPE_STEP;
    }
    start_move(e.hollow, e.x, e.y);
}

void turn_diamond(DIAMOND_DATA *d)
{
    d->spin = d->spin == 239 ? 0 : d->spin + 1;
}

int animate_diamond()
{
    turn_diamond((DIAMOND_DATA *)(*ao_object)->data);
    return 1;
}
