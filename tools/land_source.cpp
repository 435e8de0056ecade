// land_source.cpp -- the text form of a land, for people who write levels.
//
// A land is described level by level as maps of two-character cells (terrain
// then object); columns of open cells become hollows.  Textures come from
// per-level defaults and rectangular "paint" commands.
#include "tools/land_source.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

#include "land/land.h"
#include "objects/objects.h"

namespace {

enum { SURF_FLOOR, SURF_ROOF, SURF_WALL, SURF_SLOPE, N_SURFACES };
const char *const surface_name[N_SURFACES] = {"floor", "roof", "wall", "slope"};

struct level_map {
    int line = 0;
    int tex[N_SURFACES] = {-1, -1, -1, -1};  // -1: the land's default
    std::vector<std::string> rows;
    std::vector<int> row_lines;
};

struct paint {
    int line;
    int surface;
    int x0, y0, x1, y1, z0, z1;
    int tex;
    int side;  // -1: every side
};

struct parse_error {
    int line;
    std::string what;
};

[[noreturn]] void fail(int line, const std::string &what)
{
    throw parse_error{line, what};
}

int to_int(const std::string &s, int line, int lo, int hi, const char *what)
{
    char *end = nullptr;
    long v = strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || v < lo || v > hi)
        fail(line, std::string(what) + " must be a number from " + std::to_string(lo) + " to " +
                       std::to_string(hi) + ", not \"" + s + "\"");
    return (int)v;
}

// "Z" or "Z0-Z1".
void to_range(const std::string &s, int line, int &lo, int &hi)
{
    size_t dash = s.find('-', 1);
    if (dash == std::string::npos) {
        lo = hi = to_int(s, line, 0, 65534, "a level");
        return;
    }
    lo = to_int(s.substr(0, dash), line, 0, 65534, "a level");
    hi = to_int(s.substr(dash + 1), line, 0, 65534, "a level");
    if (hi < lo)
        fail(line, "level range " + s + " runs downwards");
}

int surface_of(const std::string &s, int line)
{
    for (int i = 0; i < N_SURFACES; i++)
        if (s == surface_name[i])
            return i;
    fail(line, "\"" + s + "\" is not floor, roof, wall or slope");
}

// Terrain: '#' solid, '.' open, '^' '>' 'v' '<' ramps rising towards
// y-1, x+1, y+1, x-1, and '1'-'9', 'a'-'c' for shapes 1 to 12.
int slope_of(char c)
{
    switch (c) {
    case '.': return 0;
    case '^': return 1;
    case '>': return 2;
    case 'v': return 3;
    case '<': return 4;
    case 'a': return 10;
    case 'b': return 11;
    case 'c': return 12;
    default: return (c >= '1' && c <= '9') ? c - '0' : -1;
    }
}

struct source {
    int w = -1, h = -1;
    std::vector<std::string> textures;
    int fog = 0;
    int players = -1;
    int facing[2] = {0, 0};
    int defaults[N_SURFACES] = {0, 0, 0, 0};
    std::map<int, level_map> levels;
    std::vector<paint> paints;
};

// A comment is a '#' standing alone as a word ("# note"), so that map rows,
// which are full of '#' cells, are never mistaken for one.
std::string strip_comment(const std::string &line)
{
    for (size_t i = 0; i < line.size(); i++) {
        bool starts = i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t';
        bool ends = i + 1 == line.size() || line[i + 1] == ' ' || line[i + 1] == '\t' || line[i + 1] == '\r';
        if (line[i] == '#' && starts && ends)
            return line.substr(0, i);
    }
    return line;
}

std::vector<std::string> words_of(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> w;
    std::string s;
    while (in >> s)
        w.push_back(s);
    return w;
}

source read_source(const std::string &text)
{
    source src;
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    level_map *current = nullptr;  // the map whose rows are being read
    while (std::getline(in, raw)) {
        line++;
        std::string s = strip_comment(raw);
        if (current && (int)current->rows.size() < src.h) {
            // A row is taken whole (a solid cell with no object may read "# "),
            // unless the line is a comment from its start.
            std::string row = raw;
            size_t first = row.find_first_not_of(" \t");
            if (first != std::string::npos && strip_comment(row.substr(first)).empty())
                continue;
            while (!row.empty() && (row.back() == '\r' || row.back() == ' ' || row.back() == '\t'))
                row.pop_back();
            size_t lead = row.find_first_not_of(" \t");
            if (lead == std::string::npos)
                continue;
            row = row.substr(lead);
            if ((int)row.size() != 2 * src.w)
                fail(line, "a map row needs " + std::to_string(src.w) + " cells of two characters, found " +
                               std::to_string(row.size()) + " characters");
            current->rows.push_back(row);
            current->row_lines.push_back(line);
            continue;
        }
        std::vector<std::string> w = words_of(s);
        if (w.empty())
            continue;
        const std::string &cmd = w[0];
        if (cmd == "size") {
            if (w.size() != 3)
                fail(line, "size takes a width and a height");
            if (src.w >= 0)
                fail(line, "the size is given twice");
            src.w = to_int(w[1], line, 1, 255, "the width");
            src.h = to_int(w[2], line, 1, 255, "the height");
        } else if (cmd == "textures") {
            for (size_t i = 1; i < w.size(); i++) {
                if (w[i].size() > 12)
                    fail(line, "texture name \"" + w[i] + "\" is longer than 12 characters");
                if (w[i].find_first_of("/\\") != std::string::npos)
                    fail(line, "texture name \"" + w[i] + "\" must be a plain file name inside textures/");
                src.textures.push_back(w[i]);
            }
            if (src.textures.size() > 256)
                fail(line, "more than 256 textures");
        } else if (cmd == "fog") {
            if (w.size() != 2)
                fail(line, "fog takes a palette index");
            src.fog = to_int(w[1], line, 0, 255, "the fog colour");
        } else if (cmd == "players") {
            if (w.size() != 2)
                fail(line, "players takes a count");
            src.players = to_int(w[1], line, 0, 2, "the player count");
        } else if (cmd == "facing") {
            if (w.size() != 3)
                fail(line, "facing takes a player (P or Q) and a direction 0-3");
            int p = w[1] == "P" ? 0 : w[1] == "Q" ? 1 : -1;
            if (p < 0)
                fail(line, "facing names player P or Q");
            src.facing[p] = to_int(w[2], line, 0, 3, "a direction");
        } else if (cmd == "default" || cmd == "level") {
            size_t i = 1;
            int *tex = src.defaults;
            if (cmd == "level") {
                if (src.w < 0)
                    fail(line, "give the size before the first level");
                if (w.size() < 2)
                    fail(line, "level takes a level number");
                int z = to_int(w[1], line, 0, 65534, "a level");
                if (src.levels.count(z))
                    fail(line, "level " + w[1] + " is given twice");
                current = &src.levels[z];
                current->line = line;
                tex = current->tex;
                i = 2;
            }
            for (; i < w.size(); i += 2) {
                int surf = surface_of(w[i], line);
                if (i + 1 >= w.size())
                    fail(line, w[i] + " needs a texture number");
                tex[surf] = to_int(w[i + 1], line, 0, 255, "a texture number");
            }
        } else if (cmd == "paint") {
            // paint SURFACE X0 Y0 X1 Y1 Z|Z0-Z1 TEXTURE [side D]
            if (w.size() != 8 && w.size() != 10)
                fail(line, "paint takes SURFACE X0 Y0 X1 Y1 LEVELS TEXTURE [side D]");
            paint p{};
            p.line = line;
            p.surface = surface_of(w[1], line);
            p.x0 = to_int(w[2], line, 0, 254, "a column");
            p.y0 = to_int(w[3], line, 0, 254, "a row");
            p.x1 = to_int(w[4], line, p.x0, 254, "the last column");
            p.y1 = to_int(w[5], line, p.y0, 254, "the last row");
            to_range(w[6], line, p.z0, p.z1);
            p.tex = to_int(w[7], line, 0, 255, "a texture number");
            p.side = -1;
            if (w.size() == 10) {
                if (w[8] != "side")
                    fail(line, "expected \"side D\" after the texture");
                if (p.surface != SURF_WALL && p.surface != SURF_SLOPE)
                    fail(line, "only walls and slope faces have sides");
                p.side = to_int(w[9], line, 0, 3, "a side");
            }
            src.paints.push_back(p);
        } else {
            fail(line, "unknown command \"" + cmd + "\"");
        }
    }
    if (current && (int)current->rows.size() < src.h)
        fail(line, "the map of the last level has " + std::to_string(current->rows.size()) + " of " +
                       std::to_string(src.h) + " rows");
    if (src.w < 0)
        fail(line, "no size given");
    if (src.textures.empty())
        fail(line, "no textures given");
    return src;
}

struct cell {
    int slope = -1;  // -1: solid
    char object = '.';
};

cell cell_at(const source &src, int x, int y, int z, int &line)
{
    auto it = src.levels.find(z);
    if (it == src.levels.end())
        return cell{};
    line = it->second.row_lines[y];
    const std::string &row = it->second.rows[y];
    char t = row[2 * x], o = row[2 * x + 1];
    cell c;
    if (t == '#') {
        if (o != '#' && o != '.' && o != ' ')
            fail(line, "an object inside solid rock at column " + std::to_string(x) + ", row " +
                           std::to_string(y) + " of level " + std::to_string(z));
        return c;
    }
    c.slope = slope_of(t);
    if (c.slope < 0)
        fail(line, std::string("unknown terrain '") + t + "' at column " + std::to_string(x) + ", row " +
                       std::to_string(y) + " of level " + std::to_string(z));
    if (o != '.' && o != ' ' && o != 'P' && o != 'Q' && o != 'D' && o != 'R')
        fail(line, std::string("unknown object '") + o + "' at column " + std::to_string(x) + ", row " +
                       std::to_string(y) + " of level " + std::to_string(z));
    c.object = o == ' ' ? '.' : o;
    return c;
}

int level_texture(const source &src, int z, int surface)
{
    auto it = src.levels.find(z);
    if (it != src.levels.end() && it->second.tex[surface] >= 0)
        return it->second.tex[surface];
    return src.defaults[surface];
}

void build_column(const source &src, LAND *l, int x, int y, int players[2], int &player_count)
{
    HOLLOW **tail = &l->tile[y][x].hollow;
    HOLLOW *h = nullptr;
    OBJECT **obj_tail = nullptr;
    int prev_z = -2;
    for (auto &lv : src.levels) {
        int z = lv.first;
        int line = lv.second.line;
        cell c = cell_at(src, x, y, z, line);
        if (c.slope < 0) {
            h = nullptr;
            continue;
        }
        if (!h || z != prev_z + 1) {
            h = (HOLLOW *)calloc(1, sizeof(HOLLOW));
            *tail = h;
            tail = &h->next;
            h->slope = c.slope;
            h->floor = z;
            h->floor_tex = level_texture(src, z, SURF_FLOOR);
            for (int d = 0; d < 4; d++)
                h->slope_tex[d] = level_texture(src, z, SURF_SLOPE);
            obj_tail = &h->object;
        } else if (c.slope != 0) {
            fail(line, "a slope at column " + std::to_string(x) + ", row " + std::to_string(y) + " of level " +
                           std::to_string(z) + " has open space below it: slopes sit on floors");
        }
        h->roof = z + 1;
        h->roof_tex = level_texture(src, z, SURF_ROOF);
        prev_z = z;
        if (c.object == '.')
            continue;
        if (z < floor_level(h))
            fail(line, "an object at column " + std::to_string(x) + ", row " + std::to_string(y) +
                           " of level " + std::to_string(z) + " is inside its slope: put it one level up");
        int type = c.object == 'D' ? OBJ_DIAMOND : c.object == 'R' ? OBJ_ROCK : OBJ_PLAYER;
        OBJECT *o = create_object(type, x, y, z);
        *obj_tail = o;
        obj_tail = &o->next;
        if (type == OBJ_PLAYER) {
            int p = c.object == 'Q';
            if (players[p]++)
                fail(line, std::string("player ") + c.object + " is placed twice");
            player_count++;
            l->player[p] = o;
            ((PLAYER_DATA *)o->data)->index = p;
            ((PLAYER_DATA *)o->data)->facing = src.facing[p];
        } else if (type == OBJ_DIAMOND) {
            l->n_diamonds++;
        }
    }
}

void build_walls(const source &src, LAND *l)
{
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++) {
                int n = wall_length(l, x, y, d);
                if (!n)
                    continue;
                int *list = (int *)malloc(n * sizeof(int));
                l->tile[y][x].wall[d] = list;
                int i = 0;
                walk_wall(&l->tile[y][x], neighbour_tile(l, x, y, d),
                          [&](int z) { list[i++] = level_texture(src, z, SURF_WALL); });
            }
}

void apply_paint(const paint &p, LAND *l)
{
    if (p.x1 >= l->w || p.y1 >= l->h)
        fail(p.line, "the painted rectangle reaches outside the land");
    for (int y = p.y0; y <= p.y1; y++)
        for (int x = p.x0; x <= p.x1; x++) {
            TILE *t = &l->tile[y][x];
            for (HOLLOW *h = t->hollow; h; h = h->next) {
                if (p.surface == SURF_FLOOR && h->floor >= p.z0 && h->floor <= p.z1)
                    h->floor_tex = p.tex;
                if (p.surface == SURF_ROOF && h->roof - 1 >= p.z0 && h->roof - 1 <= p.z1)
                    h->roof_tex = p.tex;
                if (p.surface == SURF_SLOPE && h->floor >= p.z0 && h->floor <= p.z1)
                    for (int d = 0; d < 4; d++)
                        if (p.side < 0 || p.side == d)
                            h->slope_tex[d] = p.tex;
            }
            if (p.surface != SURF_WALL)
                continue;
            for (int d = 0; d < 4; d++) {
                if (p.side >= 0 && p.side != d)
                    continue;
                int i = 0;
                int *list = t->wall[d];
                walk_wall(t, neighbour_tile(l, x, y, d), [&](int z) {
                    if (z >= p.z0 && z <= p.z1)
                        list[i] = p.tex;
                    i++;
                });
            }
        }
}

} // namespace

land_source_result parse_land_source(const std::string &text)
{
    land_source_result r;
    LAND *l = nullptr;
    try {
        source src = read_source(text);
        std::vector<const char *> names;
        for (const std::string &t : src.textures)
            names.push_back(t.c_str());
        l = create_land(src.w, src.h, names.data(), (int)names.size());
        if (!l)
            out_of_memory();
        l->fog_colour = src.fog;
        int players[2] = {0, 0};
        int placed = 0;
        for (int y = 0; y < l->h; y++)
            for (int x = 0; x < l->w; x++)
                build_column(src, l, x, y, players, placed);
        build_walls(src, l);
        for (const paint &p : src.paints)
            apply_paint(p, l);
        r.n_players = l->n_players = src.players >= 0 ? src.players : placed;
        for (int i = 0; i < r.n_players; i++)
            if (!players[i])
                fail(0, std::string("the land declares ") + std::to_string(r.n_players) +
                            (r.n_players == 1 ? " player" : " players") + " but " + (i ? "Q" : "P") +
                            " is not placed");
        char why[256];
        if (!check_land(l, why, sizeof why))
            fail(0, why);
        r.land = l;
    } catch (const parse_error &e) {
        destroy_land(l);
        r.error = (e.line ? std::to_string(e.line) + ": " : std::string()) + e.what;
    }
    return r;
}
