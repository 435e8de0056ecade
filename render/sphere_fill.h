// sphere_fill.h -- the per-pixel work of draw_sphere, set up once per sphere
// and shared by its fills.
#ifndef TAVO_RENDER_SPHERE_FILL_H
#define TAVO_RENDER_SPHERE_FILL_H

#include <allegro.h>

// One sphere's rectangle of rays: columns i0..i1-1 of rows j0..j1-1, the
// ray of (i0, j0) and the steps between neighbouring rays, the centre q seen
// from the eye, and the column box relative to the centre.
struct SPHERE_RAYS {
    BITMAP *view, *tex;
    const COLOR_MAP *map;
    int i0, i1, j0, j1;
    float first[3];
    float step_i[3], step_j[3];
    float q[3], qq, r;
    float bx0, bx1, by0, by1;
    // With an owner buffer, pixels whose owner is later than order are left
    // alone, and those written take order as their owner.
    unsigned short **owner;
    unsigned order;
};

// Four rows at a time, each ray still stepped from its neighbour as the
// reference loop does it, so that every pixel gets the very same bytes.
void fill_sphere_portable(const SPHERE_RAYS &s);
void fill_sphere_sse2(const SPHERE_RAYS &s);

// Spheres drawn into a view wait until its walk is over and are then drawn
// last to first, each skipping what later spheres and polygons cover.  The
// view's walk starts the wait, lets every polygon note its pixels before it
// is filled, and draws the waiting spheres at its end.
void start_waiting_spheres(BITMAP *view);
void note_polygon(int n, V3D_f **v);
void draw_waiting_spheres();

// Order numbers, for the owner buffer of 16 bits a pixel, run from 1 to
// LAST_SPHERE_ORDER - 1; then the buffer is cleared and they start again.
const unsigned LAST_SPHERE_ORDER = 1u << 16;

// Clears the owner buffer and numbers on from first; returns the number that
// would have come next.  For tests, which make the numbers run out in the
// middle of a view.
unsigned restart_sphere_orders(unsigned first);

#endif
