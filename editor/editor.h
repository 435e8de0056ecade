// editor.h -- the level editor's contract.
//
// The editor changes the land only through the operations below, each at the
// cursor cell; every one leaves the land model's invariants whole, including
// the exact length of every wall list.
#ifndef TAVO_EDITOR_H
#define TAVO_EDITOR_H

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "land/land.h"
#include "shell/shell.h"

extern char editor_filename[256];
// The cursor cell and the editing mode, read by the renderer for its marks.
extern int xeditor, yeditor, zeditor;
extern int edit_mode;        // 0 blocks, 1 textures, 2 objects, 3 players
extern int editor_texwall;   // textures mode: 0 floor, 1 walls, 2 roof
extern int editor_object;    // the type "<" inserts next in objects mode
// Which players the land in hand has placed; its n_players counts them.
extern int editor_player_exists[2];
// Set while the editor runs.
extern int editor_running;

// The highest cursor level: a land file holds roofs up to 65535.
enum { EDITOR_MAX_LEVEL = 65534 };

// Edits until Esc.  The land at land_path when given, which Save offers to
// write back (a path that does not exist yet begins a new land of that
// name); else land3.lvl from the data, as ever.
void run_editor(const char *land_path = nullptr);
void editor_animate_player(PLAYER_INFO *row);
void draw_editor_panel(PLAYER_INFO *row);
// The cursor's marks over the view just drawn from a camera facing `facing`.
void draw_editor_marks(int facing);
// Acts on every key waiting in the keyboard buffer, in the order typed, up
// to F5; facing is the camera's.  True when F5 asks for a test play, which
// the caller runs between frames (editor_test_play); the keys typed after
// it are left to the game.
bool editor_handle_keys(int facing);

// Cells and slopes at the cursor.  Each operation below that returns bool
// says whether it changed the land: where it does not apply it does nothing.
bool clear_land();
bool fill_land();
bool insert_slope();
void editor_destroy_object(OBJECT **link);
// Takes an object out of the books (placed players, the diamond count)
// before it goes or changes type.
void editor_forget_object(OBJECT *o);

// Wall upkeep for a change of cell (t, z) on side d, called before the change.
void do_texw_cleared(TILE *t, TILE *n, int z, int d);
void do_texw_filled(TILE *t, TILE *n, int z, int d);

// Objects, players and textures at the cursor.
bool insert_object();
bool insert_player(int n);
void remove_player(int n);
void editor_init_player_data(OBJECT *o, int n);
// What a newly inserted object of each type starts as; null leaves the zeroed
// record as it is.
typedef void (*init_data_fn)(OBJECT *o);
extern init_data_fn editobj_init_data[N_OBJECT_TYPES];
void editor_init_diamond_data(OBJECT *o);
void editor_init_rock_data(OBJECT *o);
int *editor_get_texture(int d);

// ---- history (undo.cpp) ----------------------------------------------------
//
// Every change to the land, or to what is saved with it, is a step that U
// takes back and R does again.  A command that may change the land is
// bracketed: editor_begin_change() keeps what it may touch (the cursor's
// tile and its neighbours when cells is set, the tile of player `player`
// unless it is -1, and the numbers kept beside the tiles), and
// editor_end_change() files that as one step, or forgets it when nothing
// changed.  The oldest steps go beyond UNDO_MAX_STEPS, or once the steps
// hold more than undo_max_bytes; the newest is always kept.
enum { UNDO_MAX_STEPS = 1000, UNDO_MAX_MEGABYTES = 64 };
extern size_t undo_max_bytes;
void editor_begin_change(bool cells, int player);
void editor_end_change(bool changed);
// False when there is nothing to take back (or to do again).
bool editor_undo();
bool editor_redo();
int editor_undo_count();
// A land loaded or made anew: nothing to undo, nothing unsaved.
void editor_clear_history();
// Whether the land differs from the one last loaded or saved, as undo and
// redo leave it: back at the saved state it does not.
bool editor_land_changed();
void editor_land_saved();

// F5: the land played as the game plays it, on a copy; the editor's land,
// camera, views and books come back as they were.  The game itself runs
// through editor_play_game (music and play_game), which tests replace.
void editor_test_play();
extern void (*editor_play_game)();

// ---- an editor ended by a signal (recover.cpp) ----------------------------
//
// Its unsaved land is kept as recovered_folder()/NAME-YYYYMMDD-HHMMSS.lvl
// (NAME: what F3 offers, without ".lvl"), else in the working folder; the
// path is said on standard error and once more at the next editor start.

// user_data_folder() + "recovered", or "" without a home.
std::string recovered_folder();
std::string recovered_file_name(const std::string &name, time_t when);
// Writes l into the first of folders that takes it (made as needed), whole
// or not at all; the path written, or "" with every folder's reason in why.
std::string keep_recovered_land(const LAND *l, const std::string &name, time_t when,
                                const std::vector<std::string> &folders, std::string &why);
// The land in hand kept so, and noted for the next start.
void recover_unsaved_land();
// The recovered lands not yet told about; told once, so they are forgotten.
std::vector<std::string> take_recovered_notes();

// A solid land of w x h tiles painted with the given textures, for when no
// land can be loaded.
LAND *create_solid_land(int w, int h, const char *const *names, int n_names);

#endif
