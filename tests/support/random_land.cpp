// random_land.cpp -- the one generator of random lands.
#include "random_land.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "land_builder.h"
#include "shell/shell.h"

int seeded_source::draw(int lo, int hi)
{
    return hi <= lo ? lo : std::uniform_int_distribution<int>(lo, hi)(rng);
}

int byte_source::draw(int lo, int hi)
{
    if (hi <= lo)
        return lo;
    uint64_t span = (uint64_t)((int64_t)hi - lo) + 1, v = 0;
    for (uint64_t reach = 1; reach < span; reach <<= 8)
        v = v << 8 | (uint64_t)byte();
    return (int)(lo + (int64_t)(v % span));
}

void make_current(const generated_land &g)
{
    land = g.land;
    n_players = g.n_players;
    player_info[0].object = g.player[0];
    player_info[1].object = g.player[1];
}

namespace {

struct planned_hollow {
    int floor, roof, slope;
};

// Planned hollows tile by tile, so that a floor can look at its neighbours'.
struct plan {
    int w, h;
    std::vector<std::vector<planned_hollow>> tiles;
    std::vector<planned_hollow> *at(int x, int y)
    {
        return x >= 0 && y >= 0 && x < w && y < h ? &tiles[y * w + x] : nullptr;
    }
};

bool occupied(const HOLLOW *h, int z)
{
    for (const OBJECT *o = h->object; o; o = o->next)
        if (o->z == z && o->type != OBJ_PLACEHOLDER)
            return true;
    return false;
}

int rock_texture(random_source &r, const LAND *l)
{
    // The game gives its rocks one of the first three textures.
    return r.draw(0, std::min(l->n_textures, 3) - 1);
}

// A thing of the mix at level z of h; a rock or player on the move reserves
// the cell it is heading for, as the rules would have.
void add_thing(LAND *l, random_source &r, const thing_mix &mix, int x, int y, HOLLOW *h, int z)
{
    int k = r.draw(0, 9);
    int type = k < mix.rocks ? OBJ_ROCK : k < mix.rocks + mix.players ? OBJ_PLAYER : OBJ_DIAMOND;
    OBJECT *o = create_object(type, x, y, z);
    if (type == OBJ_ROCK) {
        ((ROCK_DATA *)o->data)->texture = rock_texture(r, l);
    } else if (type == OBJ_PLAYER) {
        PLAYER_DATA *p = (PLAYER_DATA *)o->data;
        p->index = 1;
        p->facing = r.draw(0, 3);
        p->turn = r.draw(-29, 29);
    } else {
        ((DIAMOND_DATA *)o->data)->spin = r.draw(0, 239);
    }
    file_object(h, o);
    if (type == OBJ_DIAMOND || mix.moving + mix.falling <= 0)
        return;
    int how = r.draw(0, 99);
    if (how < mix.moving) {
        int d = r.draw(0, 3);
        TILE *n = neighbour_tile(l, x, y, d);
        int climb = r.chance(30) ? r.draw(-1, 1) : 0;
        int t = z - climb;
        HOLLOW *target = n ? hollow_at_level(n, t) : nullptr;
        if (target && t >= floor_level(target)) {
            o->dir = d;
            o->move_step = r.draw(1, FRAMES_PER_TILE - 1);
            o->z_speed = climb;
            o->z_offset = SLOPE_STEP * climb * o->move_step;
            add_placeholder(target, x + dir_dx[d], y + dir_dy[d], t, 0, o);
        }
    } else if (how < mix.moving + mix.falling && z > floor_level(h)) {
        o->z_offset = r.draw(1, SUBUNITS_PER_LEVEL - 1);
        o->z_speed = r.draw(1, TERMINAL_SPEED);
        add_placeholder(h, x, y, z - 1, 0, o);
    }
}

struct cell {
    HOLLOW *h;
    int x, y, z;
};

std::vector<cell> free_cells(LAND *l)
{
    std::vector<cell> v;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (int z = floor_level(h); z < h->roof; z++)
                    if (!occupied(h, z))
                        v.push_back({h, x, y, z});
    return v;
}

OBJECT *add_at(std::vector<cell> &cells, size_t k, int type)
{
    cell c = cells[k];
    cells.erase(cells.begin() + (long)k);
    OBJECT *o = create_object(type, c.x, c.y, c.z);
    file_object(c.h, o);
    return o;
}

// The floor of each tile's lowest hollow, and of its storey or -1.
void plan_ground(random_source &r, const land_recipe &p, int w, int h, std::vector<int> &ground,
                 std::vector<int> &storey)
{
    double amp = 0, fx = 0, fy = 0, px = 0, py = 0;
    if (p.waves > 0) {
        amp = r.draw(p.waves / 2, p.waves) / 10.0;
        fx = 0.1 + r.draw(0, 40) / 100.0;
        fy = 0.1 + r.draw(0, 40) / 100.0;
        px = r.draw(0, 628) / 100.0;
        py = r.draw(0, 628) / 100.0;
    }
    int rise = r.draw(p.storey_rise);
    int highest = std::max(0, p.top - p.height.lo);
    ground.assign(w * h, 0);
    storey.assign(w * h, -1);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int g = p.base + (int)std::floor(amp * (std::sin(x * fx + px) + std::cos(y * fy + py))) +
                    r.draw(0, p.jitter);
            if (r.chance(p.shift))
                g += r.draw(p.shift_by);
            g = std::max(0, std::min(highest, g));
            ground[y * w + x] = g;
            bool beside = (x > 0 && storey[y * w + x - 1] >= 0) || (y > 0 && storey[(y - 1) * w + x] >= 0);
            if (r.chance(beside ? p.storey_beside : p.storey) && g + rise <= highest)
                storey[y * w + x] = g + rise;
        }
}

// Each open tile's stack of hollows from its ground up, under its storey
// when it has one, and the storey.
plan plan_hollows(random_source &r, const land_recipe &p, int w, int h)
{
    std::vector<int> ground, storey;
    plan_ground(r, p, w, h, ground, storey);
    std::vector<char> tall(w * h);
    for (int i = 0; i < p.tall && w * h > 0; i++)
        tall[r.draw(0, w * h - 1)] = 1;
    plan pl{w, h, std::vector<std::vector<planned_hollow>>(w * h)};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int i = y * w + x;
            if (!tall[i] && r.chance(p.solid))
                continue;
            std::vector<planned_hollow> &col = pl.tiles[i];
            int ceiling = storey[i] >= 0 ? storey[i] : p.top;
            int z = tall[i] ? 0 : ground[i];
            for (int k = r.draw(p.stack); k > 0 && z < ceiling; k--) {
                int height = tall[i] && col.empty() ? 300 : r.draw(p.height);
                int roof = std::min(z + height, ceiling);
                col.push_back({z, roof, 0});
                z = roof + r.draw(p.gap);
            }
            if (storey[i] >= 0)
                col.push_back({storey[i], std::min(p.top, storey[i] + r.draw(p.height)), 0});
        }
    // Beside a storey, a hollow open up past its floor leaves its edge a
    // ledge rather than a wall.
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            std::vector<planned_hollow> &col = pl.tiles[y * w + x];
            if (col.empty() || storey[y * w + x] >= 0 || !r.chance(p.ledge))
                continue;
            planned_hollow &last = col.back();
            for (int d = 0; d < 4; d++) {
                int nx = x + dir_dx[d], ny = y + dir_dy[d];
                if (pl.at(nx, ny) && storey[ny * w + nx] > last.floor)
                    last.roof = std::max(last.roof, std::min(p.top, storey[ny * w + nx] + r.draw(2, 3)));
            }
        }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            std::vector<planned_hollow> &col = pl.tiles[y * w + x];
            for (size_t k = 0; k < col.size(); k++) {
                planned_hollow &o = col[k];
                for (int d = 0; d < 4 && !o.slope && p.ramp > 0; d++)
                    if (std::vector<planned_hollow> *n = pl.at(x + dir_dx[d], y + dir_dy[d]))
                        for (const planned_hollow &q : *n)
                            if (!o.slope && q.floor == o.floor + 1 && r.chance(p.ramp))
                                o.slope = d + 1;  // rising towards the higher neighbour
                bool touching = k > 0 && col[k - 1].roof == o.floor;
                if (!o.slope && (r.chance(p.slope) || (touching && p.touch_sloped)))
                    o.slope = r.draw(1, 12);
            }
        }
    return pl;
}

} // namespace

generated_land random_land(random_source &r, const land_recipe &p)
{
    int w = r.draw(p.w), h = r.draw(p.h);
    int n_textures = p.texture_names.empty() ? p.n_textures : (int)p.texture_names.size();
    LAND *l = make_solid_land(w, h, n_textures);
    if (!p.texture_names.empty()) {
        l->texture_filename = (char **)calloc(n_textures, sizeof(char *));
        for (int i = 0; i < n_textures; i++)
            l->texture_filename[i] = strdup(p.texture_names[i].c_str());
    }
    auto texture = [&] { return p.paint ? r.draw(0, n_textures - 1) : 0; };

    plan pl = plan_hollows(r, p, w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (const planned_hollow &o : pl.tiles[y * w + x]) {
                HOLLOW *hl = add_hollow(l, x, y, o.floor, o.roof, o.slope);
                hl->floor_tex = texture();
                hl->roof_tex = texture();
                for (int d = 0; d < 4; d++)
                    hl->slope_tex[d] = texture();
            }
    add_wall_lists(l, [&](int, int, int, int) { return texture(); });

    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (HOLLOW *hl = l->tile[y][x].hollow; hl; hl = hl->next) {
                if (!r.chance(p.stacks))
                    continue;
                int lo = floor_level(hl), n = std::min(r.draw(1, p.stack_height), hl->roof - lo);
                for (int z = lo; z < lo + n; z++)
                    add_thing(l, r, p.mix, x, y, hl, z);
            }
    if (p.rocks > 0 || p.diamonds > 0)
        for (const cell &c : free_cells(l)) {
            if (r.chance(p.rocks)) {
                OBJECT *o = create_object(OBJ_ROCK, c.x, c.y, c.z);
                ((ROCK_DATA *)o->data)->texture = rock_texture(r, l);
                file_object(c.h, o);
            } else if (r.chance(p.diamonds)) {
                file_object(c.h, create_object(OBJ_DIAMOND, c.x, c.y, c.z));
            }
        }

    generated_land g;
    g.land = l;
    std::vector<cell> cells = free_cells(l);
    for (int i = 0; i < 2 && !cells.empty(); i++) {
        if ((i == 1 && !g.player[0] && !p.any_player) || !r.chance(p.player[i]))
            continue;
        size_t k = (size_t)r.draw(0, (int)cells.size() - 1);
        cell c = cells[k];
        OBJECT *o = add_at(cells, k, OBJ_PLAYER);
        PLAYER_DATA *d = (PLAYER_DATA *)o->data;
        d->index = i;
        d->facing = r.draw(0, 3);
        g.player[i] = l->player[i] = o;
        l->n_players = ++g.n_players;
        if (r.chance(p.head_rock))
            for (size_t j = 0; j < cells.size(); j++)
                if (cells[j].h == c.h && cells[j].z == c.z + 1) {
                    ((ROCK_DATA *)add_at(cells, j, OBJ_ROCK)->data)->texture = rock_texture(r, l);
                    break;
                }
    }
    int diamonds = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (const HOLLOW *hl = l->tile[y][x].hollow; hl; hl = hl->next)
                for (const OBJECT *o = hl->object; o; o = o->next)
                    diamonds += o->type == OBJ_DIAMOND;
    for (; diamonds < p.min_diamonds && !cells.empty(); diamonds++)
        add_at(cells, (size_t)r.draw(0, (int)cells.size() - 1), OBJ_DIAMOND);
    l->n_diamonds = diamonds;
    return g;
}
