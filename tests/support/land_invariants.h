// land_invariants.h -- what must hold between any two logic steps of the
// rules, checked from scratch after every step: by the soak test, the rules
// cases and the rules fuzzer; and a land stepped two ways, by the map of the
// tiles holding objects and by the walk of every tile, held to one result.
#ifndef TAVO_TESTS_SUPPORT_LAND_INVARIANTS_H
#define TAVO_TESTS_SUPPORT_LAND_INVARIANTS_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "land/land.h"
#include "objects/objects.h"
#include "random_land.h"

bool is_mover(const OBJECT *o);

// The object, and its tile's lists, for a failure report.
std::string describe(const LAND *l, const OBJECT *o);

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

class invariant_checker {
public:
    explicit invariant_checker(const generated_land &g);

    long fell_behind = 0;
    std::string first_fell_behind;

    // Empty when every invariant holds after a step.
    violation check(const std::string &where_now);

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

    bool fell_behind_a_descent(const OBJECT *fall, const OBJECT *move) const;
    std::unordered_map<const OBJECT *, filed> collect() const;
};

// The first difference between two lands' objects, or "": two copies of a
// land stepped two ways must hold the same objects, in the same order, with
// the same records.
std::string compare_objects(const LAND *a, const LAND *b);

// One logic step of l, with the keys of ckey, by the walk of the tiles its
// map marks and, with the same random numbers (srand(seed) before each), of
// its twin, when there is one, by the walk of every tile; l is the current
// land afterwards.  The first difference between the two, or "".
std::string step_with_twin(LAND *l, LAND *twin, unsigned seed);

#endif
