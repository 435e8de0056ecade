// Soak test of the game rules: lands generated from fixed seeds (1, 2, 3,
// ... in turn, 2500 steps each), both players driven by keys held for random
// stretches, and the land's invariants checked after every logic step.
//
// The normal run is short: 50 000 steps in all.  The full run, a million
// steps over some 400 lands (a minute or two):
//   TAVO_SOAK_STEPS=1000000 build/tests/test_rules_soak
// A failure names its seed and step; to run that land alone and follow the
// lists of some tiles step by step from a given step:
//   TAVO_SOAK_SEED=123 TAVO_SOAK_WATCH="5,4 5,5" TAVO_SOAK_FROM=120 build/tests/test_rules_soak
//
// One case that the rules allow breaks an invariant for a step; it is
// recognised narrowly, counted and printed instead of failing (see
// fell_behind_a_descent).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "headless.h"
#include "land_builder.h"
#include "shell/shell.h"
#include "tools/land_json.h"

namespace {

const int steps_per_land = 2500;

// Small and fast, so that the generator never touches the rules' rand().
struct soak_rng {
    uint64_t s;
    explicit soak_rng(uint64_t seed) : s(seed * 0x9e3779b97f4a7c15ull + 1) {}
    uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return (uint32_t)(s >> 11);
    }
    int below(int n) { return (int)(next() % (uint32_t)n); }
    bool chance(int percent) { return below(100) < percent; }
};

// ---- land generation -------------------------------------------------------------

struct planned_object {
    int type, z, index;
};

struct generated_land {
    LAND *land = nullptr;
    OBJECT *player[2] = {nullptr, nullptr};
};

// A free level of h between its floor level and its roof, or -1.
int free_level(const std::vector<planned_object> &objs, const HOLLOW *h, soak_rng &r)
{
    int lo = floor_level(h), n = h->roof - lo;
    for (int tries = 0; tries < 8; tries++) {
        int z = lo + r.below(n);
        bool used = false;
        for (const planned_object &p : objs)
            used |= p.z == z;
        if (!used)
            return z;
    }
    return -1;
}

// Rolling ground with pits, a second storey over parts of it (ledges), now
// and then a pocket above that; ramps where the ground rises by one level
// and slopes of every shape elsewhere; stacks of rocks, rocks and diamonds
// in mid-air, both players somewhere in it.
generated_land generate_land(unsigned seed)
{
    soak_rng r(seed);
    int w = 5 + r.below(10), h = 5 + r.below(10);
    LAND *l = make_solid_land(w, h);
    std::vector<std::vector<int>> ground(h, std::vector<int>(w)), upper(h, std::vector<int>(w, -1));
    // Gentle waves: neighbouring tiles differ by one level at most.
    double amp = 0.6 + r.below(10) / 10.0, fx = 0.15 + r.below(20) / 100.0, fy = 0.15 + r.below(20) / 100.0;
    double px = r.below(628) / 100.0, py = r.below(628) / 100.0;
    int gap = r.below(2);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            ground[y][x] = 5 + (int)std::floor(amp * (std::sin(x * fx + px) + std::cos(y * fy + py)));
            bool storey = (x > 0 && upper[y][x - 1] >= 0) || (y > 0 && upper[y - 1][x] >= 0);
            if (r.chance(storey ? 55 : 6))
                upper[y][x] = ground[y][x] + 3 + (r.chance(10) ? r.below(3) : gap);
        }
    std::vector<std::vector<std::vector<int>>> floors(h, std::vector<std::vector<int>>(w));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            if (r.chance(5))
                continue;  // solid
            std::vector<int> &f = floors[y][x];
            f.push_back(r.chance(3) ? std::max(0, ground[y][x] - 3 - r.below(3)) : ground[y][x]);  // pits
            if (upper[y][x] >= 0)
                f.push_back(upper[y][x]);
        }
    int slope_percent = 3 + r.below(15);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const std::vector<int> &f = floors[y][x];
            for (size_t i = 0; i < f.size(); i++) {
                // Touching hollows (no rock between) happen when the upper
                // floor lies on the lower roof.
                int roof = i + 1 < f.size() ? f[i + 1] - r.below(2) : f[i] + 2 + r.below(4);
                if (i + 1 == f.size() && r.chance(70))
                    for (int d = 0; d < 4; d++) {
                        // Open up beside a second storey, so its edge is a
                        // ledge to walk off rather than a wall.
                        int nx = x + dir_dx[d], ny = y + dir_dy[d];
                        if (nx >= 0 && ny >= 0 && nx < w && ny < h && upper[ny][nx] > f[i])
                            roof = std::max(roof, upper[ny][nx] + 2 + r.below(2));
                    }
                roof = std::max(roof, f[i] + 2);
                if (i + 1 < f.size() && roof > f[i + 1])
                    roof = f[i + 1];
                int shape = 0;
                for (int d = 0; d < 4 && !shape; d++) {
                    int nx = x + dir_dx[d], ny = y + dir_dy[d];
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                        continue;
                    for (int nf : floors[ny][nx])
                        if (nf == f[i] + 1 && r.chance(50))
                            shape = d + 1;  // a ramp rising towards the higher neighbour
                }
                if (!shape && r.chance(slope_percent))
                    shape = 1 + r.below(12);
                if (roof - f[i] < 2)
                    shape = 0;
                HOLLOW *o = add_hollow(l, x, y, f[i], roof, shape);
                if (i + 1 == f.size() && r.chance(8)) {
                    int p = o->roof + 1 + r.below(2);
                    add_hollow(l, x, y, p, p + 1 + r.below(3), 0);  // a pocket above
                }
            }
        }

    // Objects, planned per hollow and then listed by height.
    std::vector<std::pair<HOLLOW *, std::pair<int, int>>> hollows;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (HOLLOW *o = l->tile[y][x].hollow; o; o = o->next)
                hollows.push_back({o, {x, y}});
    std::unordered_map<HOLLOW *, std::vector<planned_object>> plan;
    int rock_percent = r.chance(25) ? 20 + r.below(20) : 4 + r.below(12);  // now and then crowded
    for (auto &e : hollows) {
        HOLLOW *o = e.first;
        std::vector<planned_object> &objs = plan[o];
        int lo = floor_level(o), hi = o->roof - 1;
        if (r.chance(rock_percent)) {
            int n = 1 + r.below(hi - lo + 1);  // a stack from the floor up
            for (int z = lo; z < lo + n; z++)
                objs.push_back({OBJ_ROCK, z, 0});
        }
        if (r.chance(6)) {
            int z = free_level(objs, o, r);
            if (z >= 0)
                objs.push_back({OBJ_ROCK, z, 0});  // dropped from height
        }
        if (r.chance(15)) {
            int z = free_level(objs, o, r);
            if (z >= 0)
                objs.push_back({OBJ_DIAMOND, z, 0});  // on the floor or in mid-air
        }
    }
    if (!hollows.empty())
        for (int p = 0; p < 2; p++) {
            // Prefer ledges (a second storey) and avoid starting in a pit.
            for (int tries = 0; tries < 50; tries++) {
                auto &e = hollows[r.below((int)hollows.size())];
                HOLLOW *o = e.first;
                int x = e.second.first, y = e.second.second;
                bool ledge = o != l->tile[y][x].hollow;
                if (tries < 25 && ((!ledge && r.chance(40)) || o->floor < ground[y][x]))
                    continue;
                std::vector<planned_object> &objs = plan[o];
                int z = free_level(objs, o, r);
                if (z < 0)
                    continue;
                objs.push_back({OBJ_PLAYER, z, p});
                if (r.chance(20) && z + 1 < o->roof) {
                    bool used = false;
                    for (const planned_object &q : objs)
                        used |= q.z == z + 1;
                    if (!used)
                        objs.push_back({OBJ_ROCK, z + 1, 0});  // a rock on a player's head
                }
                break;
            }
        }
    for (auto &e : hollows) {
        std::vector<planned_object> &objs = plan[e.first];
        std::sort(objs.begin(), objs.end(),
                  [](const planned_object &a, const planned_object &b) { return a.z < b.z; });
        for (const planned_object &p : objs) {
            OBJECT *o = add_object(e.first, p.type, e.second.first, e.second.second, p.z);
            if (p.type == OBJ_DIAMOND)
                l->n_diamonds++;
            if (p.type == OBJ_ROCK)
                ((ROCK_DATA *)o->data)->texture = r.below(3);
            if (p.type == OBJ_PLAYER) {
                PLAYER_DATA *d = (PLAYER_DATA *)o->data;
                d->index = p.index;
                d->facing = r.below(4);
            }
        }
    }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int d = 0; d < 4; d++) {
                int n = wall_length(l, x, y, d);
                if (n)
                    l->tile[y][x].wall[d] = (int *)calloc(n, sizeof(int));
            }
    generated_land g;
    g.land = l;
    for (auto &e : hollows)
        for (OBJECT *o = e.first->object; o; o = o->next)
            if (o->type == OBJ_PLAYER)
                g.player[((PLAYER_DATA *)o->data)->index] = o;
    return g;
}

// ---- keys ------------------------------------------------------------------------------

// What a player holds, and for how many more steps.
struct held_plan {
    int left = 0;
    int stuck = 0;  // steps spent standing in one place
    std::vector<int> actions;
};

void choose_keys(held_plan &p, soak_rng &r)
{
    p.actions.clear();
    p.left = 1 + r.below(70);
    int walk = r.below(100);
    if (walk < 50)
        p.actions.push_back(ACT_FORWARD);
    else if (walk < 60)
        p.actions.push_back(ACT_BACK);
    else if (walk < 63) {
        p.actions.push_back(ACT_FORWARD);
        p.actions.push_back(ACT_BACK);
    }
    if (r.chance(30))
        p.actions.push_back(r.chance(50) ? ACT_TURN_LEFT : ACT_TURN_RIGHT);
    if (r.chance(15)) {
        if (r.chance(50)) {
            p.actions.push_back(ACT_STRAFE);
            p.actions.push_back(r.chance(50) ? ACT_TURN_LEFT : ACT_TURN_RIGHT);
        } else {
            p.actions.push_back(r.chance(50) ? ACT_STRAFE_LEFT : ACT_STRAFE_RIGHT);
        }
    }
    if (r.chance(25))
        p.actions.push_back(ACT_UP);
    if (r.chance(15))
        p.actions.push_back(ACT_DOWN);
}

// ---- the invariants ------------------------------------------------------------------

bool is_mover(const OBJECT *o)
{
    return o->type == OBJ_PLAYER || o->type == OBJ_ROCK;
}

bool in_land(const LAND *l, const OBJECT *o)
{
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *e = h->object; e; e = e->next)
                    if (e == o)
                        return true;
    return false;
}

// The object, and its tile's lists, for a failure report.
std::string describe(const LAND *l, const OBJECT *o)
{
    if (!o)
        return "";
    if (!in_land(l, o))
        return "\n  (an object no longer in the land)";
    std::string s = "\n  object " + object_json(o);
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *e = h->object; e; e = e->next)
                    if (e == o) {
                        s += "\n  its list, tile " + std::to_string(x) + "," + std::to_string(y) + " hollow " +
                             std::to_string(h->floor) + "-" + std::to_string(h->roof) + " slope " +
                             std::to_string(h->slope) + ":";
                        for (const OBJECT *q = h->object; q; q = q->next) {
                            s += "\n    " + object_json(q);
                            const OBJECT *owner = q->type == OBJ_PLACEHOLDER
                                                      ? ((const PLACEHOLDER_DATA *)q->data)->owner
                                                      : nullptr;
                            if (owner)
                                s += "\n      owner " + (in_land(l, owner) ? object_json(owner)
                                                                           : std::string("(not in the land)"));
                        }
                    }
    return s;
}

struct filed {
    const HOLLOW *hollow;
    const OBJECT *before;  // the entry in front of it in its list
};

struct reservations {
    int kind[3] = {0, 0, 0};
};

// The trouble found, with the object it concerns.
struct violation {
    std::string why;
    const OBJECT *object = nullptr;
};

violation fail(const std::string &why, const OBJECT *o)
{
    return {why, o};
}

class invariant_checker {
public:
    explicit invariant_checker(const generated_land &g) : g_(g)
    {
        for (const auto &e : collect())
            if (is_mover(e.first))
                movers_++;
    }

    long fell_behind = 0;
    std::string first_fell_behind;

    // Empty when every invariant holds after a step.
    violation check(const std::string &where_now)
    {
        const LAND *l = g_.land;
        std::unordered_map<const OBJECT *, filed> where = collect();

        std::vector<const OBJECT *> placeholders, things;  // in land order
        std::unordered_map<uint64_t, const OBJECT *> occupant;
        int diamonds = 0, movers = 0;
        for (int y = 0; y < l->h; y++)
            for (int x = 0; x < l->w; x++)
                for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next) {
                    int last = -1;
                    for (const OBJECT *o = h->object; o; o = o->next) {
                        if (o->x != x || o->y != y)
                            return fail("filed under tile " + cell(x, y, o->z), o);
                        if (o->z < last)
                            return fail("listed after an entry at level " + std::to_string(last), o);
                        last = o->z;
                        if (o->z < floor_level(h) || o->z >= h->roof)
                            return fail("inside solid material of hollow " + std::to_string(h->floor) + "-" +
                                            std::to_string(h->roof) + " slope " + std::to_string(h->slope),
                                        o);
                        if (o->type == OBJ_PLACEHOLDER) {
                            const PLACEHOLDER_DATA *d = placeholder_of(o);
                            if (!where.count(d->owner))
                                return fail("placeholder whose owner is not in the land", o);
                            if (d->kind < 0 || d->kind > 2)
                                return fail("placeholder of unknown kind", o);
                            placeholders.push_back(o);
                            continue;
                        }
                        things.push_back(o);
                        if (!occupant.emplace(key(x, y, o->z), o).second)
                            return fail("shares its cell with another object", o);
                        if (o->type == OBJ_DIAMOND)
                            diamonds++;
                        else if (is_mover(o))
                            movers++;
                    }
                }
        if (diamonds != l->n_diamonds)
            return fail(std::to_string(diamonds) + " diamonds in the land, n_diamonds " +
                            std::to_string(l->n_diamonds),
                        nullptr);
        if (movers != movers_)
            return fail("a player or rock has gone", nullptr);
        for (int i = 0; i < 2; i++) {
            const OBJECT *p = player_info[i].object;
            if (p != g_.player[i] || (p && !where.count(p)))
                return fail("player_info lost player " + std::to_string(i), p);
        }

        std::unordered_map<const OBJECT *, reservations> held;
        std::unordered_map<uint64_t, const OBJECT *> reserved;
        for (const OBJECT *o : placeholders) {
            const PLACEHOLDER_DATA *d = placeholder_of(o);
            violation v = check_placeholder(o, where);
            if (!v.why.empty())
                return v;
            held[d->owner].kind[d->kind]++;
            if (d->kind == 0 && !reserved.emplace(key(o->x, o->y, o->z), o).second) {
                const OBJECT *other = reserved[key(o->x, o->y, o->z)];
                if (fell_behind_a_descent(o, other) || fell_behind_a_descent(other, o)) {
                    if (!fell_behind++)
                        first_fell_behind = where_now + describe(l, o);
                    continue;
                }
                return fail("two objects heading into one cell", o);
            }
        }

        for (const OBJECT *o : things) {
            violation v = check_motion(o, held[o]);
            if (!v.why.empty())
                return v;
            if (o->type == OBJ_DIAMOND)
                continue;
            // A cell reserved for another object must not hold one standing
            // (a mover or faller there is on its way out).
            auto r = reserved.find(key(o->x, o->y, o->z));
            if (r != reserved.end() && o->move_step == 0 && o->z_speed == 0 &&
                placeholder_of(r->second)->owner != o)
                return fail("standing in a cell reserved for another object", o);
        }

        // A standing object with nothing under it starts falling on its next
        // step, so it is never seen floating twice in a row.
        std::unordered_set<const OBJECT *> floating;
        for (const OBJECT *o : things) {
            const HOLLOW *h = where.at(o).hollow;
            if (!is_mover(o) || o->move_step || o->z_speed || o->z == floor_level(h))
                continue;
            bool supported = false;
            for (const OBJECT *b = h->object; b != o; b = b->next)
                supported |= b->z == o->z - 1;
            if (supported)
                continue;
            if (floating_.count(o))
                return fail("standing in mid-air for a second step", o);
            floating.insert(o);
        }
        floating_.swap(floating);

        rested_.clear();
        for (const OBJECT *o : things) {
            const OBJECT *b = where.at(o).before;
            if (is_mover(o) && !o->move_step && !o->z_speed && b)
                rested_[o] = {b, b->move_step, b->z_speed};
        }
        return {};
    }

private:
    const generated_land &g_;
    int movers_ = 0;
    std::unordered_set<const OBJECT *> floating_;
    // What each standing object had in front of it after the last step.
    struct resting {
        const OBJECT *on;
        int move_step, z_speed;
    };
    std::unordered_map<const OBJECT *, resting> rested_;

    // An object resting on one that descends a slope stays on it while it
    // moves.  On the step the descent ends, the descender is still listed
    // under it but already a level lower, so the object sees nothing to rest
    // on and starts falling into the cell the descender left, although
    // whatever follows the descender into that cell (moving_into_moving lets
    // a mover follow one moving the same way) has reserved it already.  For
    // that one step two reservations name the cell; on the next the faller
    // meets the follower's reservation under it and rests on it (if it fell
    // on instead, the two would end up in one cell, and the checks of the
    // next step fail).  fall is the faller's reservation, move the
    // follower's; only the step the descent ends is excused.
    bool fell_behind_a_descent(const OBJECT *fall, const OBJECT *move) const
    {
        const OBJECT *f = placeholder_of(fall)->owner, *m = placeholder_of(move)->owner;
        if (f->move_step || !f->z_speed || !m->move_step || fall->z != f->z - 1)
            return false;
        auto r = rested_.find(f);
        return r != rested_.end() && r->second.move_step == FRAMES_PER_TILE - 1 && r->second.z_speed > 0 &&
               r->second.on != m;
    }

    static const PLACEHOLDER_DATA *placeholder_of(const OBJECT *p)
    {
        return (const PLACEHOLDER_DATA *)p->data;
    }

    static uint64_t key(int x, int y, int z)
    {
        return ((uint64_t)(unsigned)x << 48) | ((uint64_t)(unsigned)y << 32) | (uint32_t)z;
    }

    static std::string cell(int x, int y, int z)
    {
        return std::to_string(x) + "," + std::to_string(y) + " level " + std::to_string(z);
    }

    std::unordered_map<const OBJECT *, filed> collect() const
    {
        std::unordered_map<const OBJECT *, filed> where;
        const LAND *l = g_.land;
        for (int y = 0; y < l->h; y++)
            for (int x = 0; x < l->w; x++)
                for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next) {
                    const OBJECT *before = nullptr;
                    for (const OBJECT *o = h->object; o; before = o, o = o->next)
                        where[o] = {h, before};
                }
        return where;
    }

    // Each reservation belongs to a move or fall still under way, at the
    // cell that move or fall is about to enter.
    static violation check_placeholder(const OBJECT *p, const std::unordered_map<const OBJECT *, filed> &where)
    {
        const PLACEHOLDER_DATA *d = placeholder_of(p);
        const OBJECT *o = d->owner;
        if (!is_mover(o))
            return fail("placeholder owned by an object of type " + std::to_string(o->type), p);
        int tx = o->x + dir_dx[o->dir & 3], ty = o->y + dir_dy[o->dir & 3];
        bool at_target = p->x == tx && p->y == ty;
        bool standing = !o->move_step && !o->z_speed;
        switch (d->kind) {
        case 0:
            if (standing)
                return fail("reservation left behind by a finished move or fall", p);
            if (o->move_step) {
                if (!at_target || p->z != o->z - o->z_speed)
                    return fail("move reservation away from its owner's target cell", p);
            } else {
                if (p->x != o->x || p->y != o->y || p->z != o->z - 1 ||
                    where.at(p).hollow != where.at(o).hollow)
                    return fail("fall reservation not just below its owner", p);
                if (o->z_offset == 0)
                    return fail("fall reservation of an owner exactly on a level", p);
            }
            break;
        case 1:
            if (standing)
                return fail("climb reservation left behind by a finished climb", p);
            if (!o->move_step || o->z_speed >= 0 || p->x != o->x || p->y != o->y || p->z != o->z + 1)
                return fail("climb reservation without its climb", p);
            break;
        default:
            if (standing)
                return fail("descent reservation left behind by a finished descent", p);
            if (!o->move_step || o->z_speed <= 0 || !at_target || p->z != o->z)
                return fail("descent reservation without its descent", p);
            break;
        }
        return {};
    }

    // The motion fields of each state, and the reservations that go with it.
    static violation check_motion(const OBJECT *o, const reservations &r)
    {
        if (o->type == OBJ_DIAMOND) {
            if (o->move_step || o->z_speed || o->z_offset)
                return fail("a diamond in motion", o);
            return {};
        }
        if (o->move_step) {
            if (o->move_step > 29 || o->z_speed < -1 || o->z_speed > 1 ||
                o->z_offset != SLOPE_STEP * o->z_speed * o->move_step)
                return fail("impossible move", o);
            if (r.kind[0] != 1 || r.kind[1] != (o->z_speed < 0) || r.kind[2] != (o->z_speed > 0))
                return fail("move with reservations " + counts(r), o);
        } else if (o->z_speed) {
            if (o->z_speed < 1 || o->z_speed > TERMINAL_SPEED || o->z_offset < 0 ||
                o->z_offset >= SUBUNITS_PER_LEVEL)
                return fail("impossible fall", o);
            if (r.kind[0] != (o->z_offset != 0) || r.kind[1] || r.kind[2])
                return fail("fall with reservations " + counts(r), o);
        } else {
            if (o->z_offset)
                return fail("standing between levels", o);
            if (r.kind[0] || r.kind[1] || r.kind[2])
                return fail("standing with reservations " + counts(r), o);
        }
        return {};
    }

    static std::string counts(const reservations &r)
    {
        return std::to_string(r.kind[0]) + "/" + std::to_string(r.kind[1]) + "/" + std::to_string(r.kind[2]);
    }
};

// What the soak exercised, so that a generator gone dull is noticed, and
// the cases the rules allow that break an invariant.
struct soak_counts {
    long steps = 0, lands = 0, walks = 0, climbs = 0, descents = 0, rock_level_moves = 0, rock_rolls_down = 0,
         falls = 0, collected = 0;
    long fell_behind = 0;
    std::string first_fell_behind;
};

long env_number(const char *name, long fallback)
{
    const char *s = getenv(name);
    return s && *s ? strtol(s, nullptr, 10) : fallback;
}

// TAVO_SOAK_WATCH="x,y x,y ..." prints those tiles' lists after every step
// from TAVO_SOAK_FROM on: for following a failure step by step.
void watch_tiles(const LAND *l, long step)
{
    const char *tiles = getenv("TAVO_SOAK_WATCH");
    if (!tiles || step < env_number("TAVO_SOAK_FROM", 1))
        return;
    std::istringstream in(tiles);
    int x, y;
    char comma;
    while (in >> x >> comma >> y)
        if (x >= 0 && y >= 0 && x < l->w && y < l->h)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *o = h->object; o; o = o->next)
                    printf("%ld %d,%d %p %s owner %p\n", step, x, y, (const void *)o, object_json(o).c_str(),
                           o->type == OBJ_PLACEHOLDER ? (void *)((PLACEHOLDER_DATA *)o->data)->owner : nullptr);
}

void count_events(const LAND *l, std::unordered_map<const OBJECT *, std::pair<int, int>> &before,
                  soak_counts &counts)
{
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *o = h->object; o; o = o->next) {
                    if (!is_mover(o))
                        continue;
                    std::pair<int, int> &b = before[o];  // move_step, fall speed
                    if (!b.first && o->move_step) {
                        if (o->type == OBJ_PLAYER)
                            (o->z_speed < 0 ? counts.climbs : o->z_speed > 0 ? counts.descents : counts.walks)++;
                        else
                            (o->z_speed ? counts.rock_rolls_down : counts.rock_level_moves)++;
                    }
                    if (!o->move_step && o->z_speed && !b.second)
                        counts.falls++;
                    b = {o->move_step, o->move_step ? 0 : o->z_speed};
                }
}

// Runs one land; false after the first broken invariant.
bool soak_land(unsigned seed, long steps, soak_counts &counts)
{
    generated_land g = generate_land(seed);
    land = g.land;
    counts.lands++;
    char why[200];
    if (!check_land(land, why, sizeof why)) {
        ADD_FAILURE() << "seed " << seed << ": generated land is broken: " << why;
        destroy_land(land);
        return false;
    }
    player_info[0].object = g.player[0];
    player_info[1].object = g.player[1];
    srand(seed);
    soak_rng keys(seed ^ 0x5eed);
    held_plan plans[2];
    static INPUT_FRAME frame;
    invariant_checker checker(g);
    std::unordered_map<const OBJECT *, std::pair<int, int>> before;
    bool ok = true;
    for (long step = 1; step <= steps; step++) {
        memset(frame, 0, sizeof frame);
        for (int p = 0; p < 2; p++) {
            // Like a person at the keys: facing a wall for a while, try
            // something else.
            const OBJECT *o = g.player[p];
            bool still = o && !o->move_step && !o->z_speed;
            plans[p].stuck = still ? plans[p].stuck + 1 : 0;
            if (--plans[p].left <= 0 || plans[p].stuck > 12) {
                choose_keys(plans[p], keys);
                plans[p].stuck = 0;
            }
            for (int a : plans[p].actions)
                frame[player_info[p].key[a][0]] = 1;
        }
        int diamonds = land->n_diamonds;
        ckey = frame;
        animate_objects();
        sort_objects();
        counts.steps++;
        counts.collected += diamonds - land->n_diamonds;
        watch_tiles(land, step);

        std::string at = "seed " + std::to_string(seed) + " step " + std::to_string(step);
        violation v = checker.check(at);
        if (v.why.empty() && !check_land(land, why, sizeof why))
            v.why = why;
        if (!v.why.empty()) {
            ADD_FAILURE() << at << ": " << v.why << describe(land, v.object);
            ok = false;
            break;
        }
        count_events(land, before, counts);
    }
    if (!counts.fell_behind)
        counts.first_fell_behind = checker.first_fell_behind;
    counts.fell_behind += checker.fell_behind;
    destroy_land(land);
    land = nullptr;
    return ok;
}

TEST(RulesSoak, InvariantsHoldOverGeneratedLands)
{
    start_headless_allegro();
    long total = env_number("TAVO_SOAK_STEPS", 50000);
    long only = env_number("TAVO_SOAK_SEED", 0);
    soak_counts counts;
    if (only > 0) {
        soak_land((unsigned)only, std::max(total, (long)steps_per_land), counts);
    } else {
        // Seeds 1, 2, 3, ... until the steps are run.
        int failed = 0;
        for (unsigned seed = 1; counts.steps < total && failed < 10; seed++)
            failed += !soak_land(seed, std::min((long)steps_per_land, total - counts.steps), counts);
    }
    printf("soak: %ld steps over %ld lands; player walks %ld, climbs %ld, descents %ld; rock level moves %ld, "
           "slope rolls %ld; falls %ld; diamonds collected %ld\n",
           counts.steps, counts.lands, counts.walks, counts.climbs, counts.descents, counts.rock_level_moves,
           counts.rock_rolls_down, counts.falls, counts.collected);
    if (counts.fell_behind)
        printf("soak: allowed for a step, %ld times: a fall reserving a cell that a follower of the descender "
               "below it has reserved; the first, %s\n",
               counts.fell_behind, counts.first_fell_behind.c_str());
    if (only > 0)
        return;
    // The generator must keep the rules busy, or the soak proves little.
    EXPECT_GE(counts.steps, total);
    EXPECT_GT(counts.walks, counts.steps / 100);
    EXPECT_GT(counts.climbs, 0);
    EXPECT_GT(counts.descents, 0);
    EXPECT_GT(counts.rock_level_moves, 0);
    EXPECT_GT(counts.rock_rolls_down, 0);
    EXPECT_GT(counts.falls, 0);
    EXPECT_GT(counts.collected, 0);
}

} // namespace
