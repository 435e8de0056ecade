// reach.cpp -- which diamonds no player can ever collect.
//
// The search runs on a loosened copy of the rules that only ever adds ways to
// move, so that a diamond it cannot reach is out of reach for certain.  The
// model, and why each loosening is needed, is told to land authors in
// lands/README.md, "Reachability"; the comments here say how it is done.
#include <algorithm>
#include <climits>
#include <queue>
#include <utility>
#include <vector>

#include "land/land.h"

namespace {

// Levels s to e of a hollow where something other than the player might
// stand still, e being as high as the things there are could pile up.  The
// lowest thing of a hop span has just come in sideways over nothing: it
// holds up what lands on it, but is no support to push from.
struct REACH_SPAN {
    int s, e, hop;
};

// A hollow with more spans than this folds them into one that covers them
// all: less exact, but then no hollow changes more than a few times.
enum { MAX_SPANS = 3 };

// The levels of a hollow, apart from the rest: the searches through a
// tile's hollows read nothing else.
struct REACH_LEVELS {
    int floor, roof;
    int fl;    // the floor level, where things rest on its floor
    int pile;  // the highest level of the pile things could make there; below fl when none
};

struct REACH_HOLLOW {
    int slope;
    int x, y;
    int group;  // hollows that share an open level with a neighbour are one group
    int top;    // the highest level a player has been at in it, or -1
    int n_spans;
    REACH_SPAN span[MAX_SPANS];
};

// What can stand in a group: things never leave the group they start in.
struct REACH_GROUP {
    int rocks, players;
    int rock_top;  // the highest rock at the start
    int things;    // how many things could pile up under a player
    long cap;      // the highest level a thing could ever be at
};

struct REACH {
    const LAND *l;
    std::vector<int> first;  // per tile, its lowest hollow's number; one more at the end
    std::vector<REACH_LEVELS> lev;
    std::vector<REACH_HOLLOW> hollow;
    std::vector<const HOLLOW *> land_hollow;  // the same, in the land
    std::vector<REACH_GROUP> group;
    // Spans still to spread, the highest first: what a hollow gains later
    // then reaches no higher, and a wider span found first covers it.
    struct SPREAD {
        int e, s, hollow;
        bool operator<(const SPREAD &o) const { return e < o.e; }
    };
    std::priority_queue<SPREAD> spread;
    // (level, hollow) a player has come to, the highest first: a hollow
    // entered high up then needs no walk from its lower entries.
    std::priority_queue<std::pair<int, int>> enter;
    std::vector<std::pair<int, int>> ranges;  // enter()'s levels to walk from
};

// The number of the first hollow of tile t whose roof is above z; the
// tile's end when there is none.
int hollow_above(const REACH &r, int t, int z)
{
    int lo = r.first[t], hi = r.first[t + 1];
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (r.lev[mid].roof > z)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

int tile_at(const REACH &r, int x, int y, int d)
{
    x += dir_dx[d];
    y += dir_dy[d];
    if (x < 0 || y < 0 || x >= r.l->w || y >= r.l->h)
        return -1;
    return y * r.l->w + x;
}

int find_group(std::vector<int> &parent, int n)
{
    while (parent[n] != n)
        n = parent[n] = parent[parent[n]];
    return n;
}

void number_hollows(REACH &r)
{
    const LAND *l = r.l;
    int tiles = l->w * l->h;
    r.first.assign((size_t)tiles + 1, 0);
    size_t n = 0;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                n++;
    r.lev.reserve(n);
    r.hollow.reserve(n);
    r.land_hollow.reserve(n);
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            r.first[y * l->w + x] = (int)r.hollow.size();
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next) {
                r.lev.push_back({h->floor, h->roof, floor_level(h), -1});
                r.hollow.push_back({h->slope, x, y, 0, -1, 0, {}});
                r.land_hollow.push_back(h);
            }
        }
    r.first[tiles] = (int)r.hollow.size();

    // Hollows of neighbouring tiles open at a common level are joined (the
    // neighbours towards x+1 and y+1 are enough).
    std::vector<int> parent(r.hollow.size());
    for (size_t i = 0; i < parent.size(); i++)
        parent[i] = (int)i;
    for (int t = 0; t < tiles; t++)
        for (int d = 1; d <= 2; d++) {
            int u = tile_at(r, t % l->w, t / l->w, d);
            if (u < 0)
                continue;
            int i = r.first[t], j = r.first[u];
            while (i < r.first[t + 1] && j < r.first[u + 1]) {
                const REACH_LEVELS &a = r.lev[i], &b = r.lev[j];
                if (a.floor < b.roof && b.floor < a.roof)
                    parent[find_group(parent, i)] = find_group(parent, j);
                if (a.roof < b.roof)
                    i++;
                else
                    j++;
            }
        }
    std::vector<int> number(r.hollow.size(), -1);
    for (size_t i = 0; i < r.hollow.size(); i++) {
        int root = find_group(parent, (int)i);
        if (number[root] < 0) {
            number[root] = (int)r.group.size();
            r.group.push_back({0, 0, -1, 0, 0});
        }
        r.hollow[i].group = number[root];
    }
}

void add_span(REACH &r, int n, int s, int e, int hop)
{
    REACH_HOLLOW &h = r.hollow[n];
    const REACH_LEVELS &hl = r.lev[n];
    if (s > e || s >= hl.roof || (s >= hl.fl && e <= hl.pile))
        return;  // nothing, or no more than the pile on the floor holds
    int lo = s, lo_hop = hop, hi = e;
    for (int i = 0; i < h.n_spans; i++) {
        const REACH_SPAN &o = h.span[i];
        // Covered when the old span holds as much at these levels, and
        // stands things on its own from as low as the new one.
        if (o.e >= e && o.s <= s && o.s + o.hop <= s + hop)
            return;
        if (o.s < lo || (o.s == lo && o.hop < lo_hop)) {
            lo = o.s;
            lo_hop = o.hop;
        }
        hi = std::max(hi, o.e);
    }
    if (h.n_spans == MAX_SPANS) {
        h.n_spans = 0;
        s = lo;
        e = hi;
        hop = lo_hop;
    }
    h.span[h.n_spans++] = {s, e, hop};
    r.spread.push({e, s + hop, n});
}

// Something standing at a level from a to e of hollow n may be pushed, walk
// or roll sideways at that level over nothing, and a rock may be pushed on
// once more in the same direction before it falls: two tiles at most.
void spread_span(REACH &r, int n, int a, int e)
{
    int x = r.hollow[n].x, y = r.hollow[n].y;
    int hi = std::min(e, r.lev[n].roof - 1);
    if (a > hi)
        return;
    for (int d = 0; d < 4; d++) {
        int t1 = tile_at(r, x, y, d);
        if (t1 < 0)
            continue;
        int t2 = tile_at(r, x + dir_dx[d], y + dir_dy[d], d);
        for (int m = hollow_above(r, t1, a); m < r.first[t1 + 1] && r.lev[m].floor <= hi; m++) {
            int lo1 = std::max(a, r.lev[m].fl), hi1 = std::min(hi, r.lev[m].roof - 1);
            if (lo1 > hi1)
                continue;
            add_span(r, m, lo1, e, 1);
            if (t2 < 0)
                continue;
            for (int t = hollow_above(r, t2, lo1); t < r.first[t2 + 1] && r.lev[t].floor <= hi1; t++) {
                int lo2 = std::max(lo1, r.lev[t].fl), hi2 = std::min(hi1, r.lev[t].roof - 1);
                if (lo2 <= hi2)
                    add_span(r, t, lo2, e, 1);
            }
        }
    }
}

// Where things other than the player could stand: piles on every floor and
// on every diamond, and on whatever stands there at the start; then what may
// come in sideways from those, until nothing new is found.
void find_supports(REACH &r)
{
    for (size_t n = 0; n < r.hollow.size(); n++)
        for (const OBJECT *o = r.land_hollow[n]->object; o; o = o->next) {
            REACH_GROUP &g = r.group[r.hollow[n].group];
            if (o->type == OBJ_ROCK) {
                g.rocks++;
                g.rock_top = std::max(g.rock_top, o->z);
            } else if (o->type == OBJ_PLAYER) {
                g.players++;
            }
        }
    for (REACH_GROUP &g : r.group) {
        // Each rock is one thing; the other player is two, counting the cell
        // it keeps above its head while it climbs.
        g.things = g.players ? std::min(g.rocks + 2 * (g.players - 1), 1 << 20) : 0;
        // Alone, a player stands on nothing but rocks, which never rise.
        g.cap = g.players > 1 ? LONG_MAX : g.rock_top;
    }
    auto pile_top = [&](int n, int from) {
        const REACH_GROUP &g = r.group[r.hollow[n].group];
        return (int)std::min((long)from + g.things - 1, g.cap);
    };
    for (size_t n = 0; n < r.hollow.size(); n++) {
        const REACH_HOLLOW &h = r.hollow[n];
        REACH_LEVELS &hl = r.lev[n];
        if (!r.group[h.group].things)
            continue;
        // Every floor has its pile, kept apart from the spans.
        hl.pile = pile_top((int)n, hl.fl);
        if (hl.pile >= hl.fl)
            r.spread.push({hl.pile, hl.fl, (int)n});
    }
    auto pile = [&](int n, int from) { add_span(r, n, from, pile_top(n, from), 0); };
    for (size_t n = 0; n < r.hollow.size(); n++) {
        const REACH_HOLLOW &h = r.hollow[n];
        if (!r.group[h.group].things)
            continue;
        for (const OBJECT *o = r.land_hollow[n]->object; o; o = o->next)
            if (o->type == OBJ_DIAMOND && r.group[h.group].rocks)
                pile((int)n, o->z + 1);
            else if (o->type == OBJ_ROCK || (o->type == OBJ_PLAYER && r.group[h.group].players > 1))
                pile((int)n, o->z);
    }
    while (!r.spread.empty()) {
        REACH::SPREAD s = r.spread.top();
        r.spread.pop();
        spread_span(r, s.hollow, s.s, s.e);
    }
}

// The player stands somewhere from level a to b of hollow n and walks to
// each side: a level move (a descent is a level move and a fall) or a
// climb.  Entering at the highest level a move allows covers every lower one.
void walk_from(REACH &r, int n, int a, int b)
{
    int x = r.hollow[n].x, y = r.hollow[n].y, roof = r.lev[n].roof;
    for (int d = 0; d < 4; d++) {
        int t = tile_at(r, x, y, d);
        if (t < 0)
            continue;
        for (int m = hollow_above(r, t, a); m < r.first[t + 1] && r.lev[m].floor <= b; m++) {
            const REACH_LEVELS &tl = r.lev[m];
            const SLOPE &s = slope[r.hollow[m].slope];
            int top = std::min(b, tl.roof - 1);
            if (top >= std::max(a, tl.floor + s.rise))
                r.enter.push({top, m});
            // A climb starts at the ramp's own level, from a low side, with
            // headroom on both sides.  The diamond its head passes, above
            // where it started, is taken anyway by walking back from the top.
            if (s.rise && tl.floor >= a && tl.floor <= b && !s.high[d ^ 2] && tl.floor + 1 < tl.roof &&
                tl.floor + 1 < roof)
                r.enter.push({tl.floor + 1, m});
        }
    }
}

// The player has been at level z of hollow n, so it may have fallen through
// every level below to the floor: it walks on from wherever it could come
// to rest there that was not reached before.
void enter(REACH &r, int n, int z)
{
    REACH_HOLLOW &h = r.hollow[n];
    const REACH_LEVELS &hl = r.lev[n];
    z = std::max(z, hl.fl);
    if (z <= h.top)
        return;
    int lo = std::max(h.top + 1, hl.fl);
    h.top = z;
    r.ranges.clear();
    if (lo == hl.fl)
        r.ranges.push_back({hl.fl, hl.fl});
    if (std::max(hl.fl + 1, lo) <= std::min({hl.pile + 1, hl.roof - 1, z}))
        r.ranges.push_back({std::max(hl.fl + 1, lo), std::min({hl.pile + 1, hl.roof - 1, z})});
    for (int i = 0; i < h.n_spans; i++) {
        const REACH_SPAN &s = h.span[i];
        int from = std::max(s.s + 1, lo);
        int to = std::min({s.e + 1, hl.roof - 1, z});
        if (from <= to)
            r.ranges.push_back({from, to});
    }
    std::sort(r.ranges.begin(), r.ranges.end());
    size_t k = 0;
    for (size_t i = 1; i < r.ranges.size(); i++)
        if (r.ranges[i].first <= r.ranges[k].second + 1)
            r.ranges[k].second = std::max(r.ranges[k].second, r.ranges[i].second);
        else
            r.ranges[++k] = r.ranges[i];
    r.ranges.resize(r.ranges.empty() ? 0 : k + 1);
    for (const auto &g : r.ranges)
        walk_from(r, n, g.first, g.second);
}

} // namespace

int find_unreachable_diamonds(const LAND *l, LAND_CELL *cells, int max)
{
    REACH r;
    r.l = l;
    number_hollows(r);
    find_supports(r);
    for (size_t n = 0; n < r.hollow.size(); n++)
        for (const OBJECT *o = r.land_hollow[n]->object; o; o = o->next)
            if (o->type == OBJ_PLAYER) {
                walk_from(r, (int)n, o->z, o->z);  // wherever it stands at first
                r.enter.push({o->z, (int)n});
            }
    while (!r.enter.empty()) {
        std::pair<int, int> e = r.enter.top();
        r.enter.pop();
        enter(r, e.second, e.first);
    }
    int count = 0;
    for (size_t n = 0; n < r.hollow.size(); n++) {
        const REACH_HOLLOW &h = r.hollow[n];
        for (const OBJECT *o = r.land_hollow[n]->object; o; o = o->next) {
            if (o->type != OBJ_DIAMOND)
                continue;
            if (o->z >= r.lev[n].fl && o->z <= h.top)
                continue;  // walked into, fallen through or stood on
            if (count < max)
                cells[count] = {h.x, h.y, o->z};
            count++;
        }
    }
    return count;
}

int count_unreachable_diamonds(const LAND *l)
{
    return find_unreachable_diamonds(l, nullptr, 0);
}
