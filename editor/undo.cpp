// undo.cpp -- the editor's history: every change to the land is a step that
// can be taken back and done again.
//
// A command changes a handful of tiles: the cursor's, the wall lists of its
// four neighbours, and for a player the tile it leaves.  So a step keeps deep
// copies of just those tiles (and the few numbers beside them) from before
// the command.  Taking a step back swaps the copies with the land's tiles,
// which leaves the step holding the later state, ready to be done again:
// neither direction copies anything, and the land's other tiles, textures
// and objects keep their addresses.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "editor/editor.h"
#include "land/land.h"
#include "objects/objects.h"

size_t undo_max_bytes = (size_t)UNDO_MAX_MEGABYTES << 20;

namespace {

struct KEPT_TILE {
    int x, y;
    TILE t;  // owns its hollows, objects and wall lists
};

struct UNDO_STEP {
    std::vector<KEPT_TILE> tiles;
    int fog_colour, n_diamonds, n_players, player_exists[2];
    long state;  // which state of the land the step gives back
    size_t bytes;
};

std::deque<UNDO_STEP> undo_steps, redo_steps;
UNDO_STEP pending;
size_t held_bytes = 0;  // by both lists

// Each state of the land gets its own number, so that undo and redo can
// tell when they are back at what was last loaded or saved.
long last_state = 0, land_state = 0, saved_state = 0;

// Roughly what the allocator spends on a block.
size_t block(size_t size)
{
    return (size + 16 + 15) & ~(size_t)15;
}

void *copy_block(const void *from, size_t size)
{
    void *p = malloc(size ? size : 1);
    if (!p)
        out_of_memory();
    memcpy(p, from, size);
    return p;
}

// The wall lengths come from the land's neighbours, so a tile is copied
// while it still stands in the land.
TILE copy_tile(int x, int y)
{
    const TILE &from = land->tile[y][x];
    TILE t = {};
    HOLLOW **hollow_tail = &t.hollow;
    for (const HOLLOW *h = from.hollow; h; h = h->next) {
        HOLLOW *c = (HOLLOW *)copy_block(h, sizeof(HOLLOW));
        c->object = nullptr;
        c->next = nullptr;
        OBJECT **object_tail = &c->object;
        for (const OBJECT *o = h->object; o; o = o->next) {
            OBJECT *k = (OBJECT *)copy_block(o, sizeof(OBJECT));
            k->data = copy_block(o->data, object_data_size[o->type & 3]);
            k->next = nullptr;
            *object_tail = k;
            object_tail = &k->next;
        }
        *hollow_tail = c;
        hollow_tail = &c->next;
    }
    for (int d = 0; d < 4; d++) {
        int n = wall_length(land, x, y, d);
        if (n)
            t.wall[d] = (int *)copy_block(from.wall[d], n * sizeof(int));
    }
    return t;
}

// What a copy of land tile (x, y) costs; its wall lengths need the land.
size_t tile_bytes(int x, int y)
{
    size_t bytes = sizeof(KEPT_TILE);
    for (const HOLLOW *h = land->tile[y][x].hollow; h; h = h->next) {
        bytes += block(sizeof(HOLLOW));
        for (const OBJECT *o = h->object; o; o = o->next)
            bytes += block(sizeof(OBJECT)) + block(object_data_size[o->type & 3]);
    }
    for (int d = 0; d < 4; d++)
        if (int n = wall_length(land, x, y, d))
            bytes += block(n * sizeof(int));
    return bytes;
}

void free_step(UNDO_STEP &s)
{
    for (KEPT_TILE &k : s.tiles)
        free_tile(&k.t);
    s.tiles.clear();
}

void drop_all(std::deque<UNDO_STEP> &steps)
{
    for (UNDO_STEP &s : steps) {
        held_bytes -= s.bytes;
        free_step(s);
    }
    steps.clear();
}

void keep_tile(int x, int y)
{
    if (x < 0 || y < 0 || x >= land->w || y >= land->h)
        return;
    for (const KEPT_TILE &k : pending.tiles)
        if (k.x == x && k.y == y)
            return;
    pending.bytes += tile_bytes(x, y);
    pending.tiles.push_back({x, y, copy_tile(x, y)});
}

// Where player n stands, found as remove_player() finds it.
bool find_player(int n, int &px, int &py)
{
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            for (const HOLLOW *h = land->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *o = h->object; o; o = o->next)
                    if (o->type == OBJ_PLAYER && ((const PLAYER_DATA *)o->data)->index == n) {
                        px = x;
                        py = y;
                        return true;
                    }
    return false;
}

// Trades the step's tiles and numbers with the land's.
void swap_with_land(UNDO_STEP &s)
{
    held_bytes -= s.bytes;
    s.bytes = sizeof(UNDO_STEP);
    for (const KEPT_TILE &k : s.tiles)
        s.bytes += tile_bytes(k.x, k.y);
    held_bytes += s.bytes;
    for (KEPT_TILE &k : s.tiles)
        std::swap(land->tile[k.y][k.x], k.t);
    std::swap(land->fog_colour, s.fog_colour);
    std::swap(land->n_diamonds, s.n_diamonds);
    std::swap(land->n_players, s.n_players);
    std::swap(editor_player_exists[0], s.player_exists[0]);
    std::swap(editor_player_exists[1], s.player_exists[1]);
    std::swap(land_state, s.state);
}

bool move_step(std::deque<UNDO_STEP> &from, std::deque<UNDO_STEP> &to)
{
    if (from.empty())
        return false;
    to.push_back(std::move(from.back()));
    from.pop_back();
    swap_with_land(to.back());
    return true;
}

} // namespace

void editor_begin_change(bool cells, int player)
{
    free_step(pending);
    pending.fog_colour = land->fog_colour;
    pending.n_diamonds = land->n_diamonds;
    pending.n_players = land->n_players;
    pending.player_exists[0] = editor_player_exists[0];
    pending.player_exists[1] = editor_player_exists[1];
    pending.state = land_state;
    pending.bytes = sizeof(UNDO_STEP);
    if (cells) {
        keep_tile(xeditor, yeditor);
        for (int d = 0; d < 4; d++)
            keep_tile(xeditor + dir_dx[d], yeditor + dir_dy[d]);
    }
    int px, py;
    if (player >= 0 && find_player(player, px, py))
        keep_tile(px, py);
}

void editor_end_change(bool changed)
{
    if (!changed) {
        free_step(pending);
        return;
    }
    drop_all(redo_steps);
    land_state = ++last_state;
    held_bytes += pending.bytes;
    undo_steps.push_back(std::move(pending));
    pending = UNDO_STEP{};
    // The newest step stays whatever it costs: a change must be undoable.
    while (undo_steps.size() > UNDO_MAX_STEPS || (held_bytes > undo_max_bytes && undo_steps.size() > 1)) {
        held_bytes -= undo_steps.front().bytes;
        free_step(undo_steps.front());
        undo_steps.pop_front();
    }
}

bool editor_undo()
{
    return move_step(undo_steps, redo_steps);
}

bool editor_redo()
{
    return move_step(redo_steps, undo_steps);
}

int editor_undo_count()
{
    return (int)undo_steps.size();
}

void editor_clear_history()
{
    drop_all(undo_steps);
    drop_all(redo_steps);
    free_step(pending);
    land_state = saved_state = ++last_state;
}

bool editor_land_changed()
{
    return land_state != saved_state;
}

void editor_land_saved()
{
    saved_state = land_state;
}
