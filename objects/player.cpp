// player.cpp -- a player under its actions: turning, tilting, walking,
// climbing and descending slopes.
#include "land/land.h"
#include "objects/objects.h"

unsigned char key_held[N_HELD];

int animate_player()
{
    OBJECT *o = *ao_object;
    int index = ((PLAYER_DATA *)o->data)->index;
    for (int i = 0; i < N_HELD; i++)
        key_held[i] = step_actions->held[index & 1][i];
    propagate_player_directions();
    if (o->move_step)
        process_moving_object();
    else if (o->z_speed)
        process_falling_object();
    else
        process_standing_player();
    return 1;
}

void turn_and_tilt(PLAYER_DATA *p, const unsigned char held[N_HELD])
{
    bool up = held[HELD_UP], down = held[HELD_DOWN];
    if (up && !down) {
        if (p->pitch < 30)
            p->pitch++;
    } else if (down && !up) {
        if (p->pitch > -30)
            p->pitch--;
    } else if (p->pitch > 0) {
        p->pitch--;
    } else if (p->pitch < 0) {
        p->pitch++;
    }

    if (p->turn < 0) {
        p->turn++;
        return;
    }
    if (p->turn > 0) {
        p->turn--;
        return;
    }
    bool left = held[HELD_TURN_LEFT], right = held[HELD_TURN_RIGHT];
    if (left && !right) {
        p->facing = (p->facing - 1) & 3;
        p->turn = FRAMES_PER_TILE - 1;
    } else if (right && !left) {
        p->facing = (p->facing + 1) & 3;
        p->turn = -(FRAMES_PER_TILE - 1);
    }
}

void propagate_player_directions()
{
    turn_and_tilt((PLAYER_DATA *)(*ao_object)->data, key_held);
}

void process_standing_player()
{
    OBJECT *o = *ao_object;
    if (o->z > floor_level(ao_hollow)) {
        onto_fn onto = ao_prev_object ? onto_object[OBJ_PLAYER][(*ao_prev_object)->type] : nullptr;
        if (!onto || !onto()) {
            start_object_falling();
            return;
        }
    }
    int facing = ((PLAYER_DATA *)o->data)->facing;
    if (key_held[HELD_FORWARD] != key_held[HELD_BACK]) {
        o->dir = key_held[HELD_BACK] ? facing ^ 2 : facing;
        if (player_try_to_move())
            return;
    }
    if (key_held[HELD_STRAFE_LEFT] != key_held[HELD_STRAFE_RIGHT]) {
        o->dir = (facing + 1) & 3;
        if (key_held[HELD_STRAFE_LEFT])
            o->dir ^= 2;
        player_try_to_move();
    }
}

// Asks into_object whether the player may enter the object at link, carrying
// out its effects; an absent handler blocks.
static bool may_enter(OBJECT *o, OBJECT **link)
{
    into_fn into = into_object[OBJ_PLAYER][(*link)->type];
    return into && into(o, link, 1) == 0;
}

int player_try_to_move()
{
    OBJECT *o = *ao_object;
    int tx = o->x + dir_dx[o->dir & 3], ty = o->y + dir_dy[o->dir & 3];
    if (tx < 0 || ty < 0 || tx >= land->w || ty >= land->h)
        return 0;
    HOLLOW *t = find_hollow(&land->tile[ty][tx], o->z);
    if (!t || o->z < t->floor)
        return 0;  // a wall, or a rise of more than one level
    const SLOPE &ts = slope[t->slope];

    if (o->z == t->floor) {
        if (ts.high[o->dir ^ 2])
            return 0;
        into_fn up = nullptr;
        if (ts.rise) {
            if (o->z + 1 >= t->roof || o->z + 1 >= ao_hollow->roof)
                return 0;  // no headroom for the climb
            if (o->next && o->next->z == o->z + 1) {
                up = up_through_object[o->next->type];
                if (up && up(o, &o->next, 0))
                    return 0;
            }
        }
        OBJECT **x = object_link_at(&t->object, t->floor + ts.rise);
        if (x && !may_enter(o, x))
            return 0;
        if (ts.rise) {
            if (up)
                up(o, &o->next, 1);
            o->z_speed = -1;
            o->z_offset = -SLOPE_STEP;
        }
    } else {
        const SLOPE &own = slope[ao_hollow->slope];
        bool descends = own.rise == 1 && o->z <= ao_hollow->floor + 1 && own.high[o->dir] == 0 &&
                        o->z != floor_level(t);
        OBJECT **x = object_link_at(&t->object, o->z);
        if (x && !may_enter(o, x))
            return 0;
        if (descends) {
            OBJECT **below = object_link_at(&t->object, o->z - 1);
            bool go_down = true;
            if (below) {
                // Holding up reaches for what is below as if walking into it.
                into_fn h = (key_held[HELD_UP] && !key_held[HELD_DOWN]) ? into_object[OBJ_PLAYER][(*below)->type]
                                                                        : down_through_object[(*below)->type];
                go_down = h && h(o, below, 1) == 0;
            }
            if (go_down) {
                o->z_speed = 1;
                o->z_offset = SLOPE_STEP;
            }
        }
    }
    start_move(t, tx, ty);
    return 1;
}
