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

struct PACKFILE;

// Handler conventions: animate returns non-zero when the cursor may advance;
// into/through return 0 when the mover may enter (commit 1 carries out side
// effects); onto returns non-zero when *ao_object rests on *ao_prev_object.
typedef int (*animate_fn)();
typedef int (*into_fn)(OBJECT *mover, OBJECT **target, int commit);
typedef int (*onto_fn)();
typedef void (*draw_fn)(OBJECT *o);
typedef int (*load_data_fn)(OBJECT *o, PACKFILE *f);  // 0, or -1 for bad data
typedef void (*save_data_fn)(OBJECT *o, PACKFILE *f);
typedef void (*init_data_fn)(OBJECT *o);

extern animate_fn animate_object[N_OBJECT_TYPES];
extern into_fn into_object[N_OBJECT_TYPES][N_OBJECT_TYPES];
extern into_fn up_through_object[N_OBJECT_TYPES];
extern into_fn down_through_object[N_OBJECT_TYPES];
extern onto_fn onto_object[N_OBJECT_TYPES][N_OBJECT_TYPES];
extern draw_fn draw_object[N_OBJECT_TYPES];
extern void (*destroy_object_data[N_OBJECT_TYPES])(void *);
extern load_data_fn load_object_data[N_OBJECT_TYPES];
extern save_data_fn save_object_data[N_OBJECT_TYPES];
extern init_data_fn editobj_init_data[N_OBJECT_TYPES];

// 1 while a placeholder draws its owner.
extern int drawing_placeholder;

// The animation cursor, valid during animate_objects().  Handlers that insert
// or remove entries at or before the current object repair these links.
extern HOLLOW *ao_hollow;
extern OBJECT **ao_object;
extern OBJECT **ao_prev_object;
extern OBJECT **ao_before_prev_object;
extern OBJECT **ao_two_before_prev_object;

// One logic step of every object of the land, rows outer, bottom-up per hollow.
void animate_objects();
// Re-files objects that finished a move into another tile and drops the
// placeholders that reserved their way.
void sort_objects();

// A new object at rest with a zeroed type record; null when memory runs out.
OBJECT *create_object(int type, int x, int y, int z);

// The per-type file data, as stored in land files.
int load_player_data(OBJECT *o, PACKFILE *f);
int load_diamond_data(OBJECT *o, PACKFILE *f);
int load_rock_data(OBJECT *o, PACKFILE *f);
void save_player_data(OBJECT *o, PACKFILE *f);
void save_diamond_data(OBJECT *o, PACKFILE *f);
void save_rock_data(OBJECT *o, PACKFILE *f);

// Unlinks the object held by *link (the link takes its next) and frees it.
void destroy_object(OBJECT **link);
void destroy_all_objects(OBJECT *list);

#endif
