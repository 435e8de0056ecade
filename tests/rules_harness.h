// rules_harness.h -- runs the game rules on small text lands, one logic step
// per frame exactly as the game loop does, and checks the land after every
// step.
#ifndef TAVO_TESTS_RULES_HARNESS_H
#define TAVO_TESTS_RULES_HARNESS_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "headless.h"
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

// What the land should look like between two steps, beyond check_land():
// every reservation belongs to an object in motion and sits where that
// motion needs it, no two solid objects share a cell, and the diamond count
// matches the diamonds present.  Returns "" or the first fault found.
inline std::string broken_rule()
{
    char why[256];
    if (!check_land(land, why, sizeof why))
        return why;
    std::vector<OBJECT *> objects = all_objects();
    std::set<const OBJECT *> present(objects.begin(), objects.end());
    std::set<std::vector<int>> cells;
    int diamonds = 0;
    char buf[256];
    for (OBJECT *o : objects) {
        if (o->type == OBJ_PLACEHOLDER) {
            const OBJECT *owner = placeholder_data(o)->owner;
            if (!present.count(owner) || owner->type == OBJ_PLACEHOLDER) {
                snprintf(buf, sizeof buf, "placeholder at %d,%d,%d has no owner in the land", o->x, o->y, o->z);
                return buf;
            }
            if (!owner->move_step && !owner->z_speed) {
                snprintf(buf, sizeof buf, "placeholder at %d,%d,%d kept by an owner at rest at %d,%d,%d",
                         o->x, o->y, o->z, owner->x, owner->y, owner->z);
                return buf;
            }
            continue;
        }
        diamonds += o->type == OBJ_DIAMOND;
        if (!cells.insert({o->x, o->y, o->z}).second) {
            snprintf(buf, sizeof buf, "two objects share cell %d,%d,%d", o->x, o->y, o->z);
            return buf;
        }
        // The reservations the object's motion calls for: (kind, x, y, z).
        std::vector<std::vector<int>> want;
        if (o->move_step) {
            if (o->move_step > FRAMES_PER_TILE - 1 || o->z_speed < -1 || o->z_speed > 1 ||
                o->z_offset != SLOPE_STEP * o->z_speed * o->move_step) {
                snprintf(buf, sizeof buf, "object at %d,%d,%d moves with step %d, level change %d, offset %d",
                         o->x, o->y, o->z, o->move_step, o->z_speed, o->z_offset);
                return buf;
            }
            int tx = o->x + dir_dx[o->dir & 3], ty = o->y + dir_dy[o->dir & 3];
            int end = o->z - o->z_speed;
            want.push_back({0, tx, ty, end});
            if (o->z_speed < 0)
                want.push_back({1, o->x, o->y, end});
            if (o->z_speed > 0)
                want.push_back({2, tx, ty, end + 1});
        } else if (o->z_speed) {
            if (o->z_speed < 1 || o->z_speed > TERMINAL_SPEED || o->z_offset < 0 ||
                o->z_offset >= SUBUNITS_PER_LEVEL) {
                snprintf(buf, sizeof buf, "object at %d,%d,%d falls at %d with offset %d", o->x, o->y, o->z,
                         o->z_speed, o->z_offset);
                return buf;
            }
            if (o->z_offset)
                want.push_back({0, o->x, o->y, o->z - 1});
        } else if (o->z_offset) {
            snprintf(buf, sizeof buf, "object at rest at %d,%d,%d with offset %d", o->x, o->y, o->z, o->z_offset);
            return buf;
        }
        std::multiset<std::vector<int>> have;
        for (OBJECT *p : objects)
            if (p->type == OBJ_PLACEHOLDER && placeholder_data(p)->owner == o)
                have.insert({placeholder_data(p)->kind, p->x, p->y, p->z});
        if (have != std::multiset<std::vector<int>>(want.begin(), want.end())) {
            snprintf(buf, sizeof buf, "object at %d,%d,%d (step %d, speed %d) holds %zu reservations, not %zu as "
                     "its motion needs", o->x, o->y, o->z, o->move_step, o->z_speed, have.size(), want.size());
            return buf;
        }
    }
    if (diamonds != land->n_diamonds) {
        snprintf(buf, sizeof buf, "n_diamonds %d with %d diamonds present", land->n_diamonds, diamonds);
        return buf;
    }
    return "";
}

class Rules : public ::testing::Test {
protected:
    int frame = 0;           // the number of the step last run; the first is 1
    std::string fault;       // the first broken rule seen, with its frame

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
        std::string why = broken_rule();
        EXPECT_EQ(why, "") << "as loaded";
    }

    void unload()
    {
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
