// make_data.cpp -- generates the game's palette, textures, model textures
// and collect sound, and checks the datafile built from them.
//
//   make_data data DIR                 palette.pcx, diamond.pcx, player.pcx, collect.wav
//   make_data textures DIR FILE...     each named texture: .pcx is 8-bit with a
//                                      palette of its own, .bmp is 24-bit
//   make_data finish DAT DIR           settles the datafile's stray bytes and checks
//                                      it against what `data` wrote
//   make_data sheet OUT DIR FILE...    a contact sheet of everything, to look at
#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/models.h"
#include "assets/palette.h"
#include "assets/textures.h"

namespace {

int fail(const std::string &what)
{
    std::fprintf(stderr, "make_data: %s\n", what.c_str());
    return 1;
}

// The game palette as a 16 x 16 image, one texel per entry: the datafile
// takes its palette from here.
BITMAP *make_palette_image()
{
    BITMAP *b = create_bitmap_ex(8, 16, 16);
    for (int i = 0; i < PAL_SIZE; i++)
        putpixel(b, i % 16, i / 16, i);
    return b;
}

int save_and_destroy(const std::string &path, BITMAP *b, const RGB *pal)
{
    if (!b)
        return fail("cannot make " + path);
    int err = save_bitmap(path.c_str(), b, pal);
    destroy_bitmap(b);
    return err ? fail("cannot write " + path) : 0;
}

int make_data(const std::string &dir)
{
    PALETTE pal;
    make_game_palette(pal);
    if (save_and_destroy(dir + "/palette.pcx", make_palette_image(), pal) ||
        save_and_destroy(dir + "/diamond.pcx", paint_diamond_texture(pal), pal) ||
        save_and_destroy(dir + "/player.pcx", paint_player_texture(pal), pal))
        return 1;
    if (!write_chime((dir + "/collect.wav").c_str()))
        return fail("cannot write " + dir + "/collect.wav");
    return 0;
}

int make_textures(const std::string &dir, int n, char **files)
{
    for (int i = 0; i < n; i++) {
        std::string file = files[i];
        size_t dot = file.rfind('.');
        std::string stem = file.substr(0, dot), ext = dot == std::string::npos ? "" : file.substr(dot);
        const TEXTURE_DEF *def = find_texture(stem.c_str());
        if (!def || file.size() > 12)
            return fail("no texture called " + file);
        IMAGE img = def->make();
        if (ext == ".pcx") {
            PALETTE own;
            BITMAP *b = make_own_palette_bitmap(img, own);
            if (save_and_destroy(dir + "/" + file, b, own))
                return 1;
        } else if (ext == ".bmp") {
            if (save_and_destroy(dir + "/" + file, make_truecolour_bitmap(img), nullptr))
                return 1;
        } else {
            return fail("textures are .pcx (8-bit) or .bmp (24-bit): " + file);
        }
    }
    return 0;
}

unsigned read_big_endian(const std::vector<unsigned char> &d, size_t at)
{
    return (unsigned)d[at] << 24 | (unsigned)d[at + 1] << 16 | (unsigned)d[at + 2] << 8 | d[at + 3];
}

// dat copies palettes with their padding bytes unset, so the same input
// gives a different file each run.  Zero them, walking the (unpacked)
// datafile's top-level objects.
bool zero_palette_padding(const std::string &dat_file)
{
    std::ifstream in(dat_file, std::ios::binary);
    std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    if (d.size() < 12 || std::memcmp(d.data(), "slh.ALL.", 8) != 0)
        return false;
    unsigned n = read_big_endian(d, 8);
    size_t at = 12;
    for (unsigned i = 0; i < n; i++) {
        while (at + 12 <= d.size() && std::memcmp(&d[at], "prop", 4) == 0)
            at += 12 + read_big_endian(d, at + 8);
        if (at + 12 > d.size())
            return false;
        bool palette = std::memcmp(&d[at], "PAL ", 4) == 0;
        size_t size = read_big_endian(d, at + 4);
        at += 12;
        if (at + size > d.size())
            return false;
        if (palette)
            for (size_t k = 3; k < size; k += 4)
                d[at + k] = 0;
        at += size;
    }
    std::ofstream out(dat_file, std::ios::binary);
    out.write((const char *)d.data(), (std::streamsize)d.size());
    return (bool)out;
}

bool same_pixels(BITMAP *a, BITMAP *b)
{
    if (a->w != b->w || a->h != b->h || bitmap_color_depth(a) != 8 || bitmap_color_depth(b) != 8)
        return false;
    for (int y = 0; y < a->h; y++)
        if (std::memcmp(a->line[y], b->line[y], (size_t)a->w) != 0)
            return false;
    return true;
}

// The datafile is used by position, and the dat tool converts colours when
// it thinks it must: make sure the palette and every index came through.
int finish_datafile(const std::string &dat_file, const std::string &dir)
{
    if (!zero_palette_padding(dat_file))
        return fail(dat_file + ": not an unpacked datafile");
    DATAFILE *dat = load_datafile(dat_file.c_str());
    if (!dat)
        return fail("cannot load " + dat_file);
    const int want[4] = {DAT_PALETTE, DAT_SAMPLE, DAT_BITMAP, DAT_BITMAP};
    for (int i = 0; i < 4; i++)
        if (dat[i].type == DAT_END || dat[i].type != want[i])
            return fail(dat_file + ": entry " + std::to_string(i) + " has the wrong type");
    if (dat[4].type != DAT_END)
        return fail(dat_file + ": more than four entries");
    PALETTE pal;
    make_game_palette(pal);
    const RGB *stored = (const RGB *)dat[0].dat;
    for (int i = 0; i < PAL_SIZE; i++)
        if (stored[i].r != pal[i].r || stored[i].g != pal[i].g || stored[i].b != pal[i].b)
            return fail(dat_file + ": the palette differs from the game palette at " + std::to_string(i));
    const char *models[2] = {"diamond.pcx", "player.pcx"};
    for (int i = 0; i < 2; i++) {
        PALETTE own;
        BITMAP *src = load_bitmap((dir + "/" + models[i]).c_str(), own);
        bool same = src && same_pixels(src, (BITMAP *)dat[2 + i].dat);
        if (src)
            destroy_bitmap(src);
        if (!same)
            return fail(dat_file + ": entry " + std::to_string(2 + i) + " does not hold the indices of " + models[i]);
    }
    unload_datafile(dat);
    return 0;
}

// Textures as the game sees them (mapped to the game palette), each tiled
// 2 x 2 above a strip fading into a grey fog, then the model textures and
// the palette.
int make_sheet(const std::string &out, const std::string &dir, int n, char **files)
{
    PALETTE pal;
    make_game_palette(pal);
    RGB_MAP map;
    create_rgb_table(&map, pal, nullptr);
    rgb_map = &map;
    COLOR_MAP *fog = new COLOR_MAP;
    create_light_table(fog, pal, pal[PAL_GREY].r, pal[PAL_GREY].g, pal[PAL_GREY].b, nullptr);

    const int cell = 264, cols = 4, rows = (n + cols - 1) / cols + 1;
    BITMAP *sheet = create_bitmap_ex(8, cols * cell, rows * (cell + 24));
    clear_to_color(sheet, PAL_BLACK);
    for (int i = 0; i < n; i++) {
        PALETTE own;
        BITMAP *img = load_bitmap(files[i], own);
        if (!img)
            return fail(std::string("cannot load ") + files[i]);
        BITMAP *tc = create_bitmap_ex(24, img->w, img->h);
        select_palette(own);
        blit(img, tc, 0, 0, 0, 0, img->w, img->h);
        unselect_palette();
        BITMAP *tex = create_bitmap_ex(8, img->w, img->h);
        blit(tc, tex, 0, 0, 0, 0, img->w, img->h);
        int x0 = (i % cols) * cell, y0 = (i / cols) * (cell + 24);
        for (int j = 0; j < 4; j++)
            blit(tex, sheet, 0, 0, x0 + (j & 1) * 128, y0 + (j >> 1) * 128, 128, 128);
        for (int x = 0; x < 256; x++)
            for (int y = 0; y < 20; y++)
                putpixel(sheet, x0 + x, y0 + 260 + y, fog->data[255 - x][getpixel(tex, x & 127, 40 + y)]);
        destroy_bitmap(tex);
        destroy_bitmap(tc);
        destroy_bitmap(img);
    }
    int y0 = (rows - 1) * (cell + 24);
    const char *models[2] = {"diamond.pcx", "player.pcx"};
    for (int i = 0; i < 2; i++) {
        PALETTE own;
        BITMAP *m = load_bitmap((dir + "/" + models[i]).c_str(), own);
        if (!m)
            return fail(std::string("cannot load ") + models[i]);
        stretch_blit(m, sheet, 0, 0, 128, 128, i * cell, y0, 256, 256);
        destroy_bitmap(m);
    }
    for (int i = 0; i < PAL_SIZE; i++)
        rectfill(sheet, 2 * cell + (i % 16) * 16, y0 + (i / 16) * 16, 2 * cell + (i % 16) * 16 + 15,
                 y0 + (i / 16) * 16 + 15, i);
    int err = save_bitmap(out.c_str(), sheet, pal);
    destroy_bitmap(sheet);
    delete fog;
    rgb_map = nullptr;
    return err ? fail("cannot write " + out) : 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        return fail("cannot start Allegro");
    set_color_depth(8);
    set_color_conversion(COLORCONV_NONE);

    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "data" && argc == 3)
        return make_data(argv[2]);
    if (mode == "textures" && argc >= 3)
        return make_textures(argv[2], argc - 3, argv + 3);
    if (mode == "finish" && argc == 4)
        return finish_datafile(argv[2], argv[3]);
    if (mode == "sheet" && argc >= 4)
        return make_sheet(argv[2], argv[3], argc - 4, argv + 4);
    std::fprintf(stderr, "usage: make_data data DIR | textures DIR FILE... | finish DAT DIR | sheet OUT DIR FILE...\n");
    return 2;
}
