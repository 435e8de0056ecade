// A land at the reader's limits: 255 x 255 tiles, 16 hollows in every tile
// (1 040 400, the limit is 1 048 576), a diamond in each, and 16 646 400
// exposed wall squares (the limit is 16 777 216), tiles alternating so that
// every hollow faces rock on all four sides.  The goal: under a second and
// under 512 MB to load.
//
//   build/bench/bench_land_limits --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "land/land.h"
#include "objects/objects.h"
#include "shell/shell.h"

namespace {

void put_hollow(PACKFILE *f, int floor, int roof)
{
    pack_putc(0, f);
    pack_iputw(floor, f);
    pack_iputw(roof, f);
    for (int i = 0; i < 6; i++)
        pack_putc(0, f);
}

std::string write_land_at_the_limits()
{
    std::string path = "/tmp/tavo-bench-limits-" + std::to_string(getpid()) + ".lvl";
    PACKFILE *f = pack_fopen(path.c_str(), "wp");
    pack_fwrite("TAVO", 4, f);
    pack_putc(0, f);  // no player
    pack_putc(1, f);
    pack_putc(5, f);
    pack_fwrite("a.pcx", 5, f);
    pack_putc(0, f);
    pack_putc(255, f);
    pack_putc(255, f);
    long walls = 0;
    for (int y = 0; y < 255; y++)
        for (int x = 0; x < 255; x++) {
            int shift = (x + y) % 2 ? 4 : 0;
            for (int k = 0; k < 16; k++) {
                put_hollow(f, 8 * k + shift, 8 * k + shift + 4);
                pack_putc(OBJ_DIAMOND, f);
                pack_iputw(8 * k + shift, f);
                pack_putc(0, f);
            }
            pack_putc(255, f);
            walls += 16 * 4 * 4;
        }
    for (long i = 0; i < walls; i++)
        pack_putc(0, f);
    pack_fclose(f);
    return path;
}

void bm_load_land_at_the_limits(benchmark::State &state)
{
    install_allegro(SYSTEM_NONE, &errno, atexit);
    set_color_depth(8);
    std::string path = write_land_at_the_limits();
    long hollows = 0;
    for (auto _ : state) {
        LAND *l = load_land(path.c_str());
        if (!l) {
            state.SkipWithError(land_load_error());
            break;
        }
        state.PauseTiming();
        hollows = 0;
        for (int y = 0; y < l->h; y++)
            for (int x = 0; x < l->w; x++)
                for (HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                    hollows++;
        destroy_land(l);
        state.ResumeTiming();
    }
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    state.counters["hollows"] = (double)hollows;
    state.counters["peak_MB"] = (double)ru.ru_maxrss / 1024.0;
    remove(path.c_str());
}

} // namespace

BENCHMARK(bm_load_land_at_the_limits)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
