// textures.cpp -- procedural surface textures, 128 x 128, all tiling.
//
// Every pattern is built from wrapping noise or laid out on a grid that
// divides 128, so the right edge continues into the left and the bottom
// into the top.  Seeds are fixed: the same program makes the same files.
#include "assets/textures.h"

#include <cmath>
#include <cstring>

#include "assets/noise.h"

namespace {

const float PI = 3.14159265f;

COLOUR hex(unsigned v)
{
    return rgb((float)((v >> 16) & 255), (float)((v >> 8) & 255), (float)(v & 255));
}

// Through b at t = 0.5.
COLOUR ramp3(COLOUR a, COLOUR b, COLOUR c, float t)
{
    t = clamp01(t);
    return t < 0.5f ? mix(a, b, t * 2) : mix(b, c, (t - 0.5f) * 2);
}

COLOUR brighten(COLOUR a, float k)
{
    return {a.r + k, a.g + k, a.b + k};
}

// Per-texel jitter, -1..1.
float grain(int x, int y, int seed)
{
    return hash_unit(x & 127, y & 127, seed) * 2 - 1;
}

// Shortest offset from b to a around the 128-texel loop.
float wrap_delta(float a, float b)
{
    float d = std::fmod(a - b, 128.0f);
    if (d > 64)
        d -= 128;
    if (d < -64)
        d += 128;
    return d;
}

void blend(IMAGE &img, int x, int y, COLOUR c, float alpha)
{
    COLOUR &p = img.at(x, y);
    p = mix(p, c, clamp01(alpha));
}

// Distance from (x, y) to the nearest grid line of a brick-like layout, and
// the brick's row and column.  Odd rows shift by half a brick.
struct BRICK_HIT {
    float edge;
    int row, col;
    float u, v;  // position inside the brick, 0..1
};

BRICK_HIT find_brick(float x, float y, float bw, float bh, float ox, float oy, int cols)
{
    float yy = y + oy;
    int row = (int)std::floor(yy / bh);
    float xx = x + ox + ((row & 1) ? bw * 0.5f : 0);
    int col = (int)std::floor(xx / bw);
    float fx = xx - (float)col * bw, fy = yy - (float)row * bh;
    BRICK_HIT h;
    h.edge = std::fmin(std::fmin(fx, bw - fx), std::fmin(fy, bh - fy));
    int rows = (int)std::lround(128.0f / bh);
    h.row = ((row % rows) + rows) % rows;
    h.col = ((col % cols) + cols) % cols;
    h.u = fx / bw;
    h.v = fy / bh;
    return h;
}

IMAGE make_rock()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    const COLOUR warm[3] = {hex(0x37312b), hex(0x7b7164), hex(0xc0b4a2)};
    const COLOUR cool[3] = {hex(0x30343a), hex(0x6d737b), hex(0xb0b6bc)};
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            float h = fbm(fx, fy, 4, 5, 11);
            float ridge = 1 - std::fabs(fbm(fx, fy, 3, 4, 12));
            float crack = smoothstep(0.94f, 0.99f, ridge) * smoothstep(-0.35f, 0.25f, fbm(fx, fy, 2, 3, 16));
            float tint = smoothstep(-0.5f, 0.5f, fbm(fx, fy, 2, 3, 13));
            float t = 0.5f + 0.32f * h + 0.05f * grain(x, y, 14);
            COLOUR c = mix(ramp3(warm[0], warm[1], warm[2], t), ramp3(cool[0], cool[1], cool[2], t), tint * 0.7f);
            c = scale(c, 1 - 0.45f * crack);
            img.at(x, y) = c;
            height.at(x, y) = 6 * h - 3 * crack + 0.4f * grain(x, y, 15);
        }
    apply_light(img, light_heights(height, 0.09f));
    return img;
}

IMAGE make_granite()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    const COLOUR minerals[] = {
        hex(0xb88e80), hex(0xc8a294), hex(0xa68276),   // feldspar
        hex(0xa8a8a6), hex(0xd4d2ce), hex(0x929290),   // quartz
        hex(0x3e383a), hex(0x5a5254),                  // mica
    };
    const float share[] = {0.2f, 0.18f, 0.14f, 0.14f, 0.12f, 0.1f, 0.06f, 0.06f};
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            CELL_HIT big = cellular(fx, fy, 26, 21, 0.9f);
            CELL_HIT small = cellular(fx, fy, 64, 22, 0.9f);
            float pick = hash_unit(big.id, 0, 23);
            int m = 0;
            for (float acc = share[0]; m < 7 && pick > acc; acc += share[m])
                m++;
            COLOUR c = minerals[m];
            // Fine dark specks scattered over everything.
            if (hash_unit(small.id, 1, 24) < 0.08f && small.f1 < 1.1f)
                c = mix(c, hex(0x2c2626), 0.7f);
            float cloud = fbm(fx, fy, 3, 4, 25);
            c = scale(c, 0.92f + 0.1f * cloud + 0.04f * grain(x, y, 26));
            img.at(x, y) = c;
            height.at(x, y) = 2 * cloud + 0.15f * grain(x, y, 27);
        }
    apply_light(img, light_heights(height, 0.06f));
    return img;
}

IMAGE make_slate()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    const int beds = 7;
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            // Beds of uneven thickness, gently bent; a whole number of them
            // fits the height, so they carry on across the edge.
            float phase = fy / 128.0f * beds + 0.5f + 0.3f * stretched_fbm(fx, fy, 2, 1, 3, 171) + 0.08f * fbm(fx, fy, 8, 2, 172);
            float bed = std::floor(phase), f = phase - bed;
            int id = (((int)bed % beds) + beds) % beds;
            // Joints break each bed into blocks.
            float jx = fx + 2.5f * fbm(fx, fy, 8, 2, 178);
            int cuts = 2 + (int)(hash_unit(id, 1, 179) * 2);
            float best = 1e9f;
            int block = 0;
            for (int k = 0; k < cuts; k++) {
                float at = 128.0f * ((float)k + hash_unit(id, k, 180) * 0.6f) / (float)cuts;
                best = std::fmin(best, std::fabs(wrap_delta(jx, at)));
                if (wrap_delta(jx, at) >= 0)
                    block = k;
            }
            float tone = hash_unit(id * 8 + block, 0, 173);
            float lamina = stretched_fbm(fx, fy, 2, 48, 2, 174);
            float rough = fbm(fx, fy, 8, 4, 175);
            COLOUR c = mix(hex(0x464a52), hex(0x72767e), tone);
            c = mix(c, hex(0x7a6c5c), 0.45f * smoothstep(0.25f, 0.8f, fbm(fx, fy, 3, 4, 176)));
            c = scale(c, 0.92f + 0.07f * lamina + 0.12f * rough + 0.05f * grain(x, y, 177));
            float step = smoothstep(0.88f, 1.0f, f);
            float joint = 1 - smoothstep(0.3f, 1.3f, best);
            c = scale(c, 1 - 0.5f * std::max(step, joint));
            img.at(x, y) = c;
            height.at(x, y) = 2.5f * (1 - f) + 1.5f * tone + 1.2f * rough - 2.0f * joint;
        }
    apply_light(img, light_heights(height, 0.11f));
    return img;
}

IMAGE make_lichen()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            float h = fbm(fx, fy, 4, 5, 181);
            CELL_HIT lump = cellular(fx, fy, 5, 182, 0.9f);
            float bulge = std::sqrt(clamp01((lump.f2 - lump.f1) / 18.0f));
            float rough = fbm(fx, fy, 16, 3, 183);
            COLOUR c = ramp3(hex(0x4a443c), hex(0x8a8276), hex(0xb8b0a2), 0.5f + 0.3f * h + 0.15f * rough);
            c = mix(c, hex(0x8c7860), 0.35f * smoothstep(0.1f, 0.7f, fbm(fx, fy, 2, 3, 193)));
            float hh = 2.5f * h + 3.0f * bulge + 0.8f * rough;
            // Crusts of lichen: patches of many sizes with ragged rims.
            CELL_HIT spot = cellular(fx, fy, 7, 185, 0.9f);
            float radius = 3.5f + 9.0f * std::pow(hash_unit(spot.id, 0, 186), 1.5f);
            float ragged = spot.f1 - 3.0f * fbm(fx, fy, 16, 3, 187);
            float cover = smoothstep(radius, radius - 1.5f, ragged) * (hash_unit(spot.id, 1, 188) < 0.6f ? 1.0f : 0.0f);
            COLOUR crust = hash_unit(spot.id, 2, 189) < 0.6f ? hex(0x9cb45a) : hex(0xbcc8a8);
            crust = scale(crust, 0.85f + 0.2f * fbm(fx, fy, 32, 2, 190) + 0.08f * grain(x, y, 191));
            c = mix(c, crust, cover * 0.9f);
            img.at(x, y) = c;
            height.at(x, y) = hh + 0.6f * cover;
        }
    apply_light(img, light_heights(height, 0.1f));
    return img;
}

IMAGE make_cobble()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    const COLOUR stones[] = {hex(0x8a8276), hex(0x7a7c80), hex(0x968a78), hex(0x6e6a66), hex(0x8c8c8a), hex(0x807060)};
    const COLOUR gap = hex(0x3a3028);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            CELL_HIT c = cellular(fx + 3 * fbm(fx, fy, 4, 2, 31), fy + 3 * fbm(fx, fy, 4, 2, 32), 6, 33, 0.75f);
            float edge = c.f2 - c.f1;
            float stone = smoothstep(1.0f, 4.5f, edge);
            float dome = std::sqrt(clamp01(edge / 14.0f));
            float rough = fbm(fx, fy, 8, 4, 34);
            COLOUR s = stones[hash_ints(c.id, 0, 35) % 6];
            s = scale(s, 0.88f + 0.24f * hash_unit(c.id, 1, 36) + 0.12f * rough + 0.05f * grain(x, y, 37));
            COLOUR g = scale(gap, 0.8f + 0.3f * fbm(fx, fy, 16, 2, 38));
            img.at(x, y) = mix(g, s, stone);
            height.at(x, y) = 7 * dome * stone + 0.8f * rough;
        }
    apply_light(img, light_heights(height, 0.12f));
    return img;
}

IMAGE make_earth()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    const COLOUR soil[3] = {hex(0x3a2616), hex(0x6e4a2c), hex(0x9a7048)};
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            float h = fbm(fx, fy, 4, 5, 41);
            float clump = fbm(fx, fy, 16, 3, 42);
            COLOUR c = ramp3(soil[0], soil[1], soil[2], 0.5f + 0.35f * h + 0.15f * clump + 0.06f * grain(x, y, 43));
            float hh = 2 * h + 1.2f * clump;
            CELL_HIT p = cellular(fx, fy, 16, 44, 0.8f);
            float size = 1.2f + 2.2f * hash_unit(p.id, 0, 45);
            if (hash_unit(p.id, 1, 46) < 0.35f && p.f1 < size) {
                float k = 1 - p.f1 / size;
                COLOUR pebble = hash_unit(p.id, 2, 47) < 0.5f ? hex(0x8c8070) : hex(0x7a6a58);
                c = mix(c, pebble, smoothstep(0.0f, 0.35f, k));
                hh += 2.5f * std::sqrt(k);
            }
            img.at(x, y) = c;
            height.at(x, y) = hh;
        }
    apply_light(img, light_heights(height, 0.1f));
    return img;
}

IMAGE make_grass()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float n = fbm((float)x, (float)y, 4, 4, 51);
            img.at(x, y) = scale(mix(hex(0x1e3410), hex(0x2e2a14), smoothstep(-0.3f, 0.6f, n)), 0.9f + 0.1f * grain(x, y, 52));
        }
    RANDOM rnd(53);
    for (int i = 0; i < 5200; i++) {
        float x0 = rnd.range(0, 128), y0 = rnd.range(0, 128);
        float len = rnd.range(4, 11);
        float lean = rnd.range(-0.45f, 0.45f) + 0.25f * fbm(x0, y0, 2, 2, 54);
        float dry = smoothstep(0.2f, 0.8f, fbm(x0, y0, 2, 3, 55));
        float tone = rnd.unit();
        COLOUR base = mix(mix(hex(0x2c5a18), hex(0x4e8a26), tone), hex(0x6a8a2a), dry * 0.5f);
        COLOUR tip = mix(mix(hex(0x6aa832), hex(0xa6d058), tone), hex(0xb4c85a), dry * 0.5f);
        int steps = (int)(len * 1.5f);
        for (int s = 0; s <= steps; s++) {
            float t = (float)s / (float)steps;
            float px = x0 + lean * len * t * t, py = y0 - len * t;
            COLOUR c = mix(base, tip, t);
            blend(img, (int)std::floor(px), (int)std::floor(py), c, 0.9f);
        }
    }
    return img;
}

IMAGE make_brick()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    const COLOUR mortar = hex(0x9a9080);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            BRICK_HIT b = find_brick(fx, fy, 32, 16, 5, 8, 4);
            int id = b.row * 8 + b.col;
            float chip = 0.9f * fbm(fx, fy, 16, 2, 61);
            float inside = smoothstep(0.8f, 2.0f, b.edge + chip);
            float burnt = hash_unit(id, 0, 62);
            COLOUR body = mix(hex(0x9a3c26), hex(0xb4583a), hash_unit(id, 1, 63));
            if (burnt < 0.2f)
                body = hex(0x6a2e22);
            else if (burnt > 0.88f)
                body = hex(0xb86e4e);
            float n = fbm(fx, fy, 8, 4, 64);
            body = scale(body, 0.9f + 0.14f * n + 0.07f * grain(x, y, 65));
            body = scale(body, 0.85f + 0.15f * smoothstep(1.5f, 5.0f, b.edge));
            COLOUR m = scale(mortar, 0.86f + 0.16f * fbm(fx, fy, 32, 2, 66) + 0.06f * grain(x, y, 67));
            img.at(x, y) = mix(m, body, inside);
            height.at(x, y) = 2.2f * inside + 0.35f * n;
        }
    apply_light(img, light_heights(height, 0.2f));
    return img;
}

// Wood grain running down the texture; rings bent around knots.
float grain_phase(float x, float y, const float (*knots)[2], int n_knots)
{
    // Half a ring in, so that no ring boundary lines up with the texture's edge.
    float phase = x / 128.0f * 9 + 0.5f + 0.5f * stretched_fbm(x, y, 2, 1, 3, 71) + 0.12f * stretched_noise(x, y, 8, 2, 72);
    for (int k = 0; k < n_knots; k++) {
        float dx = wrap_delta(x, knots[k][0]), dy = wrap_delta(y, knots[k][1]) * 0.45f;
        float d2 = dx * dx + dy * dy;
        phase += 1.6f * std::exp(-d2 / 60.0f) * (dx < 0 ? -1.0f : 1.0f);
    }
    return phase;
}

IMAGE make_wood()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    const float knots[1][2] = {{44, 40}};
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            float phase = grain_phase(fx, fy, knots, 1);
            float ring = phase - std::floor(phase);
            float late = std::pow(ring, 4.0f);
            float fibre = stretched_fbm(fx, fy, 32, 2, 3, 73);
            COLOUR c = mix(hex(0xb07a44), hex(0x6e4224), late * 0.85f);
            c = scale(c, 0.94f + 0.08f * fibre + 0.03f * grain(x, y, 74));
            for (auto &k : knots) {
                float dx = wrap_delta(fx, k[0]), dy = wrap_delta(fy, k[1]);
                float d = std::sqrt(dx * dx + dy * dy * 0.3f);
                c = mix(c, hex(0x5a3418), 0.8f * smoothstep(3.5f, 1.0f, d));
            }
            img.at(x, y) = c;
            height.at(x, y) = -late * 0.8f + 0.5f * fibre;
        }
    apply_light(img, light_heights(height, 0.12f));
    return img;
}

IMAGE make_planks()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    const float joint[4] = {20, 84, 52, 116};
    const COLOUR tone[4] = {hex(0xa8743e), hex(0x98663a), hex(0xb27e48), hex(0x9e6c3c)};
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            int row = ((y + 6) / 32) & 3;
            float fy_in = (float)((y + 6) % 32);
            float dx_joint = std::fabs(wrap_delta(fx, joint[row]));
            int piece = row * 2 + (wrap_delta(fx, joint[row]) > 0 ? 1 : 0);
            float phase = fy / 128.0f * 22 + 0.7f * stretched_fbm(fx, fy, 1, 4, 2, 81 + piece) + 0.1f * stretched_noise(fx, fy, 4, 16, 82);
            float ring = phase - std::floor(phase);
            float late = std::pow(ring, 3.0f);
            float fibre = stretched_fbm(fx, fy, 2, 32, 3, 83);
            COLOUR c = scale(tone[row], 0.9f + 0.2f * hash_unit(piece, 0, 84));
            c = mix(c, scale(c, 0.62f), late);
            c = scale(c, 0.95f + 0.07f * fibre + 0.03f * grain(x, y, 85));
            float seam = std::fmin(fy_in + 0.5f, 32.5f - fy_in);
            float open = smoothstep(0.6f, 1.8f, std::fmin(seam, dx_joint + 0.5f));
            c = mix(hex(0x221408), c, open);
            c = scale(c, 0.82f + 0.18f * smoothstep(1.0f, 4.0f, std::fmin(seam, dx_joint)));
            // Two nails beside each joint.
            for (int side = -1; side <= 1; side += 2) {
                float nx = wrap_delta(fx, joint[row] + 4.5f * (float)side);
                for (float ny : {8.0f, 23.0f}) {
                    float d = std::sqrt(nx * nx + (fy_in - ny) * (fy_in - ny));
                    if (d < 1.8f)
                        c = mix(hex(0x505458), hex(0x9ca0a4), clamp01(0.8f - (nx + fy_in - ny) * 0.3f));
                }
            }
            img.at(x, y) = c;
            height.at(x, y) = 2 * open + 0.3f * fibre - 0.4f * late;
        }
    apply_light(img, light_heights(height, 0.15f));
    return img;
}

IMAGE make_metal()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            // Plates of 64 x 64, shifted so no seam lies on the texture's edge.
            float px = (float)((x + 12) % 64), py = (float)((y + 12) % 64);
            int plate = ((x + 12) / 64 % 2) + 2 * ((y + 12) / 64 % 2);
            float edge = std::fmin(std::fmin(px, 63 - px), std::fmin(py, 63 - py));
            float brushed = stretched_fbm(fx, fy, 2, 48, 3, 91 + plate);
            float stain = fbm(fx, fy, 3, 4, 92);
            COLOUR c = mix(hex(0x4e6a8e), hex(0x6a86a8), 0.5f + 0.5f * brushed);
            c = mix(c, hex(0x465060), smoothstep(0.2f, 0.9f, stain) * 0.5f);
            c = scale(c, 0.96f + 0.08f * hash_unit(plate, 0, 93) + 0.03f * grain(x, y, 94));
            float h = 1.5f * smoothstep(0.0f, 3.0f, edge);
            if (edge < 0.5f)
                c = hex(0x1c2430);
            // Rivets every 16 texels, 5 in from the plate's border.
            for (float rx = 5; rx < 64; rx += 18)
                for (float ry = 5; ry < 64; ry += 18) {
                    if (rx > 5 && rx < 58 && ry > 5 && ry < 58)
                        continue;
                    float dx = px - rx, dy = py - ry;
                    float d = std::sqrt(dx * dx + dy * dy);
                    if (d < 2.8f) {
                        h += 1.8f * std::sqrt(1 - d * d / 7.84f) + 0.3f;
                        c = mix(hex(0x6c7c90), hex(0xdce6f4), clamp01(0.45f - (dx + dy) * 0.22f));
                    } else if (d < 3.8f) {
                        c = scale(c, 0.7f + 0.3f * (d - 2.8f));
                    }
                }
            // A few scratches.
            float scratch = std::fabs(std::sin(fx * 0.9f + fy * 0.35f + 6 * stretched_noise(fx, fy, 1, 2, 95)));
            if (scratch < 0.04f && fbm(fx, fy, 4, 2, 96) > 0.35f)
                c = brighten(c, 38);
            img.at(x, y) = c;
            height.at(x, y) = h;
        }
    apply_light(img, light_heights(height, 0.18f));
    return img;
}

IMAGE make_sand()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            float warp = 0.55f * fbm(fx, fy, 2, 3, 101);
            float wave = fy / 128.0f * 9 + fx / 128.0f * 1 + warp;
            float f = wave - std::floor(wave);
            // Ripples: a long windward slope and a short lee face.
            float ripple = f < 0.75f ? f / 0.75f : (1 - f) / 0.25f;
            float patches = fbm(fx, fy, 4, 3, 102);
            COLOUR c = mix(hex(0xc8a868), hex(0xdcc28a), 0.5f + 0.5f * patches);
            c = scale(c, 0.93f + 0.09f * grain(x, y, 103));
            if (hash_unit(x, y, 104) < 0.04f)
                c = scale(c, 0.75f);
            img.at(x, y) = c;
            height.at(x, y) = 2.2f * ripple + 0.5f * patches;
        }
    apply_light(img, light_heights(height, 0.1f));
    return img;
}

IMAGE make_marble()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            float turb = fbm(fx, fy, 2, 3, 111, 0.45f);
            float v1 = std::sin(2 * PI * (fx / 128.0f + fy / 128.0f) + 3.2f * turb);
            float v2 = std::sin(2 * PI * (fx / 128.0f * 2 - fy / 128.0f) + 2.6f * fbm(fx, fy, 2, 3, 112, 0.45f));
            float vein = std::pow(1 - std::fabs(v1), 9.0f);
            float halo = std::pow(1 - std::fabs(v1), 2.5f);
            float thin = std::pow(1 - std::fabs(v2), 28.0f) * smoothstep(-0.2f, 0.4f, fbm(fx, fy, 2, 2, 115));
            float cloud = fbm(fx, fy, 3, 4, 113);
            COLOUR c = mix(hex(0xe8e6e0), hex(0xd0d2d4), 0.5f + 0.5f * cloud);
            c = mix(c, hex(0xb8bcc4), halo * 0.35f);
            c = mix(c, hex(0x727a88), vein * 0.8f);
            c = mix(c, hex(0x8a909c), thin * 0.7f);
            c = scale(c, 0.99f + 0.015f * grain(x, y, 114));
            img.at(x, y) = c;
        }
    return img;
}

IMAGE make_mossy()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            BRICK_HIT b = find_brick(fx, fy, 64, 32, 10, 7, 2);
            int id = b.row * 2 + b.col;
            float inside = smoothstep(0.8f, 2.5f, b.edge + 1.2f * fbm(fx, fy, 16, 2, 121));
            float rough = fbm(fx, fy, 8, 4, 122);
            COLOUR stone = scale(mix(hex(0x78766c), hex(0x6a6e70), hash_unit(id, 0, 123)), 0.88f + 0.16f * rough + 0.05f * grain(x, y, 124));
            COLOUR c = mix(hex(0x2a2a22), stone, inside);
            // Moss creeps out of the joints and over the tops of the stones.
            float m = fbm(fx, fy, 4, 5, 125) + 0.9f * (1 - smoothstep(0.0f, 9.0f, b.edge)) * (b.v < 0.5f ? 1.0f : 0.5f) - 0.25f;
            float moss = smoothstep(0.15f, 0.4f, m);
            float tuft = fbm(fx, fy, 32, 2, 126);
            COLOUR green = mix(hex(0x3e5a1e), hex(0x7a9a34), 0.5f + 0.5f * tuft);
            green = scale(green, 0.9f + 0.12f * grain(x, y, 127));
            c = mix(c, green, moss);
            img.at(x, y) = c;
            height.at(x, y) = 2 * inside + 0.5f * rough + moss * (1.0f + 0.6f * tuft);
        }
    apply_light(img, light_heights(height, 0.15f));
    return img;
}

IMAGE make_ice()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            float depth = fbm(fx, fy, 3, 5, 131);
            COLOUR c = mix(hex(0x5a8cb4), hex(0xb6daee), 0.5f + 0.45f * depth);
            CELL_HIT big = cellular(fx, fy, 5, 132, 0.9f);
            CELL_HIT fine = cellular(fx + 2 * fbm(fx, fy, 8, 2, 133), fy, 11, 134, 0.9f);
            float crack = 1 - smoothstep(0.0f, 1.2f, big.f2 - big.f1);
            float hair = (1 - smoothstep(0.0f, 0.7f, fine.f2 - fine.f1)) * smoothstep(0.0f, 0.5f, fbm(fx, fy, 4, 2, 135));
            c = mix(c, hex(0xeef8ff), crack * 0.85f);
            c = mix(c, hex(0xd8ecf8), hair * 0.5f);
            // Shade the far side of each crack, as if the plates were tilted.
            c = scale(c, 0.92f + 0.1f * hash_unit(big.id, 0, 136) + 0.02f * grain(x, y, 137));
            if (hash_unit(x, y, 138) < 0.006f)
                c = hex(0xf4fcff);
            img.at(x, y) = c;
            height.at(x, y) = depth - 1.5f * crack;
        }
    apply_light(img, light_heights(height, 0.08f));
    return img;
}

IMAGE make_lava()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            float wx = fx + 4 * fbm(fx, fy, 4, 2, 141), wy = fy + 4 * fbm(fx, fy, 4, 2, 142);
            CELL_HIT c = cellular(wx, wy, 6, 143, 0.85f);
            float width = 3.0f + 2.5f * fbm(fx, fy, 4, 2, 144);
            float gap = c.f2 - c.f1;
            float crust = smoothstep(width * 0.5f, width, gap);
            float rough = fbm(fx, fy, 8, 4, 145);
            COLOUR rock = scale(mix(hex(0x2c2220), hex(0x3e3430), 0.5f + 0.5f * rough), 0.9f + 0.1f * grain(x, y, 146));
            // Crust near the glow is still warm.
            rock = mix(rock, hex(0x7a2010), (1 - smoothstep(width, width * 2.2f, gap)) * 0.55f);
            float heat = clamp01(1 - gap / width + 0.2f * fbm(fx, fy, 16, 2, 147));
            COLOUR glow = heat < 0.5f ? mix(hex(0xb01800), hex(0xff7800), heat * 2) : mix(hex(0xff7800), hex(0xfff090), (heat - 0.5f) * 2);
            img.at(x, y) = mix(glow, rock, crust);
            height.at(x, y) = 2.5f * crust + 0.8f * rough * crust;
        }
    FIELD light = light_heights(height, 0.15f);
    // Light only the crust: the glowing rivers are their own light.
    for (size_t i = 0; i < img.px.size(); i++) {
        float k = clamp01((height.v[i] - 0.5f) / 1.5f);
        img.px[i] = scale(img.px[i], 1 + (light.v[i] - 1) * k);
    }
    return img;
}

IMAGE make_tiles()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            // 32-texel tiles with the grout half way, away from the texture's edge.
            int tx = (x + 16) / 32, ty = (y + 16) / 32;
            float px = (float)((x + 16) % 32) + 0.5f, py = (float)((y + 16) % 32) + 0.5f;
            float edge = std::fmin(std::fmin(px, 32 - px), std::fmin(py, 32 - py));
            int id = (tx & 3) + 4 * (ty & 3);
            bool light_tile = ((tx + ty) & 1) == 0;
            COLOUR body = light_tile ? hex(0xd8c8a4) : hex(0xa4482e);
            float glaze = fbm(fx, fy, 4, 4, 151);
            body = scale(body, 0.93f + 0.06f * hash_unit(id, 0, 152) + 0.07f * glaze + 0.02f * grain(x, y, 153));
            // A darker inner border line on each tile.
            float ring = std::fabs(edge - 5.0f);
            body = mix(body, light_tile ? hex(0x8a6a48) : hex(0x6a2a1a), (1 - smoothstep(0.4f, 1.2f, ring)) * 0.6f);
            float inside = smoothstep(0.8f, 1.8f, edge);
            COLOUR grout = scale(hex(0x8a8478), 0.9f + 0.1f * grain(x, y, 154));
            img.at(x, y) = mix(grout, body, inside);
            height.at(x, y) = 1.6f * smoothstep(0.8f, 3.2f, edge) + 0.15f * glaze;
        }
    apply_light(img, light_heights(height, 0.2f));
    return img;
}

IMAGE make_gravel()
{
    IMAGE img(TEX_SIZE, TEX_SIZE);
    FIELD height(TEX_SIZE, TEX_SIZE);
    const COLOUR stones[] = {hex(0x8e8a84), hex(0x6e6c6a), hex(0x9a8c7a), hex(0x7a7468),
                             hex(0x5e6268), hex(0xa89c8c), hex(0x84786c), hex(0x6a5e54)};
    for (int y = 0; y < TEX_SIZE; y++)
        for (int x = 0; x < TEX_SIZE; x++) {
            float fx = (float)x, fy = (float)y;
            CELL_HIT c = cellular(fx, fy, 20, 161, 0.9f);
            float gap = c.f2 - c.f1;
            float stone = smoothstep(0.4f, 1.6f, gap);
            COLOUR s = stones[hash_ints(c.id, 0, 162) % 8];
            s = scale(s, 0.85f + 0.3f * hash_unit(c.id, 1, 163) + 0.06f * grain(x, y, 164));
            img.at(x, y) = mix(hex(0x2a241e), s, stone);
            height.at(x, y) = 3.0f * std::sqrt(clamp01(gap / 5.0f)) * stone;
        }
    apply_light(img, light_heights(height, 0.2f));
    return img;
}

const TEXTURE_DEF defs[] = {
    {"rock", make_rock},     {"granite", make_granite}, {"lichen", make_lichen}, {"cobble", make_cobble},
    {"slate", make_slate},   {"earth", make_earth},
    {"grass", make_grass},   {"brick", make_brick},     {"wood", make_wood},     {"planks", make_planks},
    {"metal", make_metal},   {"sand", make_sand},       {"marble", make_marble}, {"mossy", make_mossy},
    {"ice", make_ice},       {"lava", make_lava},       {"tiles", make_tiles},   {"gravel", make_gravel},
};

} // namespace

const TEXTURE_DEF *find_texture(const char *name)
{
    for (const TEXTURE_DEF &d : defs)
        if (std::strcmp(d.name, name) == 0)
            return &d;
    return nullptr;
}
