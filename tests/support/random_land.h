// random_land.h -- the one generator of random lands for the tests, the fuzz
// targets and the benchmarks.  What a caller needs differs (a crowd of
// things caught in mid-move for a picture, objects at rest for the rules,
// awkward names and levels for a file); the recipe says it, and the land is
// drawn from a source of numbers: a seeded std::mt19937, or a fuzzer's bytes.
#ifndef TAVO_TESTS_SUPPORT_RANDOM_LAND_H
#define TAVO_TESTS_SUPPORT_RANDOM_LAND_H

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "land/land.h"
#include "objects/objects.h"

// The integers from lo to hi.
struct span {
    int lo, hi;
};

// Whatever the generator draws, it draws from one of these.
class random_source {
public:
    virtual ~random_source() = default;
    // An integer in [lo, hi]; lo when hi <= lo.
    virtual int draw(int lo, int hi) = 0;
    int draw(span s) { return draw(s.lo, s.hi); }
    bool chance(int percent) { return draw(0, 99) >= 100 - percent; }
};

class seeded_source : public random_source {
public:
    explicit seeded_source(unsigned seed) : rng(seed) {}
    using random_source::draw;
    int draw(int lo, int hi) override;
    std::mt19937 rng;
};

// Each draw takes as many bytes as its range needs, one for up to 256
// values; past the end every byte is zero, so that draws give their lowest
// value and chances fail, and a short input makes a plain land.
class byte_source : public random_source {
public:
    byte_source(const uint8_t *data, size_t size) : p_(data), n_(size) {}
    using random_source::draw;
    int draw(int lo, int hi) override;
    int byte() { return i_ < n_ ? p_[i_++] : 0; }

private:
    const uint8_t *p_;
    size_t n_, i_ = 0;
};

// What a thing is, and how it moves: of ten things `rocks` are rocks and
// `players` players, the rest diamonds; `moving` percent of the rocks and
// players are in mid-move into a neighbour (climbing or sinking a level now
// and then) and `falling` percent falling, the rest standing.
struct thing_mix {
    int rocks = 10, players = 0;
    int moving = 0, falling = 0;
};

struct land_recipe {
    // Each side drawn from its range; names, when given, say how many
    // textures there are, or else n_textures without names.
    span w = {4, 4}, h = {4, 4};
    int n_textures = 3;
    std::vector<std::string> texture_names;
    bool paint = false;  // random textures on floors, roofs, slope faces and walls; 0 without

    // The ground, each tile's lowest floor: `base`, rolling in gentle waves
    // (neighbours differ by a level at most) of an amplitude drawn between
    // half of `waves` tenths of a level and all of it, and up to `jitter`
    // levels more tile by tile.  `shift` percent of tiles have it moved by
    // a number of levels drawn from shift_by (below 0: pits); no floor goes
    // below 0.
    int base = 0, waves = 0, jitter = 0;
    int shift = 0;
    span shift_by = {0, 0};
    int solid = 0;      // percent of tiles left solid rock
    int top = 65535;    // no hollow's roof above this level
    int tall = 0;       // tiles whose lowest hollow runs from level 0 to 300

    // Each open tile's stack of hollows: how many, how high, with how many
    // levels of rock between them (0: touching).
    span stack = {1, 1}, height = {2, 2}, gap = {1, 1};
    bool touch_sloped = false;  // a hollow on the roof of the one below is sloped

    // Storeys: one more hollow `storey_rise` levels above the ground (drawn
    // once per land from its range), on `storey` percent of tiles and
    // `storey_beside` percent of those next to one, so that they join into
    // ledges; `ledge` percent of the hollows beside one reach up past its
    // floor, so that its edge is one to walk off.
    int storey = 0, storey_beside = 0, ledge = 0;
    span storey_rise = {3, 3};

    // Floors: `ramp` percent of those a level below a neighbour's rise
    // towards it; `slope` percent of the rest take any of the 12 shapes.
    int ramp = 0, slope = 0;

    // Objects: `stacks` percent of hollows have a stack of up to
    // stack_height things from the floor up, of the mix; then each free
    // cell holds a rock (`rocks` percent) or else a diamond (`diamonds`
    // percent), with at least `min_diamonds` diamonds where there is room.
    int stacks = 0, stack_height = 4;
    thing_mix mix;
    int rocks = 0, diamonds = 0, min_diamonds = 0;
    // Each player (index 0 and 1) stands in a free cell with this chance,
    // player 1 only beside player 0 unless `any_player`, since the game
    // reads players 0 to n - 1 (the editor takes either); a rock on its
    // head `head_rock` percent of the time.
    int player[2] = {0, 0};
    bool any_player = false;
    int head_rock = 0;
};

// A generated land and its players.
struct generated_land {
    LAND *land = nullptr;
    OBJECT *player[2] = {nullptr, nullptr};
    int n_players = 0;
};

generated_land random_land(random_source &r, const land_recipe &recipe);

// Makes g the current land, its players in the player table.
void make_current(const generated_land &g);

#endif
