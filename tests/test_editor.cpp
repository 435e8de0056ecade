// Editor operations: random edit sessions checked against an independent
// model of the land after every step, the corner cases of each operation, and
// the keys as the editor reads them from the keyboard buffer.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "editor/editor.h"
#include "headless.h"
#include "land/land.h"
#include "land_builder.h"
#include "objects/objects.h"
#include "random_land.h"
#include "shell/shell.h"

namespace {

// ---- an independent view of the land --------------------------------------

bool is_open(const LAND *l, int x, int y, int z)
{
    if (x < 0 || y < 0 || x >= l->w || y >= l->h)
        return false;
    for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
        if (h->floor <= z && z < h->roof)
            return true;
    return false;
}

int top_level(const LAND *l)
{
    int top = 0;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                top = std::max(top, h->roof);
    return top;
}

// Levels of (x, y) open on side d onto solid, ascending: what the wall list holds.
std::vector<int> exposed_levels(const LAND *l, int x, int y, int d, int top = -1)
{
    std::vector<int> levels;
    if (top < 0)
        top = top_level(l);
    for (int z = 0; z < top; z++)
        if (is_open(l, x, y, z) && !is_open(l, x + dir_dx[d], y + dir_dy[d], z))
            levels.push_back(z);
    return levels;
}

// The hollow holding an open level, or null.
HOLLOW *hollow_of(const LAND *l, int x, int y, int z)
{
    for (HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
        if (h->floor <= z && z < h->roof)
            return h;
    return nullptr;
}

// Open and not the cell of a slope.
bool may_stand(const LAND *l, int x, int y, int z)
{
    const HOLLOW *h = hollow_of(l, x, y, z);
    return h && !(h->slope && z == h->floor);
}

OBJECT *object_at(const LAND *l, int x, int y, int z)
{
    const HOLLOW *h = hollow_of(l, x, y, z);
    for (OBJECT *o = h ? h->object : nullptr; o; o = o->next)
        if (o->z == z)
            return o;
    return nullptr;
}

int player_index(const OBJECT *o)
{
    return ((const PLAYER_DATA *)o->data)->index;
}

// Everything that a land file keeps, one line per record.
std::string describe(const LAND *l, bool rock_textures = true)
{
    std::ostringstream s;
    s << "textures " << l->n_textures << " fog " << l->fog_colour << " size " << l->w << "x" << l->h << "\n";
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            const TILE *t = &l->tile[y][x];
            for (const HOLLOW *h = t->hollow; h; h = h->next) {
                s << x << "," << y << " hollow " << h->floor << "-" << h->roof << " slope " << h->slope
                  << " tex " << h->floor_tex << "/" << h->roof_tex << " sides";
                for (int d = 0; d < 4; d++)
                    s << " " << h->slope_tex[d];
                s << "\n";
                for (const OBJECT *o = h->object; o; o = o->next) {
                    s << "  object " << o->type << " at " << o->x << "," << o->y << "," << o->z;
                    if (o->type == OBJ_PLAYER)
                        s << " player " << player_index(o) << " facing " << ((PLAYER_DATA *)o->data)->facing;
                    if (o->type == OBJ_ROCK && rock_textures)
                        s << " rock " << ((ROCK_DATA *)o->data)->texture;
                    s << "\n";
                }
            }
            for (int d = 0; d < 4; d++) {
                int n = wall_length(l, x, y, d);
                if (!n)
                    continue;
                s << x << "," << y << " wall " << d << ":";
                for (int i = 0; i < n; i++)
                    s << " " << t->wall[d][i];
                s << "\n";
            }
        }
    return s.str();
}

int count_diamonds(const LAND *l)
{
    int n = 0;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *o = h->object; o; o = o->next)
                    n += o->type == OBJ_DIAMOND;
    return n;
}

// The model checks that do not need the wall textures; "" when all hold.
std::string check_shape(LAND *l)
{
    char why[200];
    // The diamond count belongs to a running game; the editor does not keep it.
    l->n_diamonds = count_diamonds(l);
    if (!check_land(l, why, sizeof why))
        return std::string("check_land: ") + why;
    int players[2] = {0, 0};
    int top = top_level(l);
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            const TILE *t = &l->tile[y][x];
            for (const HOLLOW *h = t->hollow; h; h = h->next) {
                if (h->next && h->roof == h->next->floor && !h->next->slope)
                    return "tile " + std::to_string(x) + "," + std::to_string(y) +
                           ": flat hollow touches the one below at " + std::to_string(h->roof);
                for (const OBJECT *o = h->object; o; o = o->next) {
                    if (!may_stand(l, x, y, o->z) || hollow_of(l, x, y, o->z) != h)
                        return "object where none may stand at " + std::to_string(o->z);
                    if (o->type == OBJ_PLAYER)
                        players[player_index(o)]++;
                }
            }
            for (int d = 0; d < 4; d++) {
                size_t n = exposed_levels(l, x, y, d, top).size();
                if ((size_t)wall_length(l, x, y, d) != n || (n == 0) != (t->wall[d] == nullptr))
                    return "tile " + std::to_string(x) + "," + std::to_string(y) + " side " +
                           std::to_string(d) + ": wall list does not match " + std::to_string(n) + " squares";
            }
        }
    for (int i = 0; i < 2; i++)
        if (editor_player_exists[i] != players[i])
            return "player " + std::to_string(i + 1) + " flag " + std::to_string(editor_player_exists[i]) +
                   " but " + std::to_string(players[i]) + " in the land";
    if (l->n_players != players[0] + players[1])
        return "n_players " + std::to_string(l->n_players) + " but " + std::to_string(players[0] + players[1]) +
               " players in the land";
    return "";
}

// Wall textures by (x, y, side, level): an entry that disappears is forgotten,
// one that appears starts at 0.
using wall_key = std::array<int, 4>;
using wall_shadow = std::map<wall_key, int>;

void update_shadow(const LAND *l, wall_shadow &shadow)
{
    wall_shadow next;
    int top = top_level(l);
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++)
                for (int z : exposed_levels(l, x, y, d, top)) {
                    auto old = shadow.find({x, y, d, z});
                    next[{x, y, d, z}] = old == shadow.end() ? 0 : old->second;
                }
    shadow.swap(next);
}

std::string compare_walls(const LAND *l, const wall_shadow &shadow)
{
    int top = top_level(l);
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++) {
                std::vector<int> levels = exposed_levels(l, x, y, d, top);
                for (size_t i = 0; i < levels.size(); i++) {
                    int want = shadow.at({x, y, d, levels[i]});
                    int got = l->tile[y][x].wall[d][i];
                    if (got != want)
                        return "tile " + std::to_string(x) + "," + std::to_string(y) + " side " +
                               std::to_string(d) + " level " + std::to_string(levels[i]) + ": wall texture " +
                               std::to_string(got) + ", expected " + std::to_string(want);
                }
            }
    return "";
}

int top_level_of(const TILE *t)
{
    int top = 0;
    for (const HOLLOW *h = t->hollow; h; h = h->next)
        top = h->roof;
    return top;
}

// What the texture keys should change at the cursor, worked out from the
// surfaces themselves.
int *expected_texture(LAND *l, int surface, int d)
{
    int x = xeditor, y = yeditor, z = zeditor;
    TILE *t = &l->tile[y][x];
    if (surface != 1) {
        for (HOLLOW *h = t->hollow; h; h = h->next) {
            if (surface == 0 && (z == h->floor || (h->slope && z == h->floor + 1)))
                return &h->floor_tex;
            if (surface == 2 && z == h->roof - 1)
                return &h->roof_tex;
            if (z < h->roof)
                return nullptr;
        }
        return nullptr;
    }
    if (t->hollow && top_level_of(t) <= z)
        return nullptr;
    int nx = x + dir_dx[d], ny = y + dir_dy[d];
    if (is_open(l, x, y, z) && !is_open(l, nx, ny, z)) {
        std::vector<int> levels = exposed_levels(l, x, y, d);
        size_t i = 0;
        while (levels[i] != z)
            i++;
        return &t->wall[d][i];
    }
    if (nx >= 0 && ny >= 0 && nx < l->w && ny < l->h)
        for (HOLLOW *h = l->tile[ny][nx].hollow; h; h = h->next)
            if (h->floor == z)
                return &h->slope_tex[d ^ 2];
    return nullptr;
}

// ---- lands for the tests --------------------------------------------------

LAND *new_land(int w, int h, int n_textures)
{
    LAND *l = make_solid_land(w, h, n_textures);
    l->texture_filename = (char **)calloc(n_textures, sizeof(char *));
    for (int i = 0; i < n_textures; i++) {
        char name[16];
        snprintf(name, sizeof name, "t%d.pcx", i);
        l->texture_filename[i] = strdup(name);
    }
    return l;
}

OBJECT *add_player(LAND *l, HOLLOW *h, int x, int y, int z, int index)
{
    OBJECT *o = add_object(h, OBJ_PLAYER, x, y, z);
    ((PLAYER_DATA *)o->data)->index = index;
    editor_player_exists[index] = 1;
    l->n_players++;
    return o;
}

struct land_with_walls {
    LAND *land;
    wall_shadow walls;
};

// A land of w x h tiles up to level 8, with touching hollows only under
// slopes, rocks and diamonds, and each player placed or not.
land_with_walls make_random_land(random_source &r, int w, int h, int n_textures)
{
    land_recipe p;
    p.w = {w, w};
    p.h = {h, h};
    for (int i = 0; i < n_textures; i++)
        p.texture_names.push_back("t" + std::to_string(i) + ".pcx");
    p.paint = true;
    p.top = 8;
    p.jitter = 4;
    p.solid = 10;
    p.stack = {1, 3}, p.height = {1, 3}, p.gap = {0, 2};
    p.touch_sloped = true;
    p.slope = 25;
    p.rocks = p.diamonds = 10;
    p.player[0] = p.player[1] = 70;
    p.any_player = true;
    generated_land g = random_land(r, p);
    for (int i = 0; i < 2; i++)
        editor_player_exists[i] = g.player[i] != nullptr;
    g.land->n_players = g.n_players;
    land_with_walls lw{g.land, {}};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int d = 0; d < 4; d++) {
                std::vector<int> levels = exposed_levels(g.land, x, y, d);
                for (size_t i = 0; i < levels.size() && i < (size_t)wall_length(g.land, x, y, d); i++)
                    lw.walls[{x, y, d, levels[i]}] = g.land->tile[y][x].wall[d][i];
            }
    return lw;
}

class EditorTest : public testing::Test {
protected:
    void SetUp() override
    {
        start_headless_allegro();
        editor_running = 1;
        editor_player_exists[0] = editor_player_exists[1] = 0;
        editor_object = 0;
        editor_texwall = 0;
        xeditor = yeditor = zeditor = 0;
    }
    void TearDown() override
    {
        editor_clear_history();  // it holds tiles of this land
        destroy_land(land);
        land = nullptr;
        editor_running = 0;
    }
    void at(int x, int y, int z)
    {
        xeditor = x;
        yeditor = y;
        zeditor = z;
    }
    // The land's shape and its wall lists' lengths agree with the model.
    void expect_whole()
    {
        EXPECT_EQ(check_shape(land), "");
    }
    std::vector<int> wall(int x, int y, int d)
    {
        int n = wall_length(land, x, y, d);
        const int *list = land->tile[y][x].wall[d];
        return std::vector<int>(list, list + n);
    }
    std::vector<int> object_levels(const HOLLOW *h)
    {
        std::vector<int> z;
        for (const OBJECT *o = h->object; o; o = o->next)
            z.push_back(o->z);
        return z;
    }
};

}  // namespace


// Long random sessions: after every step the land keeps its invariants, every
// wall entry holds the texture it was last given (0 when it appeared), and the
// player books match the land.  At the end the land survives a save and load.
TEST_F(EditorTest, RandomSessionsKeepTheLandWhole)
{
    const int w = 5, h = 5, n_textures = 6, steps = 2000;
    for (unsigned seed = 1; seed <= 5; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        seeded_source rng(seed);
        auto rnd = [&](int n) { return rng.draw(0, n - 1); };
        land_with_walls r = make_random_land(rng, w, h, n_textures);
        land = r.land;
        editor_object = 0;
        ASSERT_EQ(check_shape(land), "");
        ASSERT_EQ(compare_walls(land, r.walls), "");
        std::vector<std::string> log;
        for (int step = 0; step < steps; step++) {
            char what[96];
            int x = xeditor, y = yeditor, z = zeditor;
            int op = rnd(100);
            // Only the steps that may do nothing need the picture from before.
            std::string before = op >= 25 && op < 83 ? describe(land) : std::string();
            int flags_before[2] = {editor_player_exists[0], editor_player_exists[1]};
            bool was_open = is_open(land, x, y, z), could_stand = may_stand(land, x, y, z);
            std::string after_check;
            if (op < 25) {
                if (rnd(3) == 0) {
                    at(rnd(w), rnd(h), rnd(10));
                } else {
                    int d = rnd(6);
                    if (d < 4)
                        at(std::min(w - 1, std::max(0, x + dir_dx[d])), std::min(h - 1, std::max(0, y + dir_dy[d])), z);
                    else
                        at(x, y, std::max(0, std::min(9, z + (d == 4 ? 1 : -1))));
                }
                snprintf(what, sizeof what, "move to %d,%d,%d", xeditor, yeditor, zeditor);
            } else if (op < 40) {
                HOLLOW *hl = hollow_of(land, x, y, z);
                bool slope_cell = hl && hl->slope && hl->floor == z;
                bool had_object = could_stand && object_at(land, x, y, z);
                clear_land();
                snprintf(what, sizeof what, "clear at %d,%d,%d", x, y, z);
                if (!is_open(land, x, y, z))
                    after_check = "the cell is still solid";
                else if (!may_stand(land, x, y, z))
                    after_check = "the cell is still a slope";
                else if (object_at(land, x, y, z))
                    after_check = "an object is left";
                else if (was_open && !slope_cell && !had_object && describe(land) != before)
                    after_check = "clearing an empty open cell changed the land";
            } else if (op < 53) {
                fill_land();
                snprintf(what, sizeof what, "fill at %d,%d,%d", x, y, z);
                if (is_open(land, x, y, z))
                    after_check = "the cell is still open";
                else if (!was_open && describe(land) != before)
                    after_check = "filling a solid cell changed the land";
            } else if (op < 63) {
                insert_slope();
                snprintf(what, sizeof what, "slope at %d,%d,%d", x, y, z);
                HOLLOW *hl = hollow_of(land, x, y, z);
                if (!hl || hl->floor != z || !hl->slope)
                    after_check = "no slope at the cursor";
                else if (object_at(land, x, y, z))
                    after_check = "an object is left in the slope";
            } else if (op < 73) {
                int type = editor_object;
                OBJECT *old = could_stand ? object_at(land, x, y, z) : nullptr;
                int old_type = old ? old->type : -1;
                insert_object();
                snprintf(what, sizeof what, "insert object at %d,%d,%d", x, y, z);
                OBJECT *o = object_at(land, x, y, z);
                if (!could_stand) {
                    if (describe(land) != before || editor_object != type)
                        after_check = "inserting where nothing may stand changed something";
                } else if (!o || (o->type != OBJ_DIAMOND && o->type != OBJ_ROCK)) {
                    after_check = "no diamond or rock at the cursor";
                } else if (old_type == OBJ_DIAMOND ? o->type != OBJ_ROCK
                                                   : old_type >= 0 && o->type != OBJ_DIAMOND) {
                    after_check = "the object's type did not cycle";
                }
            } else if (op < 83) {
                int n = rnd(2);
                insert_player(n);
                snprintf(what, sizeof what, "player %d at %d,%d,%d", n + 1, x, y, z);
                OBJECT *o = object_at(land, x, y, z);
                if (!could_stand) {
                    if (describe(land) != before || editor_player_exists[0] != flags_before[0] ||
                        editor_player_exists[1] != flags_before[1])
                        after_check = "placing a player where none may stand changed something";
                } else if (!o || o->type != OBJ_PLAYER || player_index(o) != n) {
                    after_check = "the player is not at the cursor";
                }
            } else {
                editor_texwall = rnd(3);
                int d = rnd(4);
                int *want = expected_texture(land, editor_texwall, d);
                int *got = editor_get_texture(d);
                int t = rnd(n_textures);
                snprintf(what, sizeof what, "surface %d facing %d at %d,%d,%d set to %d", editor_texwall, d, x, y,
                         z, t);
                if (got != want) {
                    after_check = std::string("texture lookup gave ") + (got ? "a surface" : "nothing") +
                                  ", expected " + (want ? "another surface" : "nothing");
                } else if (got) {
                    *got = t;
                    if (editor_texwall == 1 && is_open(land, x, y, z) && !is_open(land, x + dir_dx[d], y + dir_dy[d], z))
                        r.walls[{x, y, d, z}] = t;
                }
            }
            log.push_back(what);
            if (log.size() > 12)
                log.erase(log.begin());
            update_shadow(land, r.walls);
            std::string err = after_check;
            if (err.empty())
                err = check_shape(land);
            if (err.empty())
                err = compare_walls(land, r.walls);
            if (!err.empty()) {
                std::string history;
                for (const std::string &s : log)
                    history += "  " + s + "\n";
                FAIL() << "step " << step << ": " << err << "\nlast steps:\n" << history << "before:\n"
                       << before << "after:\n" << describe(land);
            }
        }

        char path[] = "/tmp/tavo_editor_XXXXXX";
        int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        ASSERT_EQ(save_land(land, path), 0);
        std::string saved = describe(land, false);
        int flags[2] = {editor_player_exists[0], editor_player_exists[1]};
        int players = land->n_players;
        destroy_land(land);
        land = load_land(path, LAND_FOR_EDITING);
        unlink(path);
        ASSERT_NE(land, nullptr) << land_load_error();
        EXPECT_EQ(describe(land, false), saved);
        EXPECT_EQ(land->player[0] != nullptr, flags[0]);
        EXPECT_EQ(land->player[1] != nullptr, flags[1]);
        EXPECT_EQ(land->n_players, players);
        destroy_land(land);
        land = nullptr;
    }
}

// Opening cells: joins, touching hollows under slopes, and the wall entries
// that appear and disappear.
TEST_F(EditorTest, OpeningCells)
{
    land = new_land(3, 1, 4);
    // Tile 0: two flat hollows with one solid level between them.
    HOLLOW *lower = add_hollow(land, 0, 0, 0, 2);
    lower->floor_tex = 1;
    lower->roof_tex = 2;
    add_object(lower, OBJ_DIAMOND, 0, 0, 0);
    add_player(land, lower, 0, 0, 1, 0);
    HOLLOW *upper = add_hollow(land, 0, 0, 3, 5);
    upper->floor_tex = 2;
    upper->roof_tex = 3;
    add_object(upper, OBJ_ROCK, 0, 0, 4);
    // Tile 2: a sloped hollow with solid below; tile 1 another one over a
    // flat hollow that ends one level short of it.
    HOLLOW *slope_only = add_hollow(land, 2, 0, 4, 6, 5);
    add_hollow(land, 1, 0, 0, 3);
    HOLLOW *slope_over = add_hollow(land, 1, 0, 4, 6, 7);
    add_wall_lists(land, [](int, int, int, int) { return 3; });
    expect_whole();

    at(0, 0, 2);
    clear_land();
    ASSERT_NE(land->tile[0][0].hollow, nullptr);
    HOLLOW *joined = land->tile[0][0].hollow;
    EXPECT_EQ(joined->next, nullptr);
    EXPECT_EQ(joined->floor, 0);
    EXPECT_EQ(joined->roof, 5);
    EXPECT_EQ(joined->floor_tex, 1);
    EXPECT_EQ(joined->roof_tex, 3);
    EXPECT_EQ(object_levels(joined), (std::vector<int>{0, 1, 4}));
    EXPECT_EQ(land->n_players, 1);
    // Side 0 faces out of the grid: the new level is an entry of texture 0
    // among the old ones.  Tile 1 is open at level 2, so it loses its entry
    // there instead and tile 0 gains none on that side.
    EXPECT_EQ(wall(0, 0, 0), (std::vector<int>{3, 3, 0, 3, 3}));
    EXPECT_EQ(wall(0, 0, 1), (std::vector<int>{3}));
    EXPECT_EQ(wall(1, 0, 3), (std::vector<int>{3}));
    expect_whole();

    // Right under a slope with solid below: a new one-level hollow touching it.
    at(2, 0, 3);
    clear_land();
    HOLLOW *h = land->tile[0][2].hollow;
    ASSERT_NE(h, slope_only);
    EXPECT_EQ(h->floor, 3);
    EXPECT_EQ(h->roof, 4);
    EXPECT_EQ(h->slope, 0);
    EXPECT_EQ(h->next, slope_only);
    EXPECT_EQ(slope_only->floor, 4);
    EXPECT_EQ(slope_only->slope, 5);
    // Sides 0 and 1 face out of the grid.
    EXPECT_EQ(wall(2, 0, 0), (std::vector<int>{0, 3, 3}));
    EXPECT_EQ(wall(2, 0, 1), (std::vector<int>{0, 3, 3}));
    EXPECT_EQ(wall(2, 0, 3), (std::vector<int>{0}));
    expect_whole();

    // Right under a slope with a hollow ending one level below: that one grows.
    at(1, 0, 3);
    clear_land();
    h = land->tile[0][1].hollow;
    EXPECT_EQ(h->roof, 4);
    EXPECT_EQ(h->next, slope_over);
    EXPECT_EQ(slope_over->floor, 4);
    EXPECT_EQ(slope_over->slope, 7);
    // Tiles 1 and 2 are now open at the same levels on their shared side.
    EXPECT_EQ(land->tile[0][2].wall[3], nullptr);
    EXPECT_EQ(wall(1, 0, 1), (std::vector<int>{3, 3, 3}));
    expect_whole();
}

// A wall entry that disappears and comes back starts over at texture 0.
TEST_F(EditorTest, WallEntryComesBackAtTextureZero)
{
    land = new_land(2, 1, 4);
    add_hollow(land, 1, 0, 0, 3);
    add_wall_lists(land, [](int, int, int, int z) { return z + 1; });
    ASSERT_EQ(wall(1, 0, 3), (std::vector<int>{1, 2, 3}));

    at(0, 0, 1);
    clear_land();
    EXPECT_EQ(wall(1, 0, 3), (std::vector<int>{1, 3}));
    EXPECT_EQ(land->tile[0][0].wall[1], nullptr);
    expect_whole();
    fill_land();
    EXPECT_EQ(land->tile[0][0].hollow, nullptr);
    EXPECT_EQ(wall(1, 0, 3), (std::vector<int>{1, 0, 3}));
    for (int d = 0; d < 4; d++)
        EXPECT_EQ(land->tile[0][0].wall[d], nullptr);
    expect_whole();
}

// Filling cells: splits, and a hollow that goes with its player.
TEST_F(EditorTest, FillingCells)
{
    land = new_land(2, 1, 4);
    HOLLOW *h = add_hollow(land, 0, 0, 0, 3);
    h->floor_tex = 1;
    h->roof_tex = 2;
    add_object(h, OBJ_DIAMOND, 0, 0, 0);
    add_object(h, OBJ_ROCK, 0, 0, 1);
    add_object(h, OBJ_DIAMOND, 0, 0, 2);
    add_player(land, add_hollow(land, 1, 0, 5, 6), 1, 0, 5, 0);
    add_player(land, add_hollow(land, 1, 0, 7, 8), 1, 0, 7, 1);
    add_wall_lists(land, [](int, int, int, int) { return 2; });
    expect_whole();

    at(0, 0, 1);
    fill_land();
    HOLLOW *above = h->next;
    ASSERT_NE(above, nullptr);
    EXPECT_EQ(h->floor, 0);
    EXPECT_EQ(h->roof, 1);
    EXPECT_EQ(h->floor_tex, 1);
    EXPECT_EQ(h->roof_tex, 0);
    EXPECT_EQ(above->floor, 2);
    EXPECT_EQ(above->roof, 3);
    EXPECT_EQ(above->slope, 0);
    EXPECT_EQ(above->floor_tex, 0);
    EXPECT_EQ(above->roof_tex, 2);
    EXPECT_EQ(above->next, nullptr);
    EXPECT_EQ(object_levels(h), (std::vector<int>{0}));
    EXPECT_EQ(object_levels(above), (std::vector<int>{2}));
    EXPECT_EQ(above->object->type, OBJ_DIAMOND);
    expect_whole();

    // The only level of a hollow with player 1 in it.
    ASSERT_EQ(land->n_players, 2);
    at(1, 0, 5);
    fill_land();
    ASSERT_NE(land->tile[0][1].hollow, nullptr);
    EXPECT_EQ(land->tile[0][1].hollow->floor, 7);
    EXPECT_EQ(editor_player_exists[0], 0);
    EXPECT_EQ(editor_player_exists[1], 1);
    EXPECT_EQ(land->n_players, 1);
    expect_whole();

    // Filling a solid cell does nothing.
    std::string before = describe(land);
    at(1, 0, 6);
    fill_land();
    EXPECT_EQ(describe(land), before);
}

// ">" runs through the twelve shapes and never back to flat; M undoes it.
TEST_F(EditorTest, SlopesCycleAndClear)
{
    land = new_land(2, 1, 4);
    add_hollow(land, 0, 0, 0, 1);
    HOLLOW *flat = add_hollow(land, 0, 0, 2, 4);
    HOLLOW *tall = add_hollow(land, 1, 0, 0, 4);
    tall->roof_tex = 3;
    add_object(tall, OBJ_DIAMOND, 1, 0, 1);
    add_object(tall, OBJ_ROCK, 1, 0, 2);
    add_object(tall, OBJ_DIAMOND, 1, 0, 3);
    add_wall_lists(land, [](int, int, int, int) { return 1; });
    flat->slope_tex[0] = 2;

    at(0, 0, 2);
    std::vector<int> shapes;
    for (int i = 0; i < 13; i++) {
        insert_slope();
        shapes.push_back(flat->slope);
    }
    EXPECT_EQ(shapes, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1}));
    EXPECT_EQ(flat->slope_tex[0], 0);
    expect_whole();
    clear_land();
    EXPECT_EQ(flat->slope, 0);
    EXPECT_EQ(flat->floor, 2);
    EXPECT_EQ(land->tile[0][0].hollow->next, flat);
    expect_whole();

    // In the middle of a hollow the first press splits off a sloped upper
    // part touching the lower; M on its floor joins them again.
    at(1, 0, 2);
    for (int i = 0; i < 13; i++)
        insert_slope();
    HOLLOW *sloped = tall->next;
    ASSERT_NE(sloped, nullptr);
    EXPECT_EQ(tall->roof, 2);
    EXPECT_EQ(tall->roof_tex, 0);
    EXPECT_EQ(sloped->floor, 2);
    EXPECT_EQ(sloped->roof, 4);
    EXPECT_EQ(sloped->slope, 1);
    EXPECT_EQ(sloped->roof_tex, 3);
    EXPECT_EQ(object_levels(tall), (std::vector<int>{1}));
    EXPECT_EQ(object_levels(sloped), (std::vector<int>{3}));
    expect_whole();
    clear_land();
    EXPECT_EQ(tall->next, nullptr);
    EXPECT_EQ(tall->roof, 4);
    EXPECT_EQ(tall->roof_tex, 3);
    EXPECT_EQ(object_levels(tall), (std::vector<int>{1, 3}));
    expect_whole();
}

// Objects mode: a diamond first, then the type cycles on the same cell.
TEST_F(EditorTest, PlacingObjects)
{
    land = new_land(2, 1, 4);
    HOLLOW *h = add_hollow(land, 0, 0, 0, 3);
    HOLLOW *slope = add_hollow(land, 1, 0, 0, 2, 4);
    add_wall_lists(land, [](int, int, int, int) { return 0; });

    at(0, 0, 1);
    insert_object();
    ASSERT_NE(object_at(land, 0, 0, 1), nullptr);
    EXPECT_EQ(object_at(land, 0, 0, 1)->type, OBJ_DIAMOND);
    insert_object();
    EXPECT_EQ(object_at(land, 0, 0, 1)->type, OBJ_ROCK);
    EXPECT_EQ(editor_object, OBJ_ROCK);
    insert_object();
    EXPECT_EQ(object_at(land, 0, 0, 1)->type, OBJ_DIAMOND);
    EXPECT_EQ(object_levels(h), (std::vector<int>{1}));
    // New objects go in order around the existing one.
    at(0, 0, 2);
    insert_object();
    at(0, 0, 0);
    insert_object();
    EXPECT_EQ(object_levels(h), (std::vector<int>{0, 1, 2}));
    expect_whole();

    // A player turned into a diamond leaves the books.
    insert_player(0);
    ASSERT_EQ(land->n_players, 1);
    insert_object();
    EXPECT_EQ(object_at(land, 0, 0, 0)->type, OBJ_DIAMOND);
    EXPECT_EQ(editor_player_exists[0], 0);
    EXPECT_EQ(land->n_players, 0);
    expect_whole();

    // Nothing in the slope cell, in solid cells above or beside a hollow.
    std::string before = describe(land);
    int cells[][3] = {{1, 0, 0}, {1, 0, 2}, {1, 0, 5}, {0, 0, 3}, {0, 0, 9}};
    for (auto &c : cells) {
        at(c[0], c[1], c[2]);
        insert_object();
        insert_player(0);
        insert_player(1);
    }
    EXPECT_EQ(describe(land), before);
    EXPECT_EQ(land->n_players, 0);
    EXPECT_EQ(editor_player_exists[0] + editor_player_exists[1], 0);
    // One level up from the slope is where things stand.
    at(1, 0, 1);
    insert_object();
    EXPECT_EQ(object_levels(slope), (std::vector<int>{1}));
    expect_whole();
}

// Players move rather than double, and replace whatever stands in their cell.
TEST_F(EditorTest, PlacingPlayers)
{
    land = new_land(3, 1, 4);
    for (int x = 0; x < 3; x++)
        add_hollow(land, x, 0, 0, 2);
    add_wall_lists(land, [](int, int, int, int) { return 0; });

    at(0, 0, 1);
    insert_player(0);
    EXPECT_EQ(land->n_players, 1);
    at(2, 0, 0);
    insert_player(0);
    EXPECT_EQ(land->n_players, 1);
    EXPECT_EQ(object_at(land, 0, 0, 1), nullptr);
    ASSERT_NE(object_at(land, 2, 0, 0), nullptr);
    EXPECT_EQ(player_index(object_at(land, 2, 0, 0)), 0);
    EXPECT_EQ(((PLAYER_DATA *)object_at(land, 2, 0, 0)->data)->facing, 0);
    expect_whole();

    // Player 2 onto player 1's cell: player 1 is gone and only 2 counts.
    insert_player(1);
    EXPECT_EQ(player_index(object_at(land, 2, 0, 0)), 1);
    EXPECT_EQ(editor_player_exists[0], 0);
    EXPECT_EQ(editor_player_exists[1], 1);
    EXPECT_EQ(land->n_players, 1);
    expect_whole();

    // Onto a rock: the rock becomes the player.
    at(1, 0, 1);
    insert_object();
    insert_object();
    ASSERT_EQ(object_at(land, 1, 0, 1)->type, OBJ_ROCK);
    insert_player(0);
    EXPECT_EQ(object_at(land, 1, 0, 1)->type, OBJ_PLAYER);
    EXPECT_EQ(object_levels(land->tile[0][1].hollow), (std::vector<int>{1}));
    EXPECT_EQ(land->n_players, 2);
    expect_whole();

    // M removes a player and its flag.
    clear_land();
    EXPECT_EQ(object_at(land, 1, 0, 1), nullptr);
    EXPECT_EQ(editor_player_exists[0], 0);
    EXPECT_EQ(land->n_players, 1);
    expect_whole();
}

// Which wall square the texture keys change.
TEST_F(EditorTest, WallTextureSelection)
{
    land = new_land(2, 2, 4);
    add_hollow(land, 0, 0, 0, 2);
    HOLLOW *slope = add_hollow(land, 1, 0, 4, 6, 2);
    add_wall_lists(land, [](int, int, int, int z) { return z; });
    editor_texwall = 1;

    // Above the highest roof of its tile, even beside the neighbour's slope.
    at(0, 0, 4);
    EXPECT_EQ(editor_get_texture(1), nullptr);
    // A tile with no hollows sees the side of the slope next to it.
    at(1, 1, 4);
    EXPECT_EQ(editor_get_texture(0), &slope->slope_tex[2]);
    EXPECT_EQ(editor_get_texture(1), nullptr);
    at(1, 1, 5);
    EXPECT_EQ(editor_get_texture(0), nullptr);
    // Open onto solid: the entry of that level.
    at(0, 0, 1);
    EXPECT_EQ(editor_get_texture(1), &land->tile[0][0].wall[1][1]);
    EXPECT_EQ(editor_get_texture(3), &land->tile[0][0].wall[3][1]);
    at(1, 0, 5);
    EXPECT_EQ(editor_get_texture(2), &land->tile[0][1].wall[2][1]);
}

// ---- keys from the keyboard buffer ----------------------------------------

namespace {

int timer_installs = 0, timer_removals = 0;

int count_install(void (*)(), long)
{
    timer_installs++;
    return 0;
}

void count_removal(void (*)())
{
    timer_removals++;
}

int no_key()
{
    return 0;
}

// The buffer filled as typing would fill it; F4 gets a palette to build its
// fog table from and a timer that is only counted.
class EditorKeysTest : public EditorTest {
protected:
    PALETTE palette;
    DATAFILE data[DATA_PALETTE + 1] = {};
    RGB_MAP table;
    RGB_MAP *old_rgb_map = nullptr;
    int (*old_install)(void (*)(), long) = nullptr;
    void (*old_remove)(void (*)()) = nullptr;

    void SetUp() override
    {
        EditorTest::SetUp();
        install_keyboard_hooks(nullptr, no_key);  // readkey() needs a keyboard or a hook
        clear_keybuf();
        for (int i = 0; i < 256; i++)
            palette[i] = RGB{(unsigned char)(i & 63), (unsigned char)((i >> 2) & 63), (unsigned char)(63 - (i & 63)), 0};
        data[DATA_PALETTE].dat = palette;
        dat = data;
        create_rgb_table(&table, palette, nullptr);
        old_rgb_map = rgb_map;
        rgb_map = &table;
        old_install = input_install_int;
        old_remove = input_remove_int;
        input_install_int = count_install;
        input_remove_int = count_removal;
        timer_installs = timer_removals = 0;
        edit_mode = 0;
        editor_land_saved();
    }
    void TearDown() override
    {
        clear_keybuf();
        dat = nullptr;
        rgb_map = old_rgb_map;
        input_install_int = old_install;
        input_remove_int = old_remove;
        EditorTest::TearDown();
    }
    void type(std::initializer_list<int> scancodes)
    {
        for (int k : scancodes)
            simulate_keypress(k << 8);
    }
    void replace_land(LAND *l)
    {
        destroy_land(land);
        land = l;
    }
};

// Tile 0: open 0..4 with player 1 at level 1 and a diamond at 2; tile 1 a
// slope from level 0; tile 2 solid.
LAND *land_for_keys(int n_textures)
{
    LAND *l = new_land(3, 1, n_textures);
    HOLLOW *h = add_hollow(l, 0, 0, 0, 4);
    add_player(l, h, 0, 0, 1, 0);
    add_object(h, OBJ_DIAMOND, 0, 0, 2);
    add_hollow(l, 1, 0, 0, 2, 3);
    add_wall_lists(l, [](int, int, int, int) { return 0; });
    return l;
}

}  // namespace

// F4 opens no dialog: the keys typed after it wait in the buffer and are
// handled in the same frame.
TEST_F(EditorKeysTest, KeysTypedAfterF4AreAllHandled)
{
    land = land_for_keys(3);
    land->fog_colour = 250;
    for (int i = 0; i < 10; i++)
        type({KEY_F4});
    type({KEY_N, KEY_Y});
    editor_handle_keys(1);
    EXPECT_EQ(land->fog_colour, 4);
    EXPECT_EQ(edit_mode, 1);
    EXPECT_EQ(xeditor, 1);
    EXPECT_FALSE(keypressed());
    EXPECT_TRUE(editor_land_changed());
    // The timer stays out of the way while each table is built.
    EXPECT_EQ(timer_removals, 10);
    EXPECT_EQ(timer_installs, 10);
    COLOR_MAP want;
    create_light_table(&want, palette, palette[4].r, palette[4].g, palette[4].b, nullptr);
    EXPECT_EQ(memcmp(want.data, the_fog_map.data, sizeof want.data), 0) << "the fog table is not for colour 4";
}

// A command marks the land changed exactly when it changes something that
// the land file keeps, so that leaving or loading asks only about real work.
TEST_F(EditorKeysTest, OnlyRealChangesMarkTheLandChanged)
{
    struct key_case {
        const char *what;
        int mode, key, x, z;
        bool changes;
    };
    const key_case cases[] = {
        {"Blocks M on an empty open cell", 0, KEY_M, 0, 0, false},
        {"Blocks < on a solid cell", 0, KEY_COMMA, 2, 0, false},
        {"Blocks M on a solid cell", 0, KEY_M, 2, 0, true},
        {"Blocks M on a slope", 0, KEY_M, 1, 0, true},
        {"Blocks M on a diamond", 0, KEY_M, 0, 2, true},
        {"Blocks < on an open cell", 0, KEY_COMMA, 0, 3, true},
        {"Blocks > on a slope", 0, KEY_STOP, 1, 0, true},
        {"Textures M", 1, KEY_M, 0, 0, false},
        {"Textures < where there is no floor", 1, KEY_COMMA, 2, 5, false},
        {"Textures > on a floor", 1, KEY_STOP, 0, 0, true},
        {"Objects M on an empty open cell", 2, KEY_M, 0, 3, false},
        {"Objects < on a solid cell", 2, KEY_COMMA, 2, 0, false},
        {"Objects < in a slope cell", 2, KEY_COMMA, 1, 0, false},
        {"Objects > on a diamond", 2, KEY_STOP, 0, 2, false},
        {"Objects < on an empty open cell", 2, KEY_COMMA, 0, 0, true},
        {"Objects < on a diamond", 2, KEY_COMMA, 0, 2, true},
        {"Players M on an empty open cell", 3, KEY_M, 0, 0, false},
        {"Players < on a solid cell", 3, KEY_COMMA, 2, 0, false},
        {"Players > in a slope cell", 3, KEY_STOP, 1, 0, false},
        {"Players < where player 1 already stands", 3, KEY_COMMA, 0, 1, false},
        {"Players > on player 1", 3, KEY_STOP, 0, 1, true},
        {"Players < on an empty open cell", 3, KEY_COMMA, 0, 0, true},
        {"Players M on player 1", 3, KEY_M, 0, 1, true},
        {"F4", 2, KEY_F4, 2, 0, true},
    };
    auto press = [&](int key, const std::string &what, bool changes) {
        std::string before = describe(land);
        editor_land_saved();
        type({key});
        editor_handle_keys(1);
        EXPECT_EQ(describe(land) != before, changes) << what << ": the land";
        EXPECT_EQ(editor_land_changed(), changes) << what << ": the changed flag";
    };
    for (const key_case &c : cases) {
        replace_land(land_for_keys(3));
        edit_mode = c.mode;
        editor_texwall = 0;
        at(c.x, 0, c.z);
        press(c.key, c.what, c.changes);
    }

    // With one texture there is no other to step to.
    replace_land(land_for_keys(1));
    edit_mode = 1;
    at(0, 0, 0);
    press(KEY_STOP, "Textures > with one texture", false);
    press(KEY_COMMA, "Textures < with one texture", false);
    // Placing a player on itself still turns it to face direction 0.
    ((PLAYER_DATA *)object_at(land, 0, 0, 1)->data)->facing = 2;
    edit_mode = 3;
    at(0, 0, 1);
    press(KEY_COMMA, "Players < on player 1 facing 2", true);
    press(KEY_COMMA, "Players < on player 1 again", false);

    // Random sessions: whatever the key, the mode and the cell, the flag
    // tells whether the land has changed.
    const int keys[] = {KEY_M, KEY_COMMA, KEY_STOP, KEY_N, KEY_Y, KEY_H, KEY_J, KEY_L, KEY_I, KEY_K};
    for (unsigned seed = 1; seed <= 3; seed++) {
        seeded_source rng(seed);
        auto rnd = [&](int n) { return rng.draw(0, n - 1); };
        replace_land(make_random_land(rng, 4, 4, 3).land);
        at(0, 0, 0);
        edit_mode = editor_object = 0;
        for (int step = 0; step < 600; step++) {
            editor_texwall = rnd(3);
            int key = keys[rnd(10)];
            std::string before = describe(land);
            editor_land_saved();
            type({key});
            editor_handle_keys(rnd(4));
            if (editor_land_changed() != (describe(land) != before)) {
                ADD_FAILURE() << "seed " << seed << " step " << step << ": key " << key << " in mode "
                              << edit_mode << " at " << xeditor << "," << yeditor << "," << zeditor
                              << (editor_land_changed() ? " marked an unchanged land" : " changed the land unmarked");
                break;
            }
        }
    }
}

// ---- undo, redo and test play ---------------------------------------------

namespace {

// The land as a file holds it, byte for byte, and the books kept beside it.
std::string state_of(const LAND *l)
{
    // One scratch file, in memory where there is a tmpfs: thousands of files
    // made and removed cost seconds.
    static struct scratch {
        char path[64];
        scratch()
        {
            snprintf(path, sizeof path, "%s/tavo_undo_XXXXXX", access("/dev/shm", W_OK) ? "/tmp" : "/dev/shm");
            close(mkstemp(path));
        }
        ~scratch() { unlink(path); }
    } file;
    EXPECT_EQ(save_land(l, file.path), 0);
    std::ifstream in(file.path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf() << "\ndiamonds " << l->n_diamonds << " players " << l->n_players << " "
      << editor_player_exists[0] << editor_player_exists[1];
    return s.str();
}

}  // namespace

// Random sessions of keys with undos and redos mixed in: every undo gives
// back the land as it was before the change it takes back, every redo the
// land after it, with the books and the fog table; a command that changes
// nothing leaves nothing to undo; and the land counts as changed exactly
// when it is not at the state last marked saved.
TEST_F(EditorKeysTest, UndoAndRedoRetraceEveryChange)
{
    const int keys[] = {KEY_M, KEY_COMMA, KEY_STOP, KEY_N, KEY_Y, KEY_H, KEY_J, KEY_L, KEY_I, KEY_K};
    for (unsigned seed = 1; seed <= 4; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        seeded_source rng(seed);
        auto rnd = [&](int n) { return rng.draw(0, n - 1); };
        replace_land(make_random_land(rng, 4, 4, 3).land);
        land->n_diamonds = count_diamonds(land);
        build_fog_map(palette, land->fog_colour);
        editor_clear_history();
        at(0, 0, 0);
        edit_mode = editor_object = 0;
        std::vector<std::string> states = {state_of(land)};
        size_t now = 0;
        long saved = 0;  // -1 once the state saved is on a branch dropped
        for (int step = 0; step < 1500; step++) {
            int r = rnd(100);
            int key = r < 20 ? KEY_U : r < 30 ? KEY_R : r < 32 ? KEY_F4 : keys[rnd(10)];
            editor_texwall = rnd(3);
            type({key});
            editor_handle_keys(rnd(4));
            std::string got = state_of(land), what = "step " + std::to_string(step);
            if (key == KEY_U || key == KEY_R) {
                now = key == KEY_U ? (now ? now - 1 : 0) : std::min(now + 1, states.size() - 1);
                ASSERT_EQ(got, states[now]) << what << ": not the land of history step " << now;
                COLOR_MAP want;
                const RGB &c = palette[land->fog_colour];
                create_light_table(&want, palette, c.r, c.g, c.b, nullptr);
                ASSERT_EQ(memcmp(want.data, the_fog_map.data, sizeof want.data), 0) << what << ": the fog table";
            } else if (got != states[now]) {
                states.resize(++now);
                states.push_back(got);
                if (saved >= (long)now)
                    saved = -1;
            }
            ASSERT_EQ(editor_undo_count(), (int)now) << what;
            if (rnd(50) == 0) {
                editor_land_saved();
                saved = (long)now;
            }
            ASSERT_EQ(editor_land_changed(), saved != (long)now) << what;
        }
    }
}

// The history forgets its oldest steps beyond its length or its memory, but
// never the newest.
TEST_F(EditorKeysTest, HistoryKeepsItsBounds)
{
    land = land_for_keys(3);
    land->fog_colour = 0;
    editor_clear_history();
    auto press = [&](int key, int times) {
        for (int i = 0; i < times; i++) {  // the keyboard buffer holds 64 keys
            type({key});
            editor_handle_keys(1);
        }
    };
    press(KEY_F4, UNDO_MAX_STEPS + 5);
    press(KEY_U, UNDO_MAX_STEPS + 10);
    EXPECT_EQ(land->fog_colour, 5);
    EXPECT_TRUE(editor_land_changed()) << "the loaded land is out of reach, not reached";

    // Room for no step at all: each dig keeps its own, and only that one.
    size_t old_max = undo_max_bytes;
    undo_max_bytes = 1;
    for (int z : {10, 12, 14}) {
        at(2, 0, z);
        press(KEY_M, 1);
    }
    undo_max_bytes = old_max;
    press(KEY_U, 3);
    EXPECT_TRUE(is_open(land, 2, 0, 10) && is_open(land, 2, 0, 12));
    EXPECT_FALSE(is_open(land, 2, 0, 14));
}

namespace {

std::string game_saw;

// A game that reports what it was given, then wrecks its land.
void wrecking_game()
{
    const OBJECT *o = player_info[0].object;
    game_saw = "running " + std::to_string(editor_running) + " player " +
               (o && o->type == OBJ_PLAYER ? std::to_string(player_index(o)) : "none") +
               (player_info[0].view ? " view" : " no view") + (object_at(land, 0, 0, 3)->type == OBJ_ROCK ? " rock" : " no rock");
    destroy_all_objects(land->tile[0][0].hollow->object);
    land->tile[0][0].hollow->object = nullptr;
    player_info[0].object = nullptr;
    land->n_diamonds = 0;
    build_fog_map((RGB *)dat[DATA_PALETTE].dat, 9);
}

}  // namespace

// F5 leaves the keys after it to the game, which gets a copy of the land as
// the game loads lands; the editor gets back its land, camera, views, books
// and fog table, and no file is left behind.
TEST_F(EditorKeysTest, TestPlayGetsACopyAndGivesTheLandBack)
{
    char dir[] = "/tmp/tavo_play_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string old_tmpdir = getenv("TMPDIR") ? getenv("TMPDIR") : "";
    setenv("TMPDIR", dir, 1);
    void (*old_game)() = editor_play_game;
    editor_play_game = wrecking_game;
    land = land_for_keys(3);
    land->n_diamonds = 1;
    ((ROCK_DATA *)add_object(land->tile[0][0].hollow, OBJ_ROCK, 0, 0, 3)->data)->texture = 2;
    PLAYER_INFO editor_row = player_info[0];
    editor_row.object = create_object(OBJ_PLAYER, 5, 6, 7);
    editor_row.view = editor_row.panel = create_bitmap(8, 8);
    player_info[0] = editor_row;

    type({KEY_F5, KEY_N});
    EXPECT_TRUE(editor_handle_keys(1));
    EXPECT_EQ(edit_mode, 0) << "a key typed after F5 was taken by the editor";
    LAND *edited = land;
    std::string before = state_of(land) + describe(land);
    editor_test_play();
    EXPECT_EQ(game_saw, "running 0 player 0 no view rock");
    EXPECT_EQ(land, edited);
    EXPECT_EQ(state_of(land) + describe(land), before);
    EXPECT_EQ(editor_running, 1);
    EXPECT_TRUE(player_info[0].object == editor_row.object && player_info[0].view == editor_row.view &&
                player_info[0].panel == editor_row.panel)
        << "the editor's camera and views are not back";
    COLOR_MAP want;
    create_light_table(&want, palette, palette[0].r, palette[0].g, palette[0].b, nullptr);
    EXPECT_EQ(memcmp(want.data, the_fog_map.data, sizeof want.data), 0) << "the fog table is the game's";
    EXPECT_EQ(rmdir(dir), 0) << "the game's copy was left in " << dir;

    clear_keybuf();
    destroy_object(&editor_row.object);
    destroy_bitmap(editor_row.view);
    player_info[0].object = nullptr;
    player_info[0].view = player_info[0].panel = nullptr;
    editor_play_game = old_game;
    if (old_tmpdir.empty())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", old_tmpdir.c_str(), 1);
}
