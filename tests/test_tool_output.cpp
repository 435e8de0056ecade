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
#include "land_builder.h"
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
LAND *random_land(unsigned seed)
{
    srand(seed);
    int n_textures = seed % 5 == 0 ? 256 : 1 + rand() % 6;
    LAND *l = make_solid_land(seed % 7 == 0 ? 0 : rand() % 9, seed % 11 == 0 ? 1 : rand() % 7, n_textures);
    if (seed % 3) {
        l->texture_filename = (char **)calloc(n_textures, sizeof(char *));
        for (int i = 0; i < n_textures; i++) {
            char name[24] = {};
            for (int k = 0, len = rand() % 20; k < len; k++)
                name[k] = "ab\"\\.\x01\x7f\xe9"[rand() % 8];
            l->texture_filename[i] = strdup(name);
        }
    }
    l->fog_colour = rand() % 256;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int k = 0, n = rand() % 4, z = rand() % 3 ? 0 : 65530 - 8 * n; k < n; k++, z += 3) {
                HOLLOW *h = add_hollow(l, x, y, z, z + 1 + rand() % 2, rand() % 13);
                h->floor_tex = rand() % n_textures;
                h->slope_tex[rand() % 4] = rand() % n_textures;
                for (int oz = z; oz < h->roof; oz++)
                    if (rand() % 2) {
                        OBJECT *o = add_object(h, rand() % N_OBJECT_TYPES, x, y, oz);
                        o->move_step = rand() % 30;
                        o->z_offset = -rand() % 420;
                        ((int *)o->data)[0] = rand() % 2;
                    }
            }
    add_wall_lists(l, [&] { return rand() % n_textures; });
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
        LAND *l = random_land(seed);
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
    LAND *l = random_land(3);
    FILE *full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(write_land_json(full, l, 0));
    fclose(full);
    destroy_land(l);
}
