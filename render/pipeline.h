// pipeline.h -- the lit polygon pipeline and its scratch buffers, shared by
// the files of the renderer and by no one else.
#ifndef TAVO_RENDER_PIPELINE_H
#define TAVO_RENDER_PIPELINE_H

#include <allegro.h>
#include <cmath>

#include "render/render.h"

struct HOLLOW;

// Land polygons: vtx[i] carries texture corner i for good; vtxp[k..k+n-1]
// gives a polygon starting at texture corner k.
extern V3D_f vtx[4];
extern V3D_f *vtxp[8];

// Clips, lights, projects and fills a camera-space polygon of n vertices.
void fill_lit_polygon(int n, V3D_f **in, BITMAP *tex);

// True when the camera-space triangle a, b, c faces away from the eye.
bool faces_away(const V3D_f *a, const V3D_f *b, const V3D_f *c);

// A land polygon: n world points (3 or 4) with texture corners from k on.
// The fourth point is transformed only when the first three face the eye.
void draw_land_polygon(const float (*world)[3], int n, int k, BITMAP *tex);

// The levels of side walls that the walk lets through for the tile being
// drawn; outside draw_player_view every level.
extern int dpv_wall_lo, dpv_wall_hi;

// The surfaces of the tile at dpv_x, dpv_y.
void dpv_draw_twall();
void dpv_draw_rwall();
void dpv_draw_bwall();
void dpv_draw_lwall();
void dpv_draw_floor(HOLLOW *h);
void dpv_draw_slope_walls(HOLLOW *h);
void dpv_draw_roof(HOLLOW *h);

// The angle a player faces, turn included: a quarter turn takes a move's
// steps, FRAMES_PER_TILE units of turn.
inline float facing_angle(const PLAYER_DATA *p)
{
    return (float)((FRAMES_PER_TILE * p->facing + p->turn) * M_PI / (2 * FRAMES_PER_TILE));
}

// The viewer's camera: yaw and pitch rounded to single precision, and the
// eye point sliding along a move.
struct view_camera {
    float yaw, pitch;
    float ex, ey, ez;
};
view_camera camera_of(const OBJECT *o, const PLAYER_DATA *p);

#endif
