// history.cpp -- the game's history: snapshots of what changes in play, the
// actions of every step, and going back to any step by re-running the rules.
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "shell/shell.h"

// ---- the random generator ------------------------------------------------------

namespace {

alignas(int32_t) int32_t live_state[64];  // where the generator draws once taken over
alignas(int32_t) int32_t parking[32];

// The words setstate() reads from a buffer whose first word says its type.
int state_words(const int32_t *buf)
{
    static const int degree[5] = {0, 7, 15, 31, 63};
    int type = buf[0] % 5;
    // Type 0 keeps its one number in the word after the type.
    return 1 + (degree[type] > 1 ? degree[type] : 1);
}

// Switches the generator to the parking buffer, which writes the position of
// the buffer it drew from into that buffer's first word, and returns it.
int32_t *park_generator()
{
    static bool parked_before = false;
    if (!parked_before) {
        parked_before = true;
        return (int32_t *)initstate(1, (char *)parking, sizeof parking);
    }
    return (int32_t *)setstate((char *)parking);
}

} // namespace

void save_rand_state(RAND_STATE &s)
{
    int32_t *from = park_generator();
    int n = state_words(from);
    if (from != live_state)
        memcpy(live_state, from, n * sizeof(int32_t));
    setstate((char *)live_state);
    s.words = n;
    memcpy(s.word, live_state, n * sizeof(int32_t));
}

void load_rand_state(const RAND_STATE &s)
{
    // Away from live_state first: switching away writes its first word.
    park_generator();
    memcpy(live_state, s.word, s.words * sizeof(int32_t));
    setstate((char *)live_state);
}

// ---- snapshots -----------------------------------------------------------------

namespace {

// A field added to an object's records must be kept by the snapshots too.
static_assert(sizeof(OBJECT) == 8 * sizeof(int) + 2 * sizeof(void *), "OBJECT fields");
static_assert(sizeof(PLAYER_DATA) == 4 * sizeof(int), "PLAYER_DATA fields");
static_assert(sizeof(DIAMOND_DATA) == sizeof(int), "DIAMOND_DATA fields");
static_assert(sizeof(ROCK_DATA) == sizeof(int), "ROCK_DATA fields");
static_assert(sizeof(PLACEHOLDER_DATA) == 2 * sizeof(void *), "PLACEHOLDER_DATA fields");

// Most fields are small or zero: variable-length numbers, signed ones
// folded so that small negative numbers stay short.
void put(std::vector<unsigned char> &b, uint32_t v)
{
    while (v >= 0x80) {
        b.push_back((unsigned char)(v | 0x80));
        v >>= 7;
    }
    b.push_back((unsigned char)v);
}

void put_signed(std::vector<unsigned char> &b, int v)
{
    put(b, ((uint32_t)v << 1) ^ (uint32_t)(v >> 31));
}

struct READER {
    const unsigned char *p;
    uint32_t get()
    {
        uint32_t v = 0;
        for (int shift = 0;; shift += 7) {
            unsigned char c = *p++;
            v |= (uint32_t)(c & 0x7f) << shift;
            if (!(c & 0x80))
                return v;
        }
    }
    int get_signed()
    {
        uint32_t u = get();
        return (int)(u >> 1) ^ -(int)(u & 1);
    }
};

// An object's first byte: its type, and which of the fields that are mostly
// zero follow.  Between steps every object is filed in its own tile's list
// (sort_objects() re-files the moves that ended), so x and y are the tile's;
// z follows always, from the hollow's floor.
enum { HAS_Z_OFFSET = 4, HAS_Z_SPEED = 8, HAS_DIR = 16, HAS_MOVE_STEP = 32 };

// The objects whose place in the walk a snapshot names: the placeholders'
// owners, then the players of the rows and of the land.
enum { N_NAMED_PLAYERS = 4 };

OBJECT **named_player(int i)
{
    return i < 2 ? &player_info[i].object : &land->player[i - 2];
}

std::vector<unsigned char> packed;
std::vector<const OBJECT *> walk_order;
std::vector<const OBJECT *> owners;

void put_object(std::vector<unsigned char> &b, const OBJECT *o, const HOLLOW *h)
{
    b.push_back((unsigned char)(o->type | (o->z_offset ? HAS_Z_OFFSET : 0) | (o->z_speed ? HAS_Z_SPEED : 0) |
                                (o->dir ? HAS_DIR : 0) | (o->move_step ? HAS_MOVE_STEP : 0)));
    put_signed(b, o->z - h->floor);
    if (o->z_offset)
        put_signed(b, o->z_offset);
    if (o->z_speed)
        put_signed(b, o->z_speed);
    if (o->dir)
        put_signed(b, o->dir);
    if (o->move_step)
        put_signed(b, o->move_step);
    switch (o->type) {
    case OBJ_PLACEHOLDER:
        put_signed(b, ((const PLACEHOLDER_DATA *)o->data)->kind);
        owners.push_back(((const PLACEHOLDER_DATA *)o->data)->owner);
        break;
    case OBJ_PLAYER: {
        const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
        put_signed(b, p->index);
        put_signed(b, p->facing);
        put_signed(b, p->turn);
        put_signed(b, p->pitch);
        break;
    }
    case OBJ_DIAMOND: put_signed(b, ((const DIAMOND_DATA *)o->data)->spin); break;
    default: put_signed(b, ((const ROCK_DATA *)o->data)->texture); break;
    }
}

// The non-empty hollows, each as the number of hollows since the last one
// (0 ends the list), its count and its objects; then the named objects' places
// in the walk, counted from 1 (0 for none).
void pack_objects(std::vector<unsigned char> &b)
{
    b.clear();
    walk_order.clear();
    owners.clear();
    const OBJECT *players[N_NAMED_PLAYERS];
    for (int i = 0; i < N_NAMED_PLAYERS; i++)
        players[i] = *named_player(i);
    uint32_t player_place[N_NAMED_PLAYERS] = {};
    long hollow = 0, last = -1;
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            for (const HOLLOW *h = land->tile[y][x].hollow; h; h = h->next, hollow++) {
                if (!h->object)
                    continue;
                uint32_t count = 0;
                for (const OBJECT *o = h->object; o; o = o->next)
                    count++;
                put(b, (uint32_t)(hollow - last));
                put(b, count);
                last = hollow;
                for (const OBJECT *o = h->object; o; o = o->next) {
                    put_object(b, o, h);
                    walk_order.push_back(o);
                    for (int i = 0; i < N_NAMED_PLAYERS; i++)
                        if (o == players[i])
                            player_place[i] = (uint32_t)walk_order.size();
                }
            }
    put(b, 0);
    for (uint32_t place : player_place)
        put(b, place);
    if (owners.empty())
        return;
    // An owner the walk does not meet is not in the land: named as none.
    std::unordered_map<const OBJECT *, uint32_t> place;
    for (const OBJECT *o : owners)
        place[o] = 0;
    for (size_t i = 0; i < walk_order.size(); i++)
        if (auto it = place.find(walk_order[i]); it != place.end())
            it->second = (uint32_t)i + 1;
    for (const OBJECT *o : owners)
        put(b, place[o]);
}

std::vector<OBJECT *> made;
std::vector<OBJECT *> placeholders;

// Gives the land the objects of a snapshot.  A list's records are used again
// where the type matches, so that a restore allocates little.
void unpack_objects(const std::vector<unsigned char> &b)
{
    READER r{b.data()};
    made.clear();
    placeholders.clear();
    uint32_t skip = r.get();
    long hollow = 0, next = skip ? (long)skip - 1 : -1;
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            for (HOLLOW *h = land->tile[y][x].hollow; h; h = h->next, hollow++) {
                OBJECT **link = &h->object;
                uint32_t count = hollow == next ? r.get() : 0;
                for (uint32_t i = 0; i < count; i++) {
                    unsigned flags = *r.p++;
                    int type = flags & 3;
                    OBJECT *o = *link;
                    if (!o || o->type != type) {
                        if (!(o = create_object(type, 0, 0, 0)))
                            out_of_memory();
                        o->next = *link;
                        *link = o;
                    }
                    o->x = x, o->y = y;
                    o->z = h->floor + r.get_signed();
                    o->z_offset = flags & HAS_Z_OFFSET ? r.get_signed() : 0;
                    o->z_speed = flags & HAS_Z_SPEED ? r.get_signed() : 0;
                    o->dir = flags & HAS_DIR ? r.get_signed() : 0;
                    o->move_step = flags & HAS_MOVE_STEP ? r.get_signed() : 0;
                    switch (type) {
                    case OBJ_PLACEHOLDER:
                        ((PLACEHOLDER_DATA *)o->data)->kind = r.get_signed();
                        placeholders.push_back(o);
                        break;
                    case OBJ_PLAYER: {
                        PLAYER_DATA *p = (PLAYER_DATA *)o->data;
                        p->index = r.get_signed();
                        p->facing = r.get_signed();
                        p->turn = r.get_signed();
                        p->pitch = r.get_signed();
                        break;
                    }
                    case OBJ_DIAMOND: ((DIAMOND_DATA *)o->data)->spin = r.get_signed(); break;
                    default: ((ROCK_DATA *)o->data)->texture = r.get_signed(); break;
                    }
                    made.push_back(o);
                    link = &o->next;
                }
                while (*link)
                    destroy_object(link);
                if (hollow == next)
                    next = (skip = r.get()) ? hollow + (long)skip : -1;
            }
    for (int i = 0; i < N_NAMED_PLAYERS; i++) {
        uint32_t place = r.get();
        *named_player(i) = place ? made[place - 1] : nullptr;
    }
    for (OBJECT *p : placeholders) {
        uint32_t place = r.get();
        ((PLACEHOLDER_DATA *)p->data)->owner = place ? made[place - 1] : nullptr;
    }
}

void take_snapshot(GAME_HISTORY &h)
{
    HISTORY_SNAPSHOT s;
    s.step = h.steps;
    save_land_state(s);
    h.snapshots.push_back(std::move(s));
}

void restore_snapshot(const HISTORY_SNAPSHOT &s)
{
    unpack_objects(s.objects);
    land->n_diamonds = s.n_diamonds;
    load_rand_state(s.rand);
    // Objects were made, moved and freed behind the rules' back: their maps
    // of object tiles, and the diamonds kept for sleeping tiles, go.
    forget_object_tiles();
}

} // namespace

void save_land_state(HISTORY_SNAPSHOT &s)
{
    s.n_diamonds = land->n_diamonds;
    save_rand_state(s.rand);
    pack_objects(packed);
    s.objects.assign(packed.begin(), packed.end());
}

void load_land_state(const HISTORY_SNAPSHOT &s)
{
    restore_snapshot(s);
}

namespace {

// The spacing kept at a snapshot's age; see HISTORY_RECENT.
long spacing_at_age(long age)
{
    const long recent = (long)HISTORY_RECENT * HISTORY_SPACING;
    long spacing = HISTORY_SPACING;
    for (long edge = recent; age >= edge; edge = 2 * edge + recent)
        spacing *= 2;
    return spacing;
}

void thin_snapshots(GAME_HISTORY &h)
{
    std::vector<HISTORY_SNAPSHOT> &v = h.snapshots;
    size_t kept = 0;
    for (size_t i = 0; i < v.size(); i++)
        if (v[i].step % spacing_at_age(h.steps - v[i].step) == 0) {
            if (kept != i)
                v[kept] = std::move(v[i]);
            kept++;
        }
    v.resize(kept);
}

uint16_t pack_actions(const PLAYER_ACTIONS &a)
{
    uint16_t bits = 0;
    for (int p = 0; p < 2; p++)
        for (int i = 0; i < N_HELD; i++)
            if (a.held[p][i])
                bits |= (uint16_t)(1u << (p * N_HELD + i));
    return bits;
}

PLAYER_ACTIONS unpack_actions(uint16_t bits)
{
    PLAYER_ACTIONS a;
    for (int p = 0; p < 2; p++)
        for (int i = 0; i < N_HELD; i++)
            a.held[p][i] = bits >> (p * N_HELD + i) & 1;
    return a;
}

// Counts the step just run and takes its snapshot when one is due.
void end_step(GAME_HISTORY &h)
{
    h.steps++;
    if (h.steps % HISTORY_SPACING == 0) {
        take_snapshot(h);
        thin_snapshots(h);
    }
}

} // namespace

// ---- the history -------------------------------------------------------------------

void start_history(GAME_HISTORY &h, unsigned long seed)
{
    h.seed = seed;
    h.steps = 0;
    h.actions.clear();
    h.keys = TAPE_RECORDING();
    h.snapshots.clear();
    take_snapshot(h);
}

void run_history_step(GAME_HISTORY &h, const char *f, std::vector<RULE_EVENT> *events)
{
    PLAYER_ACTIONS a = read_player_actions(f);
    step_land_actions(a, events);
    h.actions.push_back(pack_actions(a));
    record_frame(h.keys, f);
    end_step(h);
}

long rewind_history(GAME_HISTORY &h, long step)
{
    step = step < 0 ? 0 : step > h.steps ? h.steps : step;
    if (step == h.steps)
        return step;
    while (h.snapshots.back().step > step)
        h.snapshots.pop_back();
    restore_snapshot(h.snapshots.back());
    // The run from the snapshot to the step takes its snapshots again, so
    // that going on back from there re-runs a spacing at most.
    for (h.steps = h.snapshots.back().step; h.steps < step;) {
        step_land_actions(unpack_actions(h.actions[h.steps]));
        end_step(h);
    }
    h.actions.resize(step);
    cut_recording(h.keys, step);
    return step;
}

void restart_history(GAME_HISTORY &h)
{
    rewind_history(h, 0);
}

TAPE history_tape(const GAME_HISTORY &h)
{
    TAPE t;
    t.seed = h.seed;
    t.frames = h.steps;
    TAPE_RECORDING keys = h.keys;
    t.held = finish_recording(keys);
    return t;
}

size_t history_bytes(const GAME_HISTORY &h)
{
    size_t n = h.actions.capacity() * sizeof(uint16_t) + h.keys.held.capacity() * sizeof(HELD_KEYS) +
               h.snapshots.capacity() * sizeof(HISTORY_SNAPSHOT);
    for (const HELD_KEYS &k : h.keys.held)
        n += k.scancodes.capacity() * sizeof(int);
    for (const HISTORY_SNAPSHOT &s : h.snapshots)
        n += s.objects.capacity();
    return n;
}
