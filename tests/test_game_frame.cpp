// The drawing half of the game loop, on a memory screen.
#include <gtest/gtest.h>

#include "headless.h"
#include "land/land.h"
#include "shell/shell.h"

namespace {

// Pixels where two bitmaps of the same size differ.
int differences(BITMAP *a, BITMAP *b)
{
    int n = 0;
    for (int y = 0; y < a->h; y++)
        for (int x = 0; x < a->w; x++)
            n += getpixel(a, x, y) != getpixel(b, x, y);
    return n;
}

}  // namespace

// A land without players draws nothing but the frame rate; the screen under
// it must still be cleared, or each frame's number lands on the last one and
// on whatever an editor session left behind.
TEST(GameFrame, WithoutPlayersTheFrameRateReadsOnAClearScreen)
{
    start_headless_allegro();
    const int w = 320, h = 200;
    scrbuf = create_bitmap(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            putpixel(scrbuf, x, y, 1 + (x * 7 + y * 13) % 250);
    int old_players = n_players;
    n_players = 0;
    lay_out_views(0, w, h);

    BITMAP *want = create_bitmap(w, h);
    for (int rate : {88, 1}) {
        draw_game_frame(rate);
        clear_to_color(want, 0);
        textprintf_ex(want, font, 0, 0, 2, -1, "%d", rate);
        EXPECT_EQ(differences(scrbuf, want), 0) << "frame rate " << rate;
    }

    destroy_bitmap(want);
    remove_views();
    destroy_bitmap(scrbuf);
    scrbuf = nullptr;
    n_players = old_players;
}
