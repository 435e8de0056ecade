// surfaces.cpp -- the land as polygons: side walls from the wall lists,
// floors and slope faces from the slope table, and roofs.
#include "land/land.h"
#include "render/pipeline.h"

namespace {

// Corner offsets of the wall quad on each side, texture corners 0..3:
// (dx, dy, dz) from (x, y, z).
const float wall_corner[4][4][3] = {
    {{0, 0, 1}, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}},  // y-1
    {{1, 0, 1}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}},  // x+1
    {{1, 1, 1}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}},  // y+1
    {{0, 1, 1}, {0, 1, 0}, {0, 0, 0}, {0, 0, 1}},  // x-1
};

void draw_side_wall(int d)
{
    int x = dpv_x, y = dpv_y;
    const TILE *t = &land->tile[y][x];
    if (!t->hollow)
        return;
    const int *list = t->wall[d];
    int entry = 0;
    // Every exposed level uses up its entry, drawn or not, so the squares
    // above keep their own textures.
    walk_wall(t, neighbour_tile(land, x, y, d), [&](int z) {
        int e = list[entry++];
        if (z < dpv_wall_lo || z > dpv_wall_hi)
            return;  // too far above or below the eye to show
        float quad[4][3];
        for (int i = 0; i < 4; i++) {
            quad[i][0] = (float)x + wall_corner[d][i][0];
            quad[i][1] = (float)y + wall_corner[d][i][1];
            quad[i][2] = (float)z + wall_corner[d][i][2];
        }
        draw_land_polygon(quad, 4, 0, land_texture(land, e));
    });
}

void draw_slope_poly(const SLOPE_POLY &p, const HOLLOW *h, BITMAP *tex)
{
    float pts[4][3];
    for (int i = 0; i < p.n; i++) {
        pts[i][0] = (float)(dpv_x + p.vertices[i].dx);
        pts[i][1] = (float)(dpv_y + p.vertices[i].dy);
        pts[i][2] = (float)(h->floor + p.vertices[i].dz);
    }
    draw_land_polygon(pts, p.n, p.uv_start, tex);
}

} // namespace

void dpv_draw_twall() { draw_side_wall(0); }
void dpv_draw_rwall() { draw_side_wall(1); }
void dpv_draw_bwall() { draw_side_wall(2); }
void dpv_draw_lwall() { draw_side_wall(3); }

void dpv_draw_floor(HOLLOW *h)
{
    const SLOPE &s = slope[h->slope];
    BITMAP *tex = land_texture(land, h->floor_tex);
    for (int i = 0; i < s.n_floors; i++)
        draw_slope_poly(s.floors[i], h, tex);
}

void dpv_draw_slope_walls(HOLLOW *h)
{
    const SLOPE &s = slope[h->slope];
    if (!s.walls)
        return;
    for (int d = 0; d < 4; d++)
        if (s.walls[d].n)
            draw_slope_poly(s.walls[d], h, land_texture(land, h->slope_tex[d]));
}

void dpv_draw_roof(HOLLOW *h)
{
    float x = (float)dpv_x, y = (float)dpv_y, r = (float)h->roof;
    const float quad[4][3] = {{x, y + 1, r}, {x, y, r}, {x + 1, y, r}, {x + 1, y + 1, r}};
    draw_land_polygon(quad, 4, 0, land_texture(land, h->roof_tex));
}
