// test_music.cpp -- the background music loads in DUMB, lasts, loops and
// renders as real sound, all offline without a sound driver.
#include "headless.h"

#include <aldumb.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr long unit = 65536; // DUMB positions and lengths are in 1/65536 s
const char *const piece = "piece01.xm";

struct loaded_duh
{
    DUH *duh;
    loaded_duh() : duh(nullptr)
    {
        start_headless_allegro();
        dumb_register_stdfiles();
        duh = dumb_load_xm(piece);
    }
    ~loaded_duh() { unload_duh(duh); }
};

// Counts the times the module jumps back to its restart position, and
// the frame count when that first happened.
struct loop_watch
{
    int loops = 0;
    long frames_before = 0;
    long first_loop_frame = -1;
};

int on_loop(void *data)
{
    auto *watch = static_cast<loop_watch *>(data);
    if (watch->loops++ == 0)
        watch->first_loop_frame = watch->frames_before;
    return 0; // keep playing
}

// Interleaved 16-bit stereo, as the game hears it.
std::vector<int16_t> render(DUH *duh, double seconds, loop_watch *watch = nullptr)
{
    DUH_SIGRENDERER *renderer = duh_start_sigrenderer(duh, 0, 2, 0);
    if (!renderer)
        return {};
    if (watch)
        dumb_it_set_loop_callback(duh_get_it_sigrenderer(renderer), on_loop, watch);
    const long frames = static_cast<long>(seconds * rate);
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    long done = 0;
    while (done < frames) {
        if (watch)
            watch->frames_before = done;
        const long got = duh_render(renderer, 16, 0, 1.0f, static_cast<float>(unit) / rate,
                                    std::min(1024L, frames - done), &out[static_cast<size_t>(done) * 2]);
        if (got <= 0)
            break;
        done += got;
    }
    duh_end_sigrenderer(renderer);
    out.resize(static_cast<size_t>(done) * 2);
    return out;
}

// RMS as a fraction of full scale over frames [first, first + count).
double rms(const std::vector<int16_t> &sound, long first, long count)
{
    double sum = 0.0;
    for (long i = first * 2; i < (first + count) * 2; ++i)
        sum += static_cast<double>(sound[static_cast<size_t>(i)]) * sound[static_cast<size_t>(i)];
    return std::sqrt(sum / static_cast<double>(count * 2)) / 32768.0;
}

TEST(music, loads_and_lasts_over_a_minute)
{
    loaded_duh music;
    ASSERT_NE(music.duh, nullptr) << piece << " is missing or not a module DUMB can read";
    EXPECT_GE(duh_get_length(music.duh), 60 * unit);
}

TEST(music, first_minute_sounds_like_music)
{
    loaded_duh music;
    ASSERT_NE(music.duh, nullptr);
    const std::vector<int16_t> sound = render(music.duh, 60.0);
    ASSERT_EQ(sound.size(), static_cast<size_t>(60 * rate * 2));
    const long frames = 60L * rate;

    const double overall = rms(sound, 0, frames);
    EXPECT_GT(overall, 0.03) << "too quiet to hear over the game";
    EXPECT_LT(overall, 0.3) << "too loud to leave room for sound effects";

    const long clipped = std::count_if(sound.begin(), sound.end(),
                                       [](int16_t s) { return s >= 32767 || s <= -32767; });
    EXPECT_LT(static_cast<double>(clipped) / static_cast<double>(sound.size()), 0.001);

    // Every five seconds holds music, and no quarter second drops to silence.
    for (long second = 0; second < 60; second += 5)
        EXPECT_GT(rms(sound, second * rate, 5L * rate), 0.02) << "quiet from " << second << " s";
    double quietest = 1.0;
    for (long first = 0; first + rate / 4 <= frames; first += rate / 4)
        quietest = std::min(quietest, rms(sound, first, rate / 4));
    EXPECT_GT(quietest, 0.003) << "a gap of silence";

    // The instruments are spread across the stereo field.
    long differing = 0;
    for (long i = 0; i < frames; ++i)
        differing += std::abs(sound[static_cast<size_t>(2 * i)] - sound[static_cast<size_t>(2 * i + 1)]) > 64;
    EXPECT_GT(differing, frames / 10);
}

TEST(music, loops_back_to_the_start_when_it_ends)
{
    loaded_duh music;
    ASSERT_NE(music.duh, nullptr);
    const double length = static_cast<double>(duh_get_length(music.duh)) / unit;
    loop_watch watch;
    const std::vector<int16_t> sound = render(music.duh, length + 5.0, &watch);
    ASSERT_EQ(watch.loops, 1);
    EXPECT_NEAR(static_cast<double>(watch.first_loop_frame) / rate, length, 0.05);

    // After the jump the opening plays again: from its second second on (when
    // the last notes have died away) its loudness follows the first time's
    // closely. Any other restart point differs by several decibels.
    const long loop_frame = std::lround(length * rate);
    const long window = rate / 20;
    double difference = 0.0;
    int windows = 0;
    for (long first = rate; first < 4L * rate; first += window, ++windows) {
        const double before = rms(sound, first, window);
        const double again = rms(sound, loop_frame + first, window);
        ASSERT_GT(again, 0.0) << "silent after the loop";
        difference += std::fabs(20.0 * std::log10(before / again));
    }
    EXPECT_LT(difference / windows, 1.0) << "mean loudness difference in dB";
}

TEST(music, missing_file_gives_null_without_crashing)
{
    start_headless_allegro();
    dumb_register_stdfiles();
    DUH *duh = dumb_load_xm("no_such_piece.xm");
    EXPECT_EQ(duh, nullptr);
    unload_duh(duh);
}

} // namespace
