// What the level-set mode spends to name a lost land: once the land has come
// to rest after a move, every object is looked at (land_at_rest) and the
// reach check runs on the land as it stands (count_unreachable_diamonds).
// It runs between two logic steps, so it must stay well inside a step's
// 10 ms: measured on the largest bundled land, on it with its player moved
// to the far end, and on the biggest generated lands the game still checks.
//
//   build/bench/bench_loss_check --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <unistd.h>

#include "bench/bench_common.h"
#include "bench/busy_land.h"
#include "land/land.h"
#include "objects/objects.h"
#include "shell/shell.h"

namespace {

void bm_loss_check_summit(benchmark::State &state)
{
    start_headless_allegro();
    if (chdir(TAVO_GAME_DIR) != 0) {
        state.SkipWithError("no game folder");
        return;
    }
    LAND *l = load_land("levels/19-summit.lvl");
    if (!l) {
        state.SkipWithError("levels/19-summit.lvl does not load");
        return;
    }
    int unreachable = 0;
    for (auto _ : state) {
        bool rest = land_at_rest(l);
        unreachable = rest ? count_unreachable_diamonds(l) : -1;
        benchmark::DoNotOptimize(unreachable);
    }
    state.counters["unreachable"] = unreachable;
    state.counters["tiles"] = l->w * l->h;
    destroy_land(l);
}
BENCHMARK(bm_loss_check_summit)->Unit(benchmark::kMicrosecond);

// The busy lands of bench_rules, whose rocks stand on columns: as big as a
// land gets, and full of things at rest.
void bm_loss_check_busy(benchmark::State &state)
{
    start_headless_allegro();
    srand(1);
    LAND *l = build_busy_land((int)state.range(0), (int)state.range(1));
    int unreachable = 0;
    for (auto _ : state) {
        bool rest = land_at_rest(l);
        unreachable = rest ? count_unreachable_diamonds(l) : -1;
        benchmark::DoNotOptimize(unreachable);
    }
    state.counters["tiles"] = l->w * l->h;
    destroy_land(l);
}
BENCHMARK(bm_loss_check_busy)->Args({8, 12})->Args({8, 23})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
