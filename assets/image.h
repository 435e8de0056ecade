// image.h -- true-colour working images for the data generators.
#ifndef TAVO_ASSETS_IMAGE_H
#define TAVO_ASSETS_IMAGE_H

#include <allegro.h>

#include <vector>

// Components 0..255, kept as floats until the image is saved.
struct COLOUR {
    float r, g, b;
};

inline COLOUR rgb(float r, float g, float b)
{
    return {r, g, b};
}

COLOUR mix(COLOUR a, COLOUR b, float t);
COLOUR scale(COLOUR a, float k);
float clamp01(float x);
float smoothstep(float e0, float e1, float x);

// Every texture is this size; coordinates wrap, so drawing across an edge
// continues on the opposite side and the result tiles.
const int TEX_SIZE = 128;

struct IMAGE {
    int w = 0, h = 0;
    std::vector<COLOUR> px;

    IMAGE() = default;
    IMAGE(int width, int height, COLOUR fill = {0, 0, 0}) : w(width), h(height), px((size_t)width * height, fill) {}
    COLOUR &at(int x, int y) { return px[(size_t)(((y % h) + h) % h) * w + (((x % w) + w) % w)]; }
    const COLOUR &at(int x, int y) const { return px[(size_t)(((y % h) + h) % h) * w + (((x % w) + w) % w)]; }
};

// A scalar field of the same wrapping kind (heights, masks).
struct FIELD {
    int w = 0, h = 0;
    std::vector<float> v;

    FIELD() = default;
    FIELD(int width, int height, float fill = 0) : w(width), h(height), v((size_t)width * height, fill) {}
    float &at(int x, int y) { return v[(size_t)(((y % h) + h) % h) * w + (((x % w) + w) % w)]; }
    float at(int x, int y) const { return v[(size_t)(((y % h) + h) % h) * w + (((x % w) + w) % w)]; }
};

// Lights a height field from the upper left, wrapping at the edges:
// 1 on flat ground, more on slopes facing the light, less on the others.
FIELD light_heights(const FIELD &height, float strength);

// Multiplies every pixel by the matching light value.
void apply_light(IMAGE &img, const FIELD &light);

// Nearest entry of pal (index 0 is never chosen, as with Allegro's own
// colour matching).
int nearest_index(const RGB *pal, COLOUR c);

// 24-bit Allegro bitmap of the image (caller destroys it).
BITMAP *make_truecolour_bitmap(const IMAGE &img);

// An 8-bit bitmap of the image with an optimal palette of its own, at most
// 256 colours (median cut refined by a few k-means passes).
BITMAP *make_own_palette_bitmap(const IMAGE &img, PALETTE pal);

#endif
