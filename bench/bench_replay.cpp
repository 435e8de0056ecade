// A replay as `tavo-tool replay` runs it: the tape read, the land loaded and
// 30 000 steps played (five minutes of a game) on a 64 x 64 land four levels
// high, with both players walking, turning and pushing, rocks falling onto
// and rolling off diamonds and each other.  The sparse land holds about as
// many objects as a big level of the bundled set (some 300); the busy one
// four times as many.
//
//   build/bench/bench_replay --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

#include "bench/bench_common.h"
#include "land/land.h"
#include "objects/objects.h"
#include "shell/shell.h"
#include "tools/land_source.h"

namespace {

const int side = 64;
const long frames = 30000;

// Objects stand where (a x + b y) % period == 0; a busy land has shorter periods.
std::string land_source(bool busy)
{
    const int p_diamond = busy ? 11 : 29, p_high_rock = busy ? 9 : 37, p_low_rock = busy ? 13 : 41;
    std::string s = "size 64 64\ntextures rock.pcx granite.bmp cobble.pcx\nfacing P 1\nfacing Q 3\n";
    for (int z = 0; z < 4; z++) {
        s += "level " + std::to_string(z) + "\n";
        for (int y = 0; y < side; y++) {
            for (int x = 0; x < side; x++) {
                char obj = '.';
                if (z == 0 && x == 1 && y == 1)
                    obj = 'P';
                else if (z == 0 && x == side - 2 && y == side - 2)
                    obj = 'Q';
                else if (z == 0 && (x * 7 + y * 3) % p_diamond == 0)
                    obj = 'D';
                else if (z == 3 && (x * 5 + y) % p_high_rock == 0)
                    obj = 'R';
                else if (z == 0 && (x + y * 5) % p_low_rock == 0)
                    obj = 'R';
                s += '.';
                s += obj;
            }
            s += '\n';
        }
    }
    return s;
}

// Both players' keys held for runs of random length, as a player's are.
std::string tape_text_for(const char *land_path)
{
    static const char *const keys[] = {"A", "A", "A", "S", "F", "Z", "X", "C", "E", "D",
                                       "OPENBRACE", "OPENBRACE", "LEFT", "RIGHT", "QUOTE", "COMMA", "STOP"};
    std::mt19937 rng(7);
    std::string s = "tape 1\nland " + std::string(land_path) + "\ncrc32 00000000\nseed 1\nframes " +
                    std::to_string(frames) + "\n";
    for (long from = 1; from <= frames;) {
        long to = std::min(frames, from + (long)(rng() % 90));
        s += std::to_string(from) + " " + std::to_string(to) + " " + keys[rng() % 17] + " " + keys[rng() % 17] + "\n";
        from = to + 1 + (long)(rng() % 20);
    }
    return s;
}

void bm_replay(benchmark::State &state)
{
    install_allegro(SYSTEM_NONE, &errno, atexit);
    set_color_depth(8);
    chdir(TAVO_GAME_DIR);
    char path[] = "/tmp/tavo-bench-replay-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("no temporary file");
        return;
    }
    close(fd);
    land_source_result built = parse_land_source(land_source(state.range(0) != 0));
    n_players = built.n_players;
    if (!built.land || save_land(built.land, path) != 0) {
        state.SkipWithError(("cannot build the land: " + built.error).c_str());
        return;
    }
    destroy_land(built.land);
    std::string text = tape_text_for(path);

    long steps = 0, diamonds = 0;
    for (auto _ : state) {
        TAPE tape;
        std::string why;
        if (parse_tape(text, tape, why) != 0) {
            state.SkipWithError(why.c_str());
            break;
        }
        TAPE_PLAYBACK playback;
        start_playback(playback, tape);
        srand((unsigned)tape.seed);
        land = load_land(tape.land.c_str());
        diamonds = land->n_diamonds;
        while (const char *f = next_playback_frame(playback)) {
            step_land(f);
            steps++;
            if (land->n_diamonds == 0)
                break;
        }
        diamonds -= land->n_diamonds;
        destroy_land(land);
        land = nullptr;
    }
    state.counters["steps"] = benchmark::Counter((double)steps, benchmark::Counter::kAvgIterations);
    state.counters["collected"] = (double)diamonds;
    state.SetLabel(state.range(0) ? "busy land" : "sparse land");
    remove(path);
}

} // namespace

BENCHMARK(bm_replay)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK_MAIN();
