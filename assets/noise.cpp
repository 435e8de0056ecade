// noise.cpp -- tiling gradient noise, fractal sums and cell noise.
#include "assets/noise.h"

#include <cmath>

uint32_t hash_ints(int a, int b, int c)
{
    uint32_t h = (uint32_t)a * 0x8da6b343u ^ (uint32_t)b * 0xd8163841u ^ (uint32_t)c * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

float hash_unit(int a, int b, int c)
{
    return (float)(hash_ints(a, b, c) >> 8) * (1.0f / 16777216.0f);
}

static int wrap(int i, int n)
{
    return ((i % n) + n) % n;
}

static float fade(float t)
{
    return t * t * t * (t * (t * 6 - 15) + 10);
}

static float corner(int ix, int iy, int cells_x, int cells_y, int seed, float fx, float fy)
{
    float a = hash_unit(wrap(ix, cells_x), wrap(iy, cells_y), seed * 31 + cells_x * 1031 + cells_y) * 6.2831853f;
    return std::cos(a) * fx + std::sin(a) * fy;
}

float stretched_noise(float x, float y, int cells_x, int cells_y, int seed)
{
    float cx = x * (float)cells_x / 128.0f, cy = y * (float)cells_y / 128.0f;
    float flx = std::floor(cx), fly = std::floor(cy);
    int ix = (int)flx, iy = (int)fly;
    float fx = cx - flx, fy = cy - fly;
    float n00 = corner(ix, iy, cells_x, cells_y, seed, fx, fy);
    float n10 = corner(ix + 1, iy, cells_x, cells_y, seed, fx - 1, fy);
    float n01 = corner(ix, iy + 1, cells_x, cells_y, seed, fx, fy - 1);
    float n11 = corner(ix + 1, iy + 1, cells_x, cells_y, seed, fx - 1, fy - 1);
    float u = fade(fx), v = fade(fy);
    float a = n00 + (n10 - n00) * u, b = n01 + (n11 - n01) * u;
    return (a + (b - a) * v) * 1.414f;
}

float gradient_noise(float x, float y, int cells, int seed)
{
    return stretched_noise(x, y, cells, cells, seed);
}

float stretched_fbm(float x, float y, int cells_x, int cells_y, int octaves, int seed, float gain)
{
    float sum = 0, weight = 0, amp = 1;
    for (int o = 0; o < octaves; o++) {
        sum += amp * stretched_noise(x, y, cells_x << o, cells_y << o, seed + o * 101);
        weight += amp;
        amp *= gain;
    }
    return sum / weight * 1.6f;
}

float fbm(float x, float y, int cells, int octaves, int seed, float gain)
{
    return stretched_fbm(x, y, cells, cells, octaves, seed, gain);
}

CELL_HIT cellular(float x, float y, int cells, int seed, float jitter)
{
    float size = 128.0f / (float)cells;
    int ix = (int)std::floor(x / size), iy = (int)std::floor(y / size);
    CELL_HIT hit = {1e9f, 1e9f, 0, 0, 0};
    for (int j = -1; j <= 1; j++)
        for (int i = -1; i <= 1; i++) {
            int cx = ix + i, cy = iy + j;
            int wx = wrap(cx, cells), wy = wrap(cy, cells);
            float px = ((float)cx + 0.5f + (hash_unit(wx, wy, seed) - 0.5f) * jitter) * size;
            float py = ((float)cy + 0.5f + (hash_unit(wx, wy, seed + 7919) - 0.5f) * jitter) * size;
            float dx = x - px, dy = y - py;
            float d = std::sqrt(dx * dx + dy * dy);
            if (d < hit.f1) {
                hit.f2 = hit.f1;
                hit.f1 = d;
                hit.id = wy * cells + wx;
                hit.dx = dx;
                hit.dy = dy;
            } else if (d < hit.f2) {
                hit.f2 = d;
            }
        }
    return hit;
}

uint32_t RANDOM::next()
{
    // xorshift32
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

float RANDOM::unit()
{
    return (float)(next() >> 8) * (1.0f / 16777216.0f);
}

float RANDOM::range(float lo, float hi)
{
    return lo + (hi - lo) * unit();
}
