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

// A move's steps are over within this many (a long fall, a rockslide), or
// the move is not searched.
enum { MAX_SETTLE_STEPS = 3000 };

// A player's moves, by the way they go: a walk with whichever key takes the
// player there as it faces (forward may push), and a push, which turns the
// player to face that way and walks forward.  A lone turn is no move of its
// own: it is searched as part of the push it sets up.
enum { WAYS = 4, MOVES_PER_PLAYER = 2 * WAYS, PUSH = WAYS };

PLAYER_DATA *player_data(int p)
{
    OBJECT *o = player_info[p].object;
    return o ? (PLAYER_DATA *)o->data : nullptr;
}

// Whether everything is still and every player faces straight ahead: the
// only moments a search stands at.
bool at_rest()
{
    if (!land_at_rest(land))
        return false;
    for (int i = 0; i < 2; i++)
        if (PLAYER_DATA *d = player_data(i); d && d->turn)
            return false;
    return true;
}

// A rest, told apart from every other by 128 bits: every object as the
// rules read it at a rest, the diamond count and the generator.  Left out:
// a diamond's turn and a player's tilt, which no rule reads, and the way an
// object last moved, which the rules set afresh whenever something starts
// to move and read only while it moves.  A player's facing stays in: at a
// lasting rest only a push reads it, but at a pause in a roll it decides
// how long a push that turns about waits before it walks.
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

state_key key_of_rest(bool whole)
{
    key_maker k;
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            for (const HOLLOW *h = land->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *o = h->object; o; o = o->next) {
                    k.add((uint64_t)o->type | (uint64_t)(o->z & 0xffff) << 16 | (uint64_t)x << 32 |
                          (uint64_t)y << 40);
                    if (whole)
                        k.add((uint64_t)(o->dir & 0xff) << 56);
                    if (o->type == OBJ_PLAYER) {
                        const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
                        k.add((uint64_t)p->index << 8 | (uint64_t)(p->facing & 3) << 16);
                    }
                    else if (o->type == OBJ_ROCK)
                        k.add((uint64_t)((const ROCK_DATA *)o->data)->texture);
                }
    k.add((uint64_t)land->n_diamonds);
    RAND_STATE r;
    save_rand_state(r);
    for (int i = 0; i < r.words; i++)
        k.add((uint32_t)r.word[i]);
    return {k.a, k.b};
}

// Player p's move, step by step: the keys its next step holds, none once
// they have all been pressed.
class move_keys {
public:
    move_keys(int p, int move) : p_(p), way_(move % WAYS), push_(move >= PUSH) {}
    bool pressed() const { return p_ < 0 || done_; }
    const char *next_frame()
    {
        memset(frame_, 0, sizeof frame_);
        if (pressed())
            return frame_;
        const PLAYER_DATA *d = player_data(p_);
        if (!d) {
            done_ = true;
            return frame_;
        }
        int turn = (way_ - d->facing) & 3;
        if (!push_) {
            static const int walk_key[WAYS] = {ACT_FORWARD, ACT_STRAFE_RIGHT, ACT_BACK, ACT_STRAFE_LEFT};
            press(walk_key[turn]);
        } else if (turn == 0) {
            press(ACT_FORWARD);
        } else if (d->turn == 0) {
            // The turn is taken at once, so forward held with the last one
            // walks the new way in the same step; turning about takes two.
            frame_[player_info[p_].key[turn == 3 ? ACT_TURN_LEFT : ACT_TURN_RIGHT][0]] = 1;
            if (turn != 2)
                press(ACT_FORWARD);
        }
        return frame_;
    }

private:
    void press(int action)
    {
        frame_[player_info[p_].key[action][0]] = 1;
        done_ = true;
    }
    int p_, way_;
    bool push_, done_ = false;
    INPUT_FRAME frame_;
};

// Plays the move of player p (none for p < 0) and then nothing until the
// land is at rest or won.  Each frame run goes to record when given.  False
// when it does not come to rest in time.
bool play_move(int p, int move, TAPE_RECORDING *record)
{
    static const PLAYER_ACTIONS none = [] {
        INPUT_FRAME f = {};
        return read_player_actions(f);
    }();
    move_keys keys(p, move);
    for (int n = 0; n < MAX_SETTLE_STEPS; n++) {
        bool pressing = !keys.pressed();
        const char *f = keys.next_frame();
        if (record)
            record_frame(*record, f);
        step_land_actions(pressing ? read_player_actions(f) : none);
        if (land->n_diamonds == 0 || (keys.pressed() && at_rest()))
            return true;
    }
    return false;
}

// Waiting: nothing held for a step, then until everything is still again.
// From a rest it goes nowhere; from a pause in a roll it lets the roll go on.
enum { WAIT = 254, START = 255 };

struct node {
    uint32_t parent;
    uint8_t move;  // player * MOVES_PER_PLAYER + the move's index, WAIT or START
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
// False when the moves do not win it again, which would be a fault of the
// search (a rest told apart from others by too little).
bool tape_of(const char *path, const SOLVE_OPTIONS &o, const std::vector<node> &nodes, uint32_t last, int last_move,
             TAPE &t)
{
    std::vector<int> moves;
    if (last_move >= 0) {
        moves.push_back(last_move);
        for (uint32_t i = last; nodes[i].move != START; i = nodes[i].parent)
            moves.push_back(nodes[i].move);
    }
    std::string why;
    read_land(path, o.seed, why);
    TAPE_RECORDING record;
    play_move(-1, 0, &record);  // the land's own settling before the first move
    for (size_t i = moves.size(); i-- > 0 && land->n_diamonds;) {
        if (moves[i] == WAIT)
            play_move(-1, 0, &record);
        else
            play_move(moves[i] / MOVES_PER_PLAYER, moves[i] % MOVES_PER_PLAYER, &record);
    }
    t.seed = o.seed;
    t.frames = record.steps;
    t.held = finish_recording(record);
    return land->n_diamonds == 0;
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
    uint32_t won_from = 0;
    int won_by = -1;
    r.result = SOLVE_UNSOLVABLE;
    if (!play_move(-1, 0, nullptr)) {
        r.result = SOLVE_GAVE_UP;  // never comes to rest: nothing to search from
    } else if (land->n_diamonds == 0) {
        r.result = SOLVE_SOLVED;
    } else {
        nodes.push_back({0, START});
        seen.insert(key_of_rest(o.whole_key));
        layer.emplace_back();
        save_land_state(layer.back());
        layer_ids.push_back(0);
    }
    // Plays a move (p < 0: the wait) from rest i of the layer and keeps the
    // rest it comes to when it is new.
    auto try_move = [&](size_t i, int p, int m) {
        load_land_state(layer[i]);
        if (!play_move(p, m, nullptr))
            return;
        int move = p < 0 ? WAIT : p * MOVES_PER_PLAYER + m;
        if (land->n_diamonds == 0) {
            r.result = SOLVE_SOLVED;
            won_from = layer_ids[i];
            won_by = move;
            return;
        }
        state_key k = key_of_rest(o.whole_key);
        if (!seen.insert(k).second)
            return;
        nodes.push_back({layer_ids[i], (uint8_t)move});
        next.emplace_back();
        save_land_state(next.back());
        next_ids.push_back((uint32_t)(nodes.size() - 1));
        if ((long)nodes.size() >= o.max_states)
            r.result = SOLVE_GAVE_UP;
    };
    long depth = 0;
    while (r.result == SOLVE_UNSOLVABLE && !layer.empty()) {
        depth++;
        for (size_t i = 0; i < layer.size() && r.result == SOLVE_UNSOLVABLE; i++) {
            for (int p = first; p <= last && r.result == SOLVE_UNSOLVABLE; p++)
                for (int way = 0; way < WAYS && r.result == SOLVE_UNSOLVABLE; way++) {
                    load_land_state(layer[i]);
                    const PLAYER_DATA *d = player_data(p);
                    bool facing_there = !d || d->facing == way;
                    try_move(i, p, way);
                    if (!facing_there && r.result == SOLVE_UNSOLVABLE)
                        try_move(i, p, PUSH + way);
                }
            // Most rests are still for good, and waiting there finds nothing
            // new; a pause between two cells of a roll is one only for a step.
            if (r.result == SOLVE_UNSOLVABLE)
                try_move(i, -1, 0);
            if (r.result == SOLVE_UNSOLVABLE && o.seconds > 0 && elapsed() > o.seconds)
                r.result = SOLVE_GAVE_UP;
        }
        layer.swap(next);
        layer_ids.swap(next_ids);
        next.clear();
        next_ids.clear();
    }
    if (r.result == SOLVE_SOLVED) {
        r.moves = won_by < 0 ? 0 : depth;
        if (!tape_of(land_path, o, nodes, won_from, won_by, r.tape)) {
            r.result = SOLVE_NO_LAND;
            r.why = "the win found does not replay: a fault of the solver";
        }
    }
    r.states = (long)nodes.size();
    r.seconds = elapsed();
    free_game_land();
    return r;
}
