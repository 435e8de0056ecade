// objects.h -- the rules: what objects do, step by step.
//
// The objects' records belong to the land (land/land.h).  Behaviour that
// differs by type is chosen through the tables below; a null entry means "no
// handler" and each caller says what that implies.  The rules are handed the
// players' actions for each step and report what happened; they neither read
// the keyboard nor draw nor sound.
#ifndef TAVO_OBJECTS_H
#define TAVO_OBJECTS_H

#include <vector>

#include "land/land.h"

struct PACKFILE;

// Handler conventions: animate returns non-zero when the cursor may advance;
// into/through return 0 when the mover may enter (commit 1 carries out side
// effects); onto returns non-zero when *ao_object rests on *ao_prev_object.
typedef int (*animate_fn)();
typedef int (*into_fn)(OBJECT *mover, OBJECT **target, int commit);
typedef int (*onto_fn)();

extern animate_fn animate_object[N_OBJECT_TYPES];
extern into_fn into_object[N_OBJECT_TYPES][N_OBJECT_TYPES];
extern into_fn up_through_object[N_OBJECT_TYPES];
extern into_fn down_through_object[N_OBJECT_TYPES];
extern onto_fn onto_object[N_OBJECT_TYPES][N_OBJECT_TYPES];

// The animation cursor, valid during animate_objects().  Handlers that insert
// or remove entries at or before the current object repair these links.
extern HOLLOW *ao_hollow;
extern OBJECT **ao_object;
extern OBJECT **ao_prev_object;
extern OBJECT **ao_before_prev_object;
extern OBJECT **ao_two_before_prev_object;

// ---- the players' actions and what a step did -----------------------------

// The actions a player holds: turn left, turn right, down, up, forward, back,
// strafe left, strafe right.
enum { HELD_TURN_LEFT, HELD_TURN_RIGHT, HELD_DOWN, HELD_UP, HELD_FORWARD, HELD_BACK,
       HELD_STRAFE_LEFT, HELD_STRAFE_RIGHT, N_HELD };

// What each player holds during one step, by player number.
struct PLAYER_ACTIONS {
    unsigned char held[2][N_HELD];
};

// What happened during a step, in the order it happened.
enum { EVENT_DIAMOND_COLLECTED, EVENT_LAND_WON };
struct RULE_EVENT {
    int kind;
    int player;       // the player who collected, by number
    // The frequency to sound the chime at: the rules draw it, so that a game
    // draws its random numbers in the same order with sound or without.
    int chime_freq;
};

// One logic step of every object of the land, rows outer, bottom-up per hollow.
// Only the tiles marked in the land's object_tiles are walked, in the same
// order, which steps exactly what a walk of every tile would: the rules mark
// a tile whenever they file an object in it, and the map is made afresh at a
// land's first step and after create_object() has made anything but a
// placeholder (the loader, the editor, lands built by hand).
//
// Of those tiles, a step walks only the ones where something may happen:
// a tile whose objects are all rocks at rest that found no way to move sleeps
// (its diamonds still turn) until something busy comes within reach, which
// again steps exactly what the walk of every tile would.
// actions says what each player holds; what happened is appended to events
// when it is given.
void animate_objects(const PLAYER_ACTIONS &actions, std::vector<RULE_EVENT> *events = nullptr);
// Set, every tile is walked: the reference the map's walk is held to.
extern int walk_every_tile;
// Marks tile (x, y) of the current land as holding an object, and wakes it.
void mark_object_tile(int x, int y);
// For code that moves or changes existing objects outside the rules: every
// land's maps are made afresh, and every tile woken, at its next step.
void forget_object_tiles();
// The first tile of l, as y * 256 + x, that holds an object its map leaves
// out, or -1 when the map covers them all.
int unmarked_object_tile(const LAND *l);
// Re-files objects that finished a move into another tile and drops the
// placeholders that reserved their way.  Only the tiles noted by
// note_tile_change() since the last call are walked, in row order, which
// gives exactly what a walk of every tile would.
void sort_objects();
// Notes that an object filed in tile (x, y) has just changed tile.
void note_tile_change(int x, int y);

// Whether every object of l is at rest: none moving, falling or climbing, no
// cell reserved.  Until then what the land will come to is still open.
bool land_at_rest(const LAND *l);

// ---- moving and falling -------------------------------------------------------
//
// create_object() makes the walk's map afresh for anything but a placeholder
// (see animate_objects); the rules file placeholders through
// create_placeholder(), which marks the tile.

// A kind 0/1/2 placeholder for cell (x, y, z), inserted at link.
void create_placeholder(OBJECT **link, int x, int y, int z, int kind, OBJECT *owner);
// The first link of a list whose object is null or at level z or above.
OBJECT **first_link_at(OBJECT **link, int z);
// The link holding the object at exactly level z, or null: at most one
// object stands at a level.
OBJECT **object_link_at(OBJECT **head, int z);

// Starts the move of *ao_object into hollow t of tile (tx, ty); z_speed and
// z_offset are already set for a climb, descent or level move.
void start_move(HOLLOW *t, int tx, int ty);
void start_object_falling();
void add_falling_placeholder();
void process_moving_object();
void process_falling_object();

// ---- interactions --------------------------------------------------------------

int moving_into_placeholder(OBJECT *m, OBJECT **x, int commit);
int moving_into_moving(OBJECT *m, OBJECT **x, int commit);
int player_into_diamond(OBJECT *m, OBJECT **x, int commit);
int player_into_rock(OBJECT *m, OBJECT **x, int commit);
int player_up_through_placeholder(OBJECT *m, OBJECT **x, int commit);
int player_up_through_moving(OBJECT *m, OBJECT **x, int commit);
int player_through_diamond(OBJECT *m, OBJECT **x, int commit);
int player_down_through_placeholder(OBJECT *m, OBJECT **x, int commit);
int player_down_through_moving(OBJECT *m, OBJECT **x, int commit);
int moving_onto_placeholder();
int rock_onto_placeholder();
int moving_onto_moving();
int rolling_onto_square_moving();
int rolling_onto_curved_moving();
int player_onto_diamond();
int rock_onto_diamond();

// The collector takes the diamond held by link: the chime's draw, the count,
// the object, and the events that tell of it.
void collect_diamond(const OBJECT *collector, OBJECT **link);

// ---- players, rocks and diamonds ---------------------------------------------

// The step in progress, while animate_objects() runs: what its players hold
// and where what happens goes (null when nobody listens).
extern const PLAYER_ACTIONS *step_actions;
extern std::vector<RULE_EVENT> *step_events;
// The actions of the player being stepped.
extern unsigned char key_held[N_HELD];

int animate_player();
void propagate_player_directions();
// One step of a player's turn and tilt under the held actions: the player's
// own, and the editor's camera's.
void turn_and_tilt(PLAYER_DATA *p, const unsigned char held[N_HELD]);
void process_standing_player();
int player_try_to_move();

struct ROCK_DIR {
    int possible;
    int x, y;
    HOLLOW *hollow;
    into_fn lower_into;
    OBJECT **lower_link;
    into_fn level_into;
    OBJECT **level_link;
};
extern ROCK_DIR rock_dir[4];

int animate_rock();
void process_standing_rock();
void rock_try_to_move(int roll_down);
void check_rock_dir(ROCK_DIR *e);
int animate_diamond();
// One step of a diamond's turn: all that its step does.
void turn_diamond(DIAMOND_DATA *d);

#endif
