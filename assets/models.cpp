// models.cpp -- the diamond and player model textures.
#include "assets/models.h"

#include <algorithm>
#include <cmath>

#include "assets/image.h"
#include "assets/noise.h"

namespace {

// Where a texel lies on the diamond figure: which of its four triangles
// (0 upper left, 1 upper right, 2 lower left, 3 lower right) and its
// weights towards the centre, the side corner and the tip.
struct SPOT {
    bool inside;
    int quad;
    float centre, side, tip;
};

SPOT locate(int x, int y)
{
    float px = (float)x + 0.5f - 64, py = (float)y + 0.5f - 64;
    SPOT s;
    s.side = std::fabs(px) / 64;
    s.tip = std::fabs(py) / 64;
    s.centre = 1 - s.side - s.tip;
    s.inside = s.centre >= -0.01f;
    s.quad = (px < 0 ? 0 : 1) + (py < 0 ? 0 : 2);
    return s;
}

BITMAP *to_palette(const IMAGE &img, const RGB *pal)
{
    BITMAP *b = create_bitmap_ex(8, img.w, img.h);
    if (!b)
        return nullptr;
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++)
            putpixel(b, x, y, nearest_index(pal, img.at(x, y)));
    return b;
}

COLOUR hex(unsigned v)
{
    return rgb((float)((v >> 16) & 255), (float)((v >> 8) & 255), (float)(v & 255));
}

// A small four-pointed glint.
float sparkle(float dx, float dy, float size)
{
    float core = std::exp(-(dx * dx + dy * dy) / (0.6f * size));
    float arms = std::exp(-std::fabs(dx) * 1.6f) * std::exp(-dy * dy / (size * size * 1.5f)) +
                 std::exp(-std::fabs(dy) * 1.6f) * std::exp(-dx * dx / (size * size * 1.5f));
    return clamp01(core + 0.8f * arms);
}

} // namespace

BITMAP *paint_diamond_texture(const RGB *pal)
{
    IMAGE img(128, 128, hex(0x145a8c));
    // Brightness of the three facets of each triangle: crown above, pavilion below.
    const float facet_light[4][3] = {
        {0.8f, 0.5f, 1.0f}, {0.6f, 0.92f, 0.72f},
        {0.4f, 0.18f, 0.58f}, {0.5f, 0.28f, 0.12f},
    };
    const float glints[][3] = {{52, 20, 3.2f}, {86, 38, 2.4f}, {28, 54, 1.8f}, {99, 58, 1.6f},
                               {74, 98, 2.2f}, {42, 82, 1.6f}, {60, 74, 1.4f}};
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            SPOT s = locate(x, y);
            if (!s.inside)
                continue;
            float w[3] = {s.centre, s.side, s.tip};
            int f = (int)(std::max_element(w, w + 3) - w);
            float sorted[3] = {w[0], w[1], w[2]};
            std::sort(sorted, sorted + 3);
            float ridge = 1 - smoothstep(0.0f, 0.05f, sorted[2] - sorted[1]);
            float rim = 1 - smoothstep(0.0f, 0.035f, std::max(0.0f, sorted[0]));
            bool crown = s.quad < 2;
            float light = facet_light[s.quad][f] + (crown ? 0.25f : 0.15f) * (s.tip - 0.4f);
            // A soft sheen across each facet, brighter towards the upper tip.
            light += 0.1f * (s.side - s.centre);
            COLOUR deep = crown ? hex(0x2890c8) : hex(0x145a8c);
            COLOUR bright = crown ? hex(0x96eeff) : hex(0x4cbce0);
            COLOUR c = light < 0.75f ? mix(deep, bright, clamp01(light / 0.75f))
                                     : mix(bright, hex(0xf0ffff), clamp01((light - 0.75f) / 0.25f));
            c = mix(c, hex(0xe8ffff), std::max(ridge * 0.7f, rim * 0.85f));
            for (auto &g : glints)
                c = mix(c, hex(0xffffff), sparkle((float)x - g[0], (float)y - g[1], g[2]));
            img.at(x, y) = c;
        }
    return to_palette(img, pal);
}

BITMAP *paint_player_texture(const RGB *pal)
{
    IMAGE img(128, 128, hex(0x202020));
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            SPOT s = locate(x, y);
            if (!s.inside)
                continue;
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            float from_front = std::fabs(fx - 64);
            float cloth = fbm(fx, fy, 16, 3, 211);
            COLOUR c;
            if (fy < 26) {
                // Pointed hood, stitched down the front.
                c = mix(hex(0x94281c), hex(0xae3a24), 0.5f + 0.5f * fbm(fx, fy, 8, 3, 212));
                if (from_front < 1.0f && fy < 20)
                    c = hex(0xe0a040);
            } else if (fy < 44) {
                // A round face framed by the hood, on the front ridge (and,
                // the model being symmetric, on the back one too).
                float fu = from_front / 17.0f, fv = (fy - 35.5f) / 10.5f;
                if (fu * fu + fv * fv < 1) {
                    c = hex(0xe0a880);
                    if (fy < 30 + 1.5f * std::sin(from_front * 0.9f))
                        c = hex(0x8a4a1c);  // fringe
                    float ex = from_front - 7.5f, ey = fy - 35;
                    float eye = ex * ex + ey * ey * 1.3f;
                    if (eye < 7.5f)
                        c = hex(0xf4f4f0);
                    if (eye < 3.5f)
                        c = hex(0x2a1a10);
                    if ((ex + 0.7f) * (ex + 0.7f) + (ey + 0.7f) * (ey + 0.7f) < 0.6f)
                        c = hex(0xffffff);
                    float cheek = (from_front - 11) * (from_front - 11) + (fy - 40) * (fy - 40);
                    c = mix(c, hex(0xe07060), 0.4f * (1 - smoothstep(3.0f, 8.0f, cheek)));
                    if (fy > 41 && fy < 42.5f && from_front < 3.5f)
                        c = hex(0x8a3020);
                } else {
                    c = mix(hex(0x94281c), hex(0xae3a24), 0.5f + 0.5f * fbm(fx, fy, 8, 3, 212));
                }
            } else if (fy < 58) {
                // Tunic with a golden collar.
                c = mix(hex(0x2e7a36), hex(0x4a9c44), 0.5f + 0.5f * cloth);
                float collar = std::fabs(fy - 44 - from_front * 0.8f);
                if (collar < 1.8f)
                    c = hex(0xe8c040);
                if (fy - 44 < from_front * 0.8f - 1.8f && from_front < 18 && fy < 50)
                    c = mix(hex(0x2e7a36), hex(0x4a9c44), 0.5f + 0.5f * cloth);
            } else if (fy < 70) {
                // Belt and buckle.
                c = mix(hex(0x5a3418), hex(0x74481e), 0.5f + 0.5f * cloth);
                if (fy < 59.5f || fy > 68.5f)
                    c = hex(0x3a2010);
                if (from_front < 6 && fy > 60 && fy < 68) {
                    bool frame = from_front > 3.5f || fy < 61.5f || fy > 66.5f;
                    c = frame ? hex(0xf0d050) : hex(0x5a3418);
                }
            } else if (fy < 108) {
                // Breeches with folds and a chequered hem.
                float fold = stretched_fbm(fx, fy, 16, 2, 2, 213);
                c = mix(hex(0x6a4a2a), hex(0x8e6a3e), 0.5f + 0.5f * fold);
                if (fy > 92 && fy < 100) {
                    int chk = ((int)(fx / 4) + (int)((fy - 92) / 4)) & 1;
                    c = chk ? hex(0xd04a28) : hex(0xe8c040);
                }
            } else {
                c = mix(hex(0x3a2414), hex(0x52321a), 0.5f + 0.5f * cloth);
            }
            // Round the figure: darker towards the side corners, dark outline at the rim.
            c = scale(c, 1.05f - 0.3f * s.side);
            if (s.centre < 0.03f)
                c = scale(c, 0.55f);
            img.at(x, y) = c;
        }
    return to_palette(img, pal);
}
