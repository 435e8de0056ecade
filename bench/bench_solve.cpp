// How fast tavo-tool solve searches: whole searches of bundled lands, with
// the states found a second as a counter (the goal: 20,000 a second on the
// one-player lands up to 16 x 16 cells).
//
//   build/bench/bench_solve --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <unistd.h>

#include "bench/bench_common.h"
#include "tools/solve.h"

namespace {

const char *const lands[] = {"levels/01-first-steps.lvl", "levels/04-push.lvl", "levels/10-bridge.lvl", "land.lvl"};

void bm_solve(benchmark::State &state)
{
    start_headless_allegro();
    // As the tool: with a colour table, reading a land's true-colour
    // textures costs little beside the search.
    static RGB_MAP colours;
    create_rgb_table(&colours, default_palette, nullptr);
    rgb_map = &colours;
    if (chdir(TAVO_GAME_DIR) != 0) {
        state.SkipWithError("no game folder");
        return;
    }
    const char *land = lands[state.range(0)];
    SOLVE_RESULT r;
    for (auto _ : state)
        r = solve_land(land, SOLVE_OPTIONS());
    if (r.result != SOLVE_SOLVED) {
        state.SkipWithError("not solved");
        return;
    }
    state.SetLabel(land);
    state.counters["states"] = (double)r.states;
    state.counters["states_per_second"] =
        benchmark::Counter((double)r.states, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(bm_solve)->DenseRange(0, 3)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
