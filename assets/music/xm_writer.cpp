// xm_writer.cpp -- FastTracker 2 module encoding (format version 0x0104).
#include "xm_writer.h"

#include <algorithm>
#include <stdexcept>

namespace {

struct byte_sink
{
    std::vector<uint8_t> bytes;

    void put_byte(unsigned value) { bytes.push_back(static_cast<uint8_t>(value & 0xff)); }
    void put_word(unsigned value)
    {
        put_byte(value);
        put_byte(value >> 8);
    }
    void put_long(uint32_t value)
    {
        put_word(value & 0xffff);
        put_word(value >> 16);
    }
    // Fixed-width text field, padded with the given byte.
    void put_text(const std::string &text, size_t width, uint8_t pad)
    {
        for (size_t i = 0; i < width; ++i)
            put_byte(i < text.size() ? static_cast<uint8_t>(text[i]) : pad);
    }
    void put_zeros(size_t count) { bytes.insert(bytes.end(), count, 0); }
};

// A cell is packed as a mask byte followed by the fields it names; an
// empty cell costs one byte.
void pack_cell(byte_sink &out, const xm_cell &cell)
{
    unsigned mask = 0x80;
    if (cell.note) mask |= 0x01;
    if (cell.instrument) mask |= 0x02;
    if (cell.volume) mask |= 0x04;
    if (cell.effect) mask |= 0x08;
    if (cell.param) mask |= 0x10;
    if (mask == 0x9f) {
        // Every field present: the unpacked form is as short.
        out.put_byte(cell.note);
        out.put_byte(cell.instrument);
        out.put_byte(cell.volume);
        out.put_byte(cell.effect);
        out.put_byte(cell.param);
        return;
    }
    out.put_byte(mask);
    if (cell.note) out.put_byte(cell.note);
    if (cell.instrument) out.put_byte(cell.instrument);
    if (cell.volume) out.put_byte(cell.volume);
    if (cell.effect) out.put_byte(cell.effect);
    if (cell.param) out.put_byte(cell.param);
}

void put_pattern(byte_sink &out, const xm_pattern &pattern, int channels)
{
    if (pattern.rows < 1 || pattern.rows > 256 ||
        pattern.cells.size() != static_cast<size_t>(pattern.rows * channels))
        throw std::invalid_argument("pattern size does not match its rows and channels");
    byte_sink data;
    for (const xm_cell &cell : pattern.cells)
        pack_cell(data, cell);
    out.put_long(9);
    out.put_byte(0);
    out.put_word(static_cast<unsigned>(pattern.rows));
    out.put_word(static_cast<unsigned>(data.bytes.size()));
    out.bytes.insert(out.bytes.end(), data.bytes.begin(), data.bytes.end());
}

void put_envelope_points(byte_sink &out, const xm_envelope &envelope)
{
    if (envelope.points.size() > 12)
        throw std::invalid_argument("an envelope holds at most 12 points");
    for (const xm_envelope_point &point : envelope.points) {
        out.put_word(point.tick);
        out.put_word(point.value);
    }
    out.put_zeros(4 * (12 - envelope.points.size()));
}

void put_instrument(byte_sink &out, const xm_instrument &instrument)
{
    const xm_sample &sample = instrument.sample;
    const uint32_t frame_bytes = sample.sixteen_bit ? 2 : 1;
    const xm_envelope &envelope = instrument.volume_envelope;

    out.put_long(263);
    out.put_text(instrument.name, 22, 0);
    out.put_byte(0);
    out.put_word(1);
    out.put_long(40);
    out.put_zeros(96); // every note plays sample 0
    put_envelope_points(out, envelope);
    put_envelope_points(out, xm_envelope{});
    out.put_byte(static_cast<unsigned>(envelope.points.size()));
    out.put_byte(0);
    out.put_byte(envelope.sustain < 0 ? 0 : static_cast<unsigned>(envelope.sustain));
    out.put_zeros(5); // volume loop, panning sustain and loop
    unsigned volume_type = 0;
    if (!envelope.points.empty()) volume_type |= 1;
    if (!envelope.points.empty() && envelope.sustain >= 0) volume_type |= 2;
    out.put_byte(volume_type);
    out.put_byte(0);
    out.put_byte(instrument.vibrato_type);
    out.put_byte(instrument.vibrato_sweep);
    out.put_byte(instrument.vibrato_depth);
    out.put_byte(instrument.vibrato_rate);
    out.put_word(instrument.fadeout);
    out.put_zeros(22);

    const uint32_t frames = static_cast<uint32_t>(sample.data.size());
    const bool looped = sample.loop != xm_loop::none && sample.loop_length > 0;
    if (looped && sample.loop_start + sample.loop_length > frames)
        throw std::invalid_argument("sample loop runs past its end");
    out.put_long(frames * frame_bytes);
    out.put_long(looped ? sample.loop_start * frame_bytes : 0);
    out.put_long(looped ? sample.loop_length * frame_bytes : 0);
    out.put_byte(sample.volume);
    out.put_byte(static_cast<uint8_t>(sample.finetune));
    out.put_byte((looped ? static_cast<unsigned>(sample.loop) : 0u) |
                 (sample.sixteen_bit ? 0x10u : 0u));
    out.put_byte(sample.panning);
    out.put_byte(static_cast<uint8_t>(sample.relative_note));
    out.put_byte(0);
    out.put_text(sample.name, 22, 0);

    // Each value is stored as the difference from the one before.
    if (sample.sixteen_bit) {
        int16_t previous = 0;
        for (int16_t value : sample.data) {
            out.put_word(static_cast<uint16_t>(value - previous));
            previous = value;
        }
    } else {
        int8_t previous = 0;
        for (int16_t value : sample.data) {
            const auto narrow = static_cast<int8_t>(value >> 8);
            out.put_byte(static_cast<uint8_t>(narrow - previous));
            previous = narrow;
        }
    }
}

} // namespace

std::vector<uint8_t> encode_xm(const xm_module &module)
{
    if (module.channels < 1 || module.channels > 32)
        throw std::invalid_argument("an XM module has 1 to 32 channels");
    if (module.order.empty() || module.order.size() > 256)
        throw std::invalid_argument("the order list holds 1 to 256 entries");
    if (module.restart < 0 || module.restart >= static_cast<int>(module.order.size()))
        throw std::invalid_argument("restart position lies outside the order list");
    if (module.instruments.size() > 128)
        throw std::invalid_argument("an XM module has at most 128 instruments");
    for (uint8_t entry : module.order)
        if (entry >= module.patterns.size())
            throw std::invalid_argument("order list names a missing pattern");

    byte_sink out;
    out.put_text("Extended Module: ", 17, ' ');
    out.put_text(module.name, 20, ' ');
    out.put_byte(0x1a);
    out.put_text("tavo music maker", 20, ' ');
    out.put_word(0x0104);
    out.put_long(276);
    out.put_word(static_cast<unsigned>(module.order.size()));
    out.put_word(static_cast<unsigned>(module.restart));
    out.put_word(static_cast<unsigned>(module.channels));
    out.put_word(static_cast<unsigned>(module.patterns.size()));
    out.put_word(static_cast<unsigned>(module.instruments.size()));
    out.put_word(1); // linear frequency table
    out.put_word(static_cast<unsigned>(module.speed));
    out.put_word(static_cast<unsigned>(module.bpm));
    for (size_t i = 0; i < 256; ++i)
        out.put_byte(i < module.order.size() ? module.order[i] : 0);

    for (const xm_pattern &pattern : module.patterns)
        put_pattern(out, pattern, module.channels);
    for (const xm_instrument &instrument : module.instruments)
        put_instrument(out, instrument);
    return out.bytes;
}
