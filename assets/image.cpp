// image.cpp -- working images, lighting and colour reduction.
#include "assets/image.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

COLOUR mix(COLOUR a, COLOUR b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

COLOUR scale(COLOUR a, float k)
{
    return {a.r * k, a.g * k, a.b * k};
}

float clamp01(float x)
{
    return x < 0 ? 0 : x > 1 ? 1 : x;
}

float smoothstep(float e0, float e1, float x)
{
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

FIELD light_heights(const FIELD &height, float strength)
{
    FIELD light(height.w, height.h);
    for (int y = 0; y < height.h; y++)
        for (int x = 0; x < height.w; x++) {
            // Central differences; the light comes from up and to the left.
            float dx = height.at(x + 1, y) - height.at(x - 1, y);
            float dy = height.at(x, y + 1) - height.at(x, y - 1);
            float s = 1.0f - strength * (dx + dy);
            light.at(x, y) = std::max(0.15f, s);
        }
    return light;
}

void apply_light(IMAGE &img, const FIELD &light)
{
    for (size_t i = 0; i < img.px.size(); i++)
        img.px[i] = scale(img.px[i], light.v[i]);
}

static int to_6bit(float c)
{
    int v = (int)std::lround(c * 63.0f / 255.0f);
    return v < 0 ? 0 : v > 63 ? 63 : v;
}

static int to_8bit(float c)
{
    int v = (int)std::lround(c);
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

int nearest_index(const RGB *pal, COLOUR c)
{
    int r = to_6bit(c.r), g = to_6bit(c.g), b = to_6bit(c.b);
    int best = 1;
    long best_d = -1;
    for (int i = 1; i < PAL_SIZE; i++) {
        long dr = pal[i].r - r, dg = pal[i].g - g, db = pal[i].b - b;
        // Weighted towards green, as the eye is.
        long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (best_d < 0 || d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

BITMAP *make_truecolour_bitmap(const IMAGE &img)
{
    BITMAP *b = create_bitmap_ex(24, img.w, img.h);
    if (!b)
        return nullptr;
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++) {
            const COLOUR &c = img.at(x, y);
            putpixel(b, x, y, makecol24(to_8bit(c.r), to_8bit(c.g), to_8bit(c.b)));
        }
    return b;
}

namespace {

// A colour of the image in 6-bit components with its pixel count.
struct SWATCH {
    int c[3];
    long n;
};

struct BOX {
    std::vector<SWATCH> s;
    long weight() const
    {
        long w = 0;
        for (auto &x : s)
            w += x.n;
        return w;
    }
    int widest(int *range) const
    {
        int lo[3] = {63, 63, 63}, hi[3] = {0, 0, 0};
        for (auto &x : s)
            for (int k = 0; k < 3; k++) {
                lo[k] = std::min(lo[k], x.c[k]);
                hi[k] = std::max(hi[k], x.c[k]);
            }
        int best = 0;
        for (int k = 1; k < 3; k++)
            if (hi[k] - lo[k] > hi[best] - lo[best])
                best = k;
        *range = hi[best] - lo[best];
        return best;
    }
};

float swatch_distance(const SWATCH &s, const float *c)
{
    float d = 0;
    for (int k = 0; k < 3; k++)
        d += ((float)s.c[k] - c[k]) * ((float)s.c[k] - c[k]);
    return d;
}

} // namespace

BITMAP *make_own_palette_bitmap(const IMAGE &img, PALETTE pal)
{
    std::map<int, long> counts;
    std::vector<int> keys(img.px.size());
    for (size_t i = 0; i < img.px.size(); i++) {
        const COLOUR &c = img.px[i];
        keys[i] = (to_6bit(c.r) << 12) | (to_6bit(c.g) << 6) | to_6bit(c.b);
        counts[keys[i]]++;
    }
    std::vector<SWATCH> all;
    for (auto &kv : counts)
        all.push_back({{kv.first >> 12, (kv.first >> 6) & 63, kv.first & 63}, kv.second});

    // Median cut: split the heaviest wide box at its weighted median.
    std::vector<BOX> boxes(1);
    boxes[0].s = all;
    while (boxes.size() < PAL_SIZE) {
        int pick = -1;
        double pick_score = 0;
        for (size_t i = 0; i < boxes.size(); i++) {
            int range;
            boxes[i].widest(&range);
            if (boxes[i].s.size() < 2 || range == 0)
                continue;
            double score = (double)range * std::sqrt((double)boxes[i].weight());
            if (score > pick_score) {
                pick_score = score;
                pick = (int)i;
            }
        }
        if (pick < 0)
            break;
        BOX &b = boxes[(size_t)pick];
        int range;
        int k = b.widest(&range);
        std::stable_sort(b.s.begin(), b.s.end(), [k](const SWATCH &p, const SWATCH &q) { return p.c[k] < q.c[k]; });
        long half = b.weight() / 2, run = 0;
        size_t cut = 1;
        for (size_t i = 0; i + 1 < b.s.size(); i++) {
            run += b.s[i].n;
            cut = i + 1;
            if (run >= half)
                break;
        }
        BOX rest;
        rest.s.assign(b.s.begin() + (long)cut, b.s.end());
        b.s.resize(cut);
        boxes.push_back(rest);
    }

    // Refine the centres with k-means over the swatches.
    std::vector<std::array<float, 3>> centre(boxes.size());
    for (size_t i = 0; i < boxes.size(); i++) {
        double sum[3] = {0, 0, 0};
        long w = boxes[i].weight();
        for (auto &s : boxes[i].s)
            for (int k = 0; k < 3; k++)
                sum[k] += (double)s.c[k] * s.n;
        for (int k = 0; k < 3; k++)
            centre[i][(size_t)k] = (float)(sum[k] / w);
    }
    std::vector<size_t> owner(all.size());
    for (int pass = 0; pass < 6; pass++) {
        std::vector<std::array<double, 4>> acc(centre.size(), {0, 0, 0, 0});
        for (size_t j = 0; j < all.size(); j++) {
            float best_d = -1;
            for (size_t i = 0; i < centre.size(); i++) {
                float d = swatch_distance(all[j], centre[i].data());
                if (best_d < 0 || d < best_d) {
                    best_d = d;
                    owner[j] = i;
                }
            }
            for (int k = 0; k < 3; k++)
                acc[owner[j]][(size_t)k] += (double)all[j].c[k] * all[j].n;
            acc[owner[j]][3] += (double)all[j].n;
        }
        for (size_t i = 0; i < centre.size(); i++)
            if (acc[i][3] > 0)
                for (int k = 0; k < 3; k++)
                    centre[i][(size_t)k] = (float)(acc[i][(size_t)k] / acc[i][3]);
    }

    for (int i = 0; i < PAL_SIZE; i++)
        pal[i] = {0, 0, 0, 0};
    for (size_t i = 0; i < centre.size(); i++)
        pal[i] = {(unsigned char)std::lround(centre[i][0]), (unsigned char)std::lround(centre[i][1]),
                  (unsigned char)std::lround(centre[i][2]), 0};

    std::map<int, int> index_of;
    for (size_t j = 0; j < all.size(); j++)
        index_of[(all[j].c[0] << 12) | (all[j].c[1] << 6) | all[j].c[2]] = (int)owner[j];

    BITMAP *b = create_bitmap_ex(8, img.w, img.h);
    if (!b)
        return nullptr;
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++)
            putpixel(b, x, y, index_of[keys[(size_t)y * img.w + x]]);
    return b;
}
