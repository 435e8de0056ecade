// objects.h -- objects, their type records and the per-type tables.
//
// Every object lives in exactly one hollow's list, ascending in z.  Behaviour
// that differs by type is chosen through the tables below; a null entry
// means "no handler" and each caller says what that implies.
#ifndef TAVO_OBJECTS_H
#define TAVO_OBJECTS_H

#include <cstdio>

struct HOLLOW;

enum {
    OBJ_PLACEHOLDER = 0,
    OBJ_PLAYER = 1,
    OBJ_DIAMOND = 2,
    OBJ_ROCK = 3,
    N_OBJECT_TYPES = 4
};

struct OBJECT {
    int type;
    int x, y, z;
    int z_offset;   // below z, in 1/420 of a level; negative while climbing
    int z_speed;    // falling: speed; moving: level change of the move
    int dir;
    int move_step;  // 0 at rest, else 1..29
    void *data;     // owned type record
    OBJECT *next;
};

struct PLACEHOLDER_DATA {
    int kind;
    OBJECT *owner;  // not owned
};

struct PLAYER_DATA {
    int index;
    int facing;
    int turn;
    int pitch;
};

struct DIAMOND_DATA {
    int spin;
};

struct ROCK_DATA {
    int texture;
};

extern void (*destroy_object_data[N_OBJECT_TYPES])(void *);

// Unlinks the object held by *link (the link takes its next) and frees it.
void destroy_object(OBJECT **link);
void destroy_all_objects(OBJECT *list);

#endif
