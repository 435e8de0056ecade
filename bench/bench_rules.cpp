// One logic step (animate_objects then sort_objects, as the game loop runs
// it) of the largest land there can be: 255 x 255 tiles.  On a grid of
// squares, each holds a column of standing rocks, a rock dropped onto a
// diamond, a diamond on the floor and one in mid-air.  Columns collapse and
// roll off each other, dropped rocks fall onto diamonds and roll off them,
// and the rest stand.  The land is rebuilt (untimed) every batch of steps,
// before it has settled.  Three sizes of the same land (arguments: the
// square's side in tiles, the column's height):
//
//   8/12   13 312 rocks and  3 072 diamonds, 16 384 objects
//   8/23   24 576 rocks and  3 072 diamonds, 27 648 objects
//   4/23   98 304 rocks and 12 160 diamonds, 110 464 objects
//
// The same lands are timed once quiet, after 3000 steps, and the same tiles
// empty (the cost of the walks alone): a step should cost what happens in
// it, not the size of the land.
//
//   build/bench/bench_rules --benchmark_repetitions=5
//
// With repetitions, the "min" line gives the fastest one.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_common.h"
#include "bench/busy_land.h"
#include "land/land.h"
#include "objects/objects.h"
#include "shell/shell.h"
#include "tests/land_builder.h"

namespace {

const int size = BUSY_LAND_SIZE;
const int roof = BUSY_LAND_ROOF;
const int batch = 600;  // steps before the land is rebuilt; falls from the drop height take ~280


struct census {
    long rocks = 0, diamonds = 0, busy = 0;
};

census count_objects(const LAND *l)
{
    census c;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *o = h->object; o; o = o->next) {
                    c.rocks += o->type == OBJ_ROCK;
                    c.diamonds += o->type == OBJ_DIAMOND;
                    c.busy += o->type == OBJ_ROCK && (o->move_step || o->z_speed);
                }
    return c;
}

// The lands have no players: nobody holds anything.
const INPUT_FRAME no_keys = {};

void new_land(int side, int column_height)
{
    destroy_land(land);
    srand(1);
    land = build_busy_land(side, column_height);
}

// Rocks in motion on average over a batch, sampled outside the timing.
double busy_over_a_batch(int side, int column_height)
{
    new_land(side, column_height);
    long busy = 0;
    for (int i = 0; i < batch; i++) {
        step_land(no_keys);
        busy += count_objects(land).busy;
    }
    return (double)busy / batch;
}

void bm_logic_step_collapsing(benchmark::State &state)
{
    start_headless_allegro();
    int side = (int)state.range(0), column_height = (int)state.range(1);
    new_land(side, column_height);
    census c = count_objects(land);
    int steps = 0;
    for (auto _ : state) {
        if (steps == batch) {
            state.PauseTiming();
            new_land(side, column_height);
            steps = 0;
            state.ResumeTiming();
        }
        step_land(no_keys);
        steps++;
    }
    state.counters["rocks"] = (double)c.rocks;
    state.counters["diamonds"] = (double)c.diamonds;
    state.counters["rocks_in_motion"] = busy_over_a_batch(side, column_height);
    destroy_land(land);
    land = nullptr;
}
BENCHMARK(bm_logic_step_collapsing)
    ->Args({8, 12})
    ->Args({8, 23})
    ->Args({4, 23})
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", fastest);

// Quiet: rocks stand on the floor, on ramps and on each other, diamonds spin.
void bm_logic_step_settled(benchmark::State &state)
{
    start_headless_allegro();
    new_land((int)state.range(0), (int)state.range(1));
    for (int i = 0; i < 3000; i++)
        step_land(no_keys);
    census c = count_objects(land);
    for (auto _ : state)
        step_land(no_keys);
    state.counters["rocks"] = (double)c.rocks;
    state.counters["diamonds"] = (double)c.diamonds;
    state.counters["rocks_in_motion"] = (double)c.busy;
    destroy_land(land);
    land = nullptr;
}
BENCHMARK(bm_logic_step_settled)
    ->Args({8, 12})
    ->Args({8, 23})
    ->Args({4, 23})
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", fastest);

// The walks alone: the same tiles with nothing in them.
void bm_logic_step_empty(benchmark::State &state)
{
    start_headless_allegro();
    destroy_land(land);
    land = make_solid_land(size, size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++)
            add_hollow(land, x, y, 0, roof);
    for (auto _ : state)
        step_land(no_keys);
    destroy_land(land);
    land = nullptr;
}
BENCHMARK(bm_logic_step_empty)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

} // namespace

BENCHMARK_MAIN();
