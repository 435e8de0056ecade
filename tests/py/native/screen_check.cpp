// screen_check.cpp -- compares a screenshot of the game with what it should show.
//
//   screen_check text SHOT.png X Y TEXT R G B [--bg R G B] [--prefix] [--tolerance N]
//                [--palette DATAFILE]
//     TEXT, drawn with Allegro's default font at (X, Y), must be there pixel for
//     pixel: glyph pixels in (R, G, B), the rest of its cells in the background.
//     Unless --prefix is given, the line must end there: the rest of the row of
//     cells up to the right edge is background too.
//   screen_check fill SHOT.png X Y W H [R G B] [--bg R G B] [--tolerance N]
//                [--palette DATAFILE]
//     The area is one colour: (R, G, B) when given, else the background when
//     --bg or --palette names one, else any single colour.
//   screen_check number SHOT.png X Y R G B [--bg R G B] [--tolerance N]
//                [--palette DATAFILE]
//     A decimal number written with the default font at (X, Y) in (R, G, B):
//     every character cell up to the first blank one must be a digit, with no
//     leading zero.  Prints the number on stdout.
//   screen_check image SHOT.png X Y REFERENCE.png [--tolerance N] [--max-wrong P]
//     The area of the reference's size at (X, Y) shows the reference, except
//     for at most P per cent of its pixels (default 0).
//   screen_check find SHOT.png TEXT R G B [--bg R G B] [--tolerance N]
//                [--palette DATAFILE]
//     Every place where TEXT shows as `text --prefix` would accept it: prints
//     "X Y" for each, top to bottom.  Status 0 when there is one at least, so
//     that a dialog can be found by what it says wherever it is placed.
//
// Wherever a colour (R, G, B) is asked for, --entry N (with --palette) asks
// for palette entry N itself instead.
// With --palette, colours are asked for as the game asks for them: (R, G, B)
// becomes the entry that makecol picks from the datafile's palette (entry 0)
// through an RGB map, and the background is palette entry 0, the colour of a
// cleared screen.  Without it the background is the most frequent colour of
// the shot.  The tolerance (default 8 per component) absorbs the
// 6-bit palette components of the 8-bit modes.  Exit status: 0 match,
// 1 mismatch (with a short summary on stdout), 2 bad arguments or no shot.
#include <allegro.h>
#include <loadpng.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct colour {
    int r, g, b;
    bool operator<(const colour &o) const
    {
        return r != o.r ? r < o.r : g != o.g ? g < o.g : b < o.b;
    }
};

struct shot {
    BITMAP *bmp = nullptr;
    PALETTE pal;
};

colour read_pixel(const shot &s, int x, int y)
{
    int c = getpixel(s.bmp, x, y);
    int depth = bitmap_color_depth(s.bmp);
    if (depth == 8)
        return {s.pal[c].r * 255 / 63, s.pal[c].g * 255 / 63, s.pal[c].b * 255 / 63};
    return {getr_depth(depth, c), getg_depth(depth, c), getb_depth(depth, c)};
}

bool is_near(colour a, colour b, int tolerance)
{
    return abs(a.r - b.r) <= tolerance && abs(a.g - b.g) <= tolerance &&
           abs(a.b - b.b) <= tolerance;
}

std::string describe(colour c)
{
    char s[32];
    snprintf(s, sizeof s, "(%d,%d,%d)", c.r, c.g, c.b);
    return s;
}

colour most_frequent_colour(const shot &s)
{
    std::map<colour, long> count;
    for (int y = 0; y < s.bmp->h; y++)
        for (int x = 0; x < s.bmp->w; x++)
            count[read_pixel(s, x, y)]++;
    colour best{0, 0, 0};
    long n = -1;
    for (const auto &[c, k] : count)
        if (k > n) {
            best = c;
            n = k;
        }
    return best;
}

// Counts differing pixels and keeps the first few to show.
struct diff {
    long checked = 0;
    long wrong = 0;
    std::vector<std::string> examples;
    std::map<colour, long> seen;

    void note(int x, int y, colour want, colour got, const char *what)
    {
        wrong++;
        seen[got]++;
        if (examples.size() < 6) {
            char s[128];
            snprintf(s, sizeof s, "  (%d,%d) %s: want %s, got %s", x, y, what,
                     describe(want).c_str(), describe(got).c_str());
            examples.push_back(s);
        }
    }

    int report(const char *title) const
    {
        if (wrong == 0)
            return 0;
        printf("%s: %ld of %ld pixels differ\n", title, wrong, checked);
        for (const auto &e : examples)
            printf("%s\n", e.c_str());
        // The commonest few: a whole picture gone wrong has hundreds.
        std::vector<std::pair<long, colour>> by_count;
        for (const auto &[c, k] : seen)
            by_count.push_back({k, c});
        std::sort(by_count.begin(), by_count.end(),
                  [](const auto &a, const auto &b) { return a.first > b.first; });
        printf("  wrong pixels by colour:");
        for (size_t i = 0; i < by_count.size() && i < 8; i++)
            printf(" %s x%ld", describe(by_count[i].second).c_str(), by_count[i].first);
        if (by_count.size() > 8)
            printf(" and %zu more colours", by_count.size() - 8);
        printf("\n");
        return 1;
    }
};

[[noreturn]] void usage()
{
    fprintf(stderr,
            "usage: screen_check text SHOT X Y TEXT R G B [--bg R G B] [--prefix]\n"
            "                    [--tolerance N] [--palette DATAFILE]\n"
            "       screen_check fill SHOT X Y W H [R G B] [--bg R G B] [--tolerance N]\n"
            "                    [--palette DATAFILE]\n"
            "       screen_check number SHOT X Y R G B [--bg R G B] [--tolerance N]\n"
            "                    [--palette DATAFILE]\n"
            "       screen_check image SHOT X Y REFERENCE [--tolerance N] [--max-wrong P]\n"
            "       screen_check find SHOT TEXT R G B [--bg R G B] [--tolerance N]\n"
            "                    [--palette DATAFILE]\n"
            "colours (R G B) may be given as --entry N of the --palette instead\n");
    exit(2);
}

int to_int(const char *s)
{
    char *end;
    long v = strtol(s, &end, 10);
    if (*s == '\0' || *end != '\0')
        usage();
    return (int)v;
}

colour to_colour(char **a)
{
    return {to_int(a[0]), to_int(a[1]), to_int(a[2])};
}

// Everything after the fixed arguments.
struct options {
    bool has_bg = false;
    colour bg{0, 0, 0};
    bool prefix = false;
    int tolerance = 8;
    int entry = -1;
    double max_wrong = 0;
    const char *palette = nullptr;
    std::vector<char *> rest;
};

options read_options(int argc, char **argv, int first)
{
    options o;
    for (int i = first; i < argc; i++) {
        if (!strcmp(argv[i], "--bg") && i + 3 < argc) {
            o.has_bg = true;
            o.bg = to_colour(argv + i + 1);
            i += 3;
        } else if (!strcmp(argv[i], "--prefix")) {
            o.prefix = true;
        } else if (!strcmp(argv[i], "--tolerance") && i + 1 < argc) {
            o.tolerance = to_int(argv[++i]);
        } else if (!strcmp(argv[i], "--entry") && i + 1 < argc) {
            o.entry = to_int(argv[++i]);
            if (o.entry < 0 || o.entry > 255)
                usage();
        } else if (!strcmp(argv[i], "--max-wrong") && i + 1 < argc) {
            char *end;
            o.max_wrong = strtod(argv[++i], &end);
            if (*end != '\0' || o.max_wrong < 0 || o.max_wrong > 100)
                usage();
        } else if (!strcmp(argv[i], "--palette") && i + 1 < argc) {
            o.palette = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            usage();
        } else {
            o.rest.push_back(argv[i]);
        }
    }
    return o;
}

colour expand(const RGB &c)
{
    return {c.r * 255 / 63, c.g * 255 / 63, c.b * 255 / 63};
}

// The game's colours: makecol in an 8-bit mode looks (R, G, B) up in the RGB
// map built from the datafile's palette.
struct game_palette {
    PALETTE pal;
    RGB_MAP map;

    colour pick(colour want) const
    {
        int i = map.data[want.r >> 3][want.g >> 3][want.b >> 3];
        return expand(pal[i]);
    }
};

bool load_game_palette(const char *path, game_palette &p)
{
    set_color_depth(8);
    DATAFILE *d = load_datafile(path);
    if (!d || d[0].type != DAT_PALETTE) {
        printf("no palette in entry 0 of %s\n", path);
        if (d)
            unload_datafile(d);
        return false;
    }
    memcpy(p.pal, d[0].dat, sizeof p.pal);
    unload_datafile(d);
    create_rgb_table(&p.map, p.pal, nullptr);
    return true;
}

bool load_shot(const char *path, shot &s)
{
    s.bmp = load_bitmap(path, s.pal);
    if (!s.bmp) {
        printf("cannot read %s\n", path);
        return false;
    }
    return true;
}

int check_text(const shot &s, int x0, int y0, const char *text, colour ink,
               const options &o)
{
    colour bg = o.has_bg ? o.bg : most_frequent_colour(s);
    int w = text_length(font, text);
    int h = text_height(font);
    // Without --prefix the whole rest of the line belongs to the check.
    int check_w = o.prefix ? w : s.bmp->w - x0;
    if (x0 < 0 || y0 < 0 || x0 + w > s.bmp->w || y0 + h > s.bmp->h) {
        printf("\"%s\" at (%d,%d) does not fit in the %dx%d shot\n", text, x0, y0,
               s.bmp->w, s.bmp->h);
        return 1;
    }
    BITMAP *glyphs = create_bitmap_ex(8, w, h);
    clear_to_color(glyphs, 0);
    textout_ex(glyphs, font, text, 0, 0, 1, -1);

    diff d;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < check_w; x++) {
            bool inked = x < w && getpixel(glyphs, x, y) == 1;
            colour want = inked ? ink : bg;
            colour got = read_pixel(s, x0 + x, y0 + y);
            d.checked++;
            if (!is_near(want, got, o.tolerance))
                d.note(x0 + x, y0 + y, want, got, inked ? "glyph" : "background");
        }
    destroy_bitmap(glyphs);

    char title[160];
    snprintf(title, sizeof title, "text \"%.80s\" at (%d,%d) in %s on %s", text, x0, y0,
             describe(ink).c_str(), describe(bg).c_str());
    return d.report(title);
}

int check_fill(const shot &s, int x0, int y0, int w, int h, bool has_want, colour want,
               const options &o)
{
    if (x0 < 0 || y0 < 0 || w <= 0 || h <= 0 || x0 + w > s.bmp->w || y0 + h > s.bmp->h) {
        printf("area %dx%d+%d+%d does not fit in the %dx%d shot\n", w, h, x0, y0,
               s.bmp->w, s.bmp->h);
        return 1;
    }
    if (!has_want)
        want = read_pixel(s, x0, y0);
    diff d;
    for (int y = y0; y < y0 + h; y++)
        for (int x = x0; x < x0 + w; x++) {
            colour got = read_pixel(s, x, y);
            d.checked++;
            if (!is_near(want, got, o.tolerance))
                d.note(x, y, want, got, "area");
        }
    char title[128];
    snprintf(title, sizeof title, "area %dx%d+%d+%d in %s", w, h, x0, y0,
             describe(want).c_str());
    return d.report(title);
}

// Reads one character cell as ink, background or neither.
bool read_cell(const shot &s, int x0, int y0, colour ink, colour bg, int tolerance,
               bool inked[8][8], bool &blank)
{
    blank = true;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            colour got = read_pixel(s, x0 + x, y0 + y);
            inked[y][x] = is_near(ink, got, tolerance);
            if (!inked[y][x] && !is_near(bg, got, tolerance)) {
                printf("(%d,%d) is %s: neither ink %s nor background %s\n", x0 + x,
                       y0 + y, describe(got).c_str(), describe(ink).c_str(),
                       describe(bg).c_str());
                return false;
            }
            blank = blank && !inked[y][x];
        }
    return true;
}

int check_number(const shot &s, int x0, int y0, colour ink, const options &o)
{
    colour bg = o.has_bg ? o.bg : most_frequent_colour(s);
    if (x0 < 0 || y0 < 0 || x0 + 8 > s.bmp->w || y0 + 8 > s.bmp->h) {
        printf("a number at (%d,%d) does not fit in the %dx%d shot\n", x0, y0, s.bmp->w,
               s.bmp->h);
        return 1;
    }
    BITMAP *digits = create_bitmap_ex(8, 80, 8);
    clear_to_color(digits, 0);
    textout_ex(digits, font, "0123456789", 0, 0, 1, -1);

    std::string number;
    for (int x = x0; x + 8 <= s.bmp->w; x += 8) {
        bool inked[8][8], blank;
        if (!read_cell(s, x, y0, ink, bg, o.tolerance, inked, blank))
            break;
        if (blank) {
            if (number.empty())
                printf("no number at (%d,%d): the first cell is blank\n", x0, y0);
            else if (number.size() > 1 && number[0] == '0')
                printf("\"%s\" at (%d,%d) has a leading zero\n", number.c_str(), x0, y0);
            else
                printf("%s\n", number.c_str());
            destroy_bitmap(digits);
            return number.empty() || (number.size() > 1 && number[0] == '0');
        }
        int found = -1;
        for (int d = 0; d < 10 && found < 0; d++) {
            bool same = true;
            for (int y = 0; y < 8 && same; y++)
                for (int i = 0; i < 8 && same; i++)
                    same = inked[y][i] == (getpixel(digits, d * 8 + i, y) == 1);
            if (same)
                found = d;
        }
        if (found < 0) {
            printf("the cell at (%d,%d), after \"%s\", is not a digit\n", x, y0,
                   number.c_str());
            break;
        }
        number += (char)('0' + found);
    }
    if (!number.empty() && number.size() == (size_t)((s.bmp->w - x0) / 8))
        printf("\"%s\" at (%d,%d) runs to the edge of the shot\n", number.c_str(), x0, y0);
    destroy_bitmap(digits);
    return 1;
}

int find_text(const shot &s, const char *text, colour ink, const options &o)
{
    colour bg = o.has_bg ? o.bg : most_frequent_colour(s);
    int w = text_length(font, text);
    int h = text_height(font);
    int sw = s.bmp->w, sh = s.bmp->h;
    if (w <= 0 || w > sw || h > sh) {
        printf("\"%s\" does not fit in the %dx%d shot\n", text, sw, sh);
        return 1;
    }
    BITMAP *glyphs = create_bitmap_ex(8, w, h);
    clear_to_color(glyphs, 0);
    textout_ex(glyphs, font, text, 0, 0, 1, -1);
    // Each pixel sorted once into ink (1), background (0) or neither (-1):
    // the search then compares small numbers, not colours.
    std::vector<signed char> want((size_t)(w * h)), kind((size_t)(sw * sh));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            want[(size_t)(y * w + x)] = getpixel(glyphs, x, y) == 1 ? 1 : 0;
    destroy_bitmap(glyphs);
    for (int y = 0; y < sh; y++)
        for (int x = 0; x < sw; x++) {
            colour got = read_pixel(s, x, y);
            kind[(size_t)(y * sw + x)] = is_near(ink, got, o.tolerance) ? 1
                                         : is_near(bg, got, o.tolerance) ? 0
                                                                         : -1;
        }
    int found = 0;
    for (int y0 = 0; y0 + h <= sh; y0++)
        for (int x0 = 0; x0 + w <= sw; x0++) {
            bool same = true;
            for (int y = 0; y < h && same; y++)
                for (int x = 0; x < w && same; x++)
                    same = kind[(size_t)((y0 + y) * sw + x0 + x)] == want[(size_t)(y * w + x)];
            if (same) {
                printf("%d %d\n", x0, y0);
                found++;
            }
        }
    if (!found)
        printf("\"%.80s\" in %s on %s is nowhere in the %dx%d shot\n", text,
               describe(ink).c_str(), describe(bg).c_str(), sw, sh);
    return found ? 0 : 1;
}

int check_image(const shot &s, int x0, int y0, const char *reference, const options &o)
{
    shot ref;
    if (!load_shot(reference, ref))
        return 2;
    int w = ref.bmp->w, h = ref.bmp->h;
    int status = 1;
    if (x0 < 0 || y0 < 0 || x0 + w > s.bmp->w || y0 + h > s.bmp->h) {
        printf("%s (%dx%d) at (%d,%d) does not fit in the %dx%d shot\n", reference, w, h,
               x0, y0, s.bmp->w, s.bmp->h);
    } else {
        diff d;
        // Where the differences lie tells a shifted view from a few stray pixels.
        int left = w, top = h, right = -1, bottom = -1;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                colour want = read_pixel(ref, x, y);
                colour got = read_pixel(s, x0 + x, y0 + y);
                d.checked++;
                if (!is_near(want, got, o.tolerance)) {
                    d.note(x0 + x, y0 + y, want, got, "pixel");
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        char title[PATH_MAX + 128];
        snprintf(title, sizeof title, "%s at (%d,%d), up to %g%% allowed to differ", reference,
                 x0, y0, o.max_wrong);
        if ((double)d.wrong * 100 <= o.max_wrong * (double)d.checked) {
            status = 0;
            if (d.wrong)
                printf("%s: %ld of %ld pixels differ\n", title, d.wrong, d.checked);
        } else {
            d.report(title);
            printf("  they lie in %dx%d+%d+%d of the reference\n", right - left + 1,
                   bottom - top + 1, left, top);
        }
    }
    destroy_bitmap(ref.bmp);
    return status;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        usage();
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        fprintf(stderr, "screen_check: cannot start Allegro\n");
        return 2;
    }
    register_png_file_type();

    std::string mode = argv[1];
    options o = read_options(argc, argv, 3);
    static game_palette gp;  // the RGB map is 32 KiB
    if (o.palette) {
        if (!load_game_palette(o.palette, gp))
            return 2;
        if (!o.has_bg) {
            o.has_bg = true;
            o.bg = expand(gp.pal[0]);
        }
    }
    if (o.entry >= 0 && !o.palette)
        usage();
    auto game_colour = [&](colour c) { return o.palette ? gp.pick(c) : c; };
    // The colour asked for after the fixed arguments, from rest[first] on.
    auto asked_colour = [&](size_t first) {
        return o.entry >= 0 ? expand(gp.pal[o.entry]) : game_colour(to_colour(&o.rest[first]));
    };
    size_t colour_args = o.entry >= 0 ? 0 : 3;

    // Read every shot as true colour, whatever depth the file was saved in.
    set_color_conversion(COLORCONV_TOTAL);
    set_color_depth(32);
    shot s;
    if (mode == "text") {
        if (o.rest.size() != 3 + colour_args)
            usage();
        if (!load_shot(argv[2], s))
            return 2;
        return check_text(s, to_int(o.rest[0]), to_int(o.rest[1]), o.rest[2], asked_colour(3),
                          o);
    }
    if (mode == "fill") {
        if (o.rest.size() != 4 && o.rest.size() != 7)
            usage();
        if (o.entry >= 0 && o.rest.size() != 4)
            usage();
        if (!load_shot(argv[2], s))
            return 2;
        bool has_colour = o.rest.size() == 7 || o.entry >= 0;
        bool has_want = has_colour || o.has_bg;
        colour want = has_colour ? asked_colour(4) : o.bg;
        return check_fill(s, to_int(o.rest[0]), to_int(o.rest[1]), to_int(o.rest[2]),
                          to_int(o.rest[3]), has_want, want, o);
    }
    if (mode == "number") {
        if (o.rest.size() != 2 + colour_args)
            usage();
        if (!load_shot(argv[2], s))
            return 2;
        return check_number(s, to_int(o.rest[0]), to_int(o.rest[1]), asked_colour(2), o);
    }
    if (mode == "image") {
        if (o.rest.size() != 3)
            usage();
        if (!load_shot(argv[2], s))
            return 2;
        return check_image(s, to_int(o.rest[0]), to_int(o.rest[1]), o.rest[2], o);
    }
    if (mode == "find") {
        if (o.rest.size() != 1 + colour_args)
            usage();
        if (!load_shot(argv[2], s))
            return 2;
        return find_text(s, o.rest[0], asked_colour(1), o);
    }
    usage();
}
