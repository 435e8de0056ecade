// sphere.cpp -- textured spheres, one exact ray per pixel of the silhouette's
// bounding rectangle, cut to one tile's column.
#include <cmath>

#include "objects/objects.h"
#include "render/pipeline.h"

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

} // namespace

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
