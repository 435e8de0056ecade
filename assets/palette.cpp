// palette.cpp -- the game palette: pure colours and smooth ramps.
//
// The fog table blends every colour towards one fog colour, so each hue has
// a ramp that runs down to near black, and the muted ramps (stone, slate,
// moss, rose, umber) catch saturated colours on their way to a grey fog.
#include "assets/palette.h"

#include <cmath>

namespace {

struct KNOT {
    float t;
    float r, g, b;  // 0..255
};

struct RAMP_DEF {
    KNOT k[4];
    int n;
};

// Dark to light; the knots are spaced in t, 0 = darkest shade, 1 = lightest.
const RAMP_DEF ramps[N_RAMPS] = {
    {{{0, 10, 10, 10}, {1, 246, 246, 246}}, 2},                                    // grey
    {{{0, 12, 11, 9}, {0.5f, 126, 117, 104}, {1, 232, 224, 208}}, 3},              // stone
    {{{0, 9, 11, 15}, {0.5f, 102, 114, 132}, {1, 216, 226, 240}}, 3},              // slate
    {{{0, 16, 9, 4}, {0.5f, 124, 80, 46}, {1, 226, 190, 146}}, 3},                 // earth
    {{{0, 22, 16, 6}, {0.55f, 176, 142, 82}, {1, 252, 240, 204}}, 3},              // sand
    {{{0, 5, 14, 3}, {0.55f, 70, 138, 36}, {1, 196, 236, 128}}, 3},                // grass
    {{{0, 9, 12, 7}, {0.5f, 98, 122, 76}, {1, 212, 226, 180}}, 3},                // moss
    {{{0, 20, 6, 4}, {0.5f, 154, 58, 38}, {1, 240, 176, 152}}, 3},                 // brick
    {{{0, 18, 10, 4}, {0.5f, 160, 98, 46}, {1, 248, 208, 146}}, 3},                // wood
    {{{0, 6, 10, 20}, {0.5f, 72, 102, 152}, {1, 200, 220, 248}}, 3},               // steel
    {{{0, 4, 16, 28}, {0.5f, 84, 178, 214}, {1, 234, 252, 255}}, 3},               // ice
    {{{0, 24, 15, 0}, {0.55f, 204, 154, 24}, {1, 255, 246, 176}}, 3},              // gold
    {{{0, 30, 2, 0}, {0.33f, 186, 34, 0}, {0.61f, 255, 150, 10}, {1, 255, 250, 170}}, 4}, // fire
    {{{0, 16, 10, 9}, {0.5f, 146, 102, 92}, {1, 240, 214, 204}}, 3},               // rose
    {{{0, 14, 10, 6}, {0.5f, 124, 96, 70}, {1, 230, 212, 186}}, 3},               // umber
};

unsigned char to_6bit(float c)
{
    long v = std::lround(c * 63.0f / 255.0f);
    return (unsigned char)(v < 0 ? 0 : v > 63 ? 63 : v);
}

RGB ramp_colour(const RAMP_DEF &d, float t)
{
    int i = 0;
    while (i + 2 < d.n && t > d.k[i + 1].t)
        i++;
    const KNOT &a = d.k[i], &b = d.k[i + 1];
    float u = (t - a.t) / (b.t - a.t);
    return {to_6bit(a.r + (b.r - a.r) * u), to_6bit(a.g + (b.g - a.g) * u), to_6bit(a.b + (b.b - a.b) * u), 0};
}

} // namespace

void make_game_palette(PALETTE pal)
{
    static const RGB fixed[RAMP_FIRST] = {
        {0, 0, 0, 0},    {0, 0, 0, 0},    {63, 63, 63, 0}, {32, 32, 32, 0},
        {63, 0, 0, 0},   {0, 63, 0, 0},   {0, 0, 63, 0},   {63, 63, 0, 0},
        {0, 63, 63, 0},  {63, 0, 63, 0},  {16, 16, 16, 0}, {48, 48, 48, 0},
        {63, 32, 0, 0},  {32, 0, 0, 0},   {0, 32, 0, 0},   {0, 0, 32, 0},
    };
    for (int i = 0; i < RAMP_FIRST; i++)
        pal[i] = fixed[i];
    for (int r = 0; r < N_RAMPS; r++)
        for (int s = 0; s < RAMP_LENGTH; s++)
            pal[ramp_index((RAMP)r, s)] = ramp_colour(ramps[r], (float)s / (RAMP_LENGTH - 1));
}
