// chime.cpp -- the diamond-collect sound: two quick bell-like strikes.
#include "assets/models.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

const int RATE = 22050;
const float LENGTH = 0.5f;

void put_u32(std::FILE *f, unsigned v)
{
    for (int i = 0; i < 4; i++)
        std::fputc((int)((v >> (8 * i)) & 255), f);
}

void put_u16(std::FILE *f, unsigned v)
{
    std::fputc((int)(v & 255), f);
    std::fputc((int)((v >> 8) & 255), f);
}

// One strike: a few partials, the higher ones dying faster.
void add_strike(std::vector<float> &out, float start, float pitch, float volume, float ring)
{
    const float ratio[] = {1.0f, 2.0f, 3.01f, 4.23f};
    const float amp[] = {1.0f, 0.45f, 0.22f, 0.1f};
    const float decay[] = {1.0f, 0.6f, 0.4f, 0.25f};
    size_t first = (size_t)(start * RATE);
    for (size_t i = first; i < out.size(); i++) {
        float t = (float)(i - first) / RATE;
        float attack = std::fmin(1.0f, t / 0.003f);
        float s = 0;
        for (int p = 0; p < 4; p++)
            s += amp[p] * std::exp(-t / (ring * decay[p])) * std::sin(6.2831853f * pitch * ratio[p] * t);
        out[i] += volume * attack * s;
    }
}

} // namespace

bool write_chime(const char *filename)
{
    std::vector<float> wave((size_t)(LENGTH * RATE), 0.0f);
    add_strike(wave, 0.0f, 1318.51f, 0.8f, 0.12f);   // E
    add_strike(wave, 0.07f, 1975.53f, 1.0f, 0.16f);  // the B above
    float peak = 0;
    for (float s : wave)
        peak = std::fmax(peak, std::fabs(s));
    size_t fade = (size_t)(0.03f * RATE);
    std::vector<short> pcm(wave.size());
    for (size_t i = 0; i < wave.size(); i++) {
        float k = 0.85f / peak;
        if (i + fade > wave.size())
            k *= (float)(wave.size() - i) / (float)fade;
        pcm[i] = (short)std::lround(wave[i] * k * 32767.0f);
    }

    std::FILE *f = std::fopen(filename, "wb");
    if (!f)
        return false;
    unsigned data_bytes = (unsigned)(pcm.size() * 2);
    std::fputs("RIFF", f);
    put_u32(f, 36 + data_bytes);
    std::fputs("WAVEfmt ", f);
    put_u32(f, 16);
    put_u16(f, 1);              // PCM
    put_u16(f, 1);              // mono
    put_u32(f, RATE);
    put_u32(f, RATE * 2);       // bytes a second
    put_u16(f, 2);              // bytes a frame
    put_u16(f, 16);
    std::fputs("data", f);
    put_u32(f, data_bytes);
    for (short s : pcm)
        put_u16(f, (unsigned)(unsigned short)s);
    return std::fclose(f) == 0;
}
