// object_data.cpp -- the objects' records: making and freeing them, and the
// per-type data as stored in land files.
#include <allegro.h>
#include <cstdio>
#include <cstdlib>

#include "land/land.h"

const size_t object_data_size[N_OBJECT_TYPES] = {sizeof(PLACEHOLDER_DATA), sizeof(PLAYER_DATA),
                                                 sizeof(DIAMOND_DATA), sizeof(ROCK_DATA)};
void (*destroy_object_data[N_OBJECT_TYPES])(void *) = {free, free, free, free};
load_data_fn load_object_data[N_OBJECT_TYPES] = {nullptr, load_player_data, load_diamond_data,
                                                 load_rock_data};
save_data_fn save_object_data[N_OBJECT_TYPES] = {nullptr, save_player_data, save_diamond_data,
                                                 save_rock_data};

unsigned long long objects_made = 1;

void out_of_memory()
{
    fprintf(stderr, "tavo: out of memory\n");
    abort();
}

OBJECT *create_object(int type, int x, int y, int z)
{
    OBJECT *o = (OBJECT *)calloc(1, sizeof(OBJECT));
    if (!o)
        return nullptr;
    o->data = calloc(1, object_data_size[type]);
    if (!o->data) {
        free(o);
        return nullptr;
    }
    o->type = type;
    o->x = x;
    o->y = y;
    o->z = z;
    if (type != OBJ_PLACEHOLDER)
        objects_made++;
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
    return 0;
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
