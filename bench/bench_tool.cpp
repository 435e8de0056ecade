// What `tavo-tool info` and `tavo-tool check` spend on the biggest lands:
// the busy 255 x 255 lands of bench_rules (side/column height 8/23: 27 648
// objects; 4/23: 110 464), with a wall list on every exposed side, saved to a
// file once and then
//
//   bm_load_land        load_land alone
//   bm_info             load_land, the land's JSON streamed to /dev/null,
//                       destroy_land: what `info` does
//   bm_json_stream      the JSON alone, of a land already loaded
//   bm_check            load_land, check_land, land_file_size and the file
//                       read through unpacked, destroy_land: what `check`
//                       does
//   bm_land_file_size   land_file_size alone
//
//   build/bench/bench_tool --benchmark_repetitions=5
//
// Goals: info and check under 50 ms on 8/23; load_land under 50 ms on 4/23.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_common.h"
#include "bench/busy_land.h"
#include "land/land.h"
#include "shell/shell.h"
#include "tools/land_json.h"

namespace {

// The busy land with named textures and a wall list on every exposed side,
// saved; the file is made once a run and removed at exit.
const char *busy_land_file(int side, int column_height)
{
    static std::map<std::pair<int, int>, std::string> made;
    std::string &path = made[{side, column_height}];
    if (!path.empty())
        return path.c_str();
    srand(1);
    LAND *l = build_busy_land(side, column_height);
    static const char *const names[] = {"rock.pcx", "granite.pcx", "cobble.pcx", "brick.pcx"};
    l->n_textures = 4;
    l->texture = (BITMAP **)realloc(l->texture, 4 * sizeof(BITMAP *));
    l->texture_filename = (char **)calloc(4, sizeof(char *));
    for (int i = 0; i < 4; i++) {
        l->texture[i] = nullptr;
        l->texture_filename[i] = strdup(names[i]);
    }
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++) {
                int n = wall_length(l, x, y, d);
                if (n == 0)
                    continue;
                int *list = (int *)malloc(n * sizeof(int));
                for (int i = 0; i < n; i++)
                    list[i] = (x + y + d + i) % 4;
                l->tile[y][x].wall[d] = list;
            }
    path = "/tmp/tavo-bench-tool-" + std::to_string(getpid()) + "-" + std::to_string(side) + "-" +
           std::to_string(column_height) + ".lvl";
    n_players = 0;
    if (save_land(l, path.c_str()) != 0) {
        fprintf(stderr, "bench_tool: %s cannot be written\n", path.c_str());
        exit(1);
    }
    destroy_land(l);
    static bool cleaning = false;
    if (!cleaning) {
        cleaning = true;
        atexit([] {
            for (auto &m : made)
                unlink(m.second.c_str());
        });
    }
    return path.c_str();
}

LAND *load_or_stop(const char *path)
{
    LAND *l = load_land(path);
    if (!l) {
        fprintf(stderr, "bench_tool: %s: %s\n", path, land_load_error());
        exit(1);
    }
    return l;
}

// As the tool learns the length of the data inside a packed file.
long unpacked_size(const char *path)
{
    PACKFILE *f = pack_fopen(path, "rp");
    if (!f)
        return -1;
    long n = 0, got;
    char buf[4096];
    while ((got = pack_fread(buf, sizeof buf, f)) > 0)
        n += got;
    pack_fclose(f);
    return n;
}

void count_land(benchmark::State &state, const LAND *l)
{
    long hollows = 0, objects = 0;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next) {
                hollows++;
                for (const OBJECT *o = h->object; o; o = o->next)
                    objects++;
            }
    state.counters["hollows"] = (double)hollows;
    state.counters["objects"] = (double)objects;
    state.counters["file_bytes"] = (double)land_file_size(l);
}

void bm_load_land(benchmark::State &state)
{
    start_headless_allegro();
    const char *path = busy_land_file((int)state.range(0), (int)state.range(1));
    for (auto _ : state) {
        LAND *l = load_or_stop(path);
        state.PauseTiming();
        destroy_land(l);
        state.ResumeTiming();
    }
    LAND *l = load_or_stop(path);
    count_land(state, l);
    destroy_land(l);
}

void bm_info(benchmark::State &state)
{
    start_headless_allegro();
    const char *path = busy_land_file((int)state.range(0), (int)state.range(1));
    FILE *null = fopen("/dev/null", "w");
    for (auto _ : state) {
        LAND *l = load_or_stop(path);
        if (!write_land_json(null, l, n_players) || fputc('\n', null) == EOF)
            state.SkipWithError("the JSON was not written");
        destroy_land(l);
    }
    fclose(null);
}

void bm_json_stream(benchmark::State &state)
{
    start_headless_allegro();
    LAND *l = load_or_stop(busy_land_file((int)state.range(0), (int)state.range(1)));
    FILE *null = fopen("/dev/null", "w");
    for (auto _ : state)
        if (!write_land_json(null, l, n_players))
            state.SkipWithError("the JSON was not written");
    state.counters["json_bytes"] = (double)land_json(l, n_players).size();
    fclose(null);
    destroy_land(l);
}

void bm_check(benchmark::State &state)
{
    start_headless_allegro();
    const char *path = busy_land_file((int)state.range(0), (int)state.range(1));
    char why[256];
    for (auto _ : state) {
        LAND *l = load_or_stop(path);
        if (!check_land(l, why, sizeof why) || land_file_size(l) != unpacked_size(path))
            state.SkipWithError("the land does not check");
        destroy_land(l);
    }
}

void bm_land_file_size(benchmark::State &state)
{
    start_headless_allegro();
    LAND *l = load_or_stop(busy_land_file((int)state.range(0), (int)state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(land_file_size(l));
    destroy_land(l);
}

#define TOOL_BENCHMARK(fn) \
    BENCHMARK(fn)->Args({8, 23})->Args({4, 23})->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest)

TOOL_BENCHMARK(bm_load_land);
TOOL_BENCHMARK(bm_info);
TOOL_BENCHMARK(bm_json_stream);
TOOL_BENCHMARK(bm_check);
TOOL_BENCHMARK(bm_land_file_size);

} // namespace

BENCHMARK_MAIN();
