// land_map.cpp -- a land drawn from above, one panel per level.
//
// Each level is a panel of cells: solid rock, floor (where things rest),
// air (open above a floor, so things fall through it) and slopes shaded
// from dark at their low edge to light at their high edge.  Objects are
// markers in the cell of the level they stand at.  The colours are picked
// with makecol(), so the map suits whatever palette is set.
#include "tools/land_map.h"

#include <loadpng.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "land/land.h"
#include "objects/objects.h"
#include "render/render.h"
#include "shell/shell.h"

namespace {

constexpr int MARGIN = 8, GAP = 12, LABEL_H = 12, MIN_WIDTH = 200, SWATCH = 8, N_SHADES = 12;
// Beyond this the map is no use to anyone, and the bitmap may not fit in memory.
constexpr long MAX_PIXELS = 1L << 26;

enum { CELL_SOLID, CELL_FLOOR, CELL_AIR, CELL_SLOPE };

struct colours {
    int background, frame, text, outline;
    int cell[3];           // solid, floor, air
    int grid[4];           // the lines between open cells, by kind
    int shade[N_SHADES];   // a slope, low to high
    int rock, diamond, player[2];
};

colours pick_colours()
{
    colours c = {};
    c.background = makecol(20, 20, 24);
    c.frame = makecol(110, 110, 110);
    c.text = makecol(235, 235, 235);
    c.outline = makecol(0, 0, 0);
    c.cell[CELL_SOLID] = makecol(60, 48, 40);
    c.cell[CELL_FLOOR] = makecol(205, 185, 150);
    c.cell[CELL_AIR] = makecol(60, 90, 140);
    c.grid[CELL_FLOOR] = makecol(160, 140, 110);
    c.grid[CELL_AIR] = makecol(40, 60, 90);
    // One of the game palette's ramps, so that the shades come out even.
    static const unsigned char greens[N_SHADES][3] = {
        {36, 73, 20},   {44, 89, 24},   {52, 105, 28},  {60, 117, 32},   {69, 134, 36},   {85, 150, 44},
        {101, 162, 60}, {121, 178, 73}, {142, 195, 89}, {158, 207, 101}, {178, 223, 113}, {195, 235, 130}};
    for (int i = 0; i < N_SHADES; i++)
        c.shade[i] = makecol(greens[i][0], greens[i][1], greens[i][2]);
    c.grid[CELL_SLOPE] = makecol(20, 44, 12);
    c.rock = makecol(150, 150, 150);
    c.diamond = makecol(0, 255, 255);
    c.player[0] = makecol(255, 0, 0);
    c.player[1] = makecol(255, 255, 0);
    return c;
}

// The height, 0 to 1, of slope s's floor at (u, v) inside its cell: the
// floor polygons are planar fans, so the triangle holding the point says.
float slope_height(int s, float u, float v)
{
    const SLOPE &sl = slope[s];
    for (int p = 0; p < sl.n_floors; p++) {
        const SLOPE_POLY &poly = sl.floors[p];
        const SLOPE_VERTEX &a = poly.vertices[0];
        for (int i = 1; i + 1 < poly.n; i++) {
            const SLOPE_VERTEX &b = poly.vertices[i], &c = poly.vertices[i + 1];
            float d = (b.dy - c.dy) * (a.dx - c.dx) + (c.dx - b.dx) * (a.dy - c.dy);
            float wa = ((b.dy - c.dy) * (u - c.dx) + (c.dx - b.dx) * (v - c.dy)) / d;
            float wb = ((c.dy - a.dy) * (u - c.dx) + (a.dx - c.dx) * (v - c.dy)) / d;
            float wc = 1 - wa - wb;
            if (wa >= 0 && wb >= 0 && wc >= 0)
                return (wa * a.dz + wb * b.dz + wc * c.dz) / sl.rise;
        }
    }
    return 0;
}

void draw_cell(BITMAP *b, const colours &c, int kind, int shape, int x, int y, int size)
{
    if (kind != CELL_SLOPE) {
        rectfill(b, x, y, x + size - 1, y + size - 1, c.cell[kind]);
        return;
    }
    for (int py = 0; py < size; py++)
        for (int px = 0; px < size; px++) {
            float h = slope_height(shape, (px + 0.5f) / size, (py + 0.5f) / size);
            putpixel(b, x + px, y + py, c.shade[std::min(N_SHADES - 1, (int)(h * N_SHADES))]);
        }
}

void draw_marker(BITMAP *b, const colours &c, const OBJECT *o, int x, int y, int size)
{
    int cx = x + size / 2, cy = y + size / 2, r = std::max(0, size * 3 / 8);
    bool outlined = size >= 6;
    if (o->type == OBJ_ROCK) {
        circlefill(b, cx, cy, r, c.rock);
        if (outlined)
            circle(b, cx, cy, r, c.outline);
    } else if (o->type == OBJ_DIAMOND) {
        int pts[8] = {cx, cy - r, cx + r, cy, cx, cy + r, cx - r, cy};
        polygon(b, 4, pts, c.diamond);
        for (int i = 0; outlined && i < 4; i++)
            line(b, pts[2 * i], pts[2 * i + 1], pts[(2 * i + 2) % 8], pts[(2 * i + 3) % 8], c.outline);
    } else if (o->type == OBJ_PLAYER) {
        const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
        rectfill(b, cx - r, cy - r, cx + r, cy + r, c.player[p->index & 1]);
        if (outlined) {
            rect(b, cx - r, cy - r, cx + r, cy + r, c.outline);
            line(b, cx, cy, cx + dir_dx[p->facing & 3] * r, cy + dir_dy[p->facing & 3] * r, c.outline);
        }
    }
}

// Where everything goes; every size in pixels.
struct layout {
    int levels, slot_w, slot_h, cols, w, h, legend_y;
};

const char *const legend_names[] = {"solid", "floor", "air", "slope (light = high)", "rock", "diamond", "player 1", "player 2"};
const int N_LEGEND = sizeof legend_names / sizeof *legend_names;

// Lays out the legend from y within width w, drawing it when b is given;
// returns the height it takes.
int legend(BITMAP *b, const colours *c, int w, int y)
{
    int x = MARGIN, top = y;
    for (int i = 0; i < N_LEGEND; i++) {
        int item = SWATCH + 4 + text_length(font, legend_names[i]) + 16;
        if (x > MARGIN && x + item - 16 > w - MARGIN) {
            x = MARGIN;
            y += LABEL_H;
        }
        if (b) {
            if (i < 4) {
                draw_cell(b, *c, i, 2, x, y, SWATCH);  // the slope swatch rises to the right
            } else {
                static const int types[] = {OBJ_ROCK, OBJ_DIAMOND, OBJ_PLAYER, OBJ_PLAYER};
                PLAYER_DATA p = {i - 6, 1, 0, 0};
                OBJECT o = {};
                o.type = types[i - 4];
                o.data = &p;
                draw_cell(b, *c, CELL_FLOOR, 0, x, y, SWATCH);
                draw_marker(b, *c, &o, x, y, SWATCH);
            }
            textout_ex(b, font, legend_names[i], x + SWATCH + 4, y, c->text, -1);
        }
        x += item;
    }
    return y + LABEL_H - top;
}

layout lay_out(const LAND *l, int scale, int max_width)
{
    layout m;
    m.levels = 1;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                m.levels = std::max(m.levels, h->roof);
    char widest[32];
    snprintf(widest, sizeof widest, "level %d", m.levels - 1);
    m.slot_w = std::max(l->w * scale, text_length(font, widest));
    m.slot_h = LABEL_H + l->h * scale;
    m.cols = std::max(1, std::min(m.levels, (max_width - 2 * MARGIN + GAP) / (m.slot_w + GAP)));
    int rows = (m.levels + m.cols - 1) / m.cols;
    m.w = std::max(MIN_WIDTH, 2 * MARGIN + m.cols * (m.slot_w + GAP) - GAP);
    m.legend_y = MARGIN + rows * (m.slot_h + GAP);
    m.h = m.legend_y + legend(nullptr, nullptr, m.w, m.legend_y) + MARGIN;
    return m;
}

int map_usage()
{
    fprintf(stderr, "usage: tavo-tool map LAND.lvl OUT.png [--scale N] [--width W]\n"
                    "       (N from 1 to 64, default 8; levels wrap into rows past W pixels, default 2048)\n");
    return 2;
}

} // namespace

BITMAP *draw_land_map(const LAND *l, int scale, int max_width)
{
    layout m = lay_out(l, scale, max_width);
    if ((long)m.w * m.h > MAX_PIXELS)
        return nullptr;
    BITMAP *b = create_bitmap_ex(8, m.w, m.h);
    if (!b)
        return nullptr;
    colours c = pick_colours();
    clear_to_color(b, c.background);
    for (int z = 0; z < m.levels; z++) {
        int x0 = MARGIN + z % m.cols * (m.slot_w + GAP);
        int y0 = MARGIN + z / m.cols * (m.slot_h + GAP);
        textprintf_ex(b, font, x0, y0, c.text, -1, "level %d", z);
        y0 += LABEL_H;
        rect(b, x0 - 1, y0 - 1, x0 + l->w * scale, y0 + l->h * scale, c.frame);
        for (int y = 0; y < l->h; y++)
            for (int x = 0; x < l->w; x++) {
                const HOLLOW *h = hollow_at_level(&l->tile[y][x], z);
                int kind = !h ? CELL_SOLID
                           : h->slope && z == h->floor ? CELL_SLOPE
                           : z <= floor_level(h)       ? CELL_FLOOR
                                                       : CELL_AIR;
                draw_cell(b, c, kind, h ? h->slope : 0, x0 + x * scale, y0 + y * scale, scale);
                // A faint grid between open cells makes them easy to count.
                if (kind != CELL_SOLID && scale >= 6) {
                    hline(b, x0 + x * scale, y0 + y * scale, x0 + (x + 1) * scale - 1, c.grid[kind]);
                    vline(b, x0 + x * scale, y0 + y * scale, y0 + (y + 1) * scale - 1, c.grid[kind]);
                }
            }
        for (int y = 0; y < l->h; y++)
            for (int x = 0; x < l->w; x++)
                for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                    for (const OBJECT *o = h->object; o; o = o->next)
                        if (o->z == z)
                            draw_marker(b, c, o, x0 + x * scale, y0 + y * scale, scale);
    }
    legend(b, &c, m.w, m.legend_y);
    return b;
}

int cmd_map(int argc, char **argv)
{
    if (argc < 4)
        return map_usage();
    int scale = 8, width = 2048;
    for (int i = 4; i < argc; i++) {
        char *end = nullptr;
        bool is_scale = strcmp(argv[i], "--scale") == 0, is_width = strcmp(argv[i], "--width") == 0;
        long v = (is_scale || is_width) && i + 1 < argc ? strtol(argv[++i], &end, 10) : 0;
        if (!end || *end || (is_scale && (v < 1 || v > 64)) || (is_width && (v < MIN_WIDTH || v > 65536)))
            return map_usage();
        (is_scale ? scale : width) = (int)v;
    }
    // The game's palette when the game's data is at hand; the map needs
    // nothing else from it, so any even spread of colours does without.
    PALETTE pal;
    if (dat)
        memcpy(pal, dat[DATA_PALETTE].dat, sizeof pal);
    else
        generate_332_palette(pal);
    set_palette(pal);
    LAND *l = load_land(data_path(argv[2]).c_str());  // a bundled land, too
    if (!l) {
        fprintf(stderr, "tavo-tool: %s: %s\n", argv[2], land_load_error());
        return 1;
    }
    int status = 0;
    BITMAP *b = draw_land_map(l, scale, width);
    if (!b) {
        fprintf(stderr, "tavo-tool: %s: the map is too large at scale %d\n", argv[2], scale);
        status = 1;
    } else {
        register_png_file_type();
        if (save_bitmap(argv[3], b, pal) != 0) {
            fprintf(stderr, "tavo-tool: %s: cannot be written\n", argv[3]);
            status = 1;
        }
        destroy_bitmap(b);
    }
    destroy_land(l);
    return status;
}
