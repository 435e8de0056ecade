// render.h -- the renderer's contract: player views, models and spheres.
//
// The renderer reads the land and what it is handed here, draws into the
// bitmap it is given, and changes nothing else: it knows neither the shell
// nor the editor nor the music.
#ifndef TAVO_RENDER_H
#define TAVO_RENDER_H

#include <allegro.h>

#include "land/land.h"

// ---- player views -------------------------------------------------------------

// Draws what viewer (a player, or the editor's camera) sees into view: the
// whole land, far to near, with fog towards land->fog_colour.  color_map must
// hold the land's fog table, and the models' textures must have been given
// (set_model_textures).  poll, when given, is called between the steps of the
// walk, so that a long drawing does not starve whoever waits on it (the music).
void draw_player_view(BITMAP *view, OBJECT *viewer, void (*poll)() = nullptr);

// A filled white circle at world point (x, y, z) in the view drawn last, its
// radius size over the depth; nothing when the point is behind the eye.  For
// marks drawn over a view (the editor's cursor).
void mark_view_point(float x, float y, float z, float size);

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
    int texture;  // MODEL_TEX_DIAMOND or MODEL_TEX_PLAYER
};

struct MODEL {
    int n_vertices;
    MODEL_VERTEX *vertices;
    int n_surfaces;
    SURFACE *surfaces;
};

extern MODEL model_diamond;
extern MODEL model_player;

// The textures the models' surfaces are painted with; the game gives its
// datafile's before any view is drawn.
enum { MODEL_TEX_DIAMOND, MODEL_TEX_PLAYER, N_MODEL_TEXTURES };
void set_model_textures(BITMAP *diamond, BITMAP *player);

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

// ---- the object drawers ----------------------------------------------------

// Draws an object in the view being drawn, by type; a null entry draws nothing.
typedef void (*draw_fn)(OBJECT *o);
extern draw_fn draw_object[N_OBJECT_TYPES];
// 1 while a placeholder draws its owner.
extern int drawing_placeholder;

void draw_placeholder(OBJECT *o);
void draw_player(OBJECT *o);
void draw_diamond(OBJECT *o);
void draw_rock(OBJECT *o);

#endif
