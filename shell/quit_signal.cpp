// quit_signal.cpp -- ending by SIGTERM, SIGINT or SIGHUP without shutting
// the library down from inside a signal handler.
//
// The library's own handlers call allegro_exit() from the handler, which
// takes locks the interrupted threads may hold: on a busy machine that ended
// in SIGABRT or a process blocked for good.  Ours only record the signal;
// each loop that waits for the player looks at the record and leaves, and
// the program shuts the library down from main as it always does.
#include "shell/shell.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace {

std::atomic<int> signal_seen{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free flag");

const int quit_signals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void record_quit_signal(int n)
{
    // A second signal means the way out itself is stuck, or the player is in
    // a hurry: nothing more is done for them.
    int expected = 0;
    if (!signal_seen.compare_exchange_strong(expected, n))
        _exit(128 + n);
}

// Allegro's dialogs (the file selector, alerts) and readkey() wait for a key
// in the library's own loops: the timer answers them with Esc until the
// program has got out of them.
void feed_escape()
{
    if (signal_seen.load(std::memory_order_relaxed))
        simulate_keypress(KEY_ESC << 8 | 27);
}
END_OF_FUNCTION(feed_escape)

} // namespace

void install_quit_signals()
{
    struct sigaction sa = {};
    sa.sa_handler = record_quit_signal;
    sigemptyset(&sa.sa_mask);
    // Restarted, so that the library's reads and writes on the display never
    // see an EINTR they were not written for.
    sa.sa_flags = SA_RESTART;
    for (int n : quit_signals)
        sigaction(n, &sa, nullptr);
}

bool quit_signals_installed()
{
    for (int n : quit_signals) {
        struct sigaction now;
        if (sigaction(n, nullptr, &now) != 0 || now.sa_handler != record_quit_signal)
            return false;
    }
    return true;
}

int start_escape_feeder()
{
    LOCK_FUNCTION(feed_escape);
    return install_int_ex(feed_escape, BPS_TO_TIMER(50));
}

int quit_signal()
{
    return signal_seen.load(std::memory_order_relaxed);
}

int read_key_or_quit()
{
    for (;;) {
        if (quit_signal())
            return 0;
        if (keypressed())
            return readkey();
        rest(1);
    }
}
