// render.h -- the renderer's contract: player views, models, spheres and the
// slope shapes that the movement rules share with it.
#ifndef TAVO_RENDER_H
#define TAVO_RENDER_H

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
