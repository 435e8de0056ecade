// render_fixture.h -- shared by the renderer tests: the game palette and fog
// table, solid-colour textures, lands written as text, a camera worked out
// independently of the renderer, stand-ins for the object drawers, and a
// reference ray caster that says which land face each pixel must show.
#ifndef TAVO_TESTS_RENDER_FIXTURE_H
#define TAVO_TESTS_RENDER_FIXTURE_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "headless.h"
#include "land/land.h"
#include "objects/objects.h"
#include "render/render.h"
#include "shell/shell.h"
#include "tools/land_source.h"

namespace render_test {

inline const RGB *game_palette()
{
    return (const RGB *)dat[DATA_PALETTE].dat;
}

// Loads tavo.dat once (the models read their textures from it).
inline void start_renderer()
{
    start_headless_allegro();
    if (!dat) {
        dat = load_datafile("tavo.dat");
        ASSERT_NE(dat, nullptr) << "tavo.dat must be in the working directory";
        // As the game does: fog tables are built through the RGB map.
        create_rgb_table(&the_rgb_map, (RGB *)dat[DATA_PALETTE].dat, nullptr);
        rgb_map = &the_rgb_map;
        hand_out_game_data();
    }
}

inline void use_fog(int colour)
{
    build_fog_map(game_palette(), colour);
    color_map = &the_fog_map;
    if (land)
        land->fog_colour = colour;
}

// A colour map whose every entry is its light, so that a drawn pixel tells
// the light it was drawn at, whatever the texel.
inline COLOR_MAP *light_probe()
{
    static COLOR_MAP probe;
    for (int l = 0; l < PAL_SIZE; l++)
        memset(probe.data[l], l, PAL_SIZE);
    return &probe;
}

inline int fog_shade(int light, int colour)
{
    return the_fog_map.data[light][colour];
}

inline BITMAP *solid_texture(int colour)
{
    BITMAP *b = create_bitmap_ex(8, 128, 128);
    clear_to_color(b, colour);
    return b;
}

// Quarters: top-left, top-right, bottom-left, bottom-right.
inline BITMAP *quarter_texture(int tl, int tr, int bl, int br)
{
    BITMAP *b = create_bitmap_ex(8, 128, 128);
    rectfill(b, 0, 0, 63, 63, tl);
    rectfill(b, 64, 0, 127, 63, tr);
    rectfill(b, 0, 64, 63, 127, bl);
    rectfill(b, 64, 64, 127, 127, br);
    return b;
}

// Palette colours whose fog shades from light lmin up are all different from
// each other's and from the fog colour, so a pixel tells which one it shows.
inline std::vector<int> distinct_colours(int fog, int lmin)
{
    std::vector<std::set<int>> taken;
    std::vector<int> chosen;
    for (int c = 255; c >= 2; c--) {
        std::set<int> shades;
        for (int l = lmin; l < 256; l++)
            shades.insert(fog_shade(l, c));
        bool clash = shades.count(fog) > 0;
        for (const auto &t : taken)
            for (int s : shades)
                clash = clash || t.count(s);
        if (clash)
            continue;
        taken.push_back(shades);
        chosen.push_back(c);
    }
    return chosen;
}

// Whether pixel p is colour c at some light from lo to hi.
inline bool shade_of(int p, int c, int lo, int hi)
{
    for (int l = lo < 1 ? 1 : lo; l <= hi && l <= 255; l++)
        if (fog_shade(l, c) == p)
            return true;
    return false;
}

inline int reference_light(double d)
{
    double c = 255 - std::floor(25.5 * d);
    return c <= 0 ? 1 : (int)c;
}

// A land from text with n_textures solid textures of the given colours.
inline LAND *land_from_text(const std::string &text, const std::vector<int> &colours)
{
    std::string names = "textures";
    for (size_t i = 0; i < colours.size(); i++)
        names += " t" + std::to_string(i) + ".pcx";
    land_source_result r = parse_land_source(names + "\n" + text);
    EXPECT_NE(r.land, nullptr) << r.error;
    if (!r.land)
        return nullptr;
    for (size_t i = 0; i < colours.size(); i++)
        r.land->texture[i] = solid_texture(colours[i]);
    r.land->missing_texture = create_missing_texture();
    return r.land;
}

// A camera that is not the renderer's: one unit along right, down or
// forward moves one unit across the projection window.
struct viewer {
    OBJECT object{};
    PLAYER_DATA player{};
    PLAYER_INFO info{};

    viewer(int x, int y, int z, int facing, int w = 160, int h = 120)
    {
        object.type = OBJ_PLAYER;
        object.x = x;
        object.y = y;
        object.z = z;
        object.data = &player;
        player.facing = facing;
        info.object = &object;
        info.view = create_bitmap_ex(8, w, h);
    }
    ~viewer() { destroy_bitmap(info.view); }
    viewer(const viewer &) = delete;
    viewer &operator=(const viewer &) = delete;

    BITMAP *view() const { return info.view; }
    int px(int i, int j) const { return info.view->line[j][i]; }
    void draw() { draw_player_view(info.view, info.object); }
};

struct vec3d {
    double x, y, z;
};
inline vec3d operator+(vec3d a, vec3d b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vec3d operator-(vec3d a, vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vec3d operator*(double k, vec3d a) { return {k * a.x, k * a.y, k * a.z}; }
inline double dot(vec3d a, vec3d b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline vec3d cross(vec3d a, vec3d b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(vec3d a) { return std::sqrt(dot(a, a)); }

struct camera {
    vec3d eye, right, down, forward;
    int w2, h2;

    explicit camera(const viewer &v)
    {
        const OBJECT &o = v.object;
        const PLAYER_DATA &p = v.player;
        double yaw = (float)((30 * p.facing + p.turn) * M_PI / 60);
        double pitch = (float)(p.pitch * M_PI / 120);
        eye = {o.x + 0.5, o.y + 0.5, o.z + 0.8 - o.z_offset / 420.0};
        double d = o.move_step / 30.0;
        if (o.move_step) {
            switch (o.dir) {
            case 0: eye.y -= d; break;
            case 1: eye.x += d; break;
            case 2: eye.y += d; break;
            default: eye.x -= d; break;
            }
        }
        right = {std::cos(yaw), std::sin(yaw), 0};
        down = {-std::sin(yaw) * std::sin(pitch), std::cos(yaw) * std::sin(pitch), -std::cos(pitch)};
        forward = {std::sin(yaw) * std::cos(pitch), -std::cos(yaw) * std::cos(pitch), -std::sin(pitch)};
        w2 = v.view()->w / 2;
        h2 = v.view()->h / 2;
    }

    // The ray through screen point (sx, sy); its parameter is the depth.
    vec3d ray(double sx, double sy) const
    {
        return forward + ((sx - w2) / w2) * right + ((sy - h2) / h2) * down;
    }

    // Screen position of a world point (depth in *depth).
    void project(vec3d p, double *sx, double *sy, double *depth = nullptr) const
    {
        vec3d q = p - eye;
        double z = dot(q, forward);
        *sx = dot(q, right) / z * w2 + w2;
        *sy = dot(q, down) / z * h2 + h2;
        if (depth)
            *depth = z;
    }
};

// ---- stand-ins for the object drawers -----------------------------------------

struct draw_call {
    OBJECT *object;
    int tile_x, tile_y;
    int zp;
    int placeholder;
};

inline std::vector<draw_call> &draw_calls()
{
    static std::vector<draw_call> calls;
    return calls;
}

inline void record_draw(OBJECT *o)
{
    draw_calls().push_back({o, dpv_x, dpv_y, dpv_zp, drawing_placeholder});
}

// Keeps the real draw table and puts it back afterwards.
struct swapped_draw_table {
    draw_fn saved[N_OBJECT_TYPES];
    swapped_draw_table()
    {
        memcpy(saved, draw_object, sizeof saved);
        draw_calls().clear();
    }
    ~swapped_draw_table() { memcpy(draw_object, saved, sizeof saved); }
};

// What one drawing call puts into the view, found by drawing it alone into
// two scratch views cleared to different colours.  Must run inside
// draw_player_view.
struct drawn_pixels {
    std::vector<int> colour;  // -1 where nothing was written
    int w = 0, h = 0;
    int count() const
    {
        int n = 0;
        for (int c : colour)
            n += c >= 0;
        return n;
    }
    bool at(int i, int j) const { return colour[j * w + i] >= 0; }
};

inline drawn_pixels draw_alone(const std::function<void()> &draw)
{
    BITMAP *real = dpv_view;
    BITMAP *scratch[2] = {create_bitmap_ex(8, real->w, real->h), create_bitmap_ex(8, real->w, real->h)};
    const int blank[2] = {0, 255};
    for (int k = 0; k < 2; k++) {
        clear_to_color(scratch[k], blank[k]);
        dpv_view = scratch[k];
        draw();
    }
    dpv_view = real;
    drawn_pixels d;
    d.w = real->w;
    d.h = real->h;
    d.colour.assign(d.w * d.h, -1);
    for (int j = 0; j < d.h; j++)
        for (int i = 0; i < d.w; i++) {
            int a = scratch[0]->line[j][i], b = scratch[1]->line[j][i];
            if (a != blank[0])
                d.colour[j * d.w + i] = a;
            else if (b != blank[1])
                d.colour[j * d.w + i] = b;
        }
    destroy_bitmap(scratch[0]);
    destroy_bitmap(scratch[1]);
    return d;
}

// ---- the reference: which face of the land each pixel shows ------------------

enum face_kind { FACE_WALL, FACE_FLOOR, FACE_ROOF, FACE_SLOPE };

struct face {
    face_kind kind;
    int x, y, z, side;
    int texture;
    int n;
    vec3d v[4];
    vec3d normal;  // (v1 - v0) x (v2 - v0): the side it is NOT seen from
};

inline bool open_at(const TILE *t, int z)
{
    for (const HOLLOW *h = t ? t->hollow : nullptr; h; h = h->next)
        if (h->floor <= z && z < h->roof)
            return true;
    return false;
}

inline face make_face(face_kind k, int x, int y, int z, int side, int texture, int n, const vec3d *v)
{
    face f{k, x, y, z, side, texture, n, {}, {}};
    for (int i = 0; i < n; i++)
        f.v[i] = v[i];
    f.normal = cross(v[1] - v[0], v[2] - v[0]);
    return f;
}

// Every surface of the land, from the rules of the land model: a wall on
// each open level whose neighbour is closed there, floors and slope faces
// from the slope shapes, a roof on each hollow.  Textures are given by
// texture_of and written into the land, wall lists included.
inline std::vector<face> list_faces(LAND *l, const std::function<int(face_kind, int, int, int, int)> &texture_of)
{
    static const int wall_corner[4][4][3] = {
        {{0, 0, 1}, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}},
        {{1, 0, 1}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}},
        {{1, 1, 1}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}},
        {{0, 1, 1}, {0, 1, 0}, {0, 0, 0}, {0, 0, 1}},
    };
    std::vector<face> faces;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            TILE *t = &l->tile[y][x];
            for (int d = 0; d < 4; d++) {
                std::vector<int> list;
                for (HOLLOW *h = t->hollow; h; h = h->next)
                    for (int z = h->floor; z < h->roof; z++) {
                        if (open_at(neighbour_tile(l, x, y, d), z))
                            continue;
                        vec3d v[4];
                        for (int i = 0; i < 4; i++)
                            v[i] = {double(x + wall_corner[d][i][0]), double(y + wall_corner[d][i][1]),
                                    double(z + wall_corner[d][i][2])};
                        int tex = texture_of(FACE_WALL, x, y, z, d);
                        list.push_back(tex);
                        faces.push_back(make_face(FACE_WALL, x, y, z, d, tex, 4, v));
                    }
                EXPECT_EQ((int)list.size(), wall_length(l, x, y, d));
                free(t->wall[d]);
                t->wall[d] = nullptr;
                if (!list.empty()) {
                    t->wall[d] = (int *)malloc(list.size() * sizeof(int));
                    memcpy(t->wall[d], list.data(), list.size() * sizeof(int));
                }
            }
            for (HOLLOW *h = t->hollow; h; h = h->next) {
                const SLOPE &s = slope[h->slope];
                h->floor_tex = texture_of(FACE_FLOOR, x, y, h->floor, 0);
                for (int i = 0; i < s.n_floors; i++) {
                    vec3d v[4];
                    for (int k = 0; k < s.floors[i].n; k++) {
                        const SLOPE_VERTEX &sv = s.floors[i].vertices[k];
                        v[k] = {double(x + sv.dx), double(y + sv.dy), double(h->floor + sv.dz)};
                    }
                    faces.push_back(make_face(FACE_FLOOR, x, y, h->floor, 0, h->floor_tex, s.floors[i].n, v));
                }
                for (int d = 0; d < 4 && s.walls; d++) {
                    h->slope_tex[d] = texture_of(FACE_SLOPE, x, y, h->floor, d);
                    const SLOPE_POLY &p = s.walls[d];
                    if (!p.n)
                        continue;
                    vec3d v[4];
                    for (int k = 0; k < p.n; k++)
                        v[k] = {double(x + p.vertices[k].dx), double(y + p.vertices[k].dy),
                                double(h->floor + p.vertices[k].dz)};
                    faces.push_back(make_face(FACE_SLOPE, x, y, h->floor, d, h->slope_tex[d], p.n, v));
                }
                h->roof_tex = texture_of(FACE_ROOF, x, y, h->roof, 0);
                double r = h->roof;
                vec3d v[4] = {{double(x), y + 1.0, r}, {double(x), double(y), r},
                              {x + 1.0, double(y), r}, {x + 1.0, y + 1.0, r}};
                faces.push_back(make_face(FACE_ROOF, x, y, h->roof, 0, h->roof_tex, 4, v));
            }
        }
    return faces;
}

// The nearest of the listed faces along a ray, or -1; only faces seen from
// their front side may be listed.
inline int trace(const std::vector<face> &faces, const std::vector<int> &front, vec3d eye, vec3d dir,
                 double *depth)
{
    int best = -1;
    double best_t = 1e30;
    for (int k : front) {
        const face &f = faces[k];
        double den = dot(dir, f.normal);
        if (den == 0)
            continue;
        double t = dot(f.v[0] - eye, f.normal) / den;
        if (t <= 0 || t >= best_t)
            continue;
        vec3d p = eye + t * dir;
        bool inside = true;
        for (int i = 0; i < f.n && inside; i++)
            inside = dot(cross(f.v[(i + 1) % f.n] - f.v[i], p - f.v[i]), f.normal) >= 0;
        if (inside) {
            best = k;
            best_t = t;
        }
    }
    *depth = best_t;
    return best;
}

inline double distance_to_segment(vec3d p, vec3d a, vec3d b)
{
    vec3d ab = b - a;
    double t = dot(p - a, ab) / dot(ab, ab);
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return length(p - (a + t * ab));
}

// The lights a face can take anywhere on it: from the distances of its
// nearest and farthest points.
inline void light_range(const face &f, vec3d eye, int *lo, int *hi)
{
    double far = 0, near = 1e30;
    for (int i = 0; i < f.n; i++) {
        far = std::max(far, length(f.v[i] - eye));
        near = std::min(near, distance_to_segment(eye, f.v[i], f.v[(i + 1) % f.n]));
    }
    vec3d n = (1 / length(f.normal)) * f.normal;
    double h = dot(eye - f.v[0], n);
    vec3d foot = eye - h * n;
    bool inside = true;
    for (int i = 0; i < f.n && inside; i++)
        inside = dot(cross(f.v[(i + 1) % f.n] - f.v[i], foot - f.v[i]), f.normal) >= 0;
    if (inside)
        near = std::fabs(h);
    *lo = reference_light(far);
    *hi = reference_light(near);
}

// The face each pixel must show, where that is clear: the same face is the
// nearest one all over the pixel and a little around it, and lies well inside
// the clipping depths.  -1 elsewhere.
struct face_map {
    int w, h;
    std::vector<int> id;
    int at(int i, int j) const { return id[j * w + i]; }
};

inline face_map map_faces(const std::vector<face> &faces, const camera &cam, int w, int h)
{
    std::vector<int> front;
    for (size_t k = 0; k < faces.size(); k++)
        if (dot(cam.eye - faces[k].v[0], faces[k].normal) < 0)
            front.push_back((int)k);  // the others are culled, or edge on
    // Samples every half pixel from -1 to w + 1.
    int gw = 2 * w + 5, gh = 2 * h + 5;
    std::vector<int> grid(gw * gh);
    for (int gj = 0; gj < gh; gj++)
        for (int gi = 0; gi < gw; gi++) {
            double depth;
            int k = trace(faces, front, cam.eye, cam.ray((gi - 2) / 2.0, (gj - 2) / 2.0), &depth);
            grid[gj * gw + gi] = (depth < 0.15 || depth > 9.9) ? -2 : k;
        }
    // The edges of the view are the clipping planes' edges: left out too.
    face_map m{w, h, std::vector<int>(w * h, -1)};
    for (int j = 1; j < h - 1; j++)
        for (int i = 1; i < w - 1; i++) {
            int k = grid[(2 * j + 2) * gw + 2 * i + 2];
            for (int b = -2; b <= 4 && k >= 0; b++)
                for (int a = -2; a <= 4 && k >= 0; a++)
                    if (grid[(2 * j + 2 + b) * gw + 2 * i + 2 + a] != k)
                        k = -1;
            m.id[j * w + i] = k;
        }
    return m;
}

// Whether pixel (i, j) shows face k in its texture colour at a light the
// face can have (one step of rounding either way).
inline bool shows_face(const viewer &v, const LAND *l, const std::vector<face> &faces, const camera &cam,
                       int k, int i, int j)
{
    int lo, hi;
    light_range(faces[k], cam.eye, &lo, &hi);
    int colour = l->texture[faces[k].texture]->line[0][0];
    return shade_of(v.px(i, j), colour, lo - 1, hi + 1);
}

} // namespace render_test

#endif
