// What the land tool writes: the land's JSON, streamed or as a string, and
// the size a land's file has unpacked, held against the file itself.
#include <gtest/gtest.h>

#include <glob.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "headless.h"
#include "land/land.h"
#include "land_builder.h"
#include "objects/objects.h"
#include "tools/land_json.h"

namespace {

// The text as the tool wrote it before it streamed, kept as it was: every
// byte of the output must stay the same.
namespace before {

std::string field(const char *name, long v)
{
    return std::string("\"") + name + "\": " + std::to_string(v);
}

std::string quoted(const char *s)
{
    std::string out = "\"";
    for (const unsigned char *p = (const unsigned char *)(s ? s : ""); *p; p++) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += (char)*p;
        } else if (*p < 0x20 || *p >= 0x7f) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", *p);
            out += buf;
        } else {
            out += (char)*p;
        }
    }
    return out + "\"";
}

std::string object_json(const OBJECT *o)
{
    std::string s = "{" + field("type", o->type) + ", " + field("x", o->x) + ", " + field("y", o->y) + ", " +
                    field("z", o->z) + ", " + field("z_offset", o->z_offset) + ", " +
                    field("z_speed", o->z_speed) + ", " + field("dir", o->dir) + ", " +
                    field("move_step", o->move_step);
    switch (o->type) {
    case OBJ_PLAYER: {
        const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
        s += ", " + field("index", p->index) + ", " + field("facing", p->facing) + ", " + field("turn", p->turn) +
             ", " + field("pitch", p->pitch);
        break;
    }
    case OBJ_DIAMOND: s += ", " + field("spin", ((const DIAMOND_DATA *)o->data)->spin); break;
    case OBJ_ROCK: s += ", " + field("texture", ((const ROCK_DATA *)o->data)->texture); break;
    default: s += ", " + field("kind", ((const PLACEHOLDER_DATA *)o->data)->kind); break;
    }
    return s + "}";
}

std::string objects_json(const LAND *l)
{
    std::string s = "[";
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *o = h->object; o; o = o->next)
                    s += (s.size() > 1 ? ", " : "") + before::object_json(o);
    return s + "]";
}

std::string land_json(const LAND *l, int n_players, const std::string &extra)
{
    std::string s = "{" + field("n_players", n_players) + ", " + field("n_textures", l->n_textures) +
                    ", \"textures\": [";
    for (int i = 0; i < l->n_textures; i++)
        s += (i ? ", " : "") + quoted(l->texture_filename ? l->texture_filename[i] : "");
    s += "], " + field("fog_colour", l->fog_colour) + ", " + field("w", l->w) + ", " + field("h", l->h) + ", " +
         field("n_diamonds", l->n_diamonds) + ",\n \"tiles\": [";
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            const TILE *t = &l->tile[y][x];
            s += (x || y) ? ",\n  {" : "\n  {";
            s += field("x", x) + ", " + field("y", y) + ", \"hollows\": [";
            for (const HOLLOW *h = t->hollow; h; h = h->next) {
                s += h == t->hollow ? "{" : ", {";
                s += field("slope", h->slope) + ", " + field("floor", h->floor) + ", " + field("roof", h->roof) +
                     ", " + field("floor_tex", h->floor_tex) + ", " + field("roof_tex", h->roof_tex) +
                     ", \"slope_tex\": [";
                for (int d = 0; d < 4; d++)
                    s += (d ? ", " : "") + std::to_string(h->slope_tex[d]);
                s += "], \"objects\": [";
                for (const OBJECT *o = h->object; o; o = o->next)
                    s += (o == h->object ? "" : ", ") + before::object_json(o);
                s += "]}";
            }
            s += "], \"wall\": [";
            for (int d = 0; d < 4; d++) {
                s += d ? ", [" : "[";
                for (int i = 0, n = wall_length(l, x, y, d); i < n; i++)
                    s += (i ? ", " : "") + std::to_string(t->wall[d][i]);
                s += "]";
            }
            s += "]}";
        }
    s += "\n ]";
    if (!extra.empty())
        s += ",\n " + extra;
    return s + "}";
}

} // namespace before

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
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++) {
                int n = wall_length(l, x, y, d);
                l->tile[y][x].wall[d] = n ? (int *)malloc(n * sizeof(int)) : nullptr;
                for (int i = 0; i < n; i++)
                    l->tile[y][x].wall[d][i] = rand() % n_textures;
            }
    return l;
}

std::vector<std::string> bundled_lands()
{
    std::vector<std::string> names;
    glob_t g;
    if (glob("levels/*.lvl", 0, nullptr, &g) == 0)
        names.assign(g.gl_pathv, g.gl_pathv + g.gl_pathc);
    globfree(&g);
    names.insert(names.begin(), {"land.lvl", "land3.lvl"});
    return names;
}

class ToolOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        start_headless_allegro();
        editor_running = 0;
    }
};

} // namespace

TEST_F(ToolOutput, BundledLandsStreamAsTheyWereWritten)
{
    std::vector<std::string> names = bundled_lands();
    ASSERT_GT(names.size(), 2u) << "the bundled lands are built into the game folder";
    for (const std::string &name : names) {
        LAND *l = load_land(name.c_str());
        ASSERT_NE(l, nullptr) << name << ": " << land_load_error();
        std::string want = before::land_json(l, n_players, "");
        EXPECT_EQ(streamed(l, n_players), want) << name;
        EXPECT_EQ(land_json(l, n_players), want) << name;
        EXPECT_EQ(objects_json(l), before::objects_json(l)) << name;
        EXPECT_EQ(land_file_size(l), saved_size(l)) << name;
        destroy_land(l);
    }
}

TEST_F(ToolOutput, AwkwardLandsStreamAndMeasureAsTheyAreSaved)
{
    // An extra member longer than the writer's block goes out whole.
    std::string extra = "\"trace\": [" + std::string(100000, '7') + "]";
    for (unsigned seed = 1; seed <= 300; seed++) {
        LAND *l = random_land(seed);
        int players = seed % 3;
        n_players = players;
        EXPECT_EQ(land_file_size(l), saved_size(l)) << "seed " << seed;
        std::string want = before::land_json(l, players, seed % 10 ? "" : extra);
        EXPECT_EQ(streamed(l, players, seed % 10 ? "" : extra), want) << "seed " << seed;
        EXPECT_EQ(land_json(l, players, seed % 10 ? "" : extra), want) << "seed " << seed;
        EXPECT_EQ(objects_json(l), before::objects_json(l)) << "seed " << seed;
        free_land(l);
    }
    n_players = 0;
}

TEST_F(ToolOutput, AFullDiskIsReported)
{
    LAND *l = random_land(3);
    FILE *full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(write_land_json(full, l, 0));
    fclose(full);
    free_land(l);
}
