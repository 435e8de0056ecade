// The game's history over a ten-minute game (60 000 steps, both players
// walking, turning and pushing at random) on the largest bundled land and
// on the largest generated one (the 8/12 land of bench_rules, 255 x 255
// tiles and 16 384 objects, with two players put in):
//
//   bm_play      the 60 000 steps with the history kept, and without: what
//                keeping it costs; its memory at the end and at its peak
//   bm_rewind    back three steps at a time, as the game goes back while R
//                is held, from one step to another: steps back a second, and
//                the slowest call (the frame it would hold up)
//
//   build/bench/bench_rewind --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>

#include "bench/bench_common.h"
#include "bench/busy_land.h"
#include "land/land.h"
#include "objects/objects.h"
#include "shell/shell.h"

namespace {

const long game_steps = 60000;

enum { SUMMIT, BUSY };

// The rules never read textures: lands load without them.
std::string no_texture(const char *)
{
    return "no such texture";
}

void put_player(LAND *l, int p, int x, int y)
{
    OBJECT *o = add_object(l->tile[y][x].hollow, OBJ_PLAYER, x, y, floor_level(l->tile[y][x].hollow));
    ((PLAYER_DATA *)o->data)->index = p;
    ((PLAYER_DATA *)o->data)->facing = 1 + p;
    l->player[p] = o;
}

// The land made current, with the generator seeded as a game seeds it.
void new_game(int which)
{
    if (land)
        free_game_land();
    srand(1);
    LAND *l;
    if (which == SUMMIT) {
        find_texture_file = no_texture;
        l = load_land("levels/19-summit.lvl");
    } else {
        l = build_busy_land(8, 12);
        // Two open tiles of the grid, on flat floor, far apart.
        put_player(l, 0, 1, 2);
        put_player(l, 1, 130, 130);
        l->n_players = 2;
    }
    set_game_land(l);
}

// Both players' keys held for runs of random length, as a player's are.
struct keys {
    std::mt19937 rng{7};
    long left = 0;
    INPUT_FRAME frame = {};
    const char *next()
    {
        static const int codes[] = {KEY_A, KEY_A, KEY_A, KEY_S, KEY_F, KEY_Z, KEY_X, KEY_C, KEY_E, KEY_D,
                                    KEY_OPENBRACE, KEY_OPENBRACE, KEY_LEFT, KEY_RIGHT, KEY_QUOTE, KEY_COMMA, KEY_STOP};
        if (--left <= 0) {
            memset(frame, 0, sizeof frame);
            left = 1 + rng() % 90;
            if (rng() % 4)
                frame[codes[rng() % 17]] = frame[codes[rng() % 17]] = 1;
        }
        return frame;
    }
};

const char *const land_names[] = {"19-summit", "busy 8/12 with players"};

void bm_play(benchmark::State &state)
{
    start_headless_allegro();
    chdir(TAVO_GAME_DIR);
    int which = (int)state.range(0);
    bool kept = state.range(1) != 0;
    size_t bytes = 0, peak = 0, snapshots = 0, most_snapshots = 0;
    for (auto _ : state) {
        state.PauseTiming();
        new_game(which);
        keys k;
        GAME_HISTORY h;
        state.ResumeTiming();
        if (kept)
            start_history(h, 1);
        for (long i = 1; i <= game_steps; i++) {
            if (kept)
                run_history_step(h, k.next());
            else
                step_land(k.next());
            if (kept && i % 1000 == 0) {
                state.PauseTiming();
                peak = std::max(peak, history_bytes(h));
                most_snapshots = std::max(most_snapshots, h.snapshots.size());
                state.ResumeTiming();
            }
        }
        bytes = history_bytes(h);
        snapshots = h.snapshots.size();
    }
    state.counters["history_bytes"] = (double)bytes;
    state.counters["peak_bytes"] = (double)peak;
    state.counters["snapshots"] = (double)snapshots;
    state.counters["most_snapshots"] = (double)most_snapshots;
    state.SetLabel(std::string(land_names[which]) + (kept ? ", history kept" : ", no history"));
    free_game_land();
}
BENCHMARK(bm_play)
    ->Args({SUMMIT, 0})
    ->Args({SUMMIT, 1})
    ->Args({BUSY, 0})
    ->Args({BUSY, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->ComputeStatistics("min", fastest);

// Arguments: the land, and the steps to go back from and to.
void bm_rewind(benchmark::State &state)
{
    start_headless_allegro();
    chdir(TAVO_GAME_DIR);
    int which = (int)state.range(0);
    long from = state.range(1), to = state.range(2);
    long back = 0;
    double slowest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        new_game(which);
        keys k;
        GAME_HISTORY h;
        start_history(h, 1);
        for (long i = 0; i < game_steps; i++)
            run_history_step(h, k.next());
        rewind_history(h, from);
        state.ResumeTiming();
        for (long s = from; s > to;) {
            s = std::max(to, s - 3);
            auto t0 = std::chrono::steady_clock::now();
            rewind_history(h, s);
            auto took = std::chrono::steady_clock::now() - t0;
            slowest = std::max(slowest, std::chrono::duration<double, std::milli>(took).count());
        }
        back += from - to;
    }
    state.counters["steps_back_per_s"] = benchmark::Counter((double)back, benchmark::Counter::kIsRate);
    state.counters["slowest_call_ms"] = slowest;
    state.SetLabel(std::string(land_names[which]) + ", back from " + std::to_string(from) + " to " +
                   std::to_string(to));
    free_game_land();
}
BENCHMARK(bm_rewind)
    ->Args({SUMMIT, game_steps, 0})
    ->Args({BUSY, game_steps, game_steps - 6000})
    ->Args({BUSY, 6000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->ComputeStatistics("min", fastest);

} // namespace

BENCHMARK_MAIN();
