// Texture loading: sizes refused, palettes matched, both colour depths.
#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

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

namespace {

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

void put16(std::string &s, unsigned v)
{
    s += (char)(v & 255);
    s += (char)(v >> 8 & 255);
}

void put32(std::string &s, unsigned long v)
{
    put16(s, v & 0xffff);
    put16(s, v >> 16 & 0xffff);
}

// An 8-bit BMP header with a grey colour table; the pixels are the caller's.
std::string bmp8_header(unsigned long w, unsigned long h, int compression)
{
    std::string s = "BM";
    put32(s, 0);
    put32(s, 0);
    put32(s, 54 + 1024);
    for (unsigned long v : {40ul, w, h})
        put32(s, v);
    put16(s, 1);
    put16(s, 8);
    for (unsigned long v : {(unsigned long)compression, 0ul, 0ul, 0ul, 256ul, 0ul})
        put32(s, v);
    for (int i = 0; i < 256; i++)
        s += std::string(3, (char)i) + '\0';
    return s;
}

// Rows of an 8-bit bitmap as (count, value) runs of equal pixels, each no
// longer than `longest`: bottom-up for a BMP (ending each row and the
// picture with its codes), top-down for a TGA (the BMP codes left off).
std::string runs(BITMAP *b, bool bmp, int longest)
{
    std::string s;
    for (int i = 0; i < b->h; i++) {
        int y = bmp ? b->h - 1 - i : i;
        for (int x = 0; x < b->w;) {
            int n = 1;
            while (x + n < b->w && n < longest && b->line[y][x + n] == b->line[y][x])
                n++;
            s += (char)(bmp ? n : 0x80 | (n - 1));
            s += (char)b->line[y][x];
            x += n;
        }
        if (bmp)
            s += std::string("\0\0", 2);
    }
    return bmp ? s + std::string("\0\1", 2) : s;
}

// A colour-mapped, run-length encoded, top-down TGA with `colours` map entries.
std::string tga8_rle(int colours, const std::string &pixels)
{
    std::string s = {0, 1, 9};
    put16(s, 0);
    put16(s, (unsigned)colours);
    s += (char)24;
    for (unsigned v : {0u, 0u, 128u, 128u})
        put16(s, v);
    s += std::string{8, 0x20};
    for (int i = 0; i < colours; i++)
        s += std::string(3, (char)i);
    return s + pixels;
}

// The texture as load_bitmap and the documented colour route make it.
BITMAP *load_directly(const char *path)
{
    PALETTE own;
    BITMAP *img = load_bitmap(path, own);
    if (!img)
        return nullptr;
    BITMAP *tc = create_bitmap_ex(24, img->w, img->h);
    select_palette(own);
    blit(img, tc, 0, 0, 0, 0, img->w, img->h);
    unselect_palette();
    BITMAP *tex = create_bitmap(img->w, img->h);
    blit(tc, tex, 0, 0, 0, 0, img->w, img->h);
    destroy_bitmap(img);
    destroy_bitmap(tc);
    return tex;
}

} // namespace

TEST_F(Textures, SoundFilesLoadAsTheLibraryDecodesThem)
{
    register_png_file_type();
    std::vector<std::string> paths;
    DIR *bundled = opendir("textures");
    ASSERT_NE(bundled, nullptr) << "run from the game folder";
    while (dirent *e = readdir(bundled))
        if (e->d_name[0] != '.')
            paths.push_back(std::string("textures/") + e->d_name);
    closedir(bundled);
    EXPECT_GE(paths.size(), 12u);
    PALETTE pal;
    BITMAP *rock = load_bitmap("textures/rock.pcx", pal);
    BITMAP *granite = load_bitmap("textures/granite.bmp", nullptr);
    ASSERT_TRUE(rock && granite);
    for (const char *name : {"r.tga", "r.png", "r.bmp"})
        paths.push_back(save(name, create_sub_bitmap(rock, 0, 0, 128, 128), pal));
    for (const char *name : {"g.tga", "g.png", "g.pcx"})
        paths.push_back(save(name, create_sub_bitmap(granite, 0, 0, 128, 128), nullptr));
    // Run-length encoded, which the library reads but does not write.
    paths.push_back(dir + "/rle.bmp");
    write_file(paths.back(), bmp8_header(128, 128, 1) + runs(rock, true, 255));
    paths.push_back(dir + "/rle.tga");
    write_file(paths.back(), tga8_rle(256, runs(rock, false, 128)));
    destroy_bitmap(rock);
    destroy_bitmap(granite);

    for (const std::string &p : paths) {
        BITMAP *want = load_directly(p.c_str()), *got = load_texture(p.c_str());
        ASSERT_TRUE(want && got) << p << ": " << (texture_problem(p.c_str()) ? texture_problem(p.c_str()) : "");
        EXPECT_EQ(texture_problem(p.c_str()), nullptr) << p;
        for (int y = 0; y < 128; y++)
            ASSERT_EQ(memcmp(want->line[y], got->line[y], 128), 0) << p << " row " << y;
        destroy_bitmap(want);
        destroy_bitmap(got);
    }
}

TEST_F(Textures, HostileFilesAreRefusedWithTheirReason)
{
    register_png_file_type();
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes
    // The library would wrap the first one's size to 0 and write past it,
    // and spend gigabytes on the second.
    files.push_back({"wrap.bmp", bmp8_header(65536, 65536, 0)});
    files.push_back({"huge.bmp", bmp8_header(46000, 46000, 0) + std::string(4096, '\0')});
    files.push_back({"text.pcx", "this is a note about textures, not a picture\n"});
    std::string pcx = read_file("textures/rock.pcx"), bmp = read_file("textures/granite.bmp");
    ASSERT_GT(pcx.size(), 2000u);
    ASSERT_GT(bmp.size(), 2000u);
    for (size_t cut : {0ul, 100ul, 128ul, 200ul, pcx.size() / 2, pcx.size() - 769, pcx.size() - 1})
        files.push_back({"cut" + std::to_string(cut) + ".pcx", pcx.substr(0, cut)});
    for (size_t cut : {14ul, 53ul, 100ul, 1000ul, bmp.size() / 2, bmp.size() - 1})
        files.push_back({"cut" + std::to_string(cut) + ".bmp", bmp.substr(0, cut)});

    // Runs that would be written past their row, or run out of file.
    PALETTE pal;
    BITMAP *rock = load_bitmap("textures/rock.pcx", pal);
    ASSERT_NE(rock, nullptr);
    std::string bmp_runs = runs(rock, true, 255), tga_runs = runs(rock, false, 128);
    files.push_back({"wide.bmp", bmp8_header(128, 128, 1) + std::string{(char)200, 5} + bmp_runs});
    files.push_back({"short.bmp", bmp8_header(128, 128, 1) + bmp_runs.substr(0, bmp_runs.size() / 2)});
    files.push_back({"cross.tga", tga8_rle(256, std::string{(char)0x81, 7} + tga_runs)});
    files.push_back({"short.tga", tga8_rle(256, tga_runs.substr(0, tga_runs.size() - 1))});
    // More colours than the reader's 256-entry map on the stack.
    files.push_back({"map.tga", tga8_rle(300, tga_runs)});

    std::string png_path = save("whole.png", create_sub_bitmap(rock, 0, 0, 128, 128), pal);
    destroy_bitmap(rock);
    std::string png = read_file(png_path);
    for (size_t cut : {8ul, 40ul, png.size() / 2, png.size() - 1})
        files.push_back({"cut" + std::to_string(cut) + ".png", png.substr(0, cut)});
    // Whole chunks with garbled image data: libpng would stop on it after
    // loadpng made its bitmap, which loadpng then loses.  Once with the
    // chunk's checksum left wrong, once with it made right.
    std::string garbled = png;
    size_t idat = garbled.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    unsigned long length = 0;
    for (int i = 4; i > 0; i--)
        length = length << 8 | (unsigned char)garbled[idat - i];
    ASSERT_GT(length, 200u);
    for (size_t i = idat + 6; i < idat + 200; i++)
        garbled[i] = (char)(garbled[i] ^ 0x5a);
    files.push_back({"badsum.png", garbled});
    unsigned long crc = crc32(0, (const Bytef *)garbled.data() + idat, (uInt)length + 4);
    for (int i = 0; i < 4; i++)
        garbled[idat + 4 + length + i] = (char)(crc >> (24 - 8 * i));
    files.push_back({"garbled.png", garbled});

    for (auto &f : files)
        write_file(dir + "/" + f.first, f.second);
    ASSERT_EQ(mkdir((dir + "/folder.bmp").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((dir + "/pipe.tga").c_str(), 0600), 0);
    files.push_back({"folder.bmp", ""});
    files.push_back({"pipe.tga", ""});

    alarm(120);  // a loader waiting on the FIFO must fail, not hang the run
    for (auto &f : files) {
        std::string p = dir + "/" + f.first;
        EXPECT_EQ(load_texture(p.c_str()), nullptr) << f.first;
        bool absent = true;
        const char *why = texture_problem(p.c_str(), &absent);
        ASSERT_NE(why, nullptr) << f.first;
        EXPECT_EQ(std::string(why).rfind(p + ": ", 0), 0u) << why;
        EXPECT_FALSE(absent) << why;
    }
    alarm(0);
    EXPECT_STREQ(texture_problem((dir + "/wrap.bmp").c_str()),
                 (dir + "/wrap.bmp: claims 65536 x 65536 pixels; textures are 128 x 128").c_str());
    bool absent = false;
    EXPECT_NE(texture_problem((dir + "/gone.pcx").c_str(), &absent), nullptr);
    EXPECT_TRUE(absent);
}
