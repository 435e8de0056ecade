// solve.h -- a land's play searched with the game's own rules, breadth-first
// by moves, for the shortest win or the proof that none exists within the
// states allowed.
//
// A move starts from a rest (every object still, players facing straight
// ahead): one player walks a cell one of the four ways, with the key that
// takes it there as it faces, or turns to face a way and walks forward,
// which may push; or nobody moves (a wait, which matters only at a pause
// between two cells of a roll); then nothing is held until everything is at
// rest again.
// What lies between two rests, such as a walk begun under a rock still
// falling, is not searched (lands/README.md, "Solving a land").
#ifndef TAVO_TOOLS_SOLVE_H
#define TAVO_TOOLS_SOLVE_H

#include <string>

#include "shell/shell.h"

struct SOLVE_OPTIONS {
    int alone = 0;             // 1 or 2: only that player moves; 0: both
    long max_states = 1000000; // distinct rests found before giving up
    double seconds = 0;        // time allowed; 0 for no limit
    unsigned long seed = 1;    // given to srand() before the land is read
    // Tell rests apart also by the way each object last moved, which no rule
    // reads at a rest: slower, for checking that leaving it out loses no win.
    bool whole_key = false;
};

enum { SOLVE_SOLVED, SOLVE_UNSOLVABLE, SOLVE_GAVE_UP, SOLVE_NO_LAND };

struct SOLVE_RESULT {
    int result = SOLVE_NO_LAND;
    long states = 0;   // distinct rests found, the start included
    long moves = 0;    // of the win found
    double seconds = 0;
    TAPE tape;         // the win, when solved: seed, frames and keys
    std::string why;   // when the land cannot be read
};

SOLVE_RESULT solve_land(const char *land_path, const SOLVE_OPTIONS &o);

#endif
