// objects.cpp -- object lists and their release.
#include "objects/objects.h"

#include <cstdlib>

void (*destroy_object_data[N_OBJECT_TYPES])(void *) = {free, free, free, free};

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
