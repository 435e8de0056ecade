// render.h -- the renderer's contract: player views, models, spheres and the
// slope shapes that the movement rules share with it.
#ifndef TAVO_RENDER_H
#define TAVO_RENDER_H

#include <allegro.h>

struct OBJECT;
struct PLAYER_DATA;
struct PLAYER_INFO;
struct HOLLOW;

// ---- player views -------------------------------------------------------------

// Draws the view of info->object into info->view: the whole land, far to
// near, with fog towards land->fog_colour.  color_map must hold the land's
// fog table.
void draw_player_view(PLAYER_INFO *info);

// For tests and benchmarks: false draws every tile as the unculled walk does.
// True (the default) passes over tiles and levels too far away to show.
extern bool view_culling;

// The view being drawn; valid only inside draw_player_view().  The object
// drawers read the tile cursor and the viewer.
extern BITMAP *dpv_view;
extern OBJECT *dpv_object;
extern PLAYER_DATA *dpv_player;
extern MATRIX_f dpv_m;
extern int dpv_x, dpv_y;
extern int dpv_zp;

// The fog light of a point d units from the eye: 255 - floor(25.5 d), at
// least 1.  *lit tells whether it was above 0 before that clamp, that is,
// whether the point is nearer than the fog's full reach.
int fog_light(double d, bool *lit);

// ---- models ----------------------------------------------------------------

struct MODEL_VERTEX {
    float x, y, z;
};

struct SURFACE_CORNER {
    int vertex;  // -1 in the fourth corner makes a triangle
    float u, v;
};

struct SURFACE {
    SURFACE_CORNER corner[4];
    int texture;  // datafile entry
};

struct MODEL {
    int n_vertices;
    MODEL_VERTEX *vertices;
    int n_surfaces;
    SURFACE *surfaces;
};

extern MODEL model_diamond;
extern MODEL model_player;

// Draws a model at world (x, y, z) turned by angle about the vertical.
void draw_model(MODEL *model, float x, float y, float z, float angle);

// ---- spheres -----------------------------------------------------------------

// A textured sphere cut to the column x0..x1, y0..y1, so that one straddling
// two tiles is drawn in two pieces, each with its own tile.
void draw_sphere(float x0, float x1, float y0, float y1, float cx, float cy, float cz, float r,
                 BITMAP *tex);

// How draw_sphere fills its pixels.  Every fill draws the same bytes: the
// reference goes one pixel after another and stays for tests to compare the
// others with; the portable fill works on any machine, the SSE2 one where the
// build has SSE2 (elsewhere it is the portable one).  Inside a view the fast
// fills wait for the end of the walk and skip what later things cover.  The
// default is the fastest of this build.
enum sphere_fill_kind { SPHERE_FILL_REFERENCE, SPHERE_FILL_PORTABLE, SPHERE_FILL_SSE2 };
extern sphere_fill_kind sphere_fill;
extern const sphere_fill_kind sphere_fill_best;

// ---- the object drawers (entries of draw_object) ------------------------------

void draw_placeholder(OBJECT *o);
void draw_player(OBJECT *o);
void draw_diamond(OBJECT *o);
void draw_rock(OBJECT *o);

// ---- slope shapes --------------------------------------------------------------

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

#endif
