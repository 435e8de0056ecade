// land.h -- the level: tiles, hollows, wall lists, textures and fog.
//
// The contract of the land subsystem.  A land is a grid of tiles; each tile is
// a column of solid material pierced by hollows listed bottom-up.  The wall
// lists hold one texture per exposed unit square and store no length: every
// user runs walk_wall() to find it.
#ifndef TAVO_LAND_H
#define TAVO_LAND_H

#include <allegro.h>
#include <cstddef>
#include <string>

// ---- units -------------------------------------------------------------------

// A move from one tile to the next takes FRAMES_PER_TILE steps; a level is
// SUBUNITS_PER_LEVEL sub-units high for vertical motion, and a step up or
// down a slope starts SLOPE_STEP of them away from the level it ends on.
enum { FRAMES_PER_TILE = 30, SUBUNITS_PER_LEVEL = 420, SLOPE_STEP = 14, TERMINAL_SPEED = 50 };

// ---- objects: the records a land holds ------------------------------------
//
// Every object lives in exactly one hollow's list, ascending in z.  What the
// objects do is the rules' business (objects/objects.h); what they are, how
// they are stored and how they are freed is the land's.

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
    int z_offset;   // below z, in 1/SUBUNITS_PER_LEVEL of a level; negative while climbing
    int z_speed;    // falling: speed; moving: level change of the move
    int dir;
    int move_step;  // 0 at rest, else 1..FRAMES_PER_TILE-1
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

// The size of each type's record: the one table of them.
extern const size_t object_data_size[N_OBJECT_TYPES];

typedef int (*load_data_fn)(OBJECT *o, PACKFILE *f);  // 0, or -1 for bad data
typedef void (*save_data_fn)(OBJECT *o, PACKFILE *f);
extern void (*destroy_object_data[N_OBJECT_TYPES])(void *);
extern load_data_fn load_object_data[N_OBJECT_TYPES];
extern save_data_fn save_object_data[N_OBJECT_TYPES];

// The per-type file data, as stored in land files.
int load_player_data(OBJECT *o, PACKFILE *f);
int load_diamond_data(OBJECT *o, PACKFILE *f);
int load_rock_data(OBJECT *o, PACKFILE *f);
void save_player_data(OBJECT *o, PACKFILE *f);
void save_diamond_data(OBJECT *o, PACKFILE *f);
void save_rock_data(OBJECT *o, PACKFILE *f);

// A new object at rest with a zeroed type record; null when memory runs out.
// Anything but a placeholder bumps objects_made.
OBJECT *create_object(int type, int x, int y, int z);
// Unlinks the object held by *link (the link takes its next) and frees it.
void destroy_object(OBJECT **link);
void destroy_all_objects(OBJECT *list);

// Bumped for every object made other than a placeholder, and by whoever
// changes objects behind the rules' back (forget_object_tiles()): the rules
// keep a map of the tiles holding objects that is good while a land's
// object_tiles_made matches it.  Starts above 0, which a new land's map holds.
extern unsigned long long objects_made;

// Ends the program: the rules and the editor cannot go on without the
// memory they asked for.
[[noreturn]] void out_of_memory();

struct HOLLOW {
    int slope;          // 0..12, index into the slope table; 0 is flat
    int floor;          // lowest open level
    int roof;           // level just above the highest open level
    int floor_tex;
    int roof_tex;
    int slope_tex[4];   // side faces of the wedge under a sloped floor, by direction
    OBJECT *object;     // object list, ascending z
    HOLLOW *next;       // next hollow upwards
};

struct TILE {
    HOLLOW *hollow;     // lowest hollow; null for solid rock
    int *wall[4];       // exposed wall squares by direction; null when none
};

struct LAND {
    int n_textures;     // 1..256
    BITMAP **texture;
    int fog_colour;
    int w, h;           // 0..255 each
    TILE **tile;        // tile[y][x]
    int n_diamonds;
    // The players: the count the file stores (in a land read for play, how
    // many play; the editor keeps it as the number placed) and, as read,
    // each player's object by number, null where none is placed.  Whoever
    // plays or edits the land takes from these what it needs; the rules and
    // the editor do not keep player[] up to date.
    int n_players;
    OBJECT *player[2];
    BITMAP *missing_texture;  // drawn where a texture is absent; see land_texture()
    // The names as stored, without "textures/".  Kept with the land rather
    // than beside it, so that loading another land can fail without harm.
    char **texture_filename;
    // The tiles that may hold objects, a bit each by row, so that a logic
    // step walks only those.  Kept by the rules (objects.h); never stored.
    unsigned long long object_tiles[256][4];
    unsigned long long object_tiles_made;  // 0: not made yet
    // Of those, the tiles where something may happen this step; the others
    // hold only rocks at rest that found no way to move and, in spin_tiles,
    // diamonds, which still turn.  Kept with object_tiles.
    unsigned long long awake_tiles[256][4];
    unsigned long long spin_tiles[256][4];
    // For a sleeping tile with one diamond, that diamond, by y * 256 + x, so
    // that it turns without a walk of the tile; made when first needed.
    DIAMOND_DATA **sleeping_diamond;
};

// Direction codes: 0 towards y-1, 1 towards x+1, 2 towards y+1, 3 towards x-1.
extern const int dir_dx[4];
extern const int dir_dy[4];

extern LAND *land;
extern COLOR_MAP the_fog_map;

// The tile one step from (x, y) in direction d, or null outside the grid
// (which counts as solid at every level).
TILE *neighbour_tile(const LAND *l, int x, int y, int d);

// The hollow of tile t that holds level z (the first whose roof is above z),
// or null when every hollow lies below z.  z is open there only when the
// hollow's floor is <= z as well; see hollow_at_level().
HOLLOW *find_hollow(const TILE *t, int z);
HOLLOW *hollow_at_level(const TILE *t, int z);

// The wall walk: calls visit(z) for every level of t that is exposed towards
// neighbour n (null = solid), in ascending z, and returns how many there were.
// This is the only definition of a wall list's length.
template <class F>
int walk_wall(const TILE *t, const TILE *n, F &&visit)
{
    // Runs of levels covered by the neighbour are skipped whole, so the cost
    // is the number of exposed levels plus the number of hollows, however tall.
    const HOLLOW *m = n ? n->hollow : nullptr;
    int count = 0;
    int z = -1;
    for (const HOLLOW *h = t->hollow; h; h = h->next) {
        if (z >= h->roof)
            continue;
        if (z < h->floor)
            z = h->floor;
        while (z < h->roof) {
            while (m && z >= m->roof)
                m = m->next;
            if (m && m->floor <= z) {
                z = m->roof < h->roof ? m->roof : h->roof;
                continue;
            }
            int stop = (m && m->floor < h->roof) ? m->floor : h->roof;
            for (; z < stop; z++, count++)
                visit(z);
        }
    }
    return count;
}

inline int count_wall(const TILE *t, const TILE *n)
{
    return walk_wall(t, n, [](int) {});
}

// The length of tile (x, y)'s wall list on side d.
int wall_length(const LAND *l, int x, int y, int d);

// Rebuilds the_fog_map for fog_colour from the game palette.
void build_fog_map(const RGB *palette, int fog_colour);

// Frees a land with everything it owns; null does nothing.  It may be half
// made (a loader giving up).  Whoever took pointers into it (the game's
// player rows) drops them.
void destroy_land(LAND *l);

// A land of w x h solid tiles with a slot and a copy of the name for each of
// the n texture names, no texture loaded yet; null when memory runs out.
LAND *create_land(int w, int h, const char *const *names, int n);

// Gives l its rows of w x h solid tiles; false when memory runs out, with
// what was made left for destroy_land().
bool allocate_tiles(LAND *l, int w, int h);

// Frees a tile's hollows, their objects and its wall lists, and leaves it
// empty (no hollow, no lists).
void free_tile(TILE *t);


// The bitmap to paint texture number i with: the land's texture, or its
// "missing" pattern when that slot failed to load or i is out of range.
BITMAP *land_texture(const LAND *l, int i);

// A clearly wrong 128 x 128 pattern for absent textures.
BITMAP *create_missing_texture();

// Checks every invariant of the land model; on a violation returns false and
// describes the first one found in why.
bool check_land(const LAND *l, char *why, size_t why_size);

// The largest land the reader accepts, beyond what the format itself
// bounds (255 x 255 tiles, 256 textures, levels 0 to 65535).  A land at
// these limits loads in under a second and about 300 MB; anything beyond is
// refused before memory is allocated for it.
enum {
    MAX_LAND_HOLLOWS = 1 << 20,        // 16 to every tile of the largest grid
    MAX_LAND_OBJECTS = 1 << 20,
    MAX_LAND_WALL_SQUARES = 1 << 24,   // exposed wall squares, all sides together
};

// What a land is read for.  For play, a land must declare at most 2 players
// and place every one it declares, and n_players is the count declared.
// For editing, a land that gets its count wrong still opens, so that it can
// be repaired, and n_players is the count placed.
enum land_use { LAND_FOR_PLAY, LAND_FOR_EDITING };

// Reads a land file; null when it cannot be opened or breaks the format.
// Only regular files are opened: a FIFO or a device would block the reader.
// Its players' placements come with it (LAND::n_players, LAND::player).
LAND *load_land(const char *filename, land_use use = LAND_FOR_PLAY);

// Where the loader opens a texture that a land names ("textures/NAME"): the
// name itself unless the program points this at its data folder.
extern std::string (*find_texture_file)(const char *name);

// Why the last load_land() gave null, in a few words.
const char *land_load_error();

// Writes l, with l->n_players as its player count; 0 on success, non-zero
// when the file could not be written whole.
int save_land(const LAND *l, const char *filename);

// The bytes save_land(l, ...) writes before they are packed, found without
// writing anything; -1 when memory runs out.
long land_file_size(const LAND *l);

// Texture loading: a 128 x 128 bitmap in the current depth, mapped to the
// game palette through rgb_map, or null.
BITMAP *load_texture(const char *filename);
bool ispowerof2(int n);

// Why load_texture(filename) gives null, naming the file ("textures/x.bmp:
// claims 65536 x 65536 pixels; textures are 128 x 128"), or null when it
// loads.  *absent, when given, is set when there is no such file at all,
// which a land may name.  The text lasts until the next call.
const char *texture_problem(const char *filename, bool *absent = nullptr);

// The texture types whose files are checked before they are decoded; any
// other extension is refused.
enum { TEXTURE_BMP, TEXTURE_PCX, TEXTURE_TGA, TEXTURE_PNG, NUM_TEXTURE_TYPES };

// A texture file read whole and found sound: these bytes, and only these,
// go to the decoder of its type.
struct TEXTURE_FILE {
    unsigned char *data;
    long size;
    int type;
};

// Reads a regular file whose header and pixel data promise a 128 x 128
// image of a known type into f; otherwise leaves f empty and returns why,
// as texture_problem() does.  Nothing is opened that could block.
const char *read_texture_file(const char *filename, TEXTURE_FILE *f, bool *absent);
void free_texture_file(TEXTURE_FILE *f);

// ---- slope shapes (slope.cpp) ----------------------------------------------

// Offsets inside a cell: dx, dy from the tile's corner, dz from the floor.
struct SLOPE_VERTEX {
    int dx, dy, dz;
};

struct SLOPE_POLY {
    int uv_start;  // texture corner of the first vertex; vertex i takes (uv_start + i) & 3
    int n;         // 3 or 4; 0 for no face
    SLOPE_VERTEX vertices[4];
};

struct SLOPE {
    int n_floors;
    SLOPE_POLY floors[2];
    const SLOPE_POLY *walls;  // four side faces by direction; null for the flat shape
    unsigned char high[4];    // 1 where the floor's edge on that side is raised
    int rise;
};

enum { N_SLOPES = 13 };
extern const SLOPE slope[N_SLOPES];

// Texture corner k of a polygon: 0 = (0, 0), 1 = (0, 128), 2 = (128, 128), 3 = (128, 0).
extern const float tex_corner_u[4];
extern const float tex_corner_v[4];

// The level at which an object rests on the floor of hollow h.
int floor_level(const HOLLOW *h);

// ---- reachability (reach.cpp) ----------------------------------------------

struct LAND_CELL {
    int x, y, z;
};

// The diamonds of l that no player can ever collect, found on a loosened
// copy of the rules that only adds ways to move (lands/README.md,
// "Reachability"): a diamond named here is out of reach for certain, one not
// named may still be.  Returns how many there are and stores the first max
// of them in cells, in row, column and level order.
int find_unreachable_diamonds(const LAND *l, LAND_CELL *cells, int max);
int count_unreachable_diamonds(const LAND *l);

#endif
