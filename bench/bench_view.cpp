// How fast one player's view is drawn: the bundled land from its start, a
// generated 255 x 255 land, 40 x 40 cuts of it around the same viewers, and
// a hall full of rocks, each with the walk's culling on and off.  The "pair"
// cases draw a big land and its cut by turns and report the ratio of their
// times: what the land's size costs.  The "fill" cases give the ceiling: the
// polygons of the bundled land's view filled by polygon3d_f alone, with the
// pixels they write and the time per pixel.  Before timing, every scene must
// look the same with culling on and off and with every sphere fill.
//
//   cmake --build build --target bench_view && build/bench/bench_view
//   (--benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
//   on a busy machine)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include "land/land.h"
#include "land_builder.h"
#include "objects/objects.h"
#include "render/render.h"
#include "shell/shell.h"

namespace {

const char *const texture_names[] = {"rock.pcx",   "granite.bmp", "lichen.pcx", "cobble.pcx",
                                     "grass.pcx",  "earth.bmp",   "brick.bmp",  "planks.bmp",
                                     "marble.pcx", "mossy.bmp",   "sand.bmp",   "tiles.pcx"};
const int N_TEXTURES = sizeof texture_names / sizeof texture_names[0];

// A hash of a place and a purpose: the generated land is a function of the
// global position, so any cut of it holds the same tiles.
unsigned mix(int x, int y, int k)
{
    unsigned h = (unsigned)x * 73856093u ^ (unsigned)y * 19349663u ^ (unsigned)k * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}

// Rolling ground, 1 to 11 levels up.
int ground(int x, int y)
{
    return 6 + (int)lround(3 * sin(x / 9.0) * cos(y / 7.0) + 2 * sin((x + y) / 15.0));
}

bool is_pillar(int x, int y)
{
    return mix(x, y, 1) % 19 == 0;
}

LAND *new_land(int w, int h)
{
    LAND *l = make_solid_land(w, h, N_TEXTURES);
    l->missing_texture = create_missing_texture();
    for (int i = 0; i < N_TEXTURES; i++)
        l->texture[i] = load_texture((std::string("textures/") + texture_names[i]).c_str());
    return l;
}

// Tile (x, y) of the land shows the terrain at (x + ox, y + oy): ground with
// ramps up to higher neighbours, rock pillars, cellars below and galleries
// above, rocks (some rolling into the next tile) and diamonds.
LAND *generate_terrain(int w, int h, int ox, int oy)
{
    LAND *l = new_land(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int gx = x + ox, gy = y + oy;
            if (is_pillar(gx, gy))
                continue;
            int g = ground(gx, gy);
            unsigned m = mix(gx, gy, 2);
            if (m % 7 == 0 && g >= 4) {
                HOLLOW *cellar = add_hollow(l, x, y, g - 4, g - 2);
                cellar->floor_tex = 5;
                cellar->roof_tex = 0;
            }
            int shape = 0;
            for (int d = 0; d < 4 && !shape; d++)
                if (ground(gx + dir_dx[d], gy + dir_dy[d]) == g + 1)
                    shape = 1 + d;
            int roof = g + 3 + (int)(m / 7 % 3);
            HOLLOW *main = add_hollow(l, x, y, g, roof, shape);
            main->floor_tex = 4 + (int)(m / 21 % 3);
            main->roof_tex = 1;
            for (int d = 0; d < 4; d++)
                main->slope_tex[d] = 5;
            if (m / 63 % 5 == 0) {
                HOLLOW *gallery = add_hollow(l, x, y, roof + 1, roof + 3);
                gallery->floor_tex = 7;
                gallery->roof_tex = 8;
            }
        }
    add_wall_lists(l, [&](int x, int y, int d, int z) {
        return (int)(mix(x + ox, y + oy, 100 + 4 * z + d) % N_TEXTURES);
    });
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            HOLLOW *main = l->tile[y][x].hollow;
            if (!main)
                continue;
            if (main->next && main->roof <= main->floor + 2)
                main = main->next;  // the cellar
            unsigned m = mix(x + ox, y + oy, 3);
            int z = main->floor + slope[main->slope].rise;
            if (m % 11 == 0) {
                OBJECT *rock = create_object(OBJ_ROCK, x, y, z);
                ((ROCK_DATA *)rock->data)->texture = (int)(m / 11 % 3);
                file_object(main, rock);
                int d = (int)(m / 33 % 4);
                TILE *n = neighbour_tile(l, x, y, d);
                HOLLOW *target = n ? hollow_at_level(n, z) : nullptr;
                if (m / 132 % 3 == 0 && target) {
                    rock->dir = d;
                    rock->move_step = 1 + (int)(m / 396 % 29);
                    add_placeholder(target, x + dir_dx[d], y + dir_dy[d], z, 0, rock);
                }
            } else if (m % 13 == 0) {
                OBJECT *diamond = create_object(OBJ_DIAMOND, x, y, z);
                ((DIAMOND_DATA *)diamond->data)->spin = (int)(m / 13 % 240);
                file_object(main, diamond);
            }
        }
    return l;
}

// A hall 48 x 48 and 6 levels high with a rock on every tile and a second
// one on every other.
LAND *generate_rock_hall()
{
    const int n = 48;
    LAND *l = new_land(n, n);
    for (int y = 1; y < n - 1; y++)
        for (int x = 1; x < n - 1; x++) {
            HOLLOW *h = add_hollow(l, x, y, 0, 6);
            h->floor_tex = 3;
            h->roof_tex = 8;
            for (int z = 0; z < 2 - (x + y) % 2; z++) {
                OBJECT *rock = create_object(OBJ_ROCK, x, y, z);
                ((ROCK_DATA *)rock->data)->texture = (int)(mix(x, y, z) % 3);
                file_object(h, rock);
            }
        }
    add_wall_lists(l, [](int, int, int, int) { return 6; });
    return l;
}

OBJECT *make_viewer(int x, int y, int z, int facing, int turn, int pitch)
{
    OBJECT *o = create_object(OBJ_PLAYER, x, y, z);
    PLAYER_DATA *p = (PLAYER_DATA *)o->data;
    p->facing = facing;
    p->turn = turn;
    p->pitch = pitch;
    return o;
}

// A viewer standing on the floor of the tile's ground-level hollow, looking
// along x+ a little to the right and down; null on a pillar.  (ox, oy) is
// where the land was cut from.
OBJECT *viewer_on_ground(const LAND *l, int x, int y, int ox = 0, int oy = 0)
{
    const HOLLOW *h = find_hollow(&l->tile[y][x], ground(x + ox, y + oy));
    if (!h)
        return nullptr;
    return make_viewer(x, y, h->floor + slope[h->slope].rise, 1, 7, 6);
}

struct scene {
    std::string name;
    LAND *land;
    OBJECT *viewer;
    bool owns_viewer;  // false when the viewer lives in the land
};

void draw_into(const scene &s, BITMAP *b)
{
    land = s.land;
    build_fog_map((RGB *)dat[DATA_PALETTE].dat, land->fog_colour);
    color_map = &the_fog_map;
    player_info[0].object = s.viewer;
    player_info[0].view = b;
    draw_player_view(player_info[0].view, player_info[0].object);
}

bool same_picture(const scene &a, bool culled_a, const scene &b, bool culled_b, int w, int h)
{
    BITMAP *pa = create_bitmap(w, h), *pb = create_bitmap(w, h);
    view_culling = culled_a;
    draw_into(a, pa);
    view_culling = culled_b;
    draw_into(b, pb);
    view_culling = true;
    bool same = true;
    for (int y = 0; y < h && same; y++)
        same = memcmp(pa->line[y], pb->line[y], w) == 0;
    destroy_bitmap(pa);
    destroy_bitmap(pb);
    return same;
}

// Whether the view of s looks the same with every sphere fill.
bool same_with_every_fill(const scene &s, int w, int h)
{
    BITMAP *ref = create_bitmap(w, h), *b = create_bitmap(w, h);
    sphere_fill = SPHERE_FILL_REFERENCE;
    draw_into(s, ref);
    bool same = true;
    for (sphere_fill_kind k : {SPHERE_FILL_PORTABLE, SPHERE_FILL_SSE2}) {
        sphere_fill = k;
        draw_into(s, b);
        for (int y = 0; y < h && same; y++)
            same = memcmp(ref->line[y], b->line[y], w) == 0;
    }
    sphere_fill = sphere_fill_best;
    destroy_bitmap(ref);
    destroy_bitmap(b);
    return same;
}

void bench_view(benchmark::State &state, const scene *s, int w, int h, bool culled)
{
    BITMAP *b = create_bitmap(w, h);
    view_culling = culled;
    draw_into(*s, b);
    for (auto _ : state) {
        draw_player_view(player_info[0].view, player_info[0].object);
        benchmark::ClobberMemory();
    }
    view_culling = true;
    player_info[0].view = nullptr;
    destroy_bitmap(b);
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}

// ---- the library's own fill rate --------------------------------------------
//
// The polygons that one view fills are recorded, by standing in for the
// bitmap's polygon3d_f for one drawing, and then filled again on their own:
// what polygon3d_f alone needs for that picture, the ceiling for the views.

struct recorded_polygon {
    int type;
    BITMAP *tex;
    std::vector<V3D_f> corners;
};

std::vector<recorded_polygon> *recording;
BITMAP *recorded_view;
void (*library_polygon3d_f)(BITMAP *, int, BITMAP *, int, V3D_f *[]);

void record_polygon(BITMAP *bmp, int type, BITMAP *tex, int n, V3D_f *v[])
{
    if (bmp == recorded_view) {
        recorded_polygon p = {type, tex, {}};
        for (int k = 0; k < n; k++)
            p.corners.push_back(*v[k]);
        recording->push_back(p);
    }
    library_polygon3d_f(bmp, type, tex, n, v);
}

// Pixels the polygons write, overdraw counted: each alone, through a colour
// map that turns every texel into colour 1.
long polygon_pixels(std::vector<recorded_polygon> &polys, int w, int h)
{
    static COLOR_MAP ones;
    memset(&ones, 1, sizeof ones);
    COLOR_MAP *saved = color_map;
    color_map = &ones;
    BITMAP *b = create_bitmap(w, h);
    clear_bitmap(b);
    long n = 0;
    for (recorded_polygon &p : polys) {
        V3D_f *v[10];
        float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
        for (size_t k = 0; k < p.corners.size(); k++) {
            v[k] = &p.corners[k];
            x0 = std::min(x0, v[k]->x), x1 = std::max(x1, v[k]->x);
            y0 = std::min(y0, v[k]->y), y1 = std::max(y1, v[k]->y);
        }
        polygon3d_f(b, p.type, p.tex, (int)p.corners.size(), v);
        for (int y = std::max(0, (int)y0 - 2); y < std::min(h, (int)y1 + 3); y++)
            for (int x = std::max(0, (int)x0 - 2); x < std::min(w, (int)x1 + 3); x++)
                if (b->line[y][x]) {
                    n++;
                    b->line[y][x] = 0;
                }
    }
    destroy_bitmap(b);
    color_map = saved;
    return n;
}

// polygon3d_f alone, for the polygons of s's view.
void bench_fill(benchmark::State &state, const scene *s, int w, int h)
{
    BITMAP *b = create_bitmap(w, h);
    std::vector<recorded_polygon> polys;
    recording = &polys;
    recorded_view = b;
    library_polygon3d_f = b->vtable->polygon3d_f;
    b->vtable->polygon3d_f = record_polygon;
    draw_into(*s, b);
    b->vtable->polygon3d_f = library_polygon3d_f;
    recording = nullptr;
    recorded_view = nullptr;
    player_info[0].view = nullptr;
    long pixels = polygon_pixels(polys, w, h);
    std::vector<std::vector<V3D_f *>> corners;
    for (recorded_polygon &p : polys) {
        corners.emplace_back();
        for (V3D_f &v : p.corners)
            corners.back().push_back(&v);
    }
    for (auto _ : state) {
        for (size_t i = 0; i < polys.size(); i++)
            polygon3d_f(b, polys[i].type, polys[i].tex, (int)corners[i].size(), corners[i].data());
        benchmark::ClobberMemory();
    }
    destroy_bitmap(b);
    double n = (double)state.iterations();
    state.counters["fps"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
    state.counters["polygons"] = (double)polys.size();
    state.counters["pixels"] = (double)pixels;
    state.counters["s_per_px"] = benchmark::Counter(n * (double)pixels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

double thread_seconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// The big land and its cut drawn by turns, frame by frame, so that a busy
// machine slows both alike; "ratio" is the big land's time over the cut's.
void bench_pair(benchmark::State &state, const scene *big, const scene *cut, int w, int h, bool culled)
{
    BITMAP *b = create_bitmap(w, h);
    view_culling = culled;
    draw_into(*big, b);  // both lands have the same fog
    double t_big = 0, t_cut = 0;
    for (auto _ : state) {
        for (const scene *s : {big, cut}) {
            land = s->land;
            player_info[0].object = s->viewer;
            double t0 = thread_seconds();
            draw_player_view(player_info[0].view, player_info[0].object);
            (s == big ? t_big : t_cut) += thread_seconds() - t0;
        }
        benchmark::ClobberMemory();
    }
    view_culling = true;
    player_info[0].view = nullptr;
    destroy_bitmap(b);
    double n = (double)state.iterations();
    state.counters["fps_255"] = n / t_big;
    state.counters["fps_40"] = n / t_cut;
    state.counters["ratio"] = t_big / t_cut;
}

} // namespace

int main(int argc, char **argv)
{
    if (chdir(TAVO_GAME_DIR) != 0) {
        fprintf(stderr, "bench_view: cannot enter %s\n", TAVO_GAME_DIR);
        return 1;
    }
    install_allegro(SYSTEM_NONE, &errno, atexit);
    set_color_depth(8);
    set_color_conversion(COLORCONV_NONE);
    dat = load_datafile("tavo.dat");
    if (!dat) {
        fprintf(stderr, "bench_view: tavo.dat is missing; build the game first\n");
        return 1;
    }
    RGB *pal = (RGB *)dat[DATA_PALETTE].dat;
    set_palette(pal);
    create_rgb_table(&the_rgb_map, pal, nullptr);
    rgb_map = &the_rgb_map;
    hand_out_game_data();

    std::vector<scene> scenes;
    LAND *bundled = load_land("land.lvl");
    if (!bundled || !player_info[0].object) {
        fprintf(stderr, "bench_view: land.lvl: %s\n", bundled ? "no player" : land_load_error());
        return 1;
    }
    scenes.push_back({"land.lvl", bundled, player_info[0].object, false});
    // On the ground in the middle of the big land, and in the middle of a
    // 40 x 40 cut of it around the same place.  Those two pictures differ in
    // a few hundred edge pixels: the rounding of the camera transform depends
    // on where the eye is.  So the big land is also seen from 20 tiles in
    // from its corner, the middle of the cut from there: the same coordinates,
    // the same picture to the pixel.
    LAND *big = generate_terrain(255, 255, 0, 0);
    LAND *middle_cut = generate_terrain(40, 40, 107, 107), *corner_cut = generate_terrain(40, 40, 0, 0);
    OBJECT *middle = viewer_on_ground(big, 127, 127), *in_middle_cut = viewer_on_ground(middle_cut, 20, 20, 107, 107);
    OBJECT *near_corner = viewer_on_ground(big, 20, 20), *in_corner_cut = viewer_on_ground(corner_cut, 20, 20);
    if (!middle || !in_middle_cut || !near_corner || !in_corner_cut) {
        fprintf(stderr, "bench_view: a viewer would stand in rock\n");
        return 1;
    }
    scenes.push_back({"255x255_middle", big, middle, true});
    scenes.push_back({"40x40_cut_of_middle", middle_cut, in_middle_cut, true});
    scenes.push_back({"255x255_at_20_20", big, near_corner, true});
    scenes.push_back({"40x40_cut_at_20_20", corner_cut, in_corner_cut, true});
    scenes.push_back({"rock_hall", generate_rock_hall(), make_viewer(24, 44, 2, 0, 0, 8), true});

    // The two cuts must show the same picture, and culling must change nothing.
    for (int size : {0, 1}) {
        int w = size ? 1600 : 640, h = size ? 1200 : 480;
        if (!same_picture(scenes[3], true, scenes[4], true, w, h)) {
            fprintf(stderr, "bench_view: the 255 x 255 land and its 40 x 40 cut look different at %dx%d\n", w, h);
            return 1;
        }
    }
    for (const scene &s : scenes)
        if (!same_picture(s, true, s, false, 640, 480)) {
            fprintf(stderr, "bench_view: %s looks different without culling\n", s.name.c_str());
            return 1;
        }
    for (const scene &s : scenes)
        for (int size : {0, 1})
            if (!same_with_every_fill(s, size ? 1600 : 640, size ? 1200 : 480)) {
                fprintf(stderr, "bench_view: %s looks different with the fast sphere fills\n", s.name.c_str());
                return 1;
            }

    for (const scene &s : scenes)
        for (int size : {0, 1})
            for (bool culled : {true, false}) {
                int w = size ? 1600 : 640, h = size ? 1200 : 480;
                std::string name = "view/" + s.name + "/" + std::to_string(w) + "x" + std::to_string(h) +
                                   (culled ? "/culled" : "/unculled");
                // On a busy machine the fastest repetition says most.
                benchmark::RegisterBenchmark(name.c_str(), bench_view, &s, w, h, culled)
                    ->Unit(benchmark::kMillisecond)
                    ->ComputeStatistics("min", [](const std::vector<double> &v) {
                        return *std::min_element(v.begin(), v.end());
                    });
            }
    for (int size : {0, 1}) {
        int w = size ? 1600 : 640, h = size ? 1200 : 480;
        std::string name = "fill/" + scenes[0].name + "/" + std::to_string(w) + "x" + std::to_string(h);
        benchmark::RegisterBenchmark(name.c_str(), bench_fill, &scenes[0], w, h)
            ->Unit(benchmark::kMillisecond)
            ->ComputeStatistics("min", [](const std::vector<double> &v) {
                return *std::min_element(v.begin(), v.end());
            });
    }
    for (int pair : {1, 3})
        for (int size : {0, 1})
            for (bool culled : {true, false}) {
                int w = size ? 1600 : 640, h = size ? 1200 : 480;
                std::string name = "pair/" + scenes[pair].name + "_vs_" + scenes[pair + 1].name + "/" +
                                   std::to_string(w) + "x" + std::to_string(h) + (culled ? "/culled" : "/unculled");
                benchmark::RegisterBenchmark(name.c_str(), bench_pair, &scenes[pair], &scenes[pair + 1], w, h, culled)
                    ->Unit(benchmark::kMillisecond);
            }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    player_info[0].object = nullptr;
    n_players = 0;
    for (const scene &s : scenes)
        if (s.owns_viewer)
            destroy_all_objects(s.viewer);
    for (LAND *l : {bundled, big, middle_cut, corner_cut, scenes[5].land})
        destroy_land(l);
    land = nullptr;
    return 0;
}
