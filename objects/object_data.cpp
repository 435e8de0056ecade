// object_data.cpp -- the per-type records as stored in land files.
#include <allegro.h>
#include <cstdlib>

#include "land/land.h"
#include "objects/objects.h"

int load_player_data(OBJECT *o, PACKFILE *f)
{
    PLAYER_DATA *p = (PLAYER_DATA *)o->data;
    int index = pack_getc(f);
    int facing = pack_getc(f);
    if (index != 0 && index != 1)
        return -1;
    if (facing < 0 || facing > 3)
        return -1;
    p->index = index;
    p->facing = facing;
    p->turn = 0;
    p->pitch = 0;
    return 0;  // the loader hands players to player_info once the file is accepted
}

int load_diamond_data(OBJECT *o, PACKFILE *)
{
    ((DIAMOND_DATA *)o->data)->spin = 0;
    return 0;
}

int load_rock_data(OBJECT *o, PACKFILE *f)
{
    if (pack_getc(f) == EOF)
        return -1;
    // Every loaded rock shows one of the land's first three textures.
    ((ROCK_DATA *)o->data)->texture = rand() % 3;
    return 0;
}

void save_player_data(OBJECT *o, PACKFILE *f)
{
    const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
    pack_putc(p->index & 255, f);
    pack_putc(p->facing & 255, f);
}

void save_diamond_data(OBJECT *, PACKFILE *)
{
}

void save_rock_data(OBJECT *o, PACKFILE *f)
{
    pack_putc(((const ROCK_DATA *)o->data)->texture & 255, f);
}
