// The view walk passes over tiles and levels too far away to show anything.
// Every view here is drawn twice, with and without that culling, and the two
// pictures must agree in every pixel: on the bundled land, on generated lands
// with stacked and very tall hollows, slopes, and rocks and players caught in
// mid-move between tiles, from viewers turning, pitching, moving and falling.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "headless.h"
#include "land/land.h"
#include "land_builder.h"
#include "random_views.h"
#include "objects/objects.h"
#include "render/render.h"
#include "shell/shell.h"
#include "tools/land_source.h"

namespace {

// Counts rock drawing calls, to see that the culling does pass things over.
draw_fn real_draw_rock;
int rock_draws;

void counting_draw_rock(OBJECT *o)
{
    rock_draws++;
    real_draw_rock(o);
}

// ---- building lands -----------------------------------------------------------

struct land_plan {
    int w, h;
    int tall;    // tiles whose lowest hollow runs from level 0 to 300
    int things;  // percent of floors with things on them
};

void pick_view_size(random_source &rng, int &w, int &h)
{
    static const int sizes[][2] = {{64, 48}, {64, 48}, {64, 48}, {64, 48}, {320, 200}, {200, 400}};
    int i = rng.draw(0, 5);
    w = sizes[i][0];
    h = sizes[i][1];
}

class ViewCulling : public ::testing::Test {
protected:
    static void SetUpTestSuite() { start_drawing_tests(); }
    static void TearDownTestSuite() { end_drawing_tests(); }

    void SetUp() override
    {
        real_draw_rock = draw_object[OBJ_ROCK];
        draw_object[OBJ_ROCK] = counting_draw_rock;
        view_culling = true;
    }

    void TearDown() override
    {
        draw_object[OBJ_ROCK] = real_draw_rock;
        view_culling = true;
        player_info[0].object = player_info[1].object = nullptr;
        player_info[0].view = nullptr;
        n_players = 0;
        if (land) {
            destroy_land(land);
            land = nullptr;
        }
        for (OBJECT *v : viewers)
            destroy_all_objects(v);
        viewers.clear();
    }

    // Makes l the current land with its fog table.
    static void use_land(LAND *l)
    {
        land = l;
        build_fog_map((RGB *)dat[DATA_PALETTE].dat, l->fog_colour);
    }

    // A player object outside every list, to see from.
    OBJECT *make_viewer(int x, int y, int z)
    {
        OBJECT *o = create_object(OBJ_PLAYER, x, y, z);
        viewers.push_back(o);
        return o;
    }

    struct draw_counts {
        int culled, unculled;
    };

    // The view of o into player_info[0].view, with the cursor's marks over
    // it in the editor, as each draws it.
    void draw_view(OBJECT *o)
    {
        draw_player_view(player_info[0].view, o);
        if (editor_running)
            draw_editor_marks(((PLAYER_DATA *)o->data)->facing);
    }

    // Draws the view of o culled and unculled and compares them row by row;
    // returns the rock drawing calls of each.  *shown counts the pixels that
    // differ from the fog colour in columns x0 to x1 - 1 and rows 0 to y1 - 1.
    draw_counts expect_same_view(OBJECT *o, int w, int h, const std::string &what, long *shown = nullptr,
                                 int x0 = 0, int x1 = INT_MAX, int y1 = INT_MAX)
    {
        BITMAP *unculled = create_bitmap(w, h), *culled = create_bitmap(w, h);
        player_info[0].object = o;
        draw_counts n;
        view_culling = false;
        player_info[0].view = unculled;
        rock_draws = 0;
        draw_view(o);
        n.unculled = rock_draws;
        view_culling = true;
        player_info[0].view = culled;
        rock_draws = 0;
        draw_view(o);
        n.culled = rock_draws;
        player_info[0].view = nullptr;
        for (int y = 0; y < h; y++) {
            if (memcmp(unculled->line[y], culled->line[y], w) == 0)
                continue;
            int x = 0;
            while (unculled->line[y][x] == culled->line[y][x])
                x++;
            ADD_FAILURE() << what << ": first difference at (" << x << ", " << y << "): unculled "
                          << (int)unculled->line[y][x] << ", culled " << (int)culled->line[y][x];
            failures++;
            break;
        }
        if (shown) {
            *shown = 0;
            for (int y = 0; y < h && y < y1; y++)
                for (int x = x0; x < w && x < x1; x++)
                    *shown += culled->line[y][x] != land->fog_colour;
        }
        destroy_bitmap(unculled);
        destroy_bitmap(culled);
        return n;
    }

    // Draws n views of the current land from random places, half of them with
    // the fog table and half unfaded.
    void compare_random_views(random_source &rng, OBJECT *o, int n, const std::string &what, draw_counts *total)
    {
        for (int i = 0; i < n; i++) {
            place_viewer(rng, o);
            int w, h;
            pick_view_size(rng, w, h);
            color_map = i % 2 ? &unfaded_map : &the_fog_map;
            const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
            std::string where = what + " view " + std::to_string(i) + " from (" + std::to_string(o->x) + ", " +
                                std::to_string(o->y) + ", " + std::to_string(o->z) + ") facing " +
                                std::to_string(p->facing) + " turn " + std::to_string(p->turn) + " pitch " +
                                std::to_string(p->pitch) + " step " + std::to_string(o->move_step) + " dir " +
                                std::to_string(o->dir) + " offset " + std::to_string(o->z_offset) + " " +
                                std::to_string(w) + "x" + std::to_string(h) +
                                (i % 2 ? " unfaded" : " fogged");
            draw_counts c = expect_same_view(o, w, h, where);
            total->culled += c.culled;
            total->unculled += c.unculled;
        }
    }

    std::vector<OBJECT *> viewers;
    int failures = 0;
};

} // namespace

TEST_F(ViewCulling, BundledLandFromItsPlayerAndFromEverywhere)
{
    LAND *l = load_land("land.lvl");
    ASSERT_NE(l, nullptr) << land_load_error();
    OBJECT *player = l->player[0];
    ASSERT_NE(player, nullptr);
    use_land(l);
    color_map = &the_fog_map;
    long shown = 0;
    expect_same_view(player, 320, 200, "land.lvl from the start", &shown);
    EXPECT_GT(shown, 320 * 200 / 4) << "the start view shows the land";

    seeded_source rng(11);
    draw_counts total = {0, 0};
    compare_random_views(rng, make_viewer(0, 0, 0), 60, "land.lvl", &total);
    // The player standing in the land sees from inside its own model.
    PLAYER_DATA *p = (PLAYER_DATA *)player->data;
    for (int facing = 0; facing < 4 && !failures; facing++)
        for (int pitch = -30; pitch <= 30; pitch += 30) {
            p->facing = facing;
            p->pitch = pitch;
            expect_same_view(player, 64, 48, "land.lvl player facing " + std::to_string(facing));
        }
}

TEST_F(ViewCulling, GeneratedLandsWithStackedHollowsSlopesAndThingsInMidMove)
{
    seeded_source rng(1234);
    const land_plan plans[] = {
        {48, 48, 0, 35},   // stacked hollows everywhere
        {40, 40, 12, 20},   // some shafts 300 levels tall
        {255, 20, 8, 25},  // a long strip
        {24, 60, 4, 90},    // crowded
    };
    draw_counts total = {0, 0};
    int n = 0;
    for (const land_plan &r : plans) {
        use_land(land_to_view(rng, r.w, r.h, r.things, r.tall));
        compare_random_views(rng, make_viewer(0, 0, 0), 45,
                             "land " + std::to_string(n++) + " (" + std::to_string(r.w) + "x" + std::to_string(r.h) + ")",
                             &total);
        destroy_land(land);
        land = nullptr;
        if (failures)
            break;
    }
    // Rocks far away were passed over, and the views were not all empty.
    EXPECT_LT(total.culled, total.unculled / 2);
    EXPECT_GT(total.culled, 0);
}

TEST_F(ViewCulling, TallShaftSeenFromEveryHeight)
{
    // A shaft 300 levels tall beside rock and beside a column of one-level
    // rooms, each with a rock: walls at every level, each with its own
    // texture, and the wall lists' cursors must stay in step when levels far
    // above and below are passed over.
    seeded_source rng(77);
    LAND *l = make_solid_land(5, 5, 12);
    load_textures(l);
    l->fog_colour = 3;
    add_hollow(l, 2, 2, 0, 300);
    add_hollow(l, 1, 2, 0, 300, 2);
    for (int z = 0; z < 300; z += 2) {
        HOLLOW *room = add_hollow(l, 3, 2, z, z + 1);
        room->floor_tex = rng.draw(0, 11);
        room->roof_tex = rng.draw(0, 11);
        OBJECT *rock = create_object(OBJ_ROCK, 3, 2, z);
        ((ROCK_DATA *)rock->data)->texture = rng.draw(0, 2);
        file_object(room, rock);
    }
    add_wall_lists(l, [&](int, int, int, int) { return rng.draw(0, l->n_textures - 1); });
    use_land(l);
    OBJECT *o = make_viewer(2, 2, 0);
    PLAYER_DATA *p = (PLAYER_DATA *)o->data;
    draw_counts total = {0, 0};
    for (int z = 0; z < 300 && !failures; z += 7) {
        o->z = z;
        o->z_offset = (z * 13) % 420;
        p->facing = z % 4;
        p->turn = z % 59 - 29;
        p->pitch = z % 61 - 30;
        color_map = z % 2 ? &unfaded_map : &the_fog_map;
        draw_counts c = expect_same_view(o, 64, 48, "shaft at level " + std::to_string(z));
        total.culled += c.culled;
        total.unculled += c.unculled;
    }
    // Only the rooms within reach above and below were drawn.
    EXPECT_EQ(total.unculled, 43 * 150);
    EXPECT_LT(total.culled, 43 * 20);
    EXPECT_GT(total.culled, 43 * 5);

    // The ramp at the foot of the shaft next door, looked down on from about
    // 10 levels up: its high edge is a level nearer than its foot.
    p->facing = 3;
    p->turn = 0;
    p->pitch = 30;
    color_map = &unfaded_map;
    for (int z = 9; z <= 11 && !failures; z++)
        for (int offset = 0; offset < 420 && !failures; offset += 21) {
            o->z = z;
            o->z_offset = offset;
            expect_same_view(o, 64, 48, "ramp from level " + std::to_string(z) + " offset " + std::to_string(offset));
        }
}

// An empty hall 16 x 23, 14 levels high, inside a border of rock.
LAND *make_hall()
{
    std::string text = "size 16 23\ntextures rock.pcx granite.bmp cobble.pcx\nfog 0\n";
    for (int z = 0; z < 14; z++) {
        text += "level " + std::to_string(z) + "\n";
        for (int y = 0; y < 23; y++) {
            std::string row;
            for (int x = 0; x < 16; x++)
                row += (x == 0 || y == 0 || x == 15 || y == 22) ? "##" : "..";
            text += row + "\n";
        }
    }
    land_source_result r = parse_land_source(text);
    if (r.land)
        load_textures(r.land);
    return r.land;
}

// A rock at level z of tile (x, y) in mid-move towards dir, climbing a level,
// with its two placeholders.
OBJECT *add_climbing_rock(int x, int y, int z, int dir, int step)
{
    OBJECT *rock = create_object(OBJ_ROCK, x, y, z);
    rock->dir = dir;
    rock->move_step = step;
    rock->z_speed = -1;
    rock->z_offset = -14 * step;
    file_object(land->tile[y][x].hollow, rock);
    add_placeholder(land->tile[y][x].hollow, x, y, z + 1, 1, rock);
    add_placeholder(land->tile[y + dir_dy[dir]][x + dir_dx[dir]].hollow, x + dir_dx[dir], y + dir_dy[dir], z + 1, 0,
                    rock);
    return rock;
}

TEST_F(ViewCulling, RocksAtTheFarCornersOfTheViewStillShow)
{
    // Looking 45 degrees down, the rays through the top corners of the view
    // run level, and a sphere up to 10 deep there can be 17.3 units away
    // across the land, far beyond any polygon's reach: it is drawn at light
    // 1.  The rocks are in mid-move across tile borders, each tile drawing
    // its own part.
    LAND *l = make_hall();
    ASSERT_NE(l, nullptr);
    use_land(l);
    OBJECT *rock = create_object(OBJ_ROCK, 11, 5, 3);
    rock->dir = 3;
    rock->move_step = 14;
    file_object(land->tile[5][11].hollow, rock);
    add_placeholder(land->tile[5][10].hollow, 10, 5, 3, 0, rock);
    // Falling, with the eye at (2.5, 18.5, 4.17); the rock's centre at
    // (11.03, 5.5, 3.5), near the top right corner, 15.4 units away.
    OBJECT *o = make_viewer(2, 18, 4);
    o->z_offset = 265;
    ((PLAYER_DATA *)o->data)->pitch = 30;
    color_map = &unfaded_map;
    long with_rock = 0, without_rock = 0;
    expect_same_view(o, 640, 480, "falling viewer", &with_rock);
    draw_object[OBJ_ROCK] = nullptr;
    expect_same_view(o, 640, 480, "falling viewer, no rock", &without_rock);
    EXPECT_GT(with_rock, without_rock + 200) << "the rock shows in the unfaded picture";
    draw_object[OBJ_ROCK] = counting_draw_rock;
    destroy_land(land);
    land = nullptr;

    // Moving, with the eye at (2.9, 21.5, 10.8) turned 18 degrees left, and
    // the mirror image of that.  A few pixels of the rock's far part show in
    // the top corner; the nearest point of the tile that draws them is 17.27
    // units from the eye.
    for (int mirror = 0; mirror < 2; mirror++) {
        std::string what = mirror ? "left corner" : "right corner";
        use_land(make_hall());
        OBJECT *v = make_viewer(mirror ? 13 : 2, 21, 10);
        v->dir = mirror ? 3 : 1;
        v->move_step = 12;
        PLAYER_DATA *p = (PLAYER_DATA *)v->data;
        p->pitch = 30;
        p->turn = mirror ? 6 : -6;
        add_climbing_rock(mirror ? 8 : 7, 4, 10, mirror ? 3 : 1, 12);
        int x0 = mirror ? 0 : 560;
        long in_corner = 0, bare_corner = 0;
        expect_same_view(v, 640, 480, what, &in_corner, x0, x0 + 80, 80);
        draw_object[OBJ_ROCK] = nullptr;
        expect_same_view(v, 640, 480, what + ", no rock", &bare_corner, x0, x0 + 80, 80);
        draw_object[OBJ_ROCK] = counting_draw_rock;
        EXPECT_GT(in_corner, bare_corner) << what;
        destroy_land(land);
        land = nullptr;
    }
}

TEST_F(ViewCulling, EditorMarksStayOnTop)
{
    seeded_source rng(5);
    use_land(land_to_view(rng, 40, 40, 30, 3));
    OBJECT *o = make_viewer(0, 0, 0);
    color_map = &the_fog_map;
    editor_running = 1;
    for (int i = 0; i < 12 && !failures; i++) {
        place_viewer(rng, o);
        xeditor = o->x + rng.draw(-2, 2);
        yeditor = o->y + rng.draw(-2, 2);
        zeditor = o->z;
        edit_mode = i % 2;
        editor_texwall = rng.draw(0, 2);
        expect_same_view(o, 64, 48, "editor view " + std::to_string(i));
    }
    // The marks are there to be seen: the cursor's own cell in front of a
    // level eye at rest.
    PLAYER_DATA *p = (PLAYER_DATA *)o->data;
    p->turn = p->pitch = 0;
    o->move_step = o->z_offset = 0;
    xeditor = o->x + dir_dx[((PLAYER_DATA *)o->data)->facing];
    yeditor = o->y + dir_dy[((PLAYER_DATA *)o->data)->facing];
    zeditor = o->z;
    BITMAP *plain = create_bitmap(64, 48), *marked = create_bitmap(64, 48);
    draw_player_view(plain, o);
    draw_player_view(marked, o);
    draw_editor_marks(((PLAYER_DATA *)o->data)->facing);
    int marked_pixels = 0;
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            marked_pixels += plain->line[y][x] != marked->line[y][x];
    EXPECT_GT(marked_pixels, 0) << "no mark drawn over the cursor's cell in front of the eye";
    destroy_bitmap(plain);
    destroy_bitmap(marked);
    editor_running = 0;
    edit_mode = 0;
}
