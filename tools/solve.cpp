// solve.cpp -- breadth-first search of a land's rests, stepping the game's
// own rules (step_land, as tavo-tool sim steps them) and standing at each
// rest again from its saved state (save_land_state / load_land_state).
#include "tools/solve.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace {

// A move holds its key for one step; everything then comes to rest within
// this many steps (a long fall, a rockslide), or the move is not searched.
enum { MAX_SETTLE_STEPS = 3000 };

// The moves of one player, as the actions whose key is held.
const int move_action[] = {ACT_FORWARD, ACT_BACK, ACT_STRAFE_LEFT, ACT_STRAFE_RIGHT, ACT_TURN_LEFT,
                           ACT_TURN_RIGHT};
enum { MOVES_PER_PLAYER = sizeof move_action / sizeof *move_action };

// Whether everything is still and every player faces straight ahead: the
// only moments a search stands at.
bool at_rest()
{
    if (!land_at_rest(land))
        return false;
    for (int i = 0; i < 2; i++)
        if (player_info[i].object && ((PLAYER_DATA *)player_info[i].object->data)->turn)
            return false;
    return true;
}

// A rest, told apart from every other by 128 bits: every object as the
// rules read it (a diamond's turn and a player's tilt, which no rule reads,
// left out), the diamond count and the generator.
struct state_key {
    uint64_t a, b;
    bool operator==(const state_key &o) const { return a == o.a && b == o.b; }
};
struct state_key_hash {
    size_t operator()(const state_key &k) const { return (size_t)(k.a ^ (k.b * 0x9e3779b97f4a7c15ull)); }
};

struct key_maker {
    uint64_t a = 0xcbf29ce484222325ull, b = 0x84222325cbf29ce4ull;
    void add(uint64_t v)
    {
        a = (a ^ v) * 0x100000001b3ull;
        b += v * 0xff51afd7ed558ccdull;
        b = (b ^ (b >> 29)) * 0xc4ceb9fe1a85ec53ull;
    }
};

state_key key_of_rest()
{
    key_maker k;
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            for (const HOLLOW *h = land->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *o = h->object; o; o = o->next) {
                    k.add((uint64_t)o->type | (uint64_t)(o->dir & 0xff) << 8 | (uint64_t)(o->z & 0xffff) << 16 |
                          (uint64_t)x << 32 | (uint64_t)y << 40);
                    if (o->type == OBJ_PLAYER) {
                        const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
                        k.add((uint64_t)p->index << 8 | (uint64_t)(p->facing & 3));
                    } else if (o->type == OBJ_ROCK) {
                        k.add((uint64_t)((const ROCK_DATA *)o->data)->texture);
                    }
                }
    k.add((uint64_t)land->n_diamonds);
    RAND_STATE r;
    save_rand_state(r);
    for (int i = 0; i < r.words; i++)
        k.add((uint32_t)r.word[i]);
    return {k.a, k.b};
}

// The frame in which player p holds the key of action a, or nothing.
const char *frame_of(int p, int a)
{
    static INPUT_FRAME frame;
    memset(frame, 0, sizeof frame);
    if (p >= 0)
        frame[player_info[p].key[a][0]] = 1;
    return frame;
}

// Steps on with the frame given once, then with nothing held, until the land
// is at rest or won.  Each frame run goes to record when given.  False when
// it does not come to rest in time.
bool play_move(int p, int a, TAPE_RECORDING *record)
{
    for (int n = 0; n < MAX_SETTLE_STEPS; n++) {
        const char *f = frame_of(n == 0 ? p : -1, a);
        if (record)
            record_frame(*record, f);
        step_land(f);
        if (land->n_diamonds == 0 || at_rest())
            return true;
    }
    return false;
}

struct node {
    uint32_t parent;
    uint8_t move;  // player * MOVES_PER_PLAYER + the move's index; 255 for the start
};

bool read_land(const char *path, unsigned long seed, std::string &why)
{
    free_game_land();
    srand((unsigned)seed);
    LAND *l = load_land(path, LAND_FOR_PLAY);
    if (!l) {
        why = land_load_error();
        return false;
    }
    set_game_land(l);
    return true;
}

// The win as a tape: the land read again and the moves played from the start.
TAPE tape_of(const char *path, const SOLVE_OPTIONS &o, const std::vector<node> &nodes, uint32_t last, int last_move)
{
    std::vector<int> moves;
    if (last_move >= 0) {
        moves.push_back(last_move);
        for (uint32_t i = last; nodes[i].move != 255; i = nodes[i].parent)
            moves.push_back(nodes[i].move);
    }
    std::string why;
    read_land(path, o.seed, why);
    TAPE_RECORDING record;
    play_move(-1, 0, &record);  // the land's own settling before the first move
    for (size_t i = moves.size(); i-- > 0 && land->n_diamonds;)
        play_move(moves[i] / MOVES_PER_PLAYER, move_action[moves[i] % MOVES_PER_PLAYER], &record);
    TAPE t;
    t.seed = o.seed;
    t.frames = record.steps;
    t.held = finish_recording(record);
    return t;
}

} // namespace

SOLVE_RESULT solve_land(const char *land_path, const SOLVE_OPTIONS &o)
{
    SOLVE_RESULT r;
    auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    if (!read_land(land_path, o.seed, r.why))
        return r;
    int first = o.alone ? o.alone - 1 : 0, last = o.alone ? o.alone - 1 : n_players - 1;

    std::vector<node> nodes;
    std::unordered_set<state_key, state_key_hash> seen;
    std::vector<HISTORY_SNAPSHOT> layer, next;
    std::vector<uint32_t> layer_ids, next_ids;
    r.result = SOLVE_UNSOLVABLE;
    if (!play_move(-1, 0, nullptr)) {
        r.result = SOLVE_GAVE_UP;  // never comes to rest: nothing to search from
    } else if (land->n_diamonds == 0) {
        r.result = SOLVE_SOLVED;
        r.tape = tape_of(land_path, o, {{0, 255}}, 0, -1);
    } else {
        nodes.push_back({0, 255});
        seen.insert(key_of_rest());
        layer.emplace_back();
        save_land_state(layer.back());
        layer_ids.push_back(0);
    }
    long depth = 0;
    while (r.result == SOLVE_UNSOLVABLE && !layer.empty()) {
        depth++;
        for (size_t i = 0; i < layer.size() && r.result == SOLVE_UNSOLVABLE; i++) {
            for (int p = first; p <= last && r.result == SOLVE_UNSOLVABLE; p++)
                for (int m = 0; m < MOVES_PER_PLAYER; m++) {
                    load_land_state(layer[i]);
                    if (!play_move(p, move_action[m], nullptr))
                        continue;
                    int move = p * MOVES_PER_PLAYER + m;
                    if (land->n_diamonds == 0) {
                        r.result = SOLVE_SOLVED;
                        r.moves = depth;
                        r.tape = tape_of(land_path, o, nodes, layer_ids[i], move);
                        break;
                    }
                    if (!seen.insert(key_of_rest()).second)
                        continue;
                    nodes.push_back({layer_ids[i], (uint8_t)move});
                    next.emplace_back();
                    save_land_state(next.back());
                    next_ids.push_back((uint32_t)(nodes.size() - 1));
                    if ((long)nodes.size() >= o.max_states) {
                        r.result = SOLVE_GAVE_UP;
                        break;
                    }
                }
            if (r.result == SOLVE_UNSOLVABLE && o.seconds > 0 && elapsed() > o.seconds)
                r.result = SOLVE_GAVE_UP;
        }
        layer.swap(next);
        layer_ids.swap(next_ids);
        next.clear();
        next_ids.clear();
    }
    r.states = (long)nodes.size();
    r.seconds = elapsed();
    free_game_land();
    return r;
}
