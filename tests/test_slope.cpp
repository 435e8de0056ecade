// The slope shapes: every floor and side face checked against the cell's
// raised corners, the texture mapping and the facing that the renderer's
// back-face test and the movement rules depend on.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "render/render.h"

namespace {

// Which corners (dx, dy) each shape raises by one level.
struct raised_corners {
    int n;
    int corner[3][2];
};

const raised_corners raised_by_shape[N_SLOPES] = {
    {0, {}},
    {2, {{0, 0}, {1, 0}}},
    {2, {{1, 0}, {1, 1}}},
    {2, {{1, 1}, {0, 1}}},
    {2, {{0, 0}, {0, 1}}},
    {1, {{0, 0}}},
    {1, {{1, 0}}},
    {1, {{1, 1}}},
    {1, {{0, 1}}},
    {3, {{0, 0}, {1, 0}, {0, 1}}},
    {3, {{0, 0}, {1, 0}, {1, 1}}},
    {3, {{1, 0}, {1, 1}, {0, 1}}},
    {3, {{0, 0}, {1, 1}, {0, 1}}},
};

int corner_height(int shape, int dx, int dy)
{
    const raised_corners &r = raised_by_shape[shape];
    for (int i = 0; i < r.n; i++)
        if (r.corner[i][0] == dx && r.corner[i][1] == dy)
            return 1;
    return 0;
}

// Side d of the cell: 0 is dy 0, 1 is dx 1, 2 is dy 1, 3 is dx 0.
bool on_side(int d, int dx, int dy)
{
    switch (d) {
    case 0: return dy == 0;
    case 1: return dx == 1;
    case 2: return dy == 1;
    default: return dx == 0;
    }
}

// u along side d, running left to right as seen from outside.
int side_u(int d, const SLOPE_VERTEX &v)
{
    switch (d) {
    case 0: return 128 * (1 - v.dx);
    case 1: return 128 * (1 - v.dy);
    case 2: return 128 * v.dx;
    default: return 128 * v.dy;
    }
}

// The outward direction of each side, and "up", in (x, y, z) with y growing
// south and z up.
const int outward[4][3] = {{0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
const int upward[3] = {0, 0, 1};

struct vec {
    int x, y, z;
};

vec sub(const SLOPE_VERTEX &a, const SLOPE_VERTEX &b)
{
    return {a.dx - b.dx, a.dy - b.dy, a.dz - b.dz};
}

vec cross(const vec &a, const vec &b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

int dot(const vec &a, const int *b)
{
    return a.x * b[0] + a.y * b[1] + a.z * b[2];
}

// (v1 - v0) x (v2 - v0): the normal that the back-face test works from.
vec normal_of(const SLOPE_POLY &p)
{
    return cross(sub(p.vertices[1], p.vertices[0]), sub(p.vertices[2], p.vertices[0]));
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

// The sign that a polygon's normal has along the direction it faces, taken
// from the flat floor, which faces up.
int facing_sign()
{
    return sign(dot(normal_of(slope[0].floors[0]), upward));
}

using corner_set = std::set<std::tuple<int, int, int>>;

corner_set vertices_of(const SLOPE_POLY &p)
{
    corner_set s;
    for (int i = 0; i < p.n; i++)
        s.insert({p.vertices[i].dx, p.vertices[i].dy, p.vertices[i].dz});
    return s;
}

// Well-formed: 3 or 4 distinct unit-cell corners, not degenerate, planar.
void expect_proper_polygon(const SLOPE_POLY &p)
{
    ASSERT_TRUE(p.n == 3 || p.n == 4) << "n " << p.n;
    EXPECT_GE(p.uv_start, 0);
    EXPECT_LE(p.uv_start, 3);
    for (int i = 0; i < p.n; i++) {
        const SLOPE_VERTEX &v = p.vertices[i];
        EXPECT_TRUE(v.dx == 0 || v.dx == 1) << "vertex " << i;
        EXPECT_TRUE(v.dy == 0 || v.dy == 1) << "vertex " << i;
        EXPECT_TRUE(v.dz == 0 || v.dz == 1) << "vertex " << i;
    }
    EXPECT_EQ(vertices_of(p).size(), (size_t)p.n) << "repeated vertex";
    vec n = normal_of(p);
    EXPECT_FALSE(n.x == 0 && n.y == 0 && n.z == 0) << "degenerate";
    if (p.n == 4) {
        vec d = sub(p.vertices[3], p.vertices[0]);
        EXPECT_EQ(d.x * n.x + d.y * n.y + d.z * n.z, 0) << "not planar";
    }
}

int corner_of(const SLOPE_POLY &p, int i)
{
    return (p.uv_start + i) & 3;
}

} // namespace

TEST(SlopeShapes, TextureCorners)
{
    const float u[4] = {0, 0, 128, 128};
    const float v[4] = {0, 128, 128, 0};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(tex_corner_u[k], u[k]) << "corner " << k;
        EXPECT_EQ(tex_corner_v[k], v[k]) << "corner " << k;
    }
}

TEST(SlopeShapes, FlatShape)
{
    const SLOPE &s = slope[0];
    ASSERT_EQ(s.n_floors, 1);
    EXPECT_EQ(s.floors[0].n, 4);
    EXPECT_EQ(s.walls, nullptr);
    for (int d = 0; d < 4; d++)
        EXPECT_EQ(s.high[d], 0) << "side " << d;
    EXPECT_EQ(s.rise, 0);
    for (int i = 0; i < s.floors[0].n; i++)
        EXPECT_EQ(s.floors[0].vertices[i].dz, 0);
    // The back-face test skips a polygon seen from the side its normal points
    // to; a floor seen from above must be drawn, so the normal points down.
    EXPECT_EQ(facing_sign(), -1);
}

TEST(SlopeShapes, SlopedShapesRiseOneLevelAndHaveSideFaces)
{
    for (int k = 1; k < N_SLOPES; k++) {
        EXPECT_EQ(slope[k].rise, 1) << "shape " << k;
        EXPECT_NE(slope[k].walls, nullptr) << "shape " << k;
        // Ramps are one quad; corner shapes fold into two triangles.
        if (k <= 4) {
            ASSERT_EQ(slope[k].n_floors, 1) << "shape " << k;
            EXPECT_EQ(slope[k].floors[0].n, 4) << "shape " << k;
        } else {
            ASSERT_EQ(slope[k].n_floors, 2) << "shape " << k;
            EXPECT_EQ(slope[k].floors[0].n, 3) << "shape " << k;
            EXPECT_EQ(slope[k].floors[1].n, 3) << "shape " << k;
        }
    }
}

TEST(SlopeShapes, RampsRiseTowardsTheirDirection)
{
    for (int d = 0; d < 4; d++)
        for (int dy = 0; dy < 2; dy++)
            for (int dx = 0; dx < 2; dx++)
                EXPECT_EQ(corner_height(1 + d, dx, dy), on_side(d, dx, dy) ? 1 : 0)
                    << "shape " << 1 + d << " corner " << dx << "," << dy;
}

TEST(SlopeShapes, FloorsCoverTheCellAtTheRaisedCorners)
{
    for (int k = 0; k < N_SLOPES; k++) {
        SCOPED_TRACE(testing::Message() << "shape " << k);
        const SLOPE &s = slope[k];
        ASSERT_TRUE(s.n_floors == 1 || s.n_floors == 2);
        corner_set all;
        for (int f = 0; f < s.n_floors; f++) {
            const SLOPE_POLY &p = s.floors[f];
            SCOPED_TRACE(testing::Message() << "floor " << f);
            expect_proper_polygon(p);
            for (int i = 0; i < p.n; i++) {
                const SLOPE_VERTEX &v = p.vertices[i];
                EXPECT_EQ(v.dz, corner_height(k, v.dx, v.dy)) << "vertex " << i;
                EXPECT_EQ(tex_corner_u[corner_of(p, i)], 128 * v.dx) << "u of vertex " << i;
                EXPECT_EQ(tex_corner_v[corner_of(p, i)], 128 * v.dy) << "v of vertex " << i;
            }
            EXPECT_EQ(sign(dot(normal_of(p), upward)), facing_sign()) << "faces down";
            all.merge(vertices_of(p));
        }
        corner_set expected;
        for (int dy = 0; dy < 2; dy++)
            for (int dx = 0; dx < 2; dx++)
                expected.insert({dx, dy, corner_height(k, dx, dy)});
        EXPECT_EQ(all, expected);
    }
}

TEST(SlopeShapes, FoldedFloorsJoinAlongTheDiagonalThroughTheOddCorner)
{
    for (int k = 5; k < N_SLOPES; k++) {
        SCOPED_TRACE(testing::Message() << "shape " << k);
        const SLOPE &s = slope[k];
        ASSERT_EQ(s.n_floors, 2);
        corner_set a = vertices_of(s.floors[0]);
        corner_set b = vertices_of(s.floors[1]);
        std::vector<std::tuple<int, int, int>> shared;
        for (const auto &v : a)
            if (b.count(v))
                shared.push_back(v);
        ASSERT_EQ(shared.size(), 2u);
        EXPECT_NE(std::get<0>(shared[0]), std::get<0>(shared[1])) << "fold is not a diagonal";
        EXPECT_NE(std::get<1>(shared[0]), std::get<1>(shared[1])) << "fold is not a diagonal";
        // The odd corner is the one raised (5-8) or the one left low (9-12).
        int odd_height = k <= 8 ? 1 : 0;
        int odd = 0;
        for (const auto &v : shared)
            if (std::get<2>(v) == odd_height)
                odd++;
        EXPECT_EQ(odd, 1);
        // Not coplanar: a fold that changes nothing would be a single quad.
        vec na = normal_of(s.floors[0]);
        vec nb = normal_of(s.floors[1]);
        vec c = cross(na, nb);
        EXPECT_FALSE(c.x == 0 && c.y == 0 && c.z == 0);
    }
}

TEST(SlopeShapes, HighSidesAreTheFloorEdgesWithARaisedCorner)
{
    for (int k = 0; k < N_SLOPES; k++) {
        const SLOPE &s = slope[k];
        for (int d = 0; d < 4; d++) {
            int raised = 0;
            for (int f = 0; f < s.n_floors; f++)
                for (int i = 0; i < s.floors[f].n; i++) {
                    const SLOPE_VERTEX &v = s.floors[f].vertices[i];
                    if (on_side(d, v.dx, v.dy) && v.dz == 1)
                        raised = 1;
                }
            EXPECT_EQ(s.high[d], raised) << "shape " << k << " side " << d;
            int by_table = 0;
            for (int dy = 0; dy < 2; dy++)
                for (int dx = 0; dx < 2; dx++)
                    if (on_side(d, dx, dy) && corner_height(k, dx, dy))
                        by_table = 1;
            EXPECT_EQ(s.high[d], by_table) << "shape " << k << " side " << d;
        }
    }
}

TEST(SlopeShapes, SideFacesCloseTheWedgeOnHighSides)
{
    for (int k = 1; k < N_SLOPES; k++) {
        const SLOPE &s = slope[k];
        ASSERT_NE(s.walls, nullptr) << "shape " << k;
        for (int d = 0; d < 4; d++) {
            SCOPED_TRACE(testing::Message() << "shape " << k << " side " << d);
            const SLOPE_POLY &w = s.walls[d];
            if (!s.high[d]) {
                EXPECT_EQ(w.n, 0) << "face on a low side";
                continue;
            }
            ASSERT_NE(w.n, 0) << "no face on a high side";
            expect_proper_polygon(w);

            // Between the floor's edge on this side and the floor level.
            corner_set expected;
            int n_raised = 0;
            for (int dy = 0; dy < 2; dy++)
                for (int dx = 0; dx < 2; dx++)
                    if (on_side(d, dx, dy)) {
                        int h = corner_height(k, dx, dy);
                        expected.insert({dx, dy, 0});
                        expected.insert({dx, dy, h});
                        n_raised += h;
                    }
            EXPECT_EQ(vertices_of(w), expected);
            EXPECT_EQ(w.n, 2 + n_raised) << "a triangle per raised corner, a quad for two";

            for (int i = 0; i < w.n; i++) {
                const SLOPE_VERTEX &v = w.vertices[i];
                EXPECT_TRUE(on_side(d, v.dx, v.dy)) << "vertex " << i << " off the side's plane";
                if (v.dz == 1) {
                    EXPECT_EQ(corner_height(k, v.dx, v.dy), 1) << "vertex " << i << " above the floor";
                }
                EXPECT_EQ(tex_corner_u[corner_of(w, i)], side_u(d, v)) << "u of vertex " << i;
                EXPECT_EQ(tex_corner_v[corner_of(w, i)], 128 * (1 - v.dz)) << "v of vertex " << i;
            }
            EXPECT_EQ(sign(dot(normal_of(w), outward[d])), facing_sign()) << "faces inwards";
        }
    }
}
