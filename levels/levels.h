// levels.h -- the levels mode: a level set played as a game (its screens),
// and the files it reads and keeps: level sets, and the player's progress,
// best runs and settings.
//
// What is kept survives a crash at any moment: every file is written whole
// to a temporary file beside it and renamed over it, so a reader sees the
// old file or the new one, never part of either.  A kept file that cannot be
// read is moved aside, once, to NAME.bad, and play goes on from nothing
// rather than stopping the game over a lost record.
#ifndef TAVO_LEVELS_H
#define TAVO_LEVELS_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/shell.h"

// ---- level sets -------------------------------------------------------------
//
// A set is a folder of .lvl files, with an optional set.txt giving its title
// and each land's place, title and hint (format in lands/README.md, "Level
// sets").  Lands that set.txt does not name follow the named ones in file-name
// order, titled by their file name.

struct LEVEL {
    std::string file;   // the folder's path joined to name
    std::string name;   // the file name, "01-first-steps.lvl"
    std::string title;
    std::string hint;   // "" when there is none
    int n_players;      // as the file declares; -1 when it is not a land file
    unsigned long crc32;
    bool crc32_ok;      // false when the file could not be read to the end
};

struct LEVEL_SET {
    std::string title;  // set.txt's, else the folder's own name
    std::vector<LEVEL> levels;
};

// Lists the lands of folder in play order.  False, with the reason in why,
// when the folder cannot be listed, its set.txt cannot be read or it holds no
// .lvl file.  A land that does not load is still listed: whether it plays is
// found out when it is played.
bool read_level_set(const std::string &folder, LEVEL_SET &out, std::string &why);

// The land's own player count, from its header alone: -1 when the file is
// not a land.  A whole load_land() is what tells whether it plays.
int land_player_count(const char *path);

// ---- where the player's files are kept -------------------------------------
//
// Progress and best runs in user_data_folder(), settings in
// user_config_folder() (shell.h).

std::string progress_path();   // user_data_folder() + "progress.txt"
std::string settings_path();   // user_config_folder() + "settings.txt"

// ---- progress -----------------------------------------------------------------
//
// One record per land solved, keyed by the land file's crc32 and file name,
// so that a land changed since it was solved counts as unsolved, and lands
// of the same name in different sets are told apart while they differ.

struct SOLVED_LAND {
    unsigned long crc32;
    std::string name;   // file name, as LEVEL::name
    long steps;         // the best time, in logic steps
    std::string date;   // YYYY-MM-DD of the best time
};

struct PROGRESS {
    std::vector<SOLVED_LAND> solved;
};

// Longest time a record keeps: a day of play, as a tape.
enum { PROGRESS_MAX_STEPS = TAPE_MAX_FRAMES };

// Reads the progress file at path into p.  A missing file is no progress
// (true).  A file that cannot be read or parsed leaves p empty, is renamed to
// path + ".bad" and gives false with a message for the player in note ("...
// progress starts afresh"); the next load finds no file and is quiet.
bool load_progress(const std::string &path, PROGRESS &p, std::string &note);

// The best time of the land, or nothing when it is unsolved.
std::optional<long> best_steps(const PROGRESS &p, unsigned long crc32, const std::string &name);

// Records a win in steps on date (YYYY-MM-DD).  True when it is the land's
// first win or beats its best; otherwise the record stays as it was.  Steps
// outside 1 .. PROGRESS_MAX_STEPS and names that a line cannot hold (empty,
// or with a line break or tab) are not recorded.
bool record_run(PROGRESS &p, unsigned long crc32, const std::string &name, long steps,
                const std::string &date);

// Today's local date as YYYY-MM-DD, for record_run.
std::string today_date();

// Writes p to path, making its folders as needed.  False, with the reason in
// why, when it cannot: the file already there is left as it was.
bool save_progress(const std::string &path, const PROGRESS &p, std::string &why);

// ---- best runs ---------------------------------------------------------------

// user_data_folder() + "best/NAME-CRC32.tape": NAME the land's file name
// without ".lvl", CRC32 its 8 lowercase hex digits.
std::string best_run_path(const std::string &name, unsigned long crc32);

// Writes the tape at best_run_path(name, crc32), making the folders as
// needed.  The tape is not beside its land, so t.land should be a full path.
bool save_best_run(const std::string &name, unsigned long crc32, const TAPE &t, std::string &why);

// ---- settings -----------------------------------------------------------------

struct SETTINGS {
    int gfx_mode = 0;       // index into gfx_mode_d
    bool windowed = false;
};

// As load_progress: a missing file gives the defaults; a file that cannot be
// read or parsed gives the defaults, is moved aside and gives false and a note.
bool load_settings(const std::string &path, SETTINGS &s, std::string &note);
bool save_settings(const std::string &path, const SETTINGS &s, std::string &why);

// ---- kept files ----------------------------------------------------------------

// Writes text to path through a temporary file in its folder, renamed over
// it once written and synced.  On failure the temporary file is removed and
// whatever was at path is untouched.
bool write_file_atomically(const std::string &path, const std::string &text, std::string &why);

// Reads a kept file whole.  Anything but a regular file of at most
// KEPT_FILE_MAX bytes that reads to the end counts as unreadable.
enum { KEPT_FILE_MAX = 16 << 20 };
enum kept_file_state { KEPT_MISSING, KEPT_READ, KEPT_UNREADABLE };
kept_file_state read_kept_file(const std::string &path, std::string &text);

// Reads the kept file at path through parse, which leaves what it fills
// empty when it gives false.  A missing file is nothing to read (true); one
// that cannot be read or parsed is moved aside with move_aside(path, what),
// and gives false with the note for the player.
bool load_kept_file(const std::string &path, const std::string &what, std::string &note,
                    const std::function<bool(const std::string &)> &parse);

// The lines of a kept file, without their line ends (a CR before the LF
// too), blank lines and "#" comments.  False when the file does not end
// with a line end: it was cut short.
bool kept_lines(const std::string &text, std::vector<std::string> &lines);

// Renames a kept file that cannot be used to path + ".bad" (replacing an
// older one) and gives the note for the player, ending with what that means
// for play ("progress starts afresh").
std::string move_aside(const std::string &path, const std::string &consequence);

// ---- the mode (levels_mode.cpp) -------------------------------------------------

// tavo --levels: the chooser once (at the size used last), then the list of
// the set in folder, its lands played from it with their results, until Esc
// on the list.  The window or full screen comes from the settings unless
// windowed_given.  Gives the program's exit status.
int run_levels_mode(const std::string &folder, bool windowed_given);

#endif
