// rules_harness.h -- runs the game rules on small text lands, one logic step
// per frame exactly as the game loop does, and checks the land's invariants
// after every step.
#ifndef TAVO_TESTS_RULES_HARNESS_H
#define TAVO_TESTS_RULES_HARNESS_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "headless.h"
#include "land_invariants.h"
#include "land/land.h"
#include "objects/objects.h"
#include "shell/shell.h"
#include "tools/land_source.h"

typedef std::initializer_list<int> held;

// Height of an object's drawn position, in sub-units.
inline long height_of(const OBJECT *o)
{
    return (long)o->z * SUBUNITS_PER_LEVEL - o->z_offset;
}

inline const PLACEHOLDER_DATA *placeholder_data(const OBJECT *p)
{
    return (const PLACEHOLDER_DATA *)p->data;
}

inline PLAYER_DATA *player_data(OBJECT *o)
{
    return (PLAYER_DATA *)o->data;
}

// Every object of the land, tile by tile, each list from its head.
inline std::vector<OBJECT *> all_objects()
{
    std::vector<OBJECT *> v;
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            for (HOLLOW *h = land->tile[y][x].hollow; h; h = h->next)
                for (OBJECT *o = h->object; o; o = o->next)
                    v.push_back(o);
    return v;
}

// The objects filed in the lists of tile (x, y).
inline std::vector<OBJECT *> filed_in(int x, int y)
{
    std::vector<OBJECT *> v;
    for (HOLLOW *h = land->tile[y][x].hollow; h; h = h->next)
        for (OBJECT *o = h->object; o; o = o->next)
            v.push_back(o);
    return v;
}

inline bool is_filed_in(const OBJECT *o, int x, int y)
{
    for (OBJECT *f : filed_in(x, y))
        if (f == o)
            return true;
    return false;
}

inline std::vector<OBJECT *> placeholders_of(const OBJECT *owner)
{
    std::vector<OBJECT *> v;
    for (OBJECT *o : all_objects())
        if (o->type == OBJ_PLACEHOLDER && placeholder_data(o)->owner == owner)
            v.push_back(o);
    return v;
}

// The object of the given type filed in tile (x, y) at level z, or null.
inline OBJECT *object_at(int type, int x, int y, int z)
{
    for (OBJECT *o : filed_in(x, y))
        if (o->type == type && o->z == z)
            return o;
    return nullptr;
}

inline int count_of(int type)
{
    int n = 0;
    for (OBJECT *o : all_objects())
        n += o->type == type;
    return n;
}

class Rules : public ::testing::Test {
protected:
    int frame = 0;           // the number of the step last run; the first is 1
    std::string fault;       // the first broken rule seen, with its frame
    generated_land loaded;   // the land and its players, as the checker knows them
    std::unique_ptr<invariant_checker> checker;

    // What the land must keep between two steps: the model's invariants and
    // the rules' (see land_invariants.h); "" or the first fault found.
    std::string broken_rule()
    {
        char why[256];
        if (!check_land(land, why, sizeof why))
            return why;
        violation v = checker->check("");
        return v.why.empty() ? "" : v.why + describe(land, v.object);
    }

    void SetUp() override
    {
        start_headless_allegro();
        dat = nullptr;
    }

    void TearDown() override
    {
        unload();
    }

    // Parses a land (size, facing and levels; the textures are added here)
    // and points the player table at its players.
    void load(const std::string &body)
    {
        unload();
        land_source_result r = parse_land_source("textures a.pcx b.pcx c.pcx\n" + body);
        if (!r.land)  // a fault of the test itself: nothing below can run
            throw std::runtime_error("land text: " + r.error);
        set_game_land(r.land);
        frame = 0;
        fault.clear();
        loaded = {land, {player(0), player(1)}, n_players};
        checker = std::make_unique<invariant_checker>(loaded);
        std::string why = broken_rule();
        EXPECT_EQ(why, "") << "as loaded";
    }

    void unload()
    {
        checker.reset();
        free_game_land();
    }

    OBJECT *player(int i = 0) const
    {
        return player_info[i].object;
    }

    // What the last step reported.
    std::vector<RULE_EVENT> events;

    // One logic step with the given keys held, as the game loop runs it.
    void step(held keys = {})
    {
        static INPUT_FRAME input;
        memset(input, 0, sizeof input);
        for (int k : keys)
            input[k] = 1;
        ckey = input;
        events.clear();
        step_land(input, &events);
        sound_rule_events(events);
        frame++;
        if (fault.empty()) {
            std::string why = broken_rule();
            if (!why.empty()) {
                fault = "frame " + std::to_string(frame) + ": " + why;
                ADD_FAILURE() << fault;
            }
        }
    }

    void run(int n, held keys = {})
    {
        for (int i = 0; i < n; i++)
            step(keys);
    }
};

#endif
