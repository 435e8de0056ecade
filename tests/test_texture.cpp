// Texture loading: sizes refused, palettes matched, both colour depths.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "headless.h"

#include <loadpng.h>
#include "land/land.h"

namespace {

// A game palette for the test: a grey ramp and a few pure colours.
void make_game_palette(PALETTE pal)
{
    for (int i = 0; i < 256; i++)
        pal[i].r = pal[i].g = pal[i].b = (unsigned char)(i / 4);
    pal[200] = {63, 0, 0, 0};
    pal[201] = {0, 63, 0, 0};
    pal[202] = {0, 0, 63, 0};
    pal[203] = {40, 20, 5, 0};
}

class Textures : public ::testing::Test {
protected:
    PALETTE game;
    RGB_MAP map;
    std::string dir;

    void SetUp() override
    {
        start_headless_allegro();
        make_game_palette(game);
        set_palette(game);
        create_rgb_table(&map, game, nullptr);
        rgb_map = &map;
        char tmpl[] = "/tmp/tavo-tex-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override
    {
        rgb_map = nullptr;
        std::string cmd = "rm -rf " + dir;
        (void)!system(cmd.c_str());
    }

    std::string save(const char *name, BITMAP *b, const RGB *pal)
    {
        std::string path = dir + "/" + name;
        EXPECT_EQ(save_bitmap(path.c_str(), b, pal), 0) << path;
        destroy_bitmap(b);
        return path;
    }
};

} // namespace

TEST(PowerOfTwo, OnlyTheRendererSizePasses)
{
    EXPECT_TRUE(ispowerof2(128));
    for (int n : {0, 1, 2, 64, 127, 129, 256, -128})
        EXPECT_FALSE(ispowerof2(n)) << n;
}

TEST_F(Textures, WrongSizesAndMissingFilesGiveNull)
{
    EXPECT_EQ(load_texture((dir + "/missing.pcx").c_str()), nullptr);
    EXPECT_EQ(load_texture((dir + "/no-reader.xyz").c_str()), nullptr);
    const int sizes[][2] = {{64, 64}, {256, 256}, {128, 64}, {64, 128}};
    for (auto &s : sizes) {
        std::string p = save(("t" + std::to_string(s[0]) + "x" + std::to_string(s[1]) + ".pcx").c_str(),
                             create_bitmap_ex(8, s[0], s[1]), game);
        EXPECT_EQ(load_texture(p.c_str()), nullptr) << p;
    }
}

TEST_F(Textures, EightBitImagesAreMatchedThroughTheirOwnPalette)
{
    // The image's own palette puts pure red at index 3, which is a dark grey
    // in the game palette: the texture must come back red, not grey.
    PALETTE own;
    for (int i = 0; i < 256; i++)
        own[i] = {0, 0, 0, 0};
    own[3] = {63, 0, 0, 0};
    own[4] = {0, 0, 62, 0};
    own[5] = {41, 19, 6, 0};
    BITMAP *b = create_bitmap_ex(8, 128, 128);
    clear_to_color(b, 3);
    rectfill(b, 0, 0, 63, 63, 4);
    putpixel(b, 127, 127, 5);
    std::string p = save("own.pcx", b, own);

    BITMAP *t = load_texture(p.c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->w, 128);
    EXPECT_EQ(t->h, 128);
    EXPECT_EQ(bitmap_color_depth(t), 8);
    EXPECT_EQ(getpixel(t, 100, 100), 200);
    EXPECT_EQ(getpixel(t, 10, 10), 202);
    EXPECT_EQ(getpixel(t, 127, 127), 203);
    destroy_bitmap(t);
}

TEST_F(Textures, TrueColourImagesAreMatchedToTheGamePalette)
{
    for (const char *name : {"tc.bmp", "tc.png", "tc.tga"}) {
        BITMAP *b = create_bitmap_ex(24, 128, 128);
        clear_to_color(b, makecol24(0, 255, 0));
        rectfill(b, 64, 0, 127, 127, makecol24(128, 128, 128));
        std::string p = save(name, b, nullptr);
        BITMAP *t = load_texture(p.c_str());
        ASSERT_NE(t, nullptr) << name;
        EXPECT_EQ(bitmap_color_depth(t), 8);
        EXPECT_EQ(getpixel(t, 0, 0), 201) << name;
        EXPECT_EQ(getpixel(t, 100, 5), 128) << name;  // grey 128 is index 128 of the ramp
        destroy_bitmap(t);
    }
}
