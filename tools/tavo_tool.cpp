// tavo_tool.cpp -- the land tool: inspect, build and check land files.
//
//   tavo-tool info LAND.lvl           the land as JSON on standard output
//   tavo-tool build SOURCE OUT.lvl    a land file from its text source
//   tavo-tool check LAND.lvl [--reach]
//                                     every invariant of the land model; with
//                                     --reach, the diamonds no player can reach
//   tavo-tool render LAND.lvl OUT.png [--size WxH] [--player 0|1]
//                                     a player's view, as the game draws it
//   tavo-tool sim LAND.lvl [--steps N] [--keys FILE] [--seed S] [--trace]
//                                     the rules run headless, as JSON
//   tavo-tool replay TAPE [--land FILE] [--trace]
//                                     a recorded game run headless, as JSON
//   tavo-tool map LAND.lvl OUT.png [--scale N] [--width W]
//                                     every level from above, side by side
//   tavo-tool solve LAND.lvl [--alone N] [--max-states S] [--time SECONDS]
//                   [--seed S] [--out TAPE]
//                                     the shortest win in moves, as a tape, or
//                                     that none exists within the bounds
#include <allegro.h>
#include <loadpng.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>

#include "land/land.h"
#include "objects/objects.h"
#include "render/render.h"
#include "shell/shell.h"
#include "tools/land_json.h"
#include "tools/land_map.h"
#include "tools/land_source.h"
#include "tools/solve.h"

namespace {

int usage()
{
    fprintf(stderr,
            "usage: tavo-tool info LAND.lvl\n"
            "       tavo-tool build SOURCE OUT.lvl\n"
            "       tavo-tool check LAND.lvl [--reach]\n"
            "       tavo-tool render LAND.lvl OUT.png [--size WxH] [--player 0|1]   (0: player 1, 1: player 2)\n"
            "       tavo-tool sim LAND.lvl [--steps N] [--keys FILE] [--seed S] [--trace]\n"
            "       tavo-tool replay TAPE [--land FILE] [--trace]\n"
            "       tavo-tool map LAND.lvl OUT.png [--scale N] [--width W]\n"
            "       tavo-tool solve LAND.lvl [--alone N] [--max-states S] [--time SECONDS] [--seed S] [--out TAPE]\n");
    return 2;
}

void start_allegro()
{
    install_allegro(SYSTEM_NONE, &errno, atexit);
    set_color_depth(8);
    set_color_conversion(COLORCONV_NONE);
    // With the game's palette the textures load as the game shows them;
    // without it the land is still read, with the library's default palette.
    dat = load_datafile(data_path("tavo.dat").c_str());
    if (dat && dat[DATA_PALETTE].type == DAT_PALETTE) {
        set_palette((RGB *)dat[DATA_PALETTE].dat);
        create_rgb_table(&the_rgb_map, (RGB *)dat[DATA_PALETTE].dat, nullptr);
        rgb_map = &the_rgb_map;
    } else if (dat) {
        unload_datafile(dat);
        dat = nullptr;
    }
    hand_out_game_data();
}

// A land named by a relative path that is not in the working folder may be
// one of the bundled lands.
LAND *load_or_complain(const char *path)
{
    LAND *l = load_land(data_path(path).c_str());
    if (!l)
        fprintf(stderr, "tavo-tool: %s: %s\n", path, land_load_error());
    return l;
}

// Names on standard error every texture of l that did not load, and why;
// returns how many are there but refused.  A missing file is only a warning:
// the game draws it as "missing", and a land may be made before its textures.
int report_textures(const char *path, const LAND *l)
{
    int refused = 0;
    for (int i = 0; i < l->n_textures; i++) {
        if (l->texture[i] || !l->texture_filename || !l->texture_filename[i])
            continue;
        if (!*l->texture_filename[i]) {
            // Else the folder itself would be named as the file refused.
            fprintf(stderr, "tavo-tool: %s: texture %d: has no file name\n", path, i);
            refused++;
            continue;
        }
        bool absent = false;
        std::string name = data_path((std::string("textures/") + l->texture_filename[i]).c_str());
        const char *why = texture_problem(name.c_str(), &absent);
        fprintf(stderr, "tavo-tool: %s: %stexture %d: %s\n", path, absent ? "warning: " : "", i,
                why ? why : (name + ": did not load").c_str());
        refused += !absent;
    }
    return refused;
}

int cmd_info(const char *path)
{
    LAND *l = load_or_complain(path);
    if (!l)
        return 1;
    // Written as it is made: the text of a big land is many times its size.
    bool written = write_land_json(stdout, l, l->n_players) && putchar('\n') != EOF && fflush(stdout) == 0;
    if (!written)
        fprintf(stderr, "tavo-tool: standard output: cannot be written\n");
    report_textures(path, l);
    destroy_land(l);
    return written ? 0 : 1;
}

int cmd_build(const char *source_path, const char *out_path)
{
    std::ifstream in(source_path);
    if (!in) {
        fprintf(stderr, "tavo-tool: %s: cannot be read\n", source_path);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    land_source_result r = parse_land_source(text.str());
    if (!r.land) {
        fprintf(stderr, "%s:%s\n", source_path, r.error.c_str());
        return 1;
    }
    int failed = save_land(r.land, out_path);
    destroy_land(r.land);
    if (failed) {
        fprintf(stderr, "tavo-tool: %s: cannot be written\n", out_path);
        return 1;
    }
    return 0;
}

// The number of bytes in a packed file once unpacked; -1 if unreadable.
long unpacked_size(const char *path)
{
    PACKFILE *f = pack_fopen(path, "rp");
    if (!f)
        return -1;
    long n = 0;
    char buf[4096];
    long got;
    while ((got = pack_fread(buf, sizeof buf, f)) > 0)
        n += got;
    pack_fclose(f);
    return n;
}

// The diamonds of l that no player can reach, as JSON on standard output;
// 3 when there are any (unless the check failed already), else status.
int report_reach(const LAND *l, int status)
{
    std::vector<LAND_CELL> cells(l->n_diamonds > 0 ? l->n_diamonds : 1);
    int n = find_unreachable_diamonds(l, cells.data(), (int)cells.size());
    std::string s = "{\"diamonds\": " + std::to_string(l->n_diamonds) +
                    ", \"reachable\": " + std::to_string(l->n_diamonds - n) + ", \"unreachable\": [";
    for (int i = 0; i < n && i < (int)cells.size(); i++)
        s += std::string(i ? ", " : "") + "{\"x\": " + std::to_string(cells[i].x) +
             ", \"y\": " + std::to_string(cells[i].y) + ", \"z\": " + std::to_string(cells[i].z) + "}";
    printf("%s]}\n", s.c_str());
    return status ? status : n ? 3 : 0;
}

int cmd_check(const char *path, bool reach)
{
    LAND *l = load_or_complain(path);
    if (!l)
        return 1;
    char why[256];
    int status = 0;
    if (!check_land(l, why, sizeof why)) {
        fprintf(stderr, "tavo-tool: %s: %s\n", path, why);
        status = 1;
    } else {
        // The reader stops after the last wall entry; anything beyond it means
        // the wall lists were not the length the file's writer thought.
        long want = land_file_size(l);
        long have = unpacked_size(path);
        if (want < 0) {
            fprintf(stderr, "tavo-tool: out of memory\n");
            status = 1;
        } else if (have != want) {
            fprintf(stderr, "tavo-tool: %s: %ld bytes follow the last wall entry\n", path, have - want);
            status = 1;
        }
    }
    if (report_textures(path, l))
        status = 1;
    if (reach && check_land(l, why, sizeof why))
        status = report_reach(l, status);
    destroy_land(l);
    return status;
}

int cmd_render(int argc, char **argv)
{
    const char *land_path = argv[2], *out_path = argv[3];
    int w = 640, h = 480, player = 0;
    for (int i = 4; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--size" && i + 1 < argc && sscanf(argv[i + 1], "%dx%d", &w, &h) == 2 && w > 0 && h > 0 &&
            w <= 4096 && h <= 4096) {
            i++;
        } else if (a == "--player") {
            // Counted from 0, as scripts have it: 0 is player 1, 1 is player 2.
            std::string n = i + 1 < argc ? argv[++i] : "";
            if (n != "0" && n != "1") {
                fprintf(stderr, "tavo-tool: --player takes 0 (player 1) or 1 (player 2), not \"%s\"\n", n.c_str());
                return 2;
            }
            player = n[0] - '0';
        } else {
            return usage();
        }
    }
    if (!dat) {
        fprintf(stderr, "tavo-tool: tavo.dat is needed to draw, and was found neither here nor in the installed data folder\n");
        return 1;
    }
    land = load_or_complain(land_path);
    if (!land)
        return 1;
    int status = 0;
    OBJECT *viewer = land->player[player];
    if (!viewer) {
        fprintf(stderr, "tavo-tool: %s: there is no player %d (--player %d) to see from\n", land_path, player + 1,
                player);
        status = 1;
    } else {
        build_fog_map((RGB *)dat[DATA_PALETTE].dat, land->fog_colour);
        color_map = &the_fog_map;
        BITMAP *view = create_bitmap(w, h);
        draw_player_view(view, viewer);
        register_png_file_type();
        if (save_bitmap(out_path, view, (RGB *)dat[DATA_PALETTE].dat) != 0) {
            fprintf(stderr, "tavo-tool: %s: cannot be written\n", out_path);
            status = 1;
        }
        destroy_bitmap(view);
    }
    destroy_land(land);
    land = nullptr;
    return status;
}

// Reads a key file of "FROM TO KEY..." lines; 0 on success, else the
// failing line number (-1 when the file cannot be read).
int read_key_file(const char *path, std::vector<HELD_KEYS> &out, std::string &why)
{
    std::ifstream in(path);
    if (!in) {
        why = "cannot be read";
        return -1;
    }
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        line++;
        std::istringstream words(raw);
        std::string first;
        if (!(words >> first) || first[0] == '#')
            continue;
        HELD_KEYS h;
        if (!parse_key_line(raw, h, why))
            return line;
        out.push_back(h);
    }
    return 0;
}

// Runs the rules on the loaded land for at most `steps` steps, as the game
// does, stopping after the step that collects the last diamond.
struct rules_run {
    long run = 0, ended = 0;
    std::string trace;
};

rules_run run_rules(long steps, bool trace, const std::function<const char *()> &next_frame)
{
    rules_run r;
    while (r.run < steps && !r.ended) {
        r.run++;
        step_land(next_frame());
        if (trace)
            r.trace += std::string(r.run > 1 ? ",\n  " : "\n  ") + objects_json(land);
        if (land->n_diamonds == 0)
            r.ended = r.run;
    }
    return r;
}

std::string run_json(const rules_run &r, bool trace)
{
    std::string s = "\"steps_run\": " + std::to_string(r.run) + ", \"ended_at_step\": " +
                    (r.ended ? std::to_string(r.ended) : std::string("null"));
    if (trace)
        s += ",\n \"trace\": [" + r.trace + "\n ]";
    return s;
}

int cmd_sim(int argc, char **argv)
{
    long steps = 100;
    unsigned seed = 1;
    const char *keys = nullptr;
    bool trace = false;
    for (int i = 3; i < argc; i++) {
        std::string a = argv[i];
        char *end = nullptr;
        if (a == "--steps" && i + 1 < argc) {
            steps = strtol(argv[++i], &end, 10);
            if (*end || steps < 0)
                return usage();
        } else if (a == "--seed" && i + 1 < argc) {
            seed = (unsigned)strtoul(argv[++i], &end, 10);
            if (*end)
                return usage();
        } else if (a == "--keys" && i + 1 < argc) {
            keys = argv[++i];
        } else if (a == "--trace") {
            trace = true;
        } else {
            return usage();
        }
    }
    std::vector<HELD_KEYS> held;
    if (keys) {
        std::string why;
        int bad = read_key_file(keys, held, why);
        if (bad) {
            if (bad > 0)
                fprintf(stderr, "tavo-tool: %s:%d: %s\n", keys, bad, why.c_str());
            else
                fprintf(stderr, "tavo-tool: %s: %s\n", keys, why.c_str());
            return 2;
        }
    }
    // A tape of the key lines, long enough for every step asked for.
    TAPE tape;
    tape.frames = steps;
    tape.held = held;
    TAPE_PLAYBACK playback;
    start_playback(playback, tape);
    srand(seed);
    land = load_or_complain(argv[2]);
    if (!land)
        return 1;
    rules_run r = run_rules(steps, trace, [&] { return next_playback_frame(playback); });
    printf("%s\n", land_json(land, land->n_players, run_json(r, trace)).c_str());
    destroy_land(land);
    land = nullptr;
    return 0;
}

int cmd_replay(int argc, char **argv)
{
    std::string tape_file = data_path(argv[2]);  // a bundled tape, too
    const char *tape_path = tape_file.c_str(), *override_land = nullptr;
    bool trace = false;
    for (int i = 3; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--land" && i + 1 < argc)
            override_land = argv[++i];
        else if (a == "--trace")
            trace = true;
        else
            return usage();
    }
    TAPE tape;
    std::string why, land_path;
    int bad = read_tape(tape_path, tape, why);
    if (bad) {
        if (bad > 0)
            fprintf(stderr, "tavo-tool: %s:%d: %s\n", tape_path, bad, why.c_str());
        else
            fprintf(stderr, "tavo-tool: %s: %s\n", tape_path, why.c_str());
        return 2;
    }
    int found = find_tape_land(tape, tape_path, override_land, land_path, why);
    if (found == 1) {
        fprintf(stderr, "tavo-tool: %s\n", why.c_str());
        return 1;
    }
    // A land that has changed since the recording is still played, so that
    // its author sees whether the old solution holds, but it fails.
    if (found == 2)
        fprintf(stderr, "tavo-tool: %s\n", why.c_str());
    TAPE_PLAYBACK playback;
    start_playback(playback, tape);
    srand((unsigned)tape.seed);
    land = load_or_complain(land_path.c_str());
    if (!land)
        return 1;
    rules_run r = run_rules(tape.frames, trace, [&] { return next_playback_frame(playback); });
    std::string head = "{\"land\": " + quoted(land_path.c_str()) + ", \"crc32_ok\": " + (found ? "false" : "true") +
                       ", \"seed\": " + std::to_string(tape.seed) + ", \"frames\": " + std::to_string(tape.frames) +
                       ", " + run_json(r, trace) + ", \"diamonds_left\": " + std::to_string(land->n_diamonds) +
                       ", \"won\": " + (r.ended ? "true" : "false") + "}";
    printf("%s\n", head.c_str());
    destroy_land(land);
    land = nullptr;
    return found ? 1 : 0;
}

int cmd_solve(int argc, char **argv)
{
    SOLVE_OPTIONS o;
    std::string out;
    for (int i = 3; i < argc; i++) {
        std::string a = argv[i];
        char *end = nullptr;
        if (i + 1 >= argc)
            return usage();
        const char *v = argv[++i];
        if (a == "--alone" && (!strcmp(v, "1") || !strcmp(v, "2"))) {
            o.alone = v[0] - '0';
        } else if (a == "--max-states") {
            o.max_states = strtol(v, &end, 10);
            if (*end || o.max_states < 1)
                return usage();
        } else if (a == "--time") {
            o.seconds = strtod(v, &end);
            if (*end || !(o.seconds > 0))
                return usage();
        } else if (a == "--seed") {
            o.seed = strtoul(v, &end, 10);
            if (*end || o.seed > 0xffffffffUL)
                return usage();
        } else if (a == "--out") {
            out = v;
        } else {
            return usage();
        }
    }
    std::string land_path = data_path(argv[2]);
    LAND *probe = load_or_complain(argv[2]);
    if (!probe)
        return 1;
    int players = probe->n_players;
    destroy_land(probe);
    if (o.alone > players) {
        fprintf(stderr, "tavo-tool: %s: has no player %d\n", argv[2], o.alone);
        return 2;
    }
    SOLVE_RESULT r = solve_land(land_path.c_str(), o);
    if (r.result == SOLVE_NO_LAND) {
        fprintf(stderr, "tavo-tool: %s: %s\n", argv[2], r.why.c_str());
        return 1;
    }
    static const char *const name[] = {"solved", "unsolvable", "gave_up"};
    char head[160];
    snprintf(head, sizeof head, "{\"result\": \"%s\", \"states\": %ld, \"seconds\": %.3f", name[r.result],
             r.states, r.seconds);
    std::string json = head;
    if (r.result == SOLVE_SOLVED) {
        if (out.empty()) {
            std::string base = land_path.substr(0, land_path.size() - (land_path.size() > 4 &&
                                                 land_path.compare(land_path.size() - 4, 4, ".lvl") == 0 ? 4 : 0));
            out = base + ".solution.tape";
        }
        r.tape.land = tape_land_name(land_path.c_str(), out.c_str());
        if (!file_crc32(land_path.c_str(), r.tape.crc32) || save_tape(out.c_str(), r.tape) != 0) {
            fprintf(stderr, "tavo-tool: %s: cannot be written\n", out.c_str());
            return 1;
        }
        json += ", \"moves\": " + std::to_string(r.moves) + ", \"frames\": " + std::to_string(r.tape.frames) +
                ", \"tape\": " + quoted(out.c_str());
    }
    printf("%s}\n", json.c_str());
    return r.result == SOLVE_SOLVED ? 0 : r.result == SOLVE_UNSOLVABLE ? 3 : 4;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    std::string cmd = argv[1];
    start_allegro();
    int status;
    if (cmd == "info" && argc == 3)
        status = cmd_info(argv[2]);
    else if (cmd == "build" && argc == 4)
        status = cmd_build(argv[2], argv[3]);
    else if (cmd == "check" && argc == 3 && std::string(argv[2]) != "--reach")
        status = cmd_check(argv[2], false);
    else if (cmd == "check" && argc == 4 && std::string(argv[2]) == "--reach")
        status = cmd_check(argv[3], true);
    else if (cmd == "check" && argc == 4 && std::string(argv[3]) == "--reach")  // the option after the land, as other commands take theirs
        status = cmd_check(argv[2], true);
    else if (cmd == "render" && argc >= 4)
        status = cmd_render(argc, argv);
    else if (cmd == "sim" && argc >= 3)
        status = cmd_sim(argc, argv);
    else if (cmd == "replay" && argc >= 3)
        status = cmd_replay(argc, argv);
    else if (cmd == "map" && argc >= 4)
        status = cmd_map(argc, argv);
    else if (cmd == "solve" && argc >= 3)
        status = cmd_solve(argc, argv);
    else
        status = usage();
    if (dat)
        unload_datafile(dat);
    return status;
}
