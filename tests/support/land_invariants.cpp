// land_invariants.cpp -- the checks of land_invariants.h.
#include "land_invariants.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "shell/shell.h"
#include "tools/land_json.h"

bool is_mover(const OBJECT *o)
{
    return o->type == OBJ_PLAYER || o->type == OBJ_ROCK;
}

namespace {

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

violation fail(const std::string &why, const OBJECT *o)
{
    return {why, o};
}

const PLACEHOLDER_DATA *placeholder_of(const OBJECT *p)
{
    return (const PLACEHOLDER_DATA *)p->data;
}

uint64_t cell_key(int x, int y, int z)
{
    return ((uint64_t)(unsigned)x << 48) | ((uint64_t)(unsigned)y << 32) | (uint32_t)z;
}

std::string cell(int x, int y, int z)
{
    return std::to_string(x) + "," + std::to_string(y) + " level " + std::to_string(z);
}

std::string counts(const reservations &r)
{
    return std::to_string(r.kind[0]) + "/" + std::to_string(r.kind[1]) + "/" + std::to_string(r.kind[2]);
}

// Each reservation belongs to a move or fall still under way, at the
// cell that move or fall is about to enter.
violation check_placeholder(const OBJECT *p, const std::unordered_map<const OBJECT *, filed> &where)
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
violation check_motion(const OBJECT *o, const reservations &r)
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

} // namespace

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

invariant_checker::invariant_checker(const generated_land &g) : g_(g)
{
    for (const auto &e : collect())
        if (is_mover(e.first))
            movers_++;
}

violation invariant_checker::check(const std::string &where_now)
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
                    if (!occupant.emplace(cell_key(x, y, o->z), o).second)
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
        if (d->kind == 0 && !reserved.emplace(cell_key(o->x, o->y, o->z), o).second) {
            const OBJECT *other = reserved[cell_key(o->x, o->y, o->z)];
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
        auto r = reserved.find(cell_key(o->x, o->y, o->z));
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
bool invariant_checker::fell_behind_a_descent(const OBJECT *fall, const OBJECT *move) const
{
    const OBJECT *f = placeholder_of(fall)->owner, *m = placeholder_of(move)->owner;
    if (f->move_step || !f->z_speed || !m->move_step || fall->z != f->z - 1)
        return false;
    auto r = rested_.find(f);
    return r != rested_.end() && r->second.move_step == FRAMES_PER_TILE - 1 && r->second.z_speed > 0 &&
           r->second.on != m;
}

std::unordered_map<const OBJECT *, filed> invariant_checker::collect() const
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

namespace {

bool same_object(const OBJECT *a, const OBJECT *b)
{
    if (a->type != b->type || a->x != b->x || a->y != b->y || a->z != b->z || a->z_offset != b->z_offset ||
        a->z_speed != b->z_speed || a->dir != b->dir || a->move_step != b->move_step)
        return false;
    switch (a->type) {
    case OBJ_PLAYER: return !memcmp(a->data, b->data, sizeof(PLAYER_DATA));
    case OBJ_DIAMOND: return !memcmp(a->data, b->data, sizeof(DIAMOND_DATA));
    case OBJ_ROCK: return !memcmp(a->data, b->data, sizeof(ROCK_DATA));
    default: {
        const PLACEHOLDER_DATA *p = (const PLACEHOLDER_DATA *)a->data, *q = (const PLACEHOLDER_DATA *)b->data;
        return p->kind == q->kind && same_object(p->owner, q->owner);
    }
    }
}

std::string list_json(const HOLLOW *h)
{
    std::string s;
    for (const OBJECT *e = h ? h->object : nullptr; e; e = e->next)
        s += object_json(e) + " ";
    return s;
}

} // namespace

std::string compare_objects(const LAND *a, const LAND *b)
{
    if (a->n_diamonds != b->n_diamonds)
        return "diamond counts " + std::to_string(a->n_diamonds) + " and " + std::to_string(b->n_diamonds);
    for (int y = 0; y < a->h; y++)
        for (int x = 0; x < a->w; x++)
            for (const HOLLOW *ha = a->tile[y][x].hollow, *hb = b->tile[y][x].hollow; ha;
                 ha = ha->next, hb = hb->next) {
                const OBJECT *oa = ha->object, *ob = hb->object;
                while (oa && ob && same_object(oa, ob))
                    oa = oa->next, ob = ob->next;
                if (oa || ob)
                    return "tile " + std::to_string(x) + "," + std::to_string(y) + ":\n  every tile: " +
                           list_json(ha) + "\n  the map's:  " + list_json(hb);
            }
    return "";
}


std::string step_with_twin(LAND *l, LAND *twin, unsigned seed)
{
    for (LAND *each : {twin, l}) {
        if (!each)
            continue;
        land = each;
        walk_every_tile = each == twin;
        srand(seed);
        step_land(ckey);
    }
    walk_every_tile = 0;
    if (!twin)
        return "";
    std::string why = compare_objects(twin, l);
    // The twin never has maps made, so it is looked at tile by tile.
    if (why.empty() && land_at_rest(l) != land_at_rest(twin))
        why = land_at_rest(l) ? "at rest by the map but not tile by tile" : "at rest tile by tile but not by the map";
    return why;
}
