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

struct OBJECT;
struct DIAMOND_DATA;

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
extern int n_players;
extern int editor_player_exists[2];  // editor only
extern int editor_running;

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

// Frees a land with everything it owns and resets the globals that describe
// the current land (n_players; in the editor the player flags;
// outside it the player table's objects).
void destroy_land(LAND *l);

// A land of w x h solid tiles with a slot and a copy of the name for each of
// the n texture names, no texture loaded yet; null when memory runs out.
LAND *create_land(int w, int h, const char *const *names, int n);

// Gives l its rows of w x h solid tiles; false when memory runs out, with
// what was made left for free_land().
bool allocate_tiles(LAND *l, int w, int h);

// Frees a tile's hollows, their objects and its wall lists, and leaves it
// empty (no hollow, no lists).
void free_tile(TILE *t);

// Frees what a land owns and nothing else: for loaders giving up half-way,
// which must leave the current land's globals alone.
void free_land(LAND *l);

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

// Reads a land file; null when it cannot be opened or breaks the format.
// Only regular files are opened: a FIFO or a device would block the reader.
LAND *load_land(const char *filename);

// Why the last load_land() gave null, in a few words.
const char *land_load_error();

// Writes l; 0 on success, non-zero when the file could not be written whole.
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
