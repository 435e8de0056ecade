// draw_objects.cpp -- the draw_object entries: players and diamonds as
// models, rocks as spheres, placeholders as the object they make room for.
#include <cmath>

#include "render/pipeline.h"

draw_fn draw_object[N_OBJECT_TYPES] = {draw_placeholder, draw_player, draw_diamond, draw_rock};
int drawing_placeholder = 0;

namespace {

// The drawn centre of a moving object: its tile's centre slid along the move.
void slide(const OBJECT *o, float &x, float &y)
{
    float d = (float)o->move_step / FRAMES_PER_TILE;
    switch (o->dir) {
    case 0: y -= d; break;
    case 1: x += d; break;
    case 2: y += d; break;
    default: x -= d; break;
    }
}

} // namespace

void draw_placeholder(OBJECT *o)
{
    OBJECT *owner = ((PLACEHOLDER_DATA *)o->data)->owner;
    drawing_placeholder = 1;
    draw_fn draw = draw_object[owner->type];
    if (draw)
        draw(owner);
    drawing_placeholder = 0;
}

void draw_player(OBJECT *o)
{
    float x = (float)o->x + 0.5f, y = (float)o->y + 0.5f, z = (float)o->z;
    if (o->move_step)
        slide(o, x, y);
    else if (drawing_placeholder)
        return;  // a faller is drawn from its own list only
    z -= (float)o->z_offset / SUBUNITS_PER_LEVEL;
    const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
    draw_model(&model_player, x, y, z, facing_angle(p));
}

void draw_diamond(OBJECT *o)
{
    const DIAMOND_DATA *d = (const DIAMOND_DATA *)o->data;
    draw_model(&model_diamond, (float)o->x + 0.5f, (float)o->y + 0.5f, (float)o->z,
               (float)(d->spin * M_PI / 120));
}

void draw_rock(OBJECT *o)
{
    float x = (float)o->x + 0.5f, y = (float)o->y + 0.5f, z = (float)o->z + 0.5f;
    if (o->move_step)
        slide(o, x, y);
    else if (drawing_placeholder)
        return;
    z -= (float)o->z_offset / SUBUNITS_PER_LEVEL;
    draw_sphere((float)dpv_x, (float)(dpv_x + 1), (float)dpv_y, (float)(dpv_y + 1), x, y, z, 0.5f,
                land_texture(land, ((const ROCK_DATA *)o->data)->texture));
}
