// shell.h -- program shell: input frames, key bindings, screen modes.
//
// The only state shared with the timer thread is the frame ring; its frame
// count frame_store is the hand-over between the two threads.
#ifndef TAVO_SHELL_H
#define TAVO_SHELL_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <allegro.h>
#include <aldumb.h>

#include "land/land.h"
#include "objects/objects.h"

// ---- input frames ----------------------------------------------------------

enum { N_FRAMES = 50, N_ACTIONS = 9 };

// A snapshot of Allegro's key[] array: non-zero while a scancode is held.
typedef char INPUT_FRAME[KEY_MAX];

enum {
    ACT_TURN_LEFT, ACT_TURN_RIGHT, ACT_DOWN, ACT_UP, ACT_FORWARD, ACT_BACK,
    ACT_STRAFE, ACT_STRAFE_LEFT, ACT_STRAFE_RIGHT
};

struct PLAYER_INFO {
    unsigned char key[N_ACTIONS][2];  // two scancodes per action; 0 = none
    BITMAP *panel;
    BITMAP *view;
    OBJECT *object;
};

extern PLAYER_INFO player_info[2];

extern INPUT_FRAME s_key[N_FRAMES];
extern std::atomic<int> frame_store;
extern int frame_first;
extern int frame_last;
extern const char *ckey;

void initialise_input();
void start_input();
void resume_input();
void end_input();
char *retrieve_input_frame();
void destroy_input_frame();
void interrupt_store_frame();

// Whether action a of player row p is held in frame f.
bool action_held(const char *f, int p, int a);

// What each player holds in frame f, read off the rows' key bindings, as the
// rules take it: with the strafe key held, the turn keys step sideways.
PLAYER_ACTIONS read_player_actions(const char *f);

// The timer is reached through these so that tests, which cannot install
// Allegro's timer headless, can see what the input code asks of it.
extern int (*input_install_int)(void (*proc)(), long speed);
extern void (*input_remove_int)(void (*proc)());

enum { INPUT_TIMER_PERIOD = 11932 };  // TIMERS_PER_SECOND / 100

// ---- tapes: a game as its land, random seed and input frames --------------
//
// The rules are deterministic given those three, so a tape replays a game
// exactly, in the window or headless.  Only the players' bound keys are kept.

// Key names as tapes and key files write them: Allegro's, without "KEY_".
int scancode_of_key_name(const std::string &name);  // 0 when unknown
const char *key_name_of_scancode(int scancode);     // null when not a player key

// Keys held from step `from` to step `to`, both 1-based and inclusive.
struct HELD_KEYS {
    long from, to;
    std::vector<int> scancodes;
    int line;  // where it was read, for messages; 0 when recorded
};

// Reads one "FROM TO KEY..." line; false with the reason in why.
bool parse_key_line(const std::string &text, HELD_KEYS &out, std::string &why);

enum { TAPE_MAX_FRAMES = 8640000 };  // a day of play

struct TAPE {
    std::string land;  // the land file, as the tape names it
    unsigned long crc32 = 0;
    unsigned long seed = 0;
    long frames = 0;
    std::vector<HELD_KEYS> held;
};

// Parses a tape's text: 0, or the line at fault (-1 for the file as a whole),
// with the reason in why.
int parse_tape(const std::string &text, TAPE &t, std::string &why);
int read_tape(const char *path, TAPE &t, std::string &why);

std::string tape_text(const TAPE &t);
// Writes through a temporary file renamed into place; 0 on success.
int save_tape(const char *path, const TAPE &t);

// zlib's crc32 of a whole file; false when it cannot be read.
bool file_crc32(const char *path, unsigned long &crc);

// The land as a tape at tape_path names it: its bare name when it lies
// beside the tape, else its full path, so that the tape finds it from anywhere.
std::string tape_land_name(const char *land_path, const char *tape_path);

// Finds the tape's land (an override, else beside the tape, else from the
// working folder, else among the bundled lands) and checks its crc32.  0 when
// it matches, 1 when the land is missing, 2 when its crc32 differs; land_path
// is set whenever it exists.
int find_tape_land(const TAPE &t, const char *tape_path, const char *override_path,
                   std::string &land_path, std::string &why);

// Plays a tape's frames back one step at a time.
struct TAPE_PLAYBACK {
    struct EDGE {
        long step;
        int scancode, change;  // +1 when a range starts, -1 after it ends
    };
    std::vector<EDGE> edges;
    size_t next_edge = 0;
    long step = 0, frames = 0;
    int count[KEY_MAX] = {};
    INPUT_FRAME frame = {};
};
void start_playback(TAPE_PLAYBACK &p, const TAPE &t);
// The frame of the next step, or null once the tape's frames have run out.
const char *next_playback_frame(TAPE_PLAYBACK &p);

// Records the steps of a game as they are run.
struct TAPE_RECORDING {
    long steps = 0;
    long since[KEY_MAX] = {};  // step a held key went down; 0 when up
    std::vector<HELD_KEYS> held;
};
void record_frame(TAPE_RECORDING &r, const char *frame);
// Takes the recording back to its first `steps` steps, as though the later
// ones had never been recorded: a key held at that step stays held, so that
// the steps recorded next join its range as they would have.
void cut_recording(TAPE_RECORDING &r, long steps);
// Closes the keys still held and gives the key lines, in step order.
std::vector<HELD_KEYS> finish_recording(TAPE_RECORDING &r);

// A game being recorded or replayed, set by the program entry around
// play_game; null for an ordinary game.
extern TAPE_RECORDING *game_recording;
extern TAPE_PLAYBACK *game_playback;

// ---- screen modes -----------------------------------------------------------

enum { N_GFX_MODES = 32 };

struct GFX_MODE_SIZE {
    unsigned short w, h;
};

extern const GFX_MODE_SIZE gfx_mode_d[N_GFX_MODES];
extern int gfx_mode;

int gfx_mode_up(int m);
int gfx_mode_down(int m);

// Whether modes are set in a window (--windowed, or TAVO_WINDOWED=1) rather
// than full screen (--fullscreen, the default).
extern bool gfx_windowed;

// Sets a graphics mode, windowed or full screen as gfx_windowed says; 0 on
// success.  Sizes named in the environment variable TAVO_REFUSE_GFX
// ("640x480,800x600") are refused, so that the failure path can be
// exercised where every mode would succeed.
int set_game_gfx_mode(int w, int h);

// The menu's 320 x 200 mode; ends the program when even that is refused.
void set_menu_gfx_mode();

// Palette and GUI colours after every mode change.
void set_up_screen();

// Writes text into b from line y on, broken after blanks to b's width (a
// word longer than a line is cut); gives the line after the last.
int write_wrapped(BITMAP *b, int y, const std::string &text, int colour);

// Shows a failure on the screen, the second text wrapped to its width, and
// waits for a key.
void show_failure(const char *line1, const std::string &text);

// The chooser: returns 1 with the mode set, or 0 after a refused mode, with
// the failure shown and acknowledged and the 320 x 200 mode set again.
int choose_gfx_mode();

// ---- data files -------------------------------------------------------------
//
// The data ("tavo.dat", "piece01.xm", "textures/NAME", the bundled lands) is
// found by relative names in the working folder, else in the data folder: the
// program's own folder when it holds tavo.dat (a build's game folder), else
// PREFIX/share/tavo beside the program's PREFIX/bin.

// Where to open a data name: the name itself when it is a full path or is
// found from the working folder, else its place in the data folder, else the
// name unchanged (so that failures name what was asked for).
std::string data_path(const char *name);

// The data folder with its trailing slash, or "" when there is none.
const std::string &data_folder();

// ---- ending by a signal (quit_signal.cpp) -----------------------------------
//
// SIGTERM, SIGINT and SIGHUP only record themselves; every loop that waits
// for the player leaves as soon as quit_signal() is non-zero, skipping what
// would follow it and asking nothing, and the program then shuts the library
// down and exits with 128 + the signal.  A second signal exits at once.

// Replaces the handlers of the three signals: call it after allegro_init()
// and the install_* calls, which put the library's own in place.
void install_quit_signals();
// Whether the three signals still go to ours.
bool quit_signals_installed();
// The library's modal dialogs and readkey() are answered with Esc, 50 times
// a second, once a signal has come; 0 when the timer runs.
int start_escape_feeder();
// The signal that asks the program to end, or 0.
int quit_signal();
// readkey(), but 0 at once when a signal asks the program to end.
int read_key_or_quit();

// ---- the player's folders (user_folders.cpp) -------------------------------
//
// $XDG_DATA_HOME/tavo/ (~/.local/share/tavo/ when that is unset or not a full
// path) and $XDG_CONFIG_HOME/tavo/ (~/.config/tavo/).  Both are read from the
// environment at every call and end in a slash; "" when there is no home to
// put them in.

std::string user_data_folder();
std::string user_config_folder();

// Makes every missing folder of path (a folder path; a trailing slash is fine).
bool make_folders(const std::string &path, std::string &why);

// ---- the game ---------------------------------------------------------------

// The players of the current land: rows 0 .. n_players-1 of player_info play.
extern int n_players;

// Makes l the current land of a game: the player count and each row's
// object come from its placements, and the fog table from the palette.
void set_game_land(LAND *l);
// Frees the current land and drops the rows' pointers into it.
void free_game_land();

// Hands the game's data to the layers below it: the models' textures from
// the datafile, and the folder the textures that lands name are found in.
void hand_out_game_data();

// The chime of a collected diamond goes through this: play_sample, or a
// test's ear.
extern int (*collect_sample_player)(const SAMPLE *s, int vol, int pan, int freq, int loop);
// Sounds what a logic step reports.
void sound_rule_events(const std::vector<RULE_EVENT> &events);

// Plays land until Esc or its last diamond; scrbuf and music are ready, and
// the land was made current with set_game_land().
void play_game();

// play_game() with the music loaded for it and unloaded after (silent
// without it); scrbuf is ready.
void play_game_with_music();

// The screen layout: two players side by side, each a view over a panel a
// quarter high; otherwise one panel in the left quarter beside one view.
void lay_out_views(int players, int w, int h);
void remove_views();
void draw_player_panel(PLAYER_INFO *row);
// The view of a row's object in its view bitmap, with the music fed while
// it is drawn.
void draw_player_row(PLAYER_INFO *row);

// One logic step of the current land on frame f: the players' actions read
// off it by the rows' key bindings, every object stepped, the moved ones
// re-filed.  What happened is appended to events when given.
void step_land(const char *f, std::vector<RULE_EVENT> *events = nullptr);
// The same step on actions already read: what step_land does once the frame
// is read, and all that it does.
void step_land_actions(const PLAYER_ACTIONS &actions, std::vector<RULE_EVENT> *events = nullptr);
// A rolling rock is still for the one step between two cells, so a land at
// rest has settled only once the rest has lasted a step.  still counts the
// steps in a row after which l was at rest (0 after a jump in time); true
// on the step that makes it two.
bool land_newly_settled(int &still, const LAND *l);

// One logic step on the oldest recorded frame.
void run_logic_step();

// Every panel and view of a game drawn into scrbuf, with the frame rate
// `rate`; a land without players still gets a clean panel and view.
void draw_game_frame(int rate);

// Hooks for on-screen messages; there are none yet.
void initialise_messages();
void update_messages();
void draw_message(BITMAP *b);

// ---- a land of a level set (level_game.cpp) ----------------------------------
//
// The game loop with what a set's player expects around it: the panel tells
// the level, the diamonds and the time; Backspace held half a second
// restarts, P pauses, Esc leaves; a loss that is certain (a diamond out of
// reach once everything has come to rest) is named.  Started without the
// level-set mode, the game never comes here.

struct LEVEL_GAME {
    std::string land_path;
    std::string title;
    unsigned long seed = 0;
    // How it went: the winning run's time in steps and its keys (land and
    // crc32 left to the caller), what it took, or why the land failed.
    long steps = 0;
    int rewinds = 0, restarts = 0;
    TAPE tape;
    std::string why;
};
enum { LEVEL_GAME_WON, LEVEL_GAME_LEFT, LEVEL_GAME_FAILED };
// Plays g's land until its last diamond or Esc; scrbuf is ready.
int play_level_game(LEVEL_GAME &g);

// What the panels of a level show, drawn over a game frame.
struct LEVEL_PANEL {
    std::string title;
    int diamonds = 0, diamonds_left = 0;
    long steps = 0;
    bool paused = false, out_of_reach = false;
};
void draw_level_panels(const LEVEL_PANEL &p);
// A time in steps as m:ss.cc.
std::string format_level_time(long steps);

// ---- the game's history: back to any step it went through -----------------
//
// What changes in play is the objects of the hollows, the diamond count and
// the C library's random generator (the rules draw from it); tiles, hollows
// and walls never change.  The history keeps that changing part now and then
// (a snapshot) and the players' actions of every step, and reaches any step
// by restoring the nearest snapshot at or before it and running the rules on
// from there: deterministic, they give back the very state the game had,
// field by field.

// The generator rand() draws from, whole.  The first save or load moves it
// into a buffer of this module's own, where it draws on unchanged (srand()
// seeds it there as ever); a load then gives back the numbers it would have
// drawn.  This leans on glibc's random(): a state buffer keeps its position
// in its first word once the generator has switched away from it, and
// setstate() takes the position from there.
struct RAND_STATE {
    int32_t word[64];  // the buffer as setstate() reads it; 64 words at most
    int words;
};
void save_rand_state(RAND_STATE &s);
void load_rand_state(const RAND_STATE &s);

// A snapshot: the objects of every hollow in the walk's order (tiles by row,
// hollows bottom-up), packed, with each placeholder's owner and each
// player's object by its place in that order: a few bytes an object.
struct HISTORY_SNAPSHOT {
    long step;
    int n_diamonds;
    RAND_STATE rand;
    std::vector<unsigned char> objects;
};

// Snapshots are taken every HISTORY_SPACING steps.  The last
// HISTORY_RECENT * HISTORY_SPACING steps keep all of theirs; before that,
// each span twice as long as the one after it keeps every other snapshot
// of it, so that every span keeps HISTORY_RECENT of them: with S the recent
// steps, a game of T steps keeps about HISTORY_RECENT * log2(T / S + 2)
// snapshots, and a step that far back costs at most (T + S) / HISTORY_RECENT
// steps re-run.
enum { HISTORY_SPACING = 32, HISTORY_RECENT = 16 };

// The changing part of the current land (its objects, diamond count and
// the generator) into s, and back: all that a search needs to stand at a
// state again.  s.step is left alone.
void save_land_state(HISTORY_SNAPSHOT &s);
void load_land_state(const HISTORY_SNAPSHOT &s);

struct GAME_HISTORY {
    unsigned long seed = 0;
    long steps = 0;                          // the step the land is at
    std::vector<uint16_t> actions;           // each step's PLAYER_ACTIONS, a bit each
    TAPE_RECORDING keys;                     // the key record, as a tape keeps it
    std::vector<HISTORY_SNAPSHOT> snapshots; // by step; the first is step 0
};

// Starts the history of the current land (made current by set_game_land())
// at step 0: its objects as they are and the generator as it stands, drawn
// on since srand(seed), which the record's tape will name.  A history
// belongs to that land: another land starts another history.
void start_history(GAME_HISTORY &h, unsigned long seed);
// One step of the game on frame f, as step_land() runs it, kept in h.
void run_history_step(GAME_HISTORY &h, const char *f, std::vector<RULE_EVENT> *events = nullptr);
// Takes the game back to the state it had at step `step` (0 .. h.steps;
// clamped) and cuts the record there: the steps taken back are gone, and
// the record is the run as it finally went.  player_info rows and the
// land's player[] point at the players' objects again.  Returns the step.
long rewind_history(GAME_HISTORY &h, long step);
// Back to step 0, the land and seed it was started with.
void restart_history(GAME_HISTORY &h);
// The record as a tape: seed, frames and keys.  The land and its crc32 are
// the caller's to fill in.
TAPE history_tape(const GAME_HISTORY &h);
// The memory h holds, in bytes: snapshots, actions and key record.
size_t history_bytes(const GAME_HISTORY &h);

// ---- globals owned by the program entry ------------------------------------

extern DATAFILE *dat;
extern RGB_MAP the_rgb_map;
extern BITMAP *scrbuf;
extern DUH *music;
extern AL_DUH_PLAYER *music_player;  // null outside a game or when silent
extern const char *piece;

// Datafile entries, by position.
enum { DATA_PALETTE = 0, DATA_COLLECT = 1, DATA_DIAMOND_TEX = 2, DATA_PLAYER_TEX = 3 };

#endif
