// The renderer's arithmetic and orders: fog light, back faces, the clipping
// depths, the camera and eye, and the order in which tiles, hollows and
// objects are drawn, seen through stand-ins put into the draw_object table.
#include <gtest/gtest.h>

#include <cmath>

#include <utility>
#include <vector>

#include "land_builder.h"
#include "render/pipeline.h"
#include "render_fixture.h"

using namespace render_test;

namespace {

// ---- fog light ------------------------------------------------------------------

TEST(RenderFogLight, FadesTwentyFiveAndAHalfStepsPerUnitDownToOne)
{
    bool lit = false;
    EXPECT_EQ(fog_light(4.0, &lit), 153);
    EXPECT_TRUE(lit);
    EXPECT_EQ(fog_light(0.05, &lit), 254);
    EXPECT_TRUE(lit);
    EXPECT_EQ(fog_light(0.0, &lit), 255);
    EXPECT_EQ(fog_light(9.99, &lit), 1);
    EXPECT_TRUE(lit);
}

TEST(RenderFogLight, TenUnitsAndBeyondAreUnlitAtLightOne)
{
    for (double d : {10.0, 10.5, 12.0, 100.0}) {
        bool lit = true;
        EXPECT_EQ(fog_light(d, &lit), 1) << d;
        EXPECT_FALSE(lit) << d;
    }
}

// ---- the polygon pipeline, driven directly in camera space ------------------------

class RenderPipeline : public ::testing::Test {
protected:
    static constexpr int UNTOUCHED = 0;
    BITMAP *view = nullptr;
    BITMAP *tex = nullptr;

    void SetUp() override
    {
        start_renderer();
        color_map = light_probe();
        tex = solid_texture(7);
        view = create_bitmap_ex(8, 100, 100);
        clear_to_color(view, UNTOUCHED);
        dpv_view = view;
        set_projection_viewport(0, 0, 100, 100);
        dpv_m = identity_matrix_f;  // world space is camera space
    }
    void TearDown() override
    {
        destroy_bitmap(view);
        destroy_bitmap(tex);
    }

    // A square of half-size s at depth z, corners in the order of a wall
    // (top-left, bottom-left, bottom-right, top-right on the screen).
    void draw_square(double s, double z, bool reversed = false)
    {
        float q[4][3] = {{(float)-s, (float)-s, (float)z}, {(float)-s, (float)s, (float)z},
                         {(float)s, (float)s, (float)z}, {(float)s, (float)-s, (float)z}};
        if (reversed) {
            std::swap(q[0], q[3]);
            std::swap(q[1], q[2]);
        }
        draw_land_polygon(q, 4, 0, tex);
    }
    int changed() const
    {
        int n = 0;
        for (int j = 0; j < 100; j++)
            for (int i = 0; i < 100; i++)
                n += view->line[j][i] != UNTOUCHED;
        return n;
    }
};

TEST_F(RenderPipeline, QuadFacingTheEyeIsFilledAtItsCornersLight)
{
    draw_square(1, 2);
    // Corners sqrt(6) away: light 255 - floor(62.46) everywhere on the quad,
    // which projects onto the middle half of the view.
    for (int j = 0; j < 100; j++)
        for (int i = 0; i < 100; i++) {
            bool inside = i > 25 && i < 74 && j > 25 && j < 74;
            bool outside = i < 24 || i > 76 || j < 24 || j > 76;
            if (inside) {
                ASSERT_EQ(view->line[j][i], 193) << i << "," << j;
            }
            if (outside) {
                ASSERT_EQ(view->line[j][i], UNTOUCHED) << i << "," << j;
            }
        }
}

TEST_F(RenderPipeline, SameQuadReversedFacesAwayAndIsSkipped)
{
    draw_square(1, 2, true);
    EXPECT_EQ(changed(), 0);
    draw_square(1, 2, false);
    EXPECT_GT(changed(), 2000);
}

TEST_F(RenderPipeline, NothingNearerThanTheNearDepthIsDrawn)
{
    draw_square(0.04, 0.05);
    EXPECT_EQ(changed(), 0);
    draw_square(0.04, 0.15);  // the same square just past the near depth
    EXPECT_GT(changed(), 400);
}

TEST_F(RenderPipeline, PolygonWhoseCornersAreAllInTheFogIsSkipped)
{
    // Depth 9.9, but every corner more than 10 units from the eye.
    draw_square(2, 9.9);
    EXPECT_EQ(changed(), 0);
    // Corners 9.925 away: light 2 all over.
    draw_square(0.5, 9.9);
    ASSERT_GT(changed(), 0);
    EXPECT_EQ(view->line[50][50], 2);
}

TEST_F(RenderPipeline, NothingBeyondTheFarDepthIsDrawn)
{
    draw_square(0.5, 10.5);
    EXPECT_EQ(changed(), 0);
    // A floor two units below the eye, from 2 to 20 deep: depth 10 projects
    // onto row 60, depth 20 onto row 55.
    const float floor[4][3] = {{-3, 2, 20}, {-3, 2, 2}, {3, 2, 2}, {3, 2, 20}};
    draw_land_polygon(floor, 4, 0, tex);
    for (int j = 0; j < 100; j++) {
        int row = 0;
        for (int i = 40; i < 60; i++)
            row += view->line[j][i] != UNTOUCHED;
        if (j < 60) {
            EXPECT_EQ(row, 0) << "row " << j;
        }
        if (j > 61 && j < 99) {
            EXPECT_EQ(row, 20) << "row " << j;
        }
    }
}

// ---- camera and eye ---------------------------------------------------------------

class RenderCamera : public ::testing::Test {
protected:
    void SetUp() override
    {
        start_renderer();
        land = land_from_text("size 5 5\n"
                              "level 0\n"
                              "  ..........\n  ..........\n  ..........\n  ..........\n  ..........\n"
                              "level 1\n"
                              "  ..........\n  ..........\n  ..........\n  ..........\n  ..........\n"
                              "level 2\n"
                              "  ..........\n  ..........\n  ..........\n  ..........\n  ..........\n"
                              "level 3\n"
                              "  ..........\n  ..........\n  ..........\n  ..........\n  ..........\n",
                              {2});
        ASSERT_NE(land, nullptr);
        use_fog(0);
    }
    void TearDown() override
    {
        destroy_land(land);
        land = nullptr;
    }
};

void expect_maps_to(vec3d world, double x, double y, double z, const char *what)
{
    float cx, cy, cz;
    apply_matrix_f(&dpv_m, (float)world.x, (float)world.y, (float)world.z, &cx, &cy, &cz);
    EXPECT_NEAR(cx, x, 1e-5) << what;
    EXPECT_NEAR(cy, y, 1e-5) << what;
    EXPECT_NEAR(cz, z, 1e-5) << what;
}

TEST_F(RenderCamera, FacingsLookAlongTheFourDirectionsAndPositivePitchLooksDown)
{
    const vec3d towards[4] = {{0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
    for (int f = 0; f < 4; f++) {
        viewer v(2, 2, 1, f);
        v.draw();
        camera c(v);
        expect_maps_to(c.eye + towards[f], 0, 0, 1, "facing");
        expect_maps_to(c.eye + vec3d{0, 0, -1}, 0, 1, 0, "down the screen");
    }
    viewer v(2, 2, 1, 1);
    v.player.pitch = 30;
    v.draw();
    camera c(v);
    double s = std::sqrt(0.5);
    expect_maps_to(c.eye + vec3d{s, 0, -s}, 0, 0, 1, "45 degrees down");
    v.player.pitch = -30;
    v.player.turn = 15;
    v.draw();
    camera c2(v);
    expect_maps_to(c2.eye + vec3d{0.5, 0.5, s}, 0, 0, 1, "turned 45 degrees and 45 up");
}

TEST_F(RenderCamera, EyeSlidesAlongTheMoveAndSinksWithTheHeightOffset)
{
    const double one_30th = 0.033333335, one_420th = 0.0023809525;
    for (int dir = 0; dir < 4; dir++)
        for (int step : {0, 1, 14, 15, 29})
            for (int z_offset : {0, 200, -200}) {
                viewer v(2, 2, 1, (dir + 1) & 3);
                v.player.turn = 7;
                v.player.pitch = -11;
                v.object.dir = dir;
                v.object.move_step = step;
                v.object.z_offset = z_offset;
                v.draw();
                double d = step * one_30th;
                vec3d eye = {2.5 + (dir == 1 ? d : dir == 3 ? -d : 0), 2.5 + (dir == 2 ? d : dir == 0 ? -d : 0),
                             1.8 - z_offset * one_420th};
                expect_maps_to(eye, 0, 0, 0, "the eye is the camera's origin");
            }
}

TEST_F(RenderCamera, ViewerLevelFollowsTheEyeAcrossLevelBoundaries)
{
    const std::pair<int, int> cases[] = {{0, 2}, {336, 2}, {337, 1}, {-83, 2}, {-84, 3}, {420, 1}};
    for (auto [z_offset, level] : cases) {
        viewer v(2, 2, 2, 0);
        v.object.z_offset = z_offset;
        v.draw();
        EXPECT_EQ(dpv_zp, level) << "z_offset " << z_offset;
    }
}

// ---- the walk over the tiles -------------------------------------------------------

// One diamond stand-in per tile: the calls give the order in which tiles are
// drawn.
class RenderWalk : public ::testing::Test {
protected:
    swapped_draw_table table;

    void SetUp() override { start_renderer(); }

    void make_open_land(int w, int h)
    {
        std::string text = "size " + std::to_string(w) + " " + std::to_string(h) + "\nlevel 0\n";
        for (int y = 0; y < h; y++)
            text += "  " + std::string(2 * w, '.') + "\n";
        land = land_from_text(text, {2});
        ASSERT_NE(land, nullptr);
        use_fog(0);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                add_object(land->tile[y][x].hollow, OBJ_DIAMOND, x, y, 0);
        draw_object[OBJ_DIAMOND] = record_draw;
    }
    void TearDown() override
    {
        destroy_land(land);
        land = nullptr;
    }
    std::vector<std::pair<int, int>> tiles_drawn()
    {
        std::vector<std::pair<int, int>> t;
        for (const draw_call &c : draw_calls()) {
            EXPECT_EQ(c.tile_x, c.object->x);
            EXPECT_EQ(c.tile_y, c.object->y);
            t.push_back({c.tile_x, c.tile_y});
        }
        draw_calls().clear();
        return t;
    }
};

// Rows behind the camera row first, then the rows from the far side back to
// the camera row; in each row the columns left of the camera's from the
// left, then the others from the right.
std::vector<std::pair<int, int>> far_to_near(int w, int h, int px, int py)
{
    std::vector<std::pair<int, int>> order;
    auto row = [&](int y) {
        for (int x = 0; x < px; x++)
            order.push_back({x, y});
        for (int x = w - 1; x >= px; x--)
            order.push_back({x, y});
    };
    for (int y = 0; y < py; y++)
        row(y);
    for (int y = h - 1; y >= py; y--)
        row(y);
    return order;
}

TEST_F(RenderWalk, EveryTileIsDrawnOnceFarToNearWithTheCameraTileLast)
{
    make_open_land(7, 5);
    const std::pair<int, int> cameras[] = {{0, 0}, {6, 4}, {3, 2}, {2, 0}, {0, 4}, {6, 0}, {5, 3}};
    for (auto [x, y] : cameras) {
        viewer v(x, y, 0, 1);
        v.draw();
        std::vector<std::pair<int, int>> t = tiles_drawn();
        EXPECT_EQ(t, far_to_near(7, 5, x, y)) << "camera " << x << "," << y;
        ASSERT_FALSE(t.empty());
        EXPECT_EQ(t.back(), std::make_pair(x, y));
    }
}

TEST_F(RenderWalk, FarTilesAreVisitedInOrderOnlyWithoutCulling)
{
    // Unculled, the draw entries see every tile, however far; culled, the
    // walk keeps its order but stops short of tiles no pixel can come from.
    make_open_land(40, 3);
    viewer v(1, 1, 0, 1);
    view_culling = false;
    v.draw();
    view_culling = true;
    EXPECT_EQ(tiles_drawn(), far_to_near(40, 3, 1, 1));

    v.draw();
    std::vector<std::pair<int, int>> culled = tiles_drawn(), kept;
    for (const auto &t : far_to_near(40, 3, 1, 1))
        if (t.first - 1.5 < 10 * std::sqrt(3.0) + 0.25)  // a sphere pixel's reach, from x 1.5
            kept.push_back(t);
    EXPECT_EQ(culled, kept);
}

TEST_F(RenderWalk, ViewerOutsideTheGridWalksFromTheNearestTile)
{
    make_open_land(5, 4);
    viewer v(-3, 9, 0, 1);
    v.draw();
    EXPECT_EQ(tiles_drawn(), far_to_near(5, 4, 0, 3));
}

TEST_F(RenderWalk, CameraTileSwitchesToTheTargetHalfWayThroughAMove)
{
    make_open_land(5, 5);
    for (int dir = 0; dir < 4; dir++)
        for (int step : {1, 14, 15, 29}) {
            viewer v(2, 2, 0, 0);
            v.object.dir = dir;
            v.object.move_step = step;
            v.draw();
            std::vector<std::pair<int, int>> t = tiles_drawn();
            std::pair<int, int> camera = {2, 2};
            if (step >= 15)
                camera = {2 + dir_dx[dir], 2 + dir_dy[dir]};
            EXPECT_EQ(t, far_to_near(5, 5, camera.first, camera.second)) << "dir " << dir << " step " << step;
        }
}

TEST_F(RenderWalk, TargetTileOffTheGridIsClampedToTheBorder)
{
    make_open_land(5, 5);
    viewer v(4, 0, 0, 0);
    v.object.dir = 1;
    v.object.move_step = 20;
    v.draw();
    EXPECT_EQ(tiles_drawn(), far_to_near(5, 5, 4, 0));
    v.object.dir = 0;
    v.draw();
    EXPECT_EQ(tiles_drawn(), far_to_near(5, 5, 4, 0));
}

// ---- order inside a tile -------------------------------------------------------------

class RenderTileOrder : public ::testing::Test {
protected:
    swapped_draw_table table;

    void SetUp() override { start_renderer(); }

    void TearDown() override
    {
        destroy_land(land);
        land = nullptr;
    }
    std::vector<int> levels_drawn()
    {
        std::vector<int> z;
        for (const draw_call &c : draw_calls())
            z.push_back(c.object->z);
        draw_calls().clear();
        return z;
    }
    // The viewer stands in the solid tile (0, 0) at level z.
    std::vector<int> draw_from_level(int z, int z_offset = 0)
    {
        viewer v(0, 0, z, 2);
        v.object.z_offset = z_offset;
        v.draw();
        return levels_drawn();
    }
};

TEST_F(RenderTileOrder, ObjectsBelowTheViewersLevelGoBottomUpTheOthersTopDown)
{
    land = land_from_text("size 2 2\n"
                          "level 0\n  ##..\n  ####\n"
                          "level 1\n  ##..\n  ####\n"
                          "level 2\n  ##..\n  ####\n"
                          "level 3\n  ##..\n  ####\n"
                          "level 4\n  ##..\n  ####\n",
                          {2});
    ASSERT_NE(land, nullptr);
    use_fog(0);
    HOLLOW *h = land->tile[0][1].hollow;
    for (int z = 0; z < 5; z++)
        add_object(h, OBJ_DIAMOND, 1, 0, z);
    // Only the level counts, not the height offset within it.
    h->object->next->z_offset = 400;
    h->object->next->next->next->z_offset = -400;
    draw_object[OBJ_DIAMOND] = record_draw;

    EXPECT_EQ(draw_from_level(2), (std::vector<int>{0, 1, 4, 3, 2}));
    EXPECT_EQ(draw_from_level(0), (std::vector<int>{4, 3, 2, 1, 0}));
    EXPECT_EQ(draw_from_level(5), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(draw_from_level(4), (std::vector<int>{0, 1, 2, 3, 4}));
    // Falling far enough puts the eye a level lower; climbing, a level higher.
    EXPECT_EQ(draw_from_level(2, 337), (std::vector<int>{0, 4, 3, 2, 1}));
    EXPECT_EQ(draw_from_level(2, -84), (std::vector<int>{0, 1, 2, 4, 3}));
}

TEST_F(RenderTileOrder, HollowsWhollyBelowTheViewerGoBottomUpTheOthersTopDown)
{
    land = land_from_text("size 2 1\n"
                          "level 0\n  ##..\n"
                          "level 2\n  ##..\n"
                          "level 4\n  ##..\n"
                          "level 6\n  ##..\n",
                          {2});
    ASSERT_NE(land, nullptr);
    use_fog(0);
    for (HOLLOW *h = land->tile[0][1].hollow; h; h = h->next)
        add_object(h, OBJ_DIAMOND, 1, 0, h->floor);
    draw_object[OBJ_DIAMOND] = record_draw;

    EXPECT_EQ(draw_from_level(2), (std::vector<int>{0, 6, 4, 2}));
    EXPECT_EQ(draw_from_level(4), (std::vector<int>{0, 2, 6, 4}));
    EXPECT_EQ(draw_from_level(0), (std::vector<int>{6, 4, 2, 0}));
    EXPECT_EQ(draw_from_level(7), (std::vector<int>{0, 2, 4, 6}));
    // A hollow whose roof is at the viewer's level counts as below it.
    EXPECT_EQ(draw_from_level(3), (std::vector<int>{0, 2, 6, 4}));
}

TEST_F(RenderTileOrder, PlaceholderDrawsItsOwnerAlongWithItsOwnList)
{
    land = land_from_text("size 4 1\nlevel 0\n  ########\nlevel 1\n  ........\n", {2});
    ASSERT_NE(land, nullptr);
    use_fog(0);
    OBJECT *rock = add_object(land->tile[0][1].hollow, OBJ_ROCK, 1, 0, 1);
    rock->dir = 1;
    rock->move_step = 10;
    OBJECT *p = add_object(land->tile[0][2].hollow, OBJ_PLACEHOLDER, 2, 0, 1);
    ((PLACEHOLDER_DATA *)p->data)->owner = rock;
    draw_object[OBJ_ROCK] = record_draw;

    viewer v(0, 0, 1, 1);
    v.draw();
    ASSERT_EQ(draw_calls().size(), 2u);
    // Walking from the right: the placeholder's tile comes first.
    EXPECT_EQ(draw_calls()[0].object, rock);
    EXPECT_EQ(draw_calls()[0].tile_x, 2);
    EXPECT_EQ(draw_calls()[0].placeholder, 1);
    EXPECT_EQ(draw_calls()[1].object, rock);
    EXPECT_EQ(draw_calls()[1].tile_x, 1);
    EXPECT_EQ(draw_calls()[1].placeholder, 0);
    EXPECT_EQ(drawing_placeholder, 0);
}

} // namespace
