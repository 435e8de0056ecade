// noise.h -- tiling noise for 128 x 128 textures.
//
// Every function takes texel coordinates and a number of cells across the
// texture; the pattern repeats every 128 texels, so the textures tile.
#ifndef TAVO_ASSETS_NOISE_H
#define TAVO_ASSETS_NOISE_H

#include <cstdint>

uint32_t hash_ints(int a, int b, int c);

// 0 <= result < 1, fixed for the arguments.
float hash_unit(int a, int b, int c);

// Gradient noise, roughly -1..1, with `cells` cells across the texture.
float gradient_noise(float x, float y, int cells, int seed);

// Fractal sum of gradient noise: the first octave has `cells` cells, each
// next one twice as many and `gain` times the weight.  Roughly -1..1.
float fbm(float x, float y, int cells, int octaves, int seed, float gain = 0.5f);

// The same with different numbers of cells across and down, for grain.
float stretched_noise(float x, float y, int cells_x, int cells_y, int seed);
float stretched_fbm(float x, float y, int cells_x, int cells_y, int octaves, int seed, float gain = 0.5f);

// Distances (in texels) to the nearest and second nearest feature points of
// a jittered grid of cells x cells points, the nearest one's cell number,
// and the offset from the nearest point to (x, y).
struct CELL_HIT {
    float f1, f2;
    int id;
    float dx, dy;
};
CELL_HIT cellular(float x, float y, int cells, int seed, float jitter = 0.8f);

// A random generator that does not depend on the C library.
struct RANDOM {
    uint32_t state;
    explicit RANDOM(uint32_t seed) : state(seed * 2654435761u + 1) {}
    uint32_t next();
    float unit();                       // 0..1
    float range(float lo, float hi);
};

#endif
