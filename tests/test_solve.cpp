// test_solve.cpp -- what the search leaves out of a rest loses no win: with
// the way each object last moved in the key too, bundled lands come out the
// same, in the same moves.
#include <gtest/gtest.h>

#include <string>

#include "headless.h"
#include "tools/solve.h"

TEST(Solve, RestsToldApartByLessFindTheSameWins)
{
    start_headless_allegro();
    // Drops, pushes, rolls and their pauses; the last one unsolvable.  (The
    // lands for two take minutes so.)
    for (const char *name : {"03-ledges", "05-guard", "07-rolling", "09-halfway", "13-domino", "15-tumble"}) {
        SCOPED_TRACE(name);
        std::string path = std::string("levels/") + name + ".lvl";
        SOLVE_OPTIONS o;
        SOLVE_RESULT less = solve_land(path.c_str(), o);
        o.whole_key = true;
        SOLVE_RESULT whole = solve_land(path.c_str(), o);
        ASSERT_NE(less.result, SOLVE_NO_LAND) << less.why;
        EXPECT_EQ(less.result, whole.result);
        EXPECT_EQ(less.moves, whole.moves);
        EXPECT_LT(less.states, whole.states);
    }
}
