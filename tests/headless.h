// headless.h -- Allegro without a display, for tests.
#ifndef TAVO_TESTS_HEADLESS_H
#define TAVO_TESTS_HEADLESS_H

#include <allegro.h>
#include <cerrno>
#include <cstdlib>

// Starts Allegro once per process with the null system driver and 8-bit
// memory bitmaps.  Timers, keyboard and graphics modes do not exist here.
inline void start_headless_allegro()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    install_allegro(SYSTEM_NONE, &errno, atexit);
    set_color_depth(8);
    set_color_conversion(COLORCONV_NONE);
}

#endif
