// Drawn views of small lands checked pixel by pixel: against a ray caster
// that knows nothing of the renderer's walk, against colours worked out from
// the fog table, and, for models and spheres, by drawing single objects on
// their own while the view is drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "land_builder.h"
#include "render_fixture.h"

using namespace render_test;

namespace {

class RenderPictures : public ::testing::Test {
protected:
    swapped_draw_table table;
    std::vector<int> colours;

    void SetUp() override
    {
        start_renderer();
        use_fog(3);
        colours = distinct_colours(3, 100);
        ASSERT_GE(colours.size(), 18u);
    }
    void TearDown() override
    {
        destroy_land(land);
        land = nullptr;
    }
    void make_land(const std::string &text, int n_textures = 1)
    {
        land = land_from_text(text, std::vector<int>(colours.begin(), colours.begin() + n_textures));
        ASSERT_NE(land, nullptr);
        use_fog(3);
    }
};

// ---- whole views against the ray caster --------------------------------------------

// Neighbouring faces of one kind take different textures, and so do wall
// squares two levels apart, so that a face drawn in the wrong order or with
// the wrong list entry shows in the wrong colour.
int texture_by_face(face_kind k, int x, int y, int z, int side)
{
    switch (k) {
    case FACE_WALL: return side * 3 + (x + y + z) % 3;
    case FACE_FLOOR: return 12 + ((x + y) & 1);
    case FACE_ROOF: return 14 + ((x + y) & 1);
    default: return 16 + (side & 1);
    }
}

struct view_check {
    int checked = 0, wrong = 0;
    std::string first_wrong;
};

view_check check_view(const viewer &v, const std::vector<face> &faces, const face_map &m)
{
    camera cam(v);
    view_check r;
    for (int j = 0; j < m.h; j++)
        for (int i = 0; i < m.w; i++) {
            int k = m.at(i, j);
            if (k < 0)
                continue;
            r.checked++;
            if (shows_face(v, land, faces, cam, k, i, j))
                continue;
            if (!r.wrong++) {
                const face &f = faces[k];
                std::ostringstream s;
                s << "pixel " << i << "," << j << " is " << v.px(i, j) << ", expected kind " << f.kind
                  << " side " << f.side << " of tile " << f.x << "," << f.y << " level " << f.z;
                r.first_wrong = s.str();
            }
        }
    return r;
}

const char *const test_land = "size 6 5\n"
                              "level 0\n"
                              "  ........####\n"
                              "  ..##........\n"
                              "  ......>...##\n"
                              "  ............\n"
                              "  ##..........\n"
                              "level 1\n"
                              "  ........##..\n"
                              "  ..##........\n"
                              "  ..........##\n"
                              "  ####........\n"
                              "  ##..........\n"
                              "level 2\n"
                              "  ####....####\n"
                              "  ..##..##....\n"
                              "  ..........##\n"
                              "  ....####....\n"
                              "  ######......\n";

struct viewpoint {
    int x, y, z, facing, turn, pitch, z_offset, dir, move_step;
};

TEST_F(RenderPictures, EveryClearPixelShowsTheNearestFaceAtItsLight)
{
    make_land(test_land, 18);
    std::vector<face> faces = list_faces(land, texture_by_face);
    const viewpoint views[] = {
        {2, 4, 0, 0, 0, 0, 0, 0, 0},    {5, 3, 0, 3, 10, 8, 0, 0, 0},   {0, 0, 0, 2, -12, -10, 0, 0, 0},
        {3, 1, 1, 1, 0, 20, 0, 0, 0},   {4, 4, 2, 0, 20, 25, 0, 0, 0},  {0, 3, 0, 1, 0, 0, 0, 0, 0},
        {0, 3, 2, 1, -5, 15, 0, 0, 0},  {2, 2, 1, 1, 0, 0, 0, 1, 20},   {4, 1, 1, 0, 15, 0, 0, 0, 0},
        {2, 3, 1, 3, 0, -20, 200, 0, 0}, {5, 1, 1, 0, -3, -6, 0, 0, 0},  {3, 3, 1, 2, 29, 30, 0, 2, 9},
    };
    for (const viewpoint &p : views) {
        viewer v(p.x, p.y, p.z, p.facing);
        v.player.turn = p.turn;
        v.player.pitch = p.pitch;
        v.object.z_offset = p.z_offset;
        v.object.dir = p.dir;
        v.object.move_step = p.move_step;
        v.draw();
        face_map m = map_faces(faces, camera(v), v.view()->w, v.view()->h);
        view_check r = check_view(v, faces, m);
        SCOPED_TRACE(testing::Message() << "viewer at " << p.x << "," << p.y << "," << p.z << " facing "
                                        << p.facing << " turn " << p.turn << " pitch " << p.pitch);
        EXPECT_GT(r.checked, m.w * m.h / 2);
        EXPECT_EQ(r.wrong, 0) << r.first_wrong;
    }
}

TEST_F(RenderPictures, SlopeSideFaceShowsFromTheOpenNeighbourOnly)
{
    // A ramp rising towards x+1; its high end faces the open cell beside it.
    make_land("size 3 1\nlevel 0\n  ..>...\nlevel 1\n  ......\n", 18);
    std::vector<face> faces = list_faces(land, texture_by_face);
    int slope_colour = colours[texture_by_face(FACE_SLOPE, 1, 0, 0, 1)];
    auto slope_pixels = [&](const viewer &v) {
        int n = 0;
        for (int j = 0; j < v.view()->h; j++)
            for (int i = 0; i < v.view()->w; i++)
                n += shade_of(v.px(i, j), slope_colour, 100, 255);
        return n;
    };

    viewer outside(2, 0, 0, 3);
    outside.draw();
    face_map m = map_faces(faces, camera(outside), 160, 120);
    int on_face = 0;
    for (int k : m.id)
        on_face += k >= 0 && faces[k].kind == FACE_SLOPE;
    EXPECT_GT(on_face, 1000);
    view_check r = check_view(outside, faces, m);
    EXPECT_EQ(r.wrong, 0) << r.first_wrong;
    EXPECT_GE(slope_pixels(outside), on_face);

    // From the ramp's own cell the same face is seen from behind.
    viewer inside(1, 0, 0, 1);
    inside.draw();
    m = map_faces(faces, camera(inside), 160, 120);
    r = check_view(inside, faces, m);
    EXPECT_EQ(r.wrong, 0) << r.first_wrong;
    EXPECT_EQ(slope_pixels(inside), 0);
}

// What the view held when the stand-in was called for the object of tile T.
struct snapshot_state {
    const viewer *v;
    const std::vector<face> *faces;
    const face_map *m;
    int tile_x, tile_y;
    int drawn_before = 0, not_yet = 0, nearer_blank = 0;
    int wrong = 0;
};
snapshot_state *snapshot;

void check_progress(OBJECT *o)
{
    snapshot_state &s = *snapshot;
    if (o->x != s.tile_x || o->y != s.tile_y)
        return;
    camera cam(*s.v);
    for (int j = 0; j < s.m->h; j++)
        for (int i = 0; i < s.m->w; i++) {
            int k = s.m->at(i, j);
            if (k < 0)
                continue;
            const face &f = (*s.faces)[k];
            bool own = f.x == s.tile_x && f.y == s.tile_y;
            if (own && f.kind != FACE_SLOPE) {
                s.drawn_before++;
                s.wrong += !shows_face(*s.v, land, *s.faces, cam, k, i, j);
            } else if (own) {
                s.not_yet++;
                s.wrong += shade_of(s.v->px(i, j), land->texture[f.texture]->line[0][0], 100, 255);
            } else if (f.x == s.v->object.x && f.y == s.v->object.y) {
                s.nearer_blank++;
                s.wrong += s.v->px(i, j) != land->fog_colour;
            }
        }
}

TEST_F(RenderPictures, TileWallsRoofAndFloorComeBeforeItsObjectsAndSlopeFacesAfter)
{
    // T = (1, 1): a ramp rising towards y-1 against rock on its x-1 side,
    // seen from the camera tile (2, 1).
    make_land("size 3 3\n"
              "level 0\n  ......\n  ##^...\n  ......\n"
              "level 1\n  ......\n  ##....\n  ......\n",
              18);
    std::vector<face> faces = list_faces(land, texture_by_face);
    add_object(land->tile[1][1].hollow, OBJ_DIAMOND, 1, 1, 1);
    draw_object[OBJ_DIAMOND] = check_progress;

    viewer v(2, 1, 0, 3);
    v.player.pitch = 10;
    face_map m = map_faces(faces, camera(v), 160, 120);
    snapshot_state s{&v, &faces, &m, 1, 1};
    snapshot = &s;
    v.draw();
    EXPECT_GT(s.drawn_before, 1000);
    EXPECT_GT(s.not_yet, 200);
    EXPECT_GT(s.nearer_blank, 200);
    EXPECT_EQ(s.wrong, 0);
    EXPECT_EQ(check_view(v, faces, m).wrong, 0);
}

// ---- walls, floors and roofs at known lights --------------------------------------

TEST_F(RenderPictures, WallStraightAheadShowsItsTextureUprightAtTheLightOfItsCorners)
{
    make_land("size 4 4\nlevel 0\n"
              "  ........\n  ........\n  ........\n  ........\n",
              2);
    const int quarter[4] = {colours[2], colours[3], colours[4], colours[5]};
    destroy_bitmap(land->texture[1]);
    land->texture[1] = quarter_texture(quarter[0], quarter[1], quarter[2], quarter[3]);
    // The wall ahead of a viewer at (1, 1) for each facing, and its distance.
    const struct {
        int x, y;
        double depth;
    } ahead[4] = {{1, 0, 1.5}, {3, 1, 2.5}, {1, 3, 2.5}, {0, 1, 1.5}};
    for (int f = 0; f < 4; f++)
        land->tile[ahead[f].y][ahead[f].x].wall[f][0] = 1;

    for (int f = 0; f < 4; f++) {
        SCOPED_TRACE(testing::Message() << "facing " << f);
        viewer v(1, 1, 0, f, 120, 120);
        v.object.z_offset = 126;  // the eye at mid-height: all four corners equally far
        v.draw();
        double d = ahead[f].depth;
        int light = reference_light(std::sqrt(0.5 + d * d));
        int half = (int)(60 * 0.5 / d);
        int wrong = 0, checked = 0;
        for (int j = 60 - half + 2; j < 60 + half - 2; j++)
            for (int i = 60 - half + 2; i < 60 + half - 2; i++) {
                if (std::abs(i - 60) < 2 || std::abs(j - 60) < 2)
                    continue;  // the seams between the quarters
                int q = (i > 60) + 2 * (j > 60);
                checked++;
                wrong += v.px(i, j) != fog_shade(light, quarter[q]);
            }
        EXPECT_GT(checked, 250);
        EXPECT_EQ(wrong, 0) << "light " << light << "; centre pixels " << v.px(55, 55) << " " << v.px(65, 55)
                            << " " << v.px(55, 65) << " " << v.px(65, 65);
    }
}

TEST_F(RenderPictures, FloorLiesUnrotatedAndRoofMirroredAcrossRows)
{
    make_land("size 3 3\nlevel 0\n  ......\n  ......\n  ......\n", 2);
    const int quarter[4] = {colours[2], colours[3], colours[4], colours[5]};
    destroy_bitmap(land->texture[1]);
    land->texture[1] = quarter_texture(quarter[0], quarter[1], quarter[2], quarter[3]);
    HOLLOW *h = land->tile[1][1].hollow;
    h->floor_tex = h->roof_tex = 1;

    // u = 128 dx on both; v = 128 dy on the floor, 128 (1 - dy) on the roof.
    const double dx[4] = {0.25, 0.75, 0.25, 0.75}, dy[4] = {0.25, 0.25, 0.75, 0.75};
    const int floor_quarter[4] = {0, 1, 2, 3}, roof_quarter[4] = {2, 3, 0, 1};
    for (int pitch : {30, -30}) {
        viewer v(1, 2, 0, 0);
        v.player.pitch = pitch;
        v.draw();
        camera cam(v);
        for (int k = 0; k < 4; k++) {
            double sx, sy;
            cam.project({1 + dx[k], 1 + dy[k], pitch > 0 ? 0.0 : 1.0}, &sx, &sy);
            int want = quarter[pitch > 0 ? floor_quarter[k] : roof_quarter[k]];
            EXPECT_TRUE(shade_of(v.px((int)sx, (int)sy), want, 100, 255))
                << (pitch > 0 ? "floor" : "roof") << " point " << k << " pixel " << v.px((int)sx, (int)sy);
        }
    }
}

TEST_F(RenderPictures, ViewIsClearedToTheFogColour)
{
    make_land("size 4 4\nlevel 0\n  ########\n  ########\n  ########\n  ########\n");
    use_fog(37);
    viewer v(1, 1, 0, 0);
    clear_to_color(v.view(), 5);
    v.draw();
    int other = 0;
    for (int j = 0; j < 120; j++)
        for (int i = 0; i < 160; i++)
            other += v.px(i, j) != 37;
    EXPECT_EQ(other, 0);
}

TEST_F(RenderPictures, HallWithEveryFaceBeyondTenUnitsShowsOnlyTheFogColour)
{
    // 21 x 21 tiles, 21 levels high, all one hall.
    land = make_solid_land(21, 21);
    land->texture[0] = solid_texture(colours[0]);
    land->missing_texture = create_missing_texture();
    for (int y = 0; y < 21; y++)
        for (int x = 0; x < 21; x++)
            add_hollow(land, x, y, 0, 21);
    list_faces(land, [](face_kind, int, int, int, int) { return 0; });
    use_fog(37);
    viewer v(10, 10, 10, 1);
    v.player.turn = 5;
    clear_to_color(v.view(), 5);
    v.draw();
    int other = 0;
    for (int j = 0; j < 120; j++)
        for (int i = 0; i < 160; i++)
            other += v.px(i, j) != 37;
    EXPECT_EQ(other, 0);
    // Lower down, the floor comes within reach.
    v.object.z = 2;
    v.player.pitch = 20;
    v.draw();
    EXPECT_NE(v.px(80, 110), 37);
}

// ---- models ---------------------------------------------------------------------------

struct drawn_object {
    OBJECT *object;
    drawn_pixels pixels;
    int placeholder;
};
std::vector<drawn_object> drawn;
draw_fn real_draw[N_OBJECT_TYPES];

// Notes what the object puts into the view on its own, then draws it.
void draw_and_note(OBJECT *o)
{
    drawn.push_back({o, draw_alone([o] { real_draw[o->type](o); }), drawing_placeholder});
    real_draw[o->type](o);
}

class RenderObjects : public RenderPictures {
protected:
    void SetUp() override
    {
        RenderPictures::SetUp();
        memcpy(real_draw, table.saved, sizeof real_draw);
        for (int t = OBJ_PLAYER; t < N_OBJECT_TYPES; t++)
            draw_object[t] = draw_and_note;
        drawn.clear();
    }
    const drawn_pixels *pixels_of(const OBJECT *o) const
    {
        for (const drawn_object &d : drawn)
            if (d.object == o)
                return &d.pixels;
        return nullptr;
    }
};

TEST_F(RenderObjects, ViewersOwnModelIsInvisibleButTheOtherPlayersIsSeen)
{
    make_land("size 3 6\n"
              "level 0\n  ......\n  ...Q..\n  ......\n  ......\n  ......\n  ...P..\n"
              "facing Q 2\n",
              3);
    OBJECT *who[2] = {nullptr, nullptr};
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            for (HOLLOW *h = land->tile[y][x].hollow; h; h = h->next)
                for (OBJECT *o = h->object; o; o = o->next)
                    if (o->type == OBJ_PLAYER)
                        who[((PLAYER_DATA *)o->data)->index] = o;
    ASSERT_TRUE(who[0] && who[1]);
    for (int me = 0; me < 2; me++) {
        SCOPED_TRACE(me ? "view of Q" : "view of P");
        PLAYER_INFO info = {};
        info.object = who[me];
        info.view = create_bitmap_ex(8, 160, 120);
        drawn.clear();
        draw_player_view(info.view, info.object);
        const drawn_pixels *mine = pixels_of(who[me]), *other = pixels_of(who[1 - me]);
        ASSERT_TRUE(mine && other);
        EXPECT_EQ(mine->count(), 0);
        EXPECT_GT(other->count(), 100);
        // Nothing stands between them: the other player is in the picture.
        int covered = 0;
        for (int j = 0; j < 120; j++)
            for (int i = 0; i < 160; i++)
                covered += other->at(i, j) && info.view->line[j][i] != other->colour[j * 160 + i];
        EXPECT_EQ(covered, 0);
        destroy_bitmap(info.view);
    }
}

TEST_F(RenderObjects, NothingDrawnLaterCoversAnObjectInAnOpenRoom)
{
    // In a room one level high nothing can stand between the eye and an
    // object, so all of it must survive the rest of the walk: its own tile's
    // walls and floor and the farther tiles come before it, the nearer after.
    make_land("size 5 4\nlevel 0\n  ..........\n  ..........\n  ..........\n  ..........\n");
    const viewpoint views[] = {{0, 3, 0, 0, 5, 0, 0, 0, 0},  {4, 3, 0, 0, -8, 10, 0, 0, 0},
                               {2, 0, 0, 2, 12, 0, 0, 0, 0}, {0, 1, 0, 1, 0, 0, 0, 0, 0},
                               {4, 2, 0, 3, -20, 5, 0, 0, 0}, {2, 2, 0, 1, 29, 0, 0, 0, 0},
                               {0, 0, 0, 2, 10, 0, 0, 0, 0},  {0, 2, 0, 0, -10, 0, 0, 0, 0}};
    int seen = 0;
    for (const viewpoint &p : views)
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 5; x++) {
                if (x == p.x && y == p.y)
                    continue;
                OBJECT *d = add_object(land->tile[y][x].hollow, OBJ_DIAMOND, x, y, 0);
                ((DIAMOND_DATA *)d->data)->spin = 7 * x + 13 * y;
                viewer v(p.x, p.y, 0, p.facing);
                v.player.turn = p.turn;
                v.player.pitch = p.pitch;
                drawn.clear();
                v.draw();
                destroy_all_objects(d);
                land->tile[y][x].hollow->object = nullptr;
                ASSERT_EQ(drawn.size(), 1u);
                const drawn_pixels &mine = drawn[0].pixels;
                int covered = 0;
                for (int j = 0; j < 120; j++)
                    for (int i = 0; i < 160; i++)
                        covered += mine.at(i, j) && v.px(i, j) != mine.colour[j * 160 + i];
                EXPECT_EQ(covered, 0) << "diamond at " << x << "," << y << " seen from " << p.x << "," << p.y
                                      << " facing " << p.facing << " (" << mine.count() << " pixels)";
                seen += mine.count() > 0;
            }
    EXPECT_GT(seen, 60);
}

TEST_F(RenderObjects, DiamondTurnedAQuarterShowsTheSameSilhouette)
{
    make_land("size 5 5\nlevel 0\n"
              "  ..........\n  ..........\n  .....D....\n  ..........\n  ..........\n");
    static std::vector<drawn_pixels> by_spin;
    by_spin.clear();
    draw_object[OBJ_DIAMOND] = [](OBJECT *o) {
        for (int s : {0, 60, 30, 120}) {
            ((DIAMOND_DATA *)o->data)->spin = s;
            by_spin.push_back(draw_alone([o] { draw_diamond(o); }));
        }
    };
    viewer v(1, 4, 0, 0);
    v.player.turn = 4;
    v.player.pitch = 12;
    v.draw();
    ASSERT_EQ(by_spin.size(), 4u);
    auto outline = [](const drawn_pixels &p) {
        std::vector<bool> m;
        for (int c : p.colour)
            m.push_back(c >= 0);
        return m;
    };
    EXPECT_GT(by_spin[0].count(), 300);
    EXPECT_EQ(outline(by_spin[0]), outline(by_spin[1])) << "a quarter turn";
    EXPECT_EQ(outline(by_spin[0]), outline(by_spin[3])) << "half a turn";
    EXPECT_NE(outline(by_spin[0]), outline(by_spin[2])) << "an eighth of a turn changes the outline";
}

TEST_F(RenderObjects, ModelWhollyTenUnitsAwayIsNotDrawn)
{
    std::string text = "size 8 12\nlevel 0\n";
    for (int y = 0; y < 12; y++)
        text += "  " + std::string(16, '.') + "\n";
    make_land(text);
    // Within the view and less than 10 deep, but every corner 10 or more away.
    OBJECT *far = add_object(land->tile[1][5].hollow, OBJ_DIAMOND, 5, 1, 0);
    OBJECT *near = add_object(land->tile[3][5].hollow, OBJ_DIAMOND, 5, 3, 0);
    viewer v(0, 11, 0, 0);
    camera cam(v);
    auto nearest_corner = [&](const OBJECT *o) {
        double best = 1e9;
        for (int k = 0; k < model_diamond.n_vertices; k++) {
            const MODEL_VERTEX &mv = model_diamond.vertices[k];
            best = std::min(best, length(vec3d{o->x + 0.5 + mv.x, o->y + 0.5 + mv.y, o->z + mv.z} - cam.eye));
        }
        return best;
    };
    ASSERT_GT(nearest_corner(far), 10);
    ASSERT_LT(nearest_corner(near), 10);
    v.draw();
    ASSERT_TRUE(pixels_of(far) && pixels_of(near));
    EXPECT_EQ(pixels_of(far)->count(), 0);
    EXPECT_GT(pixels_of(near)->count(), 0);
}

// ---- spheres --------------------------------------------------------------------------

TEST_F(RenderObjects, RockAcrossATileBorderIsDrawnInTwoHalvesThatMeetExactly)
{
    // Rolling from (1, 1) towards x+1, then towards y+1, seen across the move.
    const struct {
        int dir;
        viewpoint from;
    } moves[2] = {{1, {1, 4, 0, 0, 2, 8, 0, 0, 0}}, {2, {4, 1, 0, 3, -3, 8, 0, 0, 0}}};
    for (const auto &mv : moves) {
        SCOPED_TRACE(testing::Message() << "moving in direction " << mv.dir);
        make_land("size 5 5\nlevel 0\n"
                  "  ..........\n  ...R......\n  ..........\n  ..........\n  ..........\n"
                  "level 1\n"
                  "  ..........\n  ..........\n  ..........\n  ..........\n  ..........\n",
                  3);
        OBJECT *rock = land->tile[1][1].hollow->object;
        ASSERT_EQ(rock->type, OBJ_ROCK);
        rock->dir = mv.dir;
        rock->move_step = 15;  // the centre on the border
        int tx = 1 + dir_dx[mv.dir], ty = 1 + dir_dy[mv.dir];
        OBJECT *p = add_object(land->tile[ty][tx].hollow, OBJ_PLACEHOLDER, tx, ty, 0);
        ((PLACEHOLDER_DATA *)p->data)->owner = rock;
        static drawn_pixels whole;
        static float centre_x, centre_y;
        centre_x = mv.dir == 1 ? 2.0f : 1.5f;
        centre_y = mv.dir == 2 ? 2.0f : 1.5f;
        draw_object[OBJ_ROCK] = [](OBJECT *o) {
            BITMAP *tex = land_texture(land, ((ROCK_DATA *)o->data)->texture);
            whole = draw_alone([tex] { draw_sphere(-1e3f, 1e3f, -1e3f, 1e3f, centre_x, centre_y, 0.5f, 0.5f, tex); });
            draw_and_note(o);
        };
        viewer v(mv.from.x, mv.from.y, 0, mv.from.facing);
        v.player.turn = mv.from.turn;
        v.player.pitch = mv.from.pitch;
        drawn.clear();
        v.draw();

        ASSERT_EQ(drawn.size(), 2u);
        const drawn_pixels &a = drawn[0].pixels, &b = drawn[1].pixels;
        EXPECT_GT(a.count(), 100);
        EXPECT_GT(b.count(), 100);
        int overlap = 0, missing = 0, extra = 0, rows_meeting = 0, gaps = 0, sides = 0;
        for (int j = 0; j < 120; j++) {
            int a0 = 1000, a1 = -1, b0 = 1000, b1 = -1;
            for (int i = 0; i < 160; i++) {
                bool in_a = a.at(i, j), in_b = b.at(i, j);
                overlap += in_a && in_b;
                missing += whole.at(i, j) && !in_a && !in_b;
                extra += !whole.at(i, j) && (in_a || in_b);
                if (in_a)
                    a0 = std::min(a0, i), a1 = i;
                if (in_b)
                    b0 = std::min(b0, i), b1 = i;
                // Nothing nearer covers either half in the finished view.
                if (whole.at(i, j)) {
                    ASSERT_EQ(v.px(i, j), whole.colour[j * 160 + i]) << i << "," << j;
                }
            }
            if (a1 >= 0 && b1 >= 0) {
                rows_meeting++;
                gaps += !(b0 == a1 + 1 || a0 == b1 + 1);
                sides += a0 < b0 ? 1 : -1;
            }
        }
        EXPECT_EQ(overlap, 0);
        EXPECT_EQ(missing, 0);
        EXPECT_EQ(extra, 0);
        EXPECT_GT(rows_meeting, 10);
        EXPECT_EQ(gaps, 0);
        EXPECT_EQ(std::abs(sides), rows_meeting) << "each half keeps to its side";
        destroy_land(land);
        land = nullptr;
    }
}

TEST_F(RenderObjects, FallingRockIsDrawnFromItsOwnListOnly)
{
    make_land("size 3 3\nlevel 0\n  ......\n  ......\n  ......\nlevel 1\n  ......\n  ...R..\n  ......\n", 3);
    HOLLOW *h = land->tile[1][1].hollow;
    OBJECT *rock = h->object;
    ASSERT_EQ(rock->z, 1);
    rock->z_offset = 200;
    rock->z_speed = 3;
    // The cell below is reserved, in the same tile: a rock drawn from it
    // would land on the same pixels.
    OBJECT *p = (OBJECT *)calloc(1, sizeof(OBJECT));
    p->type = OBJ_PLACEHOLDER;
    p->x = p->y = 1;
    p->data = calloc(1, sizeof(PLACEHOLDER_DATA));
    ((PLACEHOLDER_DATA *)p->data)->owner = rock;
    p->next = rock;
    h->object = p;
    viewer v(1, 2, 0, 0);
    v.player.turn = 8;
    v.draw();
    ASSERT_EQ(drawn.size(), 2u);
    for (const drawn_object &d : drawn) {
        EXPECT_EQ(d.object, rock);
        if (d.placeholder) {
            EXPECT_EQ(d.pixels.count(), 0);
        } else {
            EXPECT_GT(d.pixels.count(), 200);
        }
    }
    EXPECT_NE(drawn[0].placeholder, drawn[1].placeholder);
}

TEST_F(RenderObjects, DiamondTextureTurnsWithItsSpin)
{
    // A stand-in for the diamond texture: left half one colour, right half
    // another.  Seen from y+1, spin 0 shows it as painted; a quarter turn
    // brings the x+1 corner (u 128) to the front, half a turn mirrors it,
    // three quarters bring the x-1 corner (u 0) to the front.
    const int a = colours[2], b = colours[3];
    BITMAP *halves = quarter_texture(a, b, a, b);
    struct restore_texture {
        ~restore_texture() { hand_out_game_data(); }
    } restore;
    set_model_textures(halves, (BITMAP *)dat[DATA_PLAYER_TEX].dat);

    make_land("size 3 4\nlevel 0\n  ......\n  ...D..\n  ......\n  ......\n");
    OBJECT *d = land->tile[1][1].hollow->object;
    const struct {
        int spin;
        int left, right;
    } turns[4] = {{0, a, b}, {60, b, b}, {120, b, a}, {180, a, a}};
    for (const auto &t : turns) {
        ((DIAMOND_DATA *)d->data)->spin = t.spin;
        viewer v(1, 3, 0, 0);
        drawn.clear();
        v.draw();
        ASSERT_EQ(drawn.size(), 1u);
        const drawn_pixels &px = drawn[0].pixels;
        int left = 0, right = 0, wrong = 0;
        for (int j = 0; j < 120; j++)
            for (int i = 0; i < 160; i++) {
                // Texel 64 lies on the seam: at the middle, and at the side
                // corners once they turn to u 64 (20 pixels out).
                if (!px.at(i, j) || std::abs(i - 80) < 3 || std::abs(i - 80) > 16)
                    continue;
                int want = i < 80 ? t.left : t.right;
                (i < 80 ? left : right)++;
                wrong += !shade_of(px.colour[j * 160 + i], want, 100, 255);
            }
        EXPECT_GT(left, 100) << "spin " << t.spin;
        EXPECT_GT(right, 100) << "spin " << t.spin;
        EXPECT_EQ(wrong, 0) << "spin " << t.spin;
    }
    destroy_bitmap(halves);
}

// Spheres drawn straight ahead of the viewer, from within a view.
struct sphere_case {
    double depth, across, r;
    BITMAP *tex;
    drawn_pixels pixels;
};
std::vector<sphere_case> *spheres;
const viewer *sphere_viewer;

void draw_spheres(OBJECT *)
{
    camera cam(*sphere_viewer);
    for (sphere_case &s : *spheres) {
        vec3d c = cam.eye + s.depth * cam.forward + s.across * cam.right;
        s.pixels = draw_alone([&] {
            draw_sphere(-1e3f, 1e3f, -1e3f, 1e3f, (float)c.x, (float)c.y, (float)c.z, (float)s.r, s.tex);
        });
    }
}

class RenderSpheres : public RenderPictures {
protected:
    std::vector<sphere_case> cases;
    BITMAP *plain = nullptr, *quarters = nullptr;
    int plain_colour = 0;
    viewer *v = nullptr;

    void SetUp() override
    {
        RenderPictures::SetUp();
        make_land("size 3 3\nlevel 0\n  ......\n  ...D..\n  ......\n");
        draw_object[OBJ_DIAMOND] = draw_spheres;
        plain_colour = colours[1];
        plain = solid_texture(plain_colour);
        quarters = quarter_texture(colours[2], colours[3], colours[4], colours[5]);
        v = new viewer(1, 1, 0, 0);
        sphere_viewer = v;
        spheres = &cases;
    }
    void TearDown() override
    {
        delete v;
        destroy_bitmap(plain);
        destroy_bitmap(quarters);
        RenderPictures::TearDown();
    }
};

TEST_F(RenderSpheres, SphereReachingTheNearDepthIsNotDrawnAtAll)
{
    cases = {{0.59, 0, 0.5, plain, {}}, {0.61, 0, 0.5, plain, {}}, {0.29, 0.1, 0.2, plain, {}},
             {0.31, 0.1, 0.2, plain, {}}};
    v->draw();
    EXPECT_EQ(cases[0].pixels.count(), 0);
    EXPECT_GT(cases[1].pixels.count(), 1000);
    EXPECT_EQ(cases[2].pixels.count(), 0);
    EXPECT_GT(cases[3].pixels.count(), 1000);
}

TEST_F(RenderSpheres, SphereIsCutAtDepthTenAndFadesByDistance)
{
    // Near surfaces 9 deep, reaching past 10 towards their outlines.
    cases = {{11, 0, 2, plain, {}}, {11, 6, 2, plain, {}}, {3, 1, 0.5, plain, {}}};
    color_map = light_probe();
    v->draw();
    camera cam(*v);
    for (const sphere_case &s : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << s.depth << " across " << s.across);
        vec3d q = s.depth * cam.forward + s.across * cam.right;
        int drawn_n = 0, cut = 0, wrong = 0;
        for (int j = 0; j < 120; j++)
            for (int i = 0; i < 160; i++) {
                vec3d d = cam.ray(i, j);
                double a = dot(d, d), b = dot(d, q), disc = b * b - a * (dot(q, q) - s.r * s.r);
                double t = disc >= 0 ? (b - std::sqrt(disc)) / a : -1;
                if (std::fabs(disc) < 0.005 * a || std::fabs(t - 10) < 1e-3)
                    continue;  // too close to the outline or the cut to call
                bool hit = disc >= 0 && t >= 0.1 && t <= 10;
                cut += disc >= 0 && t > 10;
                int p = s.pixels.colour[j * 160 + i];
                if (hit != (p >= 0)) {
                    wrong++;
                    continue;
                }
                if (!hit)
                    continue;
                drawn_n++;
                double distance = t * std::sqrt(a);
                if (distance > 10.001)
                    wrong += p != 1;  // the pure fog colour, not the light-0 row
                else
                    wrong += std::abs(p - reference_light(distance)) > 1;
            }
        EXPECT_GT(drawn_n, 20);
        if (s.depth > 10) {
            EXPECT_GT(cut, 20);
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(RenderSpheres, SideOfASphereShowsItsTextureUpright)
{
    cases = {{2, 0, 0.5, quarters, {}}, {1.2, 0.9, 0.5, quarters, {}}};
    v->draw();
    // Up and to the left of the middle: the texture's top-left quarter, etc.
    const int di[4] = {-10, 10, -10, 10}, dj[4] = {-10, -10, 10, 10};
    for (int k = 0; k < 4; k++)
        EXPECT_TRUE(shade_of(cases[0].pixels.colour[(60 + dj[k]) * 160 + 80 + di[k]], colours[2 + k], 100, 255))
            << "quarter " << k;
    // Half off the screen: only its visible part is drawn.
    EXPECT_GT(cases[1].pixels.count(), 500);
}

} // namespace
