// Game data: the datafile's entries, the palette's exact colours, the
// textures (sizes, file kinds, tiling) and how everything fades into fog;
// and the generator's own building blocks, its noise and colour reduction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/noise.h"
#include "headless.h"
#include "land/land.h"

namespace {

double distance(const RGB &a, const RGB &b)
{
    double dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return std::sqrt(dr * dr + dg * dg + db * db);
}

// A difference weighted the way Allegro's colour matching weighs it (green
// most, blue least), scaled to agree with distance() between greys.
double difference(const RGB &a, const RGB &b)
{
    double dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return std::sqrt((900 * dr * dr + 3481 * dg * dg + 121 * db * db) * 3 / 4502);
}

std::vector<std::string> texture_files()
{
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator("textures"))
        if (e.is_regular_file())
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class GameData : public ::testing::Test {
protected:
    static DATAFILE *dat;
    static RGB_MAP map;
    static std::vector<BITMAP *> textures;

    static void SetUpTestSuite()
    {
        start_headless_allegro();
        dat = load_datafile("tavo.dat");
        if (!dat || dat[0].type != DAT_PALETTE)
            return;
        create_rgb_table(&map, palette(), nullptr);
        rgb_map = &map;
        for (const std::string &name : texture_files())
            textures.push_back(load_texture(("textures/" + name).c_str()));
    }
    static void TearDownTestSuite()
    {
        for (BITMAP *t : textures)
            if (t)
                destroy_bitmap(t);
        textures.clear();
        rgb_map = nullptr;
        if (dat)
            unload_datafile(dat);
        dat = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(dat, nullptr) << "tavo.dat must load";
        ASSERT_EQ(dat[0].type, DAT_PALETTE);
        rgb_map = &map;
    }

    static RGB *palette() { return (RGB *)dat[0].dat; }
};

DATAFILE *GameData::dat = nullptr;
RGB_MAP GameData::map;
std::vector<BITMAP *> GameData::textures;

// The collect sound as signed values -1..1.
std::vector<double> sample_values(const SAMPLE *s)
{
    std::vector<double> v;
    for (unsigned long i = 0; i < s->len; i++) {
        if (s->bits == 8)
            v.push_back((((const unsigned char *)s->data)[i] - 128) / 128.0);
        else
            v.push_back((((const unsigned short *)s->data)[i] - 32768) / 32768.0);
    }
    return v;
}

double rms(const std::vector<double> &v, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; i++)
        sum += v[i] * v[i];
    return std::sqrt(sum / (double)(to - from));
}

} // namespace

TEST_F(GameData, DatafileHoldsPaletteSampleAndTwoModelTexturesInOrder)
{
    const int want[4] = {DAT_PALETTE, DAT_SAMPLE, DAT_BITMAP, DAT_BITMAP};
    for (int i = 0; i < 4; i++)
        ASSERT_EQ(dat[i].type, want[i]) << "entry " << i;
    EXPECT_EQ(dat[4].type, DAT_END);
    for (int i = 2; i < 4; i++) {
        BITMAP *b = (BITMAP *)dat[i].dat;
        EXPECT_EQ(b->w, 128);
        EXPECT_EQ(b->h, 128);
        EXPECT_EQ(bitmap_color_depth(b), 8) << "entry " << i;
    }
}

TEST_F(GameData, CollectSoundIsAShortDecayingChime)
{
    const SAMPLE *s = (const SAMPLE *)dat[1].dat;
    ASSERT_TRUE(s->bits == 8 || s->bits == 16);
    EXPECT_FALSE(s->stereo);
    EXPECT_GE(s->freq, 11025);
    EXPECT_LE(s->freq, 44100);
    double seconds = (double)s->len / s->freq;
    EXPECT_GE(seconds, 0.25);
    EXPECT_LE(seconds, 0.8);

    std::vector<double> v = sample_values(s);
    double peak = 0;
    for (double x : v)
        peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 0.5) << "too quiet to hear among the music";
    EXPECT_LT(peak, 1.0) << "clipped";
    size_t tenth = (size_t)s->freq / 10;
    EXPECT_GT(rms(v, 0, tenth), 4 * rms(v, v.size() - tenth, v.size())) << "a chime dies away";
    EXPECT_LT(std::fabs(v.back()), 0.01) << "ends in silence, without a click";
}

TEST_F(GameData, PaletteHoldsBlackAndTheMenuColoursExactly)
{
    const RGB *pal = palette();
    EXPECT_EQ(pal[0].r + pal[0].g + pal[0].b, 0);
    EXPECT_GE(pal[2].r + pal[2].g + pal[2].b, 3 * 48) << "the frame rate is written in colour 2 on colour 0";

    struct WANT {
        int r, g, b;
    } menu[] = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                {255, 255, 0}, {0, 255, 255},   {255, 0, 255}, {128, 128, 128}};
    for (const WANT &w : menu) {
        const RGB &got = pal[makecol(w.r, w.g, w.b)];
        RGB exact = {(unsigned char)(w.r >> 2), (unsigned char)(w.g >> 2), (unsigned char)(w.b >> 2), 0};
        EXPECT_EQ(distance(got, exact), 0.0) << "makecol(" << w.r << ", " << w.g << ", " << w.b << ")";
        bool low = false;
        for (int i = 1; i < 16; i++)
            low = low || distance(pal[i], exact) == 0;
        EXPECT_TRUE(low) << "(" << w.r << ", " << w.g << ", " << w.b << ") among the first sixteen";
    }
}

TEST_F(GameData, PaletteRampsRunDarkToLightInSmallSteps)
{
    const RGB *pal = palette();
    for (int first = 16; first < 256; first += 16) {
        EXPECT_LE(pal[first].r + pal[first].g + pal[first].b, 3 * 8) << "ramp at " << first << " reaches near black";
        for (int i = first + 1; i < first + 16; i++) {
            EXPECT_GT(pal[i].r + pal[i].g + pal[i].b, pal[i - 1].r + pal[i - 1].g + pal[i - 1].b) << i;
            EXPECT_LE(distance(pal[i], pal[i - 1]), 10.0) << i;
        }
    }
}

TEST_F(GameData, ModelTexturesKeepTheirPaintedColours)
{
    // The figure the octahedron reads: a diamond shape touching the middles
    // of the four edges.  Were the indices remapped on the way into the
    // datafile, the gem would no longer be cyan and white.
    const RGB *pal = palette();
    BITMAP *gem = (BITMAP *)dat[2].dat, *player = (BITMAP *)dat[3].dat;
    int inside = 0, icy = 0;
    std::vector<bool> player_colours(256);
    int warm = 0;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            if (std::abs(2 * x + 1 - 128) + std::abs(2 * y + 1 - 128) > 120)
                continue;
            inside++;
            const RGB &g = pal[gem->line[y][x]];
            bool cool = g.b > g.r && g.g > g.r, white = g.r >= 56 && g.g >= 56 && g.b >= 56;
            icy += cool || white;
            const RGB &p = pal[player->line[y][x]];
            player_colours[player->line[y][x]] = true;
            if (p.r > p.b)
                warm++;
        }
    EXPECT_GE(icy, inside * 95 / 100);
    EXPECT_GE(std::count(player_colours.begin(), player_colours.end(), true), 16);
    EXPECT_GE(warm, inside * 2 / 3) << "an earthy figure";
}

TEST_F(GameData, TexturesLoadFromEightAndTwentyFourBitFiles)
{
    std::vector<std::string> names = texture_files();
    ASSERT_GE(names.size(), 12u);
    ASSERT_EQ(textures.size(), names.size());
    int eight = 0, true_colour = 0;
    for (size_t i = 0; i < names.size(); i++) {
        const std::string &n = names[i];
        EXPECT_LE(n.size(), 12u) << n;
        EXPECT_TRUE(std::none_of(n.begin(), n.end(), [](char c) { return std::isupper((unsigned char)c); })) << n;
        PALETTE own;
        BITMAP *raw = load_bitmap(("textures/" + n).c_str(), own);
        ASSERT_NE(raw, nullptr) << n;
        int depth = bitmap_color_depth(raw);
        eight += depth == 8;
        true_colour += depth == 24;
        destroy_bitmap(raw);

        ASSERT_NE(textures[i], nullptr) << n;
        EXPECT_EQ(textures[i]->w, 128) << n;
        EXPECT_EQ(textures[i]->h, 128) << n;
        EXPECT_EQ(bitmap_color_depth(textures[i]), 8) << n;
    }
    EXPECT_GE(eight, 1);
    EXPECT_GE(true_colour, 1);
}

TEST_F(GameData, TexturesTileWithoutVisibleSeams)
{
    // Across the wrap edge a texture must change no more than it usually
    // does between neighbouring columns (and rows) inside.
    std::vector<std::string> names = texture_files();
    const RGB *pal = palette();
    for (size_t i = 0; i < textures.size(); i++) {
        BITMAP *t = textures[i];
        ASSERT_NE(t, nullptr);
        for (int vertical = 0; vertical < 2; vertical++) {
            std::vector<double> step(128);
            for (int a = 0; a < 128; a++) {
                double sum = 0;
                for (int b = 0; b < 128; b++) {
                    int x0 = vertical ? b : a, y0 = vertical ? a : b;
                    int x1 = vertical ? b : (a + 1) % 128, y1 = vertical ? (a + 1) % 128 : b;
                    sum += distance(pal[t->line[y0][x0]], pal[t->line[y1][x1]]);
                }
                step[(size_t)a] = sum / 128;
            }
            double seam = step[127];
            std::vector<double> inner(step.begin(), step.end() - 1);
            std::sort(inner.begin(), inner.end());
            double median = inner[inner.size() / 2];
            EXPECT_LE(seam, 1.5 * median + 1.0)
                << names[i] << (vertical ? " top/bottom" : " left/right") << " seam " << seam << ", median " << median;
        }
    }
}

TEST_F(GameData, TextureColoursFadeIntoFogWithoutJumps)
{
    // For every colour the textures use, walk the light levels of the fog
    // table from full light down to pure fog: the colour must head for the
    // fog colour, stay near the true blend and move in small steps.
    const RGB *pal = palette();
    std::vector<long> used(256);
    for (BITMAP *t : textures) {
        ASSERT_NE(t, nullptr);
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++)
                used[t->line[y][x]]++;
    }
    static COLOR_MAP fog;
    const RGB fogs[] = {{0, 0, 0, 0}, {32, 32, 32, 0}, {26, 30, 36, 0}};
    for (const RGB &want : fogs) {
        const RGB &fc = pal[makecol(want.r << 2, want.g << 2, want.b << 2)];
        ASSERT_LE(distance(fc, want), 4.0) << "no palette entry near this fog colour";
        SCOPED_TRACE(testing::Message() << "fog (" << (int)fc.r << ", " << (int)fc.g << ", " << (int)fc.b << ")");
        create_light_table(&fog, pal, fc.r, fc.g, fc.b, nullptr);
        double worst_jump = 0, weighted_jump = 0, weighted_error = 0;
        long weight = 0;
        int reversals = 0;
        long steps = 0, slips = 0;
        for (int c = 0; c < 256; c++) {
            if (!used[(size_t)c])
                continue;
            double jump = 0, error = 0;
            for (int level = 254; level >= 0; level--) {
                const RGB &p = pal[fog.data[level][c]], &q = pal[fog.data[level + 1][c]];
                jump = std::max(jump, difference(p, q));
                // Allegro's colour tables are approximate: allow rare small slips back.
                double back = difference(p, fc) - difference(q, fc);
                steps++;
                slips += back > 2.0;
                if (back > 6.0 && reversals++ == 0)
                    ADD_FAILURE() << "colour " << c << " turns away from the fog at light " << level << ": ("
                                  << (int)q.r << ", " << (int)q.g << ", " << (int)q.b << ") to (" << (int)p.r << ", "
                                  << (int)p.g << ", " << (int)p.b << ")";
                RGB ideal = {(unsigned char)std::lround(fc.r + (pal[c].r - fc.r) * level / 255.0),
                             (unsigned char)std::lround(fc.g + (pal[c].g - fc.g) * level / 255.0),
                             (unsigned char)std::lround(fc.b + (pal[c].b - fc.b) * level / 255.0), 0};
                error += difference(p, ideal) / 255;
            }
            EXPECT_LE(distance(pal[fog.data[0][c]], fc), 2.0) << "colour " << c << " is not pure fog at light 0";
            worst_jump = std::max(worst_jump, jump);
            weighted_jump += jump * (double)used[(size_t)c];
            weighted_error += error * (double)used[(size_t)c];
            weight += used[(size_t)c];
        }
        EXPECT_LE(slips, steps / 200);
        // Texel-weighted means of each colour's largest step and of its
        // distance from the true blend; and the largest step of all.
        EXPECT_LE(weighted_jump / (double)weight, 7.0);
        EXPECT_LE(weighted_error / (double)weight, 2.0);
        EXPECT_LE(worst_jump, 16.0);
    }
}

TEST(Noise, EveryPatternRepeatsEvery128Texels)
{
    for (float y = -3.25f; y < 140; y += 11.5f)
        for (float x = -7.75f; x < 140; x += 9.25f) {
            for (int cells : {1, 3, 8, 64}) {
                float n = gradient_noise(x, y, cells, 5);
                EXPECT_NEAR(n, gradient_noise(x + 128, y, cells, 5), 1e-4) << x << " " << y;
                EXPECT_NEAR(n, gradient_noise(x, y - 128, cells, 5), 1e-4) << x << " " << y;
                EXPECT_LE(std::fabs(n), 1.5f);
            }
            EXPECT_NEAR(stretched_fbm(x, y, 2, 32, 3, 9), stretched_fbm(x - 128, y + 128, 2, 32, 3, 9), 1e-4);
            CELL_HIT a = cellular(x, y, 7, 11), b = cellular(x + 128, y + 256, 7, 11);
            EXPECT_EQ(a.id, b.id);
            EXPECT_NEAR(a.f1, b.f1, 1e-3);
            EXPECT_NEAR(a.f2, b.f2, 1e-3);
            EXPECT_LE(a.f1, a.f2);
        }
}

TEST(ColourReduction, FewColoursComeThroughExactly)
{
    start_headless_allegro();
    IMAGE img(128, 128);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            int k = (x / 8) * 16 + y / 8;  // 256 colours in 8 x 8 blocks
            img.at(x, y) = rgb((float)(k % 7) * 40, (float)(k % 13) * 20, (float)(k / 2) * 2);
        }
    PALETTE pal;
    BITMAP *b = make_own_palette_bitmap(img, pal);
    ASSERT_NE(b, nullptr);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            const RGB &e = pal[getpixel(b, x, y)];
            const COLOUR &c = img.at(x, y);
            ASSERT_EQ(e.r, std::lround(c.r * 63 / 255)) << x << " " << y;
            ASSERT_EQ(e.g, std::lround(c.g * 63 / 255)) << x << " " << y;
            ASSERT_EQ(e.b, std::lround(c.b * 63 / 255)) << x << " " << y;
        }
    destroy_bitmap(b);
}

TEST(ColourReduction, ManyColoursStayClose)
{
    // Thousands of colours spread over a plane of colour space, as a
    // texture's are: every pixel must land near its own.
    start_headless_allegro();
    IMAGE img(128, 128);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            img.at(x, y) = rgb((float)x * 2, (float)y * 2, (float)(x + y));
    PALETTE pal;
    BITMAP *b = make_own_palette_bitmap(img, pal);
    ASSERT_NE(b, nullptr);
    double total = 0, worst = 0;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            const COLOUR &c = img.at(x, y);
            RGB want = {(unsigned char)std::lround(c.r * 63 / 255), (unsigned char)std::lround(c.g * 63 / 255),
                        (unsigned char)std::lround(c.b * 63 / 255), 0};
            double d = distance(pal[getpixel(b, x, y)], want);
            total += d;
            worst = std::max(worst, d);
        }
    EXPECT_LE(total / (128 * 128), 2.0);
    EXPECT_LE(worst, 4.5);
    destroy_bitmap(b);
}
