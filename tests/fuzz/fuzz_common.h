// fuzz_common.h -- what the fuzz targets share: headless Allegro, a private
// folder for the files they write, and the check every land must pass once
// loaded or built: it keeps the model's invariants, and saving it and loading
// the copy gives the same land back.
//
// A fault is reported on stderr and ends the process with abort(), which
// libFuzzer records as a crash with its input.
#ifndef TAVO_TESTS_FUZZ_COMMON_H
#define TAVO_TESTS_FUZZ_COMMON_H

#include <allegro.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "headless.h"
#include "land_invariants.h"
#include "land/land.h"
#include "objects/objects.h"
#include "shell/shell.h"
#include "tools/land_json.h"

[[noreturn]] inline void fuzz_fault(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fprintf(stderr, "\n==fuzz fault== ");
    vfprintf(stderr, fmt, ap);
    fprintf(stderr, "\n");
    va_end(ap);
    abort();
}

// The private folder: absolute, so that libFuzzer's own relative paths are
// never disturbed; it holds no textures/ unless a target makes one.
inline std::string &fuzz_folder()
{
    static std::string folder;
    return folder;
}

inline void remove_fuzz_folder()
{
    std::string cmd = "rm -rf '" + fuzz_folder() + "'";
    if (!fuzz_folder().empty())
        (void)!system(cmd.c_str());
}

// Allegro without a display, the default palette with its colour matching
// table (textures are converted through it), and the private folder.
inline void start_fuzzing()
{
    start_headless_allegro();
    static RGB_MAP map;
    set_palette(default_palette);
    create_rgb_table(&map, default_palette, nullptr);
    rgb_map = &map;
    const char *tmp = getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavo-fuzz-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        fuzz_fault("cannot make a folder from %s", tmpl.c_str());
    fuzz_folder() = buf.data();
    atexit(remove_fuzz_folder);
}

inline std::string fuzz_path(const std::string &name)
{
    return fuzz_folder() + "/" + name;
}

// Runs with the private folder as the working folder, where the land loader
// looks for "textures/".  libFuzzer reads no paths while an input runs.
struct in_fuzz_folder {
    std::string was;
    in_fuzz_folder()
    {
        char buf[4096];
        if (!getcwd(buf, sizeof buf) || chdir(fuzz_folder().c_str()) != 0)
            fuzz_fault("cannot enter %s", fuzz_folder().c_str());
        was = buf;
    }
    ~in_fuzz_folder()
    {
        if (chdir(was.c_str()) != 0)
            fuzz_fault("cannot return to %s", was.c_str());
    }
};

inline void write_plain(const std::string &path, const void *data, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(data, 1, size, f) != size || fclose(f) != 0)
        fuzz_fault("cannot write %s", path.c_str());
}

// Through Allegro's packed writer ("slh!" and LZSS), as the game saves.
inline void write_packed(const std::string &path, const void *data, size_t size)
{
    PACKFILE *f = pack_fopen(path.c_str(), "wp");
    if (!f)
        fuzz_fault("cannot write %s", path.c_str());
    long wrote = size ? pack_fwrite(data, (long)size, f) : 0;
    if (pack_fclose(f) != 0 || wrote != (long)size)
        fuzz_fault("cannot write %s", path.c_str());
}

// Uncompressed, behind the header Allegro's "w!" writes ("slh.").
inline void write_unpacked(const std::string &path, const void *data, size_t size)
{
    std::string bytes = "slh.";
    bytes.append((const char *)data, size);
    write_plain(path, bytes.data(), bytes.size());
}

// The land as JSON with every rock's texture left out: the loader draws
// those at random, so they differ between two loads of one file.
inline std::string land_shape(LAND *l, int players)
{
    std::vector<int *> rocks;
    std::vector<int> kept;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (OBJECT *o = h->object; o; o = o->next)
                    if (o->type == OBJ_ROCK) {
                        int *t = &((ROCK_DATA *)o->data)->texture;
                        rocks.push_back(t);
                        kept.push_back(*t);
                        *t = 0;
                    }
    std::string s = land_json(l, players);
    for (size_t i = 0; i < rocks.size(); i++)
        *rocks[i] = kept[i];
    return s;
}

// Bytes outside printable ASCII as \xNN, so that a report shows them.
inline std::string visible(const std::string &s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c >= 32 && c < 127) {
            out += (char)c;
        } else {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

// Where two texts part, with some context, for a fault report.
inline std::string first_difference(const std::string &a, const std::string &b)
{
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        i++;
    size_t from = i > 120 ? i - 120 : 0;
    return "at byte " + std::to_string(i) + ":\n  one:   ..." + visible(a.substr(from, 240)) + "\n  other: ..." +
           visible(b.substr(from, 240));
}

inline void check_land_or_fault(const LAND *l, const char *what)
{
    char why[256];
    if (!check_land(l, why, sizeof why))
        fuzz_fault("%s breaks the land model: %s", what, why);
}

// l was just loaded or built, with players as its player count: it must
// keep every invariant, save, and load again (in the game, or in the editor
// when editor is set) as the same land.
inline void check_round_trip(LAND *l, int players, bool editor, const char *what)
{
    check_land_or_fault(l, what);
    std::string path = fuzz_path("round-trip.lvl");
    l->n_players = players;
    if (save_land(l, path.c_str()) != 0)
        fuzz_fault("%s cannot be saved", what);
    LAND *again;
    {
        in_fuzz_folder here;
        srand(1);
        again = load_land(path.c_str(), editor ? LAND_FOR_EDITING : LAND_FOR_PLAY);
    }
    if (!again)
        fuzz_fault("%s, saved, does not load again: %s", what, land_load_error());
    int again_players = again->n_players;
    check_land_or_fault(again, "a saved and reloaded land");
    std::string before = land_shape(l, players), after = land_shape(again, again_players);
    destroy_land(again);
    if (before != after)
        fuzz_fault("%s changes when saved and loaded again, %s", what, first_difference(before, after).c_str());
}

// Runs the rules on g's land for some steps exactly as the game loop does,
// keys(step, frame) choosing what is held, and checks every invariant after
// every step.  g's land must be the current land, its players in the table.
// A twin, the same land made again, is stepped alongside by the walk of
// every tile, which the game's walk must match step by step.
template <class KEYS>
void run_checked_steps(const generated_land &g, int steps, KEYS keys, LAND *twin = nullptr)
{
    invariant_checker checker(g);
    static INPUT_FRAME frame;
    for (int step = 1; step <= steps; step++) {
        memset(frame, 0, sizeof frame);
        keys(step, frame);
        ckey = frame;
        std::string why = step_with_twin(land, twin, step);
        std::string at = "step " + std::to_string(step);
        violation v = checker.check(at);
        if (!v.why.empty())
            fuzz_fault("%s: %s%s", at.c_str(), v.why.c_str(), describe(land, v.object).c_str());
        check_land_or_fault(land, at.c_str());
        if (!why.empty())
            fuzz_fault("%s: the walk of every tile differs, %s", at.c_str(), why.c_str());
    }
}

#endif
