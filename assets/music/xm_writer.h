// xm_writer.h -- plain records for an XM module and its byte encoding.
#ifndef TAVO_ASSETS_MUSIC_XM_WRITER_H
#define TAVO_ASSETS_MUSIC_XM_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

// Note numbers as stored: 1 = C-0 ... 96 = B-7, 97 = key off.
constexpr uint8_t xm_key_off = 97;

struct xm_cell
{
    uint8_t note = 0;
    uint8_t instrument = 0; // 1-based, 0 = none
    uint8_t volume = 0;     // volume column byte, 0 = none
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct xm_pattern
{
    int rows = 64;
    std::vector<xm_cell> cells; // rows * channels, row-major
};

struct xm_envelope_point
{
    uint16_t tick = 0;
    uint16_t value = 0; // 0..64
};

struct xm_envelope
{
    std::vector<xm_envelope_point> points; // empty = envelope off
    int sustain = -1;                      // point index, -1 = none
};

enum class xm_loop : uint8_t { none = 0, forward = 1, ping_pong = 2 };

struct xm_sample
{
    std::string name;
    std::vector<int16_t> data; // full-scale 16-bit values
    bool sixteen_bit = true;   // false stores the top byte only
    xm_loop loop = xm_loop::none;
    uint32_t loop_start = 0; // in sample frames
    uint32_t loop_length = 0;
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relative_note = 0;
};

struct xm_instrument
{
    std::string name;
    xm_sample sample;
    xm_envelope volume_envelope;
    uint16_t fadeout = 0;
    uint8_t vibrato_type = 0;
    uint8_t vibrato_sweep = 0;
    uint8_t vibrato_depth = 0;
    uint8_t vibrato_rate = 0;
};

struct xm_module
{
    std::string name;
    int channels = 8;
    int speed = 6; // ticks per row
    int bpm = 125;
    int restart = 0;
    std::vector<uint8_t> order;
    std::vector<xm_pattern> patterns;
    std::vector<xm_instrument> instruments;
};

// The whole file, little-endian, patterns packed, samples delta-encoded.
std::vector<uint8_t> encode_xm(const xm_module &module);

#endif
