// Land files: the byte layout, round trips, and files that break the format.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "headless.h"
#include "land/land.h"
#include "land_builder.h"
#include "objects/objects.h"
#include "shell/shell.h"
#include "tools/land_json.h"
#include "tools/land_source.h"

namespace {

using bytes = std::vector<uint8_t>;

// An unpacked land stream written by hand.
struct stream {
    bytes b;
    stream &u8(int v) { b.push_back((uint8_t)v); return *this; }
    stream &u16(int v) { u8(v & 255); return u8(v >> 8); }
    stream &name(const std::string &s)
    {
        u8((int)s.size());
        for (char c : s)
            u8(c);
        return *this;
    }
    stream &hollow(int slope, int floor, int roof, int ftex = 0, int rtex = 0, int stex = 0)
    {
        u8(slope).u16(floor).u16(roof).u8(ftex).u8(rtex);
        for (int d = 0; d < 4; d++)
            u8(stex);
        return *this;
    }
};

// A 2 x 1 land: tile 0 open at levels 0-1 with player 0 (facing 1) at 0 and
// a diamond at 1; tile 1 open at level 0 with a rock.  The wall walk finds
// 2, 1, 2, 2 squares for tile 0 and 1, 1, 1, 0 for tile 1.
struct base_land {
    int players = 1;
    int n_textures = 2;
    int name_length = 5;
    int slope = 0;
    int floor0 = 0, roof0 = 2;
    int player_index = 0;
    int player_z = 0;
    int diamond_z = 1;
    int object_type = OBJ_DIAMOND;
    int floor_tex = 0;
    int wall_tex = 1;
    bool second_hollow = false;
    int second_floor = 4, second_roof = 5;

    bytes build() const
    {
        stream s;
        s.u8('T').u8('A').u8('V').u8('O').u8(players).u8(n_textures);
        for (int i = 0; i < (n_textures ? n_textures : 256); i++)
            s.name(std::string(name_length - 4, 'a' + i % 26) + ".pcx");
        s.u8(0).u8(2).u8(1);
        s.hollow(slope, floor0, roof0, floor_tex);
        s.u8(OBJ_PLAYER).u16(player_z).u8(player_index).u8(1);
        s.u8(object_type).u16(diamond_z);
        if (object_type == OBJ_PLAYER)
            s.u8(0).u8(0);
        s.u8(0);
        if (second_hollow)
            s.hollow(0, second_floor, second_roof).u8(0);
        s.u8(255);
        s.hollow(0, 0, 1).u8(OBJ_ROCK).u16(0).u8(7).u8(0).u8(255);
        int walls = 2 + 1 + 2 + 2 + 1 + 1 + 1;
        if (second_hollow)
            walls += 4 * (second_roof - second_floor);
        for (int i = 0; i < walls; i++)
            s.u8(wall_tex);
        return s.b;
    }
};

std::string temp_path(const char *name)
{
    return std::string("/tmp/tavo-landfile-") + std::to_string(getpid()) + "-" + name;
}

void write_packed(const std::string &path, const bytes &b)
{
    PACKFILE *f = pack_fopen(path.c_str(), "wp");
    ASSERT_NE(f, nullptr);
    if (!b.empty())
        pack_fwrite(b.data(), (long)b.size(), f);
    pack_fclose(f);
}

bytes read_packed(const std::string &path)
{
    bytes b;
    PACKFILE *f = pack_fopen(path.c_str(), "rp");
    if (!f)
        return b;
    int c;
    while ((c = pack_getc(f)) != EOF)
        b.push_back((uint8_t)c);
    pack_fclose(f);
    return b;
}

class LandFile : public ::testing::Test {
protected:
    std::string path = temp_path("land.lvl");
    void SetUp() override
    {
        start_headless_allegro();
    }
    void TearDown() override { remove(path.c_str()); }
    LAND *load(const bytes &b, land_use use = LAND_FOR_PLAY)
    {
        write_packed(path, b);
        return load_land(path.c_str(), use);
    }
};

} // namespace

TEST_F(LandFile, TheHandWrittenStreamLoads)
{
    LAND *l = load(base_land().build());
    ASSERT_NE(l, nullptr) << land_load_error();
    EXPECT_EQ(l->n_players, 1);
    EXPECT_EQ(l->n_textures, 2);
    EXPECT_STREQ(l->texture_filename[1], "b.pcx");
    EXPECT_EQ(l->n_diamonds, 1);
    EXPECT_EQ(l->w, 2);
    HOLLOW *h = l->tile[0][0].hollow;
    ASSERT_NE(h, nullptr);
    ASSERT_NE(h->object, nullptr);
    OBJECT *p = h->object;
    EXPECT_EQ(p->type, OBJ_PLAYER);
    EXPECT_EQ(((PLAYER_DATA *)p->data)->facing, 1);
    EXPECT_EQ(l->player[0], p);
    EXPECT_EQ(l->player[1], nullptr);
    OBJECT *rock = l->tile[0][1].hollow->object;
    int tex = ((ROCK_DATA *)rock->data)->texture;
    EXPECT_TRUE(tex >= 0 && tex <= 2) << tex;  // the stored 7 is replaced
    EXPECT_EQ(l->tile[0][1].wall[3], nullptr);
    EXPECT_EQ(l->tile[0][0].wall[1][0], 1);

    // The textures do not exist: the renderer gets the land's own pattern.
    EXPECT_EQ(l->texture[0], nullptr);
    EXPECT_NE(land_texture(l, 0), nullptr);
    EXPECT_EQ(land_texture(l, 0), land_texture(l, 5));
    char why[200];
    EXPECT_TRUE(check_land(l, why, sizeof why)) << why;

    destroy_land(l);
}

TEST_F(LandFile, EveryTruncationIsRefused)
{
    bytes whole = base_land().build();
    for (size_t n = 0; n < whole.size(); n++) {
        bytes part(whole.begin(), whole.begin() + n);
        LAND *l = load(part);
        EXPECT_EQ(l, nullptr) << "prefix of " << n << " bytes";
        if (l)
            destroy_land(l);
    }
}

TEST_F(LandFile, BrokenStructuresAreRefused)
{
    // Each case is refused for its own reason, not by accident further on.
    struct broken {
        const char *what;
        const char *reason;
        base_land b;
    };
    std::vector<broken> cases;
    auto add = [&](const char *what, const char *reason, auto change) {
        base_land b;
        change(b);
        cases.push_back({what, reason, b});
    };
    add("slope above 12", "slope above 12", [](base_land &b) { b.slope = 13; });
    add("object type 4", "unknown type", [](base_land &b) { b.object_type = 4; });
    add("object type 255", "unknown type", [](base_land &b) { b.object_type = 255; });
    add("player number 2", "other than 0 or 1", [](base_land &b) { b.player_index = 2; });
    add("texture name of 13 bytes", "longer than 12", [](base_land &b) { b.name_length = 13; });
    add("floor equal to roof", "not below its roof", [](base_land &b) { b.roof0 = 0; b.diamond_z = 0; });
    add("floor above roof", "not below its roof", [](base_land &b) { b.floor0 = 3; b.roof0 = 2; });
    add("overlapping hollows", "overlap", [](base_land &b) { b.second_hollow = true; b.second_floor = 1; b.second_roof = 3; });
    add("hollows out of order", "overlap", [](base_land &b) {
        b.second_hollow = true; b.floor0 = 5; b.roof0 = 7; b.player_z = 5; b.diamond_z = 6;
        b.second_floor = 0; b.second_roof = 1; });
    add("object at the roof", "outside its hollow", [](base_land &b) { b.diamond_z = 2; });
    add("object below the floor", "outside its hollow", [](base_land &b) { b.floor0 = 1; b.roof0 = 3; b.diamond_z = 1; });
    add("objects out of order", "outside its hollow or out of order", [](base_land &b) { b.player_z = 1; b.diamond_z = 0; });
    add("a player placed twice", "placed twice", [](base_land &b) { b.object_type = OBJ_PLAYER; });
    add("floor texture not below the count", "texture number", [](base_land &b) { b.floor_tex = 2; });
    add("wall texture not below the count", "texture number", [](base_land &b) { b.wall_tex = 2; });
    add("three players declared", "more than 2 players", [](base_land &b) { b.players = 3; });
    add("two players declared, one placed", "not placed", [](base_land &b) { b.players = 2; });
    add("two objects at one level", "two objects", [](base_land &b) { b.diamond_z = 0; });
    add("an object inside the ramp", "inside the slope", [](base_land &b) { b.slope = 1; });

    for (auto &c : cases) {
        LAND *l = load(c.b.build());
        EXPECT_EQ(l, nullptr) << c.what;
        if (l)
            destroy_land(l);
        EXPECT_NE(std::string(land_load_error()).find(c.reason), std::string::npos)
            << c.what << ": " << land_load_error();
    }

    // Magic, and a file that is not packed at all.
    bytes b = base_land().build();
    b[3] = 'X';
    EXPECT_EQ(load(b), nullptr);
    FILE *f = fopen(path.c_str(), "wb");
    fputs("TAVO and then some", f);
    fclose(f);
    EXPECT_EQ(load_land(path.c_str()), nullptr);
    EXPECT_EQ(load_land("/nonexistent/land.lvl"), nullptr);
}

TEST_F(LandFile, TheEditorTakesPlayersAsPlacedAndKeepsTheGameTableAlone)
{
    base_land b;
    b.players = 3;  // only player 0 placed: the editor counts what is there
    LAND *l = load(b.build(), LAND_FOR_EDITING);
    ASSERT_NE(l, nullptr) << land_load_error();
    EXPECT_EQ(l->n_players, 1);
    EXPECT_NE(l->player[0], nullptr);
    EXPECT_EQ(l->player[1], nullptr);
    EXPECT_EQ(player_info[0].object, nullptr);
    destroy_land(l);
}

// Only regular files are opened: a FIFO would block the reader for ever.
TEST_F(LandFile, OnlyRegularFilesAreOpened)
{
    std::string fifo = temp_path("fifo.lvl"), dir = temp_path("dir.lvl");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    for (const std::string &p : {fifo, dir}) {
        EXPECT_EQ(load_land(p.c_str()), nullptr) << p;
        EXPECT_STREQ(land_load_error(), "not a regular file") << p;
    }
    remove(fifo.c_str());
    rmdir(dir.c_str());
}

// A land beyond the reader's limits is refused before it is allocated.
TEST_F(LandFile, LimitsAreHeld)
{
    // A row of 255 columns open through every level: each shows 2 x 65535
    // wall squares, twice the limit, from a file of a few kilobytes.
    stream tall;
    tall.u8('T').u8('A').u8('V').u8('O').u8(0).u8(1).name("a.pcx").u8(0).u8(255).u8(1);
    for (int x = 0; x < 255; x++)
        tall.hollow(0, 0, 65535).u8(0).u8(255);
    EXPECT_EQ(load(tall.b), nullptr);
    EXPECT_NE(std::string(land_load_error()).find("wall squares"), std::string::npos) << land_load_error();

    // 17 hollows, or 17 objects, in every tile of the largest grid.
    for (bool objects : {false, true}) {
        stream many;
        many.u8('T').u8('A').u8('V').u8('O').u8(0).u8(1).name("a.pcx").u8(0).u8(255).u8(255);
        for (int t = 0; t < 255 * 255; t++) {
            for (int k = 0; k < (objects ? 1 : 17); k++) {
                many.hollow(0, objects ? 0 : 2 * k, objects ? 17 : 2 * k + 1);
                for (int z = 0; objects && z < 17; z++)
                    many.u8(OBJ_DIAMOND).u16(z);
                many.u8(0);
            }
            many.u8(255);
        }
        EXPECT_EQ(load(many.b), nullptr) << objects;
        EXPECT_NE(std::string(land_load_error()).find(objects ? "objects" : "hollows"), std::string::npos)
            << land_load_error();
    }
}

TEST_F(LandFile, AFailedLoadLeavesTheCurrentLandsGlobalsAlone)
{
    LAND *l = load(base_land().build());
    ASSERT_NE(l, nullptr);
    set_game_land(l);
    OBJECT *p = player_info[0].object;
    base_land bad;
    bad.slope = 99;
    std::string other = temp_path("bad.lvl");
    write_packed(other, bad.build());
    EXPECT_EQ(load_land(other.c_str()), nullptr);
    EXPECT_EQ(n_players, 1);
    EXPECT_EQ(player_info[0].object, p);
    remove(other.c_str());
    free_game_land();
}

TEST_F(LandFile, SavedBytesFollowTheLayout)
{
    // 256 textures are stored as a count of 0; a solid tile is the single
    // byte 255; a hollow without objects is 11 bytes and a 0.
    LAND *l = make_solid_land(2, 1, 256);
    l->texture_filename = (char **)calloc(256, sizeof(char *));
    for (int i = 0; i < 256; i++)
        l->texture_filename[i] = strdup(i == 255 ? "last.bmp" : "t.pcx");
    HOLLOW *h = add_hollow(l, 1, 0, 258, 260, 3);
    h->floor_tex = 255;
    h->roof_tex = 254;
    for (int d = 0; d < 4; d++)
        h->slope_tex[d] = 10 + d;
    for (int d = 0; d < 4; d++) {
        int n = wall_length(l, 1, 0, d);
        l->tile[0][1].wall[d] = (int *)malloc(n * sizeof(int));
        for (int i = 0; i < n; i++)
            l->tile[0][1].wall[d][i] = 100 + d;
    }
    ASSERT_EQ(save_land(l, path.c_str()), 0);
    bytes b = read_packed(path);

    size_t names = 255 * 6 + 9;
    size_t at = 6 + names;
    ASSERT_EQ(b.size(), at + 3 + 1 + 11 + 1 + 1 + 4 * 2);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "TAVO");
    EXPECT_EQ(b[4], 0);  // players
    EXPECT_EQ(b[5], 0);  // 256 textures
    EXPECT_EQ(std::string(b.begin() + at - 8, b.begin() + at), "last.bmp");
    EXPECT_EQ(b[at + 1], 2);
    EXPECT_EQ(b[at + 2], 1);
    EXPECT_EQ(b[at + 3], 255);  // solid tile
    const uint8_t hollow[] = {3, 2, 1, 4, 1, 255, 254, 10, 11, 12, 13, 0, 255};
    EXPECT_EQ(bytes(b.begin() + at + 4, b.begin() + at + 17), bytes(hollow, hollow + 13));
    const uint8_t walls[] = {100, 100, 101, 101, 102, 102, 103, 103};
    EXPECT_EQ(bytes(b.begin() + at + 17, b.end()), bytes(walls, walls + 8));

    LAND *back = load_land(path.c_str());
    ASSERT_NE(back, nullptr) << land_load_error();
    EXPECT_EQ(back->n_textures, 256);
    EXPECT_STREQ(back->texture_filename[255], "last.bmp");
    destroy_land(back);
    destroy_land(l);
}

TEST_F(LandFile, SaveAndLoadGiveTheSameLand)
{
    const char *source = R"(
size 5 4
textures rock.pcx granite.pcx cobble.pcx brick.pcx grass.pcx
fog 9
default floor 4 roof 1 wall 3 slope 2
facing P 3
facing Q 1
level 0
  ##########
  ##.P.D.R##
  ##^...####
  ##########
level 1 floor 0
  ##########
  ##.R...D##
  ##.Q#.>.##
  ##########
level 3
  ..........
  ##########
  ##.......D
  ##########
paint wall 1 1 3 2 0-1 2 side 0
paint slope 1 2 1 2 0 3 side 2
)";
    land_source_result r = parse_land_source(source);
    ASSERT_NE(r.land, nullptr) << r.error;
    EXPECT_EQ(r.n_players, 2);
    EXPECT_EQ(r.land->n_players, 2);
    ASSERT_EQ(save_land(r.land, path.c_str()), 0);
    std::string before = land_json(r.land, r.n_players);
    destroy_land(r.land);

    LAND *l = load_land(path.c_str());
    ASSERT_NE(l, nullptr) << land_load_error();
    // Rocks come back with new textures from 0 to 2; put the old ones back.
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (OBJECT *o = h->object; o; o = o->next)
                    if (o->type == OBJ_ROCK) {
                        EXPECT_LT(((ROCK_DATA *)o->data)->texture, 3);
                        ((ROCK_DATA *)o->data)->texture = 0;
                    }
    EXPECT_EQ(land_json(l, l->n_players), before);
    EXPECT_EQ(l->n_diamonds, 3);
    char why[200];
    EXPECT_TRUE(check_land(l, why, sizeof why)) << why;
    destroy_land(l);
}

TEST_F(LandFile, SavingToAnUnwritablePlaceReportsFailure)
{
    LAND *l = make_solid_land(1, 1);
    EXPECT_NE(save_land(l, "/nonexistent-folder/land.lvl"), 0);
    destroy_land(l);
}
