// Rocks are drawn by fast sphere fills: four rows at a time, and inside a view
// last to first, skipping the pixels that later things cover.  They must draw
// the very bytes of the plain loop that goes one pixel after another, which
// stays as their reference.  Whole views are drawn with each fill and
// compared: lands crowded with rocks standing, rolling across tile borders,
// climbing and falling, among slopes, players and diamonds, seen from viewers
// turning, pitching, moving and falling, at every size a view takes on the
// screen; and single spheres of any size and place drawn straight into a
// bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "headless.h"
#include "land/land.h"
#include "random_views.h"
#include "objects/objects.h"
#include "render/render.h"
#include "render/sphere_fill.h"
#include "shell/shell.h"

namespace {

const sphere_fill_kind fast_fills[] = {SPHERE_FILL_PORTABLE, SPHERE_FILL_SSE2};

class SphereFill : public ::testing::Test {
protected:
    static void SetUpTestSuite() { start_drawing_tests(); }
    static void TearDownTestSuite() { end_drawing_tests(); }

    void TearDown() override
    {
        sphere_fill = sphere_fill_best;
        view_culling = true;
        editor_running = 0;
        for (PLAYER_INFO &p : player_info)
            p.object = nullptr, p.view = nullptr;
        n_players = 0;
        if (land) {
            destroy_land(land);
            land = nullptr;
        }
        for (OBJECT *v : viewers)
            destroy_all_objects(v);
        if (picture)
            destroy_bitmap(picture);
    }

    void use_land(LAND *l)
    {
        if (land)
            destroy_land(land);
        land = l;
        build_fog_map((RGB *)dat[DATA_PALETTE].dat, l->fog_colour);
    }

    // A player object outside every list, to see from.
    OBJECT *make_viewer()
    {
        OBJECT *o = create_object(OBJ_PLAYER, 0, 0, 0);
        viewers.push_back(o);
        return o;
    }

    // Reports where two pictures first differ; true when they do not.
    bool expect_same(BITMAP *want, BITMAP *got, const std::string &what)
    {
        for (int y = 0; y < want->h; y++) {
            if (memcmp(want->line[y], got->line[y], want->w) == 0)
                continue;
            int x = 0;
            while (want->line[y][x] == got->line[y][x])
                x++;
            ADD_FAILURE() << what << ": first difference at (" << x << ", " << y << "): reference "
                          << (int)want->line[y][x] << ", fast " << (int)got->line[y][x];
            failures++;
            return false;
        }
        return true;
    }

    // Draws player p's view with the reference fill and with each fast one
    // and compares them.  Returns the pixels the rocks changed in the
    // reference picture, from a third drawing without them, when asked.
    long compare_view(int p, const std::string &what, bool count_rock_pixels = false)
    {
        BITMAP *view = player_info[p].view;
        if (!picture || picture->w != view->w || picture->h != view->h) {
            if (picture)
                destroy_bitmap(picture);
            picture = create_bitmap(view->w, view->h);
        }
        sphere_fill = SPHERE_FILL_REFERENCE;
        draw_player_view(player_info[p].view, player_info[p].object);
        blit(view, picture, 0, 0, 0, 0, view->w, view->h);
        for (sphere_fill_kind k : fast_fills) {
            sphere_fill = k;
            draw_player_view(player_info[p].view, player_info[p].object);
            if (!expect_same(picture, view, what + (k == SPHERE_FILL_SSE2 ? " (SSE2)" : " (portable)")))
                break;
        }
        sphere_fill = sphere_fill_best;
        if (!count_rock_pixels)
            return 0;
        draw_fn rock = draw_object[OBJ_ROCK];
        draw_object[OBJ_ROCK] = nullptr;
        draw_player_view(player_info[p].view, player_info[p].object);
        draw_object[OBJ_ROCK] = rock;
        long changed = 0;
        for (int y = 0; y < view->h; y++)
            for (int x = 0; x < view->w; x++)
                changed += view->line[y][x] != picture->line[y][x];
        return changed;
    }

    std::string describe(const OBJECT *o, const BITMAP *view)
    {
        const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
        return "from (" + std::to_string(o->x) + ", " + std::to_string(o->y) + ", " + std::to_string(o->z) +
               ") facing " + std::to_string(p->facing) + " turn " + std::to_string(p->turn) + " pitch " +
               std::to_string(p->pitch) + " step " + std::to_string(o->move_step) + " dir " +
               std::to_string(o->dir) + " offset " + std::to_string(o->z_offset) + " " +
               std::to_string(view->w) + "x" + std::to_string(view->h) +
               (color_map == &unfaded_map ? " unfaded" : " fogged") + (view_culling ? "" : " unculled");
    }

    std::vector<OBJECT *> viewers;
    BITMAP *picture = nullptr;
    int failures = 0;
};

} // namespace

TEST_F(SphereFill, EveryViewOfEveryScreenSize)
{
    // The views the game cuts from each screen: one player in the right three
    // quarters, two players side by side above their panels.
    seeded_source rng(2024);
    use_land(land_to_view(rng, 24, 24, 60));
    OBJECT *eyes[2] = {make_viewer(), make_viewer()};
    long rock_pixels = 0;
    for (int m = 0; m < N_GFX_MODES && !failures; m++) {
        int w = gfx_mode_d[m].w, h = gfx_mode_d[m].h;
        BITMAP *screen_buffer = create_bitmap(w, h);
        for (int players = 1; players <= 2 && !failures; players++) {
            for (int p = 0; p < players; p++) {
                player_info[p].view = players == 1 ? create_sub_bitmap(screen_buffer, w / 4, 0, w - w / 4, h)
                                                   : create_sub_bitmap(screen_buffer, p * (w / 2), 0, w / 2, h - h / 4);
                player_info[p].object = eyes[p];
            }
            for (int frame = 0; frame < 2 && !failures; frame++)
                for (int p = 0; p < players && !failures; p++) {
                    place_viewer(rng, eyes[p]);
                    color_map = rng.chance(50) ? &unfaded_map : &the_fog_map;
                    rock_pixels += compare_view(p, describe(eyes[p], player_info[p].view), frame == 0);
                }
            for (int p = 0; p < players; p++) {
                destroy_bitmap(player_info[p].view);
                player_info[p].view = nullptr;
            }
        }
        destroy_bitmap(screen_buffer);
    }
    EXPECT_GT(rock_pixels, 200000) << "the views show plenty of rocks";
}

TEST_F(SphereFill, ThousandsOfSmallViewsOfCrowdedLands)
{
    seeded_source rng(77);
    OBJECT *o = make_viewer();
    static const int sizes[][2] = {{64, 48}, {80, 60}, {63, 47}, {47, 90}, {96, 40}};
    long rock_pixels = 0;
    for (int l = 0; l < 4 && !failures; l++) {
        int w = rng.draw(6, 30), h = rng.draw(6, 30);
        use_land(land_to_view(rng, w, h, l % 2 ? 90 : 40));
        for (int i = 0; i < 500 && !failures; i++) {
            const int *size = sizes[rng.draw(0, 4)];
            BITMAP *view = create_bitmap(size[0], size[1]);
            player_info[0].view = view;
            player_info[0].object = o;
            place_viewer(rng, o);
            color_map = i % 2 ? &unfaded_map : &the_fog_map;
            view_culling = i % 10 != 0;
            editor_running = i % 50 == 7;
            xeditor = o->x;
            yeditor = o->y;
            zeditor = o->z;
            rock_pixels += compare_view(0, "land " + std::to_string(l) + " view " + std::to_string(i) + " " +
                                               describe(o, view),
                                        i % 10 == 0);
            player_info[0].view = nullptr;
            destroy_bitmap(view);
        }
    }
    EXPECT_GT(rock_pixels, 50000);
}

TEST_F(SphereFill, OrderNumbersRunningOutAnywhereInAViewChangeNothing)
{
    // When the order numbers run out, the waiting spheres are drawn there
    // and then, and numbering starts again over a clear owner buffer.  Each
    // view is drawn once for every sphere and polygon that could be the one
    // to find the numbers gone.
    seeded_source rng(5);
    use_land(land_to_view(rng, 16, 16, 90));
    OBJECT *o = make_viewer();
    BITMAP *view = create_bitmap(96, 72);
    player_info[0].view = view;
    player_info[0].object = o;
    color_map = &unfaded_map;
    picture = create_bitmap(96, 72);
    int ran_out = 0;
    for (int i = 0; i < 2 && !failures; i++) {
        place_viewer(rng, o);
        sphere_fill = SPHERE_FILL_REFERENCE;
        draw_player_view(player_info[0].view, player_info[0].object);
        blit(view, picture, 0, 0, 0, 0, view->w, view->h);
        for (sphere_fill_kind k : fast_fills) {
            sphere_fill = k;
            restart_sphere_orders(1);
            draw_player_view(player_info[0].view, player_info[0].object);
            unsigned used = restart_sphere_orders(1) - 1;
            for (unsigned left = 1; left <= used && !failures; left++) {
                restart_sphere_orders(LAST_SPHERE_ORDER - left);
                draw_player_view(player_info[0].view, player_info[0].object);
                ran_out += restart_sphere_orders(1) < LAST_SPHERE_ORDER - left;
                expect_same(picture, view, "numbers running out after " + std::to_string(left) + " " +
                                               describe(o, view) + (k == SPHERE_FILL_SSE2 ? " (SSE2)" : " (portable)"));
            }
        }
    }
    EXPECT_GT(ran_out, 500) << "the numbers ran out in the middle of views";
    player_info[0].view = nullptr;
    destroy_bitmap(view);
}

TEST_F(SphereFill, SpheresOfAnySizeAndPlaceDrawnStraightIntoABitmap)
{
    // Outside a view's walk a sphere is drawn at once.  Radii that are not
    // powers of two, boxes that cut the sphere or leave it whole, spheres
    // just past the near depth, beyond the far one, across the edges of the
    // bitmap, and textures that are sub-bitmaps of a bigger one.
    seeded_source rng(31);
    auto real = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng.rng); };
    BITMAP *big = create_bitmap(300, 200);
    for (int y = 0; y < big->h; y++)
        for (int x = 0; x < big->w; x++)
            big->line[y][x] = (unsigned char)(x * 7 + y * 13);
    BITMAP *textures[2] = {create_sub_bitmap(big, 17, 33, 128, 128), create_bitmap(128, 128)};
    blit(big, textures[1], 100, 50, 0, 0, 128, 128);
    OBJECT *o = make_viewer();
    dpv_object = o;
    dpv_player = (PLAYER_DATA *)o->data;
    color_map = &the_fog_map;
    land = nullptr;
    build_fog_map((RGB *)dat[DATA_PALETTE].dat, 3);
    int drawn = 0;
    for (int i = 0; i < 3000 && !failures; i++) {
        int w = rng.draw(20, 200), h = rng.draw(20, 200);
        BITMAP *want = create_bitmap(w, h), *got = create_bitmap(w, h);
        PLAYER_DATA *p = (PLAYER_DATA *)o->data;
        p->facing = rng.draw(0, 3);
        p->turn = rng.draw(-29, 29);
        p->pitch = rng.draw(-30, 30);
        o->x = rng.draw(-5, 5);
        o->y = rng.draw(-5, 5);
        o->z = rng.draw(-2, 2);
        o->dir = rng.draw(0, 3);
        o->move_step = rng.chance(30) ? rng.draw(1, 29) : 0;
        o->z_offset = rng.chance(30) ? rng.draw(-84, 419) : 0;
        float r = rng.chance(30) ? 0.5f : real(0.01f, 3.0f);
        float cx = real(-8.0f, 8.0f), cy = real(-8.0f, 8.0f), cz = real(-4.0f, 6.0f);
        float x0 = cx - r, x1 = cx + r, y0 = cy - r, y1 = cy + r;
        if (rng.chance(50)) {
            x0 = floorf(cx) + (rng.chance(50) ? 0 : -1);
            x1 = x0 + 1;
            y0 = floorf(cy);
            y1 = y0 + 1;
        }
        BITMAP *tex = textures[rng.draw(0, 1)];
        color_map = i % 2 ? &unfaded_map : &the_fog_map;
        clear_to_color(want, 9);
        clear_to_color(got, 9);
        dpv_view = want;
        sphere_fill = SPHERE_FILL_REFERENCE;
        draw_sphere(x0, x1, y0, y1, cx, cy, cz, r, tex);
        for (sphere_fill_kind k : fast_fills) {
            sphere_fill = k;
            dpv_view = got;
            draw_sphere(x0, x1, y0, y1, cx, cy, cz, r, tex);
            expect_same(want, got, "sphere " + std::to_string(i) + " r " + std::to_string(r) + " " + describe(o, got));
        }
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                if (want->line[y][x] != 9) {
                    drawn++;
                    y = h;
                    break;
                }
        destroy_bitmap(want);
        destroy_bitmap(got);
    }
    dpv_view = nullptr;
    dpv_object = nullptr;
    dpv_player = nullptr;
    EXPECT_GT(drawn, 500) << "many of the spheres showed";
    destroy_bitmap(textures[0]);
    destroy_bitmap(textures[1]);
    destroy_bitmap(big);
}
