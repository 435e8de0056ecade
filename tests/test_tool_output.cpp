// What the land tool writes: the land's JSON, the same streamed as built as a
// string, and the size a land's file has unpacked, held against the file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "headless.h"
#include "land/land.h"
#include "random_land.h"
#include "objects/objects.h"
#include "tools/land_json.h"

namespace {

std::string streamed(const LAND *l, int players, const std::string &extra = "")
{
    FILE *f = tmpfile();
    EXPECT_TRUE(write_land_json(f, l, players, extra));
    std::string s(ftell(f), '\0');
    rewind(f);
    EXPECT_EQ(fread(&s[0], 1, s.size(), f), s.size());
    fclose(f);
    return s;
}

long saved_size(const LAND *l)
{
    std::string path = "/tmp/tavo-tool-output-" + std::to_string(getpid()) + ".lvl";
    if (save_land(l, path.c_str()) != 0)
        return -2;
    PACKFILE *f = pack_fopen(path.c_str(), "rp");
    long n = 0;
    while (f && pack_getc(f) != EOF)
        n++;
    pack_fclose(f);
    remove(path.c_str());
    return n;
}

// A small land of every awkward kind: no tiles, 256 textures, names past 12
// bytes or full of quotes and odd bytes, slopes, levels up to 65535, every
// type of object (placeholders, which are never saved, too) and walls.
LAND *awkward_land(unsigned seed)
{
    seeded_source r(seed);
    land_recipe p;
    p.n_textures = seed % 5 == 0 ? 256 : r.draw(1, 6);
    if (seed % 3)
        for (int i = 0; i < p.n_textures; i++) {
            std::string name;
            for (int k = r.draw(0, 19); k > 0; k--)
                name += "ab\"\\.\x01\x7f\xe9"[r.draw(0, 7)];
            p.texture_names.push_back(name);
        }
    p.w = {0, seed % 7 == 0 ? 0 : 8};
    p.h = seed % 11 == 0 ? span{1, 1} : span{0, 6};
    p.paint = true;
    p.shift = 33, p.shift_by = {65520, 65520};
    p.stack = {0, 3}, p.height = {1, 2}, p.gap = {2, 2};
    p.slope = 92;
    p.stacks = 60, p.stack_height = 2;
    p.mix = {4, 3, 40, 30};
    p.rocks = 20, p.diamonds = 20;
    p.player[0] = p.player[1] = 50;
    LAND *l = random_land(r, p).land;
    l->fog_colour = r.draw(0, 255);
    return l;
}

class ToolOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        start_headless_allegro();
    }
};

} // namespace

TEST_F(ToolOutput, AwkwardLandsStreamAndMeasureAsTheyAreSaved)
{
    // An extra member longer than the writer's block goes out whole.
    std::string extra = "\"trace\": [" + std::string(100000, '7') + "]";
    for (unsigned seed = 1; seed <= 300; seed++) {
        LAND *l = awkward_land(seed);
        int players = seed % 3;
        l->n_players = players;
        EXPECT_EQ(land_file_size(l), saved_size(l)) << "seed " << seed;
        const std::string &more = seed % 10 ? std::string() : extra;
        std::string text = streamed(l, players, more);
        EXPECT_EQ(text, land_json(l, players, more)) << "seed " << seed;
        // Names hold no brackets: a block lost or written twice unbalances them.
        EXPECT_EQ(std::count(text.begin(), text.end(), '{'), std::count(text.begin(), text.end(), '}')) << seed;
        EXPECT_EQ(std::count(text.begin(), text.end(), '['), std::count(text.begin(), text.end(), ']')) << seed;
        EXPECT_TRUE(more.empty() || text.find(more) != std::string::npos) << "seed " << seed;
        destroy_land(l);
    }
}

// Names are bytes: quotes and backslashes escaped, anything unprintable
// written as a code so that the JSON stays valid.
TEST_F(ToolOutput, NamesAreEscaped)
{
    EXPECT_EQ(quoted("a\"b\\c\x01\x7f\xe9"), "\"a\\\"b\\\\c\\u0001\\u007f\\u00e9\"");
    EXPECT_EQ(quoted(nullptr), "\"\"");
}

TEST_F(ToolOutput, AFullDiskIsReported)
{
    LAND *l = awkward_land(3);
    FILE *full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(write_land_json(full, l, 0));
    fclose(full);
    destroy_land(l);
}
