// sphere.cpp -- textured spheres, one exact ray per pixel of the silhouette's
// bounding rectangle, cut to one tile's column.  The loop here is the
// reference, one pixel after another; sphere_fill.cpp draws the same bytes
// four rows at a time.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "objects/objects.h"
#include "render/pipeline.h"
#include "render/sphere_fill.h"

#if defined(__SSE2__)
const sphere_fill_kind sphere_fill_best = SPHERE_FILL_SSE2;
#else
const sphere_fill_kind sphere_fill_best = SPHERE_FILL_PORTABLE;
#endif
sphere_fill_kind sphere_fill = sphere_fill_best;

namespace {

struct vec3 {
    float x, y, z;
};

inline vec3 operator+(vec3 a, vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vec3 operator-(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vec3 operator*(float k, vec3 a) { return {k * a.x, k * a.y, k * a.z}; }
inline float dot(vec3 a, vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Column or row bound of a tangent ratio, with "unbounded" for rays that
// graze the sphere at infinity.
int screen_bound(float ratio, int half, int unbounded)
{
    if (!(ratio >= -1e37f && ratio <= 1e37f))
        return unbounded;
    return (int)ceilf((ratio + 1) * (float)half);
}

// Projection of the unit normal onto a cube face: top and bottom before the
// sides, y sides before x sides, x plus when n.x is 0.
const double K = 63.5 * 1.414213562;

inline int texel(BITMAP *tex, vec3 n)
{
    double col, row;
    float ax = fabsf(n.x), ay = fabsf(n.y);
    if (n.z >= ax && n.z >= ay) {
        col = 64 + K * n.x;
        row = 64 + K * n.y;
    } else if (-n.z >= ax && -n.z >= ay) {
        col = 64 + K * n.x;
        row = 64 - K * n.y;
    } else if (n.y >= ax) {
        col = 64 + K * n.x;
        row = 64 - K * n.z;
    } else if (-n.y >= ax) {
        col = 64 - K * n.x;
        row = 64 - K * n.z;
    } else if (n.x >= 0) {
        col = 64 - K * n.y;
        row = 64 - K * n.z;
    } else {
        col = 64 + K * n.y;
        row = 64 - K * n.z;
    }
    return tex->line[(int)row][(int)col];
}

void fill(const SPHERE_RAYS &rays)
{
    if (sphere_fill == SPHERE_FILL_SSE2)
        fill_sphere_sse2(rays);
    else
        fill_sphere_portable(rays);
}

// ---- waiting spheres ------------------------------------------------------------
//
// A pixel ends up with the colour of the last thing drawn over it, so a sphere
// drawn after everything that comes later in the walk may skip the pixels
// those cover, and spend nothing on them.  Every sphere and every polygon that
// matters gets an order number as the walk reaches it; the owner buffer holds
// for each pixel the latest number known to cover it.  Polygons are still
// filled in the walk, and one that may touch a waiting sphere's rectangle also
// stamps its number over its pixels with a flat fill, which covers exactly the
// pixels of the textured one.  The waiting spheres are drawn last to first,
// and a sphere writes only pixels whose owner is earlier than itself.  Numbers
// go on rising from view to view, so the buffer is cleared only when they run
// out.

// Rectangles of waiting spheres, marked on a grid of 8 x 8 pixel cells.
const int CELL_SHIFT = 3;

BITMAP *waiting_view;
BITMAP *owner;
unsigned next_sphere_order = 1;
std::vector<SPHERE_RAYS> waiting;
std::vector<unsigned char> cells;
int cells_w, cells_h;

void draw_waiting()
{
    for (size_t k = waiting.size(); k-- > 0;)
        fill(waiting[k]);
    waiting.clear();
    std::fill(cells.begin(), cells.end(), 0);
}

// A fresh number; when they run out, the waiting spheres are drawn and the
// numbering starts again over a clear buffer.
unsigned take_order()
{
    if (next_sphere_order >= LAST_SPHERE_ORDER) {
        draw_waiting();
        clear_bitmap(owner);
        next_sphere_order = 1;
    }
    return next_sphere_order++;
}

void wait(SPHERE_RAYS &rays)
{
    rays.order = take_order();
    rays.owner = (unsigned short **)owner->line;
    waiting.push_back(rays);
    for (int y = rays.j0 >> CELL_SHIFT; y <= (rays.j1 - 1) >> CELL_SHIFT; y++)
        memset(&cells[y * cells_w + (rays.i0 >> CELL_SHIFT)], 1,
               ((rays.i1 - 1) >> CELL_SHIFT) - (rays.i0 >> CELL_SHIFT) + 1);
}

// Whether any waiting sphere's rectangle reaches into columns x0..x1, rows
// y0..y1 (clamped to the view).
bool waiting_under(int x0, int x1, int y0, int y1)
{
    x0 = std::max(x0, 0) >> CELL_SHIFT;
    y0 = std::max(y0, 0) >> CELL_SHIFT;
    x1 = std::min(x1, waiting_view->w - 1) >> CELL_SHIFT;
    y1 = std::min(y1, waiting_view->h - 1) >> CELL_SHIFT;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            if (cells[y * cells_w + x])
                return true;
    return false;
}

} // namespace

void start_waiting_spheres(BITMAP *view)
{
    waiting_view = nullptr;
    if (sphere_fill == SPHERE_FILL_REFERENCE)
        return;
    // Room for seven more columns, read eight at a time.
    if (!owner || owner->w != view->w + 8 || owner->h != view->h) {
        if (owner)
            destroy_bitmap(owner);
        owner = create_bitmap_ex(16, view->w + 8, view->h);
        if (!owner)
            return;  // spheres are drawn at once
        clear_bitmap(owner);
        next_sphere_order = 1;
    }
    // The flat fills must keep to the pixels that the textured ones reach.
    set_clip_rect(owner, view->cl, view->ct, view->cr - 1, view->cb - 1);
    cells_w = ((view->w - 1) >> CELL_SHIFT) + 1;
    cells_h = ((view->h - 1) >> CELL_SHIFT) + 1;
    cells.assign((size_t)cells_w * cells_h, 0);
    waiting.clear();
    waiting_view = view;
}

void note_polygon(int n, V3D_f **v)
{
    if (dpv_view != waiting_view || waiting.empty())
        return;
    // A polygon's pixels lie within a pixel of its corners' box.
    float x0 = v[0]->x, x1 = x0, y0 = v[0]->y, y1 = y0;
    for (int k = 1; k < n; k++) {
        x0 = std::min(x0, v[k]->x);
        x1 = std::max(x1, v[k]->x);
        y0 = std::min(y0, v[k]->y);
        y1 = std::max(y1, v[k]->y);
    }
    const float FAR_OUT = 1e6f;
    if (x0 >= -FAR_OUT && x1 <= FAR_OUT && y0 >= -FAR_OUT && y1 <= FAR_OUT &&
        !waiting_under((int)floorf(x0) - 2, (int)ceilf(x1) + 2, (int)floorf(y0) - 2, (int)ceilf(y1) + 2))
        return;
    float c = v[0]->c;
    v[0]->c = (float)take_order();
    polygon3d_f(owner, POLYTYPE_FLAT, nullptr, n, v);
    v[0]->c = c;
}

unsigned restart_sphere_orders(unsigned first)
{
    unsigned next = next_sphere_order;
    if (owner)
        clear_bitmap(owner);
    next_sphere_order = first;
    return next;
}

void draw_waiting_spheres()
{
    if (waiting_view)
        draw_waiting();
    waiting_view = nullptr;
}

void draw_sphere(float x0, float x1, float y0, float y1, float cx, float cy, float cz, float r,
                 BITMAP *tex)
{
    view_camera cam = camera_of(dpv_object, dpv_player);
    float sa = sinf(cam.yaw), ca = cosf(cam.yaw);
    float sp = sinf(cam.pitch), cp = cosf(cam.pitch);
    vec3 f = {sa * cp, -ca * cp, -sp};
    vec3 s = {ca, sa, 0};
    vec3 w = {-sa * sp, ca * sp, -cp};
    vec3 q = vec3{cx, cy, cz} - vec3{cam.ex, cam.ey, cam.ez};

    float dc = dot(q, f);
    if (dc < r + 0.1f)
        return;  // reaches the near plane, or behind the eye
    float bx0 = x0 - cx, bx1 = x1 - cx, by0 = y0 - cy, by1 = y1 - cy;

    int W = dpv_view->w, H = dpv_view->h;
    int W2 = W >> 1, H2 = H >> 1;
    float sx = dot(q, s), sy = dot(q, w);
    float qx = sqrtf(sx * sx + dc * dc - r * r);
    float left = (sx * qx - dc * r) / (dc * qx + r * sx);
    float right = (dc * r + sx * qx) / (dc * qx - r * sx);
    float qy = sqrtf(dc * dc + sy * sy - r * r);
    float top = (sy * qy - dc * r) / (r * sy + dc * qy);
    float bottom = (dc * r + sy * qy) / (dc * qy - r * sy);

    int i0 = screen_bound(left, W2, 0), i1 = screen_bound(right, W2, W);
    int j0 = screen_bound(top, H2, 0), j1 = screen_bound(bottom, H2, H);
    if (i0 < 0) i0 = 0;
    if (i1 > W) i1 = W;
    if (j0 < 0) j0 = 0;
    if (j1 > H) j1 = H;
    if (i0 >= i1 || j0 >= j1)
        return;

    float qq = dot(q, q) - r * r;
    vec3 step_i = (2.0f / (float)W) * s;
    vec3 step_j = (2.0f / (float)H) * w;
    vec3 row_d = f + ((float)i0 / (float)W2 - 1) * s + ((float)j0 / (float)H2 - 1) * w;
    if (sphere_fill != SPHERE_FILL_REFERENCE) {
        SPHERE_RAYS rays = {dpv_view, tex, color_map, i0, i1, j0, j1,
                            {row_d.x, row_d.y, row_d.z}, {step_i.x, step_i.y, step_i.z},
                            {step_j.x, step_j.y, step_j.z}, {q.x, q.y, q.z}, qq, r, bx0, bx1, by0, by1,
                            nullptr, 0};
        if (dpv_view == waiting_view)
            wait(rays);
        else
            fill(rays);
        return;
    }
    for (int j = j0; j < j1; j++, row_d = row_d + step_j) {
        unsigned char *line = dpv_view->line[j];
        vec3 d = row_d;
        for (int i = i0; i < i1; i++, d = d + step_i) {
            float a = dot(d, d);
            float b = dot(d, q);
            float disc = b * b - a * qq;
            if (disc < 0)
                continue;
            float t = (b - sqrtf(disc)) / a;
            if (t < 0.1f || t > 10)
                continue;
            vec3 hit = t * d - q;
            if (hit.x < bx0 || hit.x > bx1 || hit.y < by0 || hit.y > by1)
                continue;
            int light = 255 - (int)floor(25.5 * (double)t * sqrt((double)a));
            if (light <= 0)
                light = 1;
            line[i] = color_map->data[light][texel(tex, vec3{hit.x / r, hit.y / r, hit.z / r})];
        }
    }
}
