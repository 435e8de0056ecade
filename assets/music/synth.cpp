// synth.cpp -- sample synthesis: additive tones, a plucked string, drums.
#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;

// Small deterministic noise source: a seed gives the same noise with any
// standard library, which std::uniform_real_distribution does not promise.
struct noise_source
{
    uint32_t state;

    double next() // uniform in [-1, 1)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

// Scales to the given peak (fraction of full scale) and rounds to 16 bits.
std::vector<int16_t> to_pcm(const std::vector<double> &wave, double peak)
{
    double largest = 0.0;
    for (double x : wave)
        largest = std::max(largest, std::fabs(x));
    const double scale = largest > 0.0 ? peak * 32767.0 / largest : 0.0;
    std::vector<int16_t> pcm(wave.size());
    for (size_t i = 0; i < wave.size(); ++i)
        pcm[i] = static_cast<int16_t>(std::lround(std::clamp(wave[i] * scale, -32767.0, 32767.0)));
    return pcm;
}

// A sample made at 8363 * 2^octaves Hz plays at the right pitch when its
// notes are raised by that many octaves.
struct sample_rate
{
    int octaves;
    double hz() const { return 8363.0 * std::pow(2.0, octaves); }
    int8_t relative_note() const { return static_cast<int8_t>(12 * octaves); }
    // Frames in one cycle of the base pitch.
    int period() const { return 32 << octaves; }
};

constexpr sample_rate rate_low{1};  // 16726 Hz
constexpr sample_rate rate_high{2}; // 33452 Hz

xm_sample make_sample(const char *name, std::vector<int16_t> data, sample_rate rate)
{
    xm_sample sample;
    sample.name = name;
    sample.data = std::move(data);
    sample.relative_note = rate.relative_note();
    return sample;
}

void loop_tail(xm_sample &sample, uint32_t length)
{
    sample.loop = xm_loop::forward;
    sample.loop_length = length;
    sample.loop_start = static_cast<uint32_t>(sample.data.size()) - length;
}

// One cycle-continuous additive tone: harmonic h has amplitude amp[h-1]
// scaled by brightness^(h-1), so the attack can start brighter than it
// settles and still join the loop without a step.
double harmonic_sum(const std::vector<double> &amp, double phase, double brightness)
{
    double sum = 0.0;
    double tilt = 1.0;
    for (size_t h = 1; h <= amp.size(); ++h) {
        sum += amp[h - 1] * tilt * std::sin(phase * static_cast<double>(h));
        tilt *= brightness;
    }
    return sum;
}

// Simple one-pole filters; cutoff in Hz.
struct one_pole
{
    double coefficient;
    double state = 0.0;
    one_pole(double cutoff, double rate) : coefficient(1.0 - std::exp(-2.0 * pi * cutoff / rate)) {}
    double low(double x) { return state += coefficient * (x - state); }
    double high(double x) { return x - low(x); }
};

xm_envelope make_envelope(std::vector<xm_envelope_point> points, int sustain)
{
    xm_envelope envelope;
    envelope.points = std::move(points);
    envelope.sustain = sustain;
    return envelope;
}

std::vector<double> make_noise(uint32_t seed, size_t frames)
{
    noise_source noise{seed};
    std::vector<double> wave(frames);
    for (double &x : wave)
        x = noise.next();
    return wave;
}

} // namespace

// A soft reed: strong odd harmonics, weak even ones, and a breathy,
// brighter start that settles into a single looped cycle.
xm_instrument make_lead()
{
    const sample_rate rate = rate_high;
    const int period = rate.period();
    const int attack_cycles = 12;
    std::vector<double> amp;
    for (int h = 1; h <= 14; ++h)
        amp.push_back((h % 2 ? 1.0 : 0.3) / std::pow(h, 1.6));
    noise_source noise{0x1ead};
    one_pole breath_filter(3000.0, rate.hz());
    std::vector<double> wave;
    for (int i = 0; i < (attack_cycles + 1) * period; ++i) {
        const double settle = std::max(0.0, 1.0 - static_cast<double>(i) / (attack_cycles * period));
        const double phase = 2.0 * pi * i / period;
        wave.push_back(harmonic_sum(amp, phase, 1.0 + 0.12 * settle) +
                       0.1 * settle * settle * breath_filter.low(noise.next()));
    }
    xm_instrument lead;
    lead.name = "soft reed";
    lead.sample = make_sample("reed", to_pcm(wave, 0.9), rate);
    loop_tail(lead.sample, static_cast<uint32_t>(period));
    lead.volume_envelope = make_envelope({{0, 0}, {2, 64}, {10, 52}, {60, 46}}, 3);
    lead.fadeout = 2000;
    lead.vibrato_sweep = 50;
    lead.vibrato_depth = 6;
    lead.vibrato_rate = 24;
    return lead;
}

// A celesta-like bell: a few partials, the higher and slightly stretched
// ones dying first.
xm_instrument make_bell()
{
    const sample_rate rate = rate_low;
    struct partial { double ratio, level, decay; };
    const partial partials[] = {
        {1.0, 1.0, 0.9}, {2.0, 0.3, 0.45}, {3.0, 0.1, 0.3}, {4.07, 0.16, 0.18}, {6.8, 0.05, 0.08},
    };
    const size_t frames = static_cast<size_t>(1.4 * rate.hz());
    std::vector<double> wave(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate.hz();
        double x = 0.0;
        for (const partial &p : partials)
            x += p.level * std::exp(-t / p.decay) * std::sin(2.0 * pi * synth_base_hz * p.ratio * t);
        const double onset = std::min(1.0, t / 0.002);
        const double tail = std::min(1.0, (1.4 - t) / 0.2);
        wave[i] = x * onset * tail;
    }
    xm_instrument bell;
    bell.name = "bell";
    bell.sample = make_sample("bell", to_pcm(wave, 0.9), rate);
    return bell;
}

// Karplus-Strong string. The loss filter is symmetric about the delay, so
// the pitch stays exactly one period of the base note.
xm_instrument make_pluck()
{
    const sample_rate rate = rate_low;
    const int period = rate.period();
    const size_t frames = static_cast<size_t>(1.2 * rate.hz());
    std::vector<double> wave(frames);
    noise_source noise{0x9a7e};
    one_pole soften(2500.0, rate.hz());
    for (int i = 0; i < period; ++i)
        wave[static_cast<size_t>(i)] = soften.low(noise.next());
    double mean = 0.0;
    for (int i = 0; i < period; ++i)
        mean += wave[static_cast<size_t>(i)] / period;
    for (int i = 0; i < period; ++i)
        wave[static_cast<size_t>(i)] -= mean;
    const double spread = 0.3;
    const double damping = std::pow(0.55, 1.0 / synth_base_hz); // per period: about -5 dB a second
    for (size_t i = static_cast<size_t>(period); i < frames; ++i) {
        const size_t p = i - static_cast<size_t>(period);
        const double before = p > 0 ? wave[p - 1] : wave[p];
        wave[i] = damping * ((1.0 - spread) * wave[p] + spread * 0.5 * (before + wave[p + 1]));
    }
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate.hz();
        wave[i] *= std::min(1.0, (1.2 - t) / 0.3);
    }
    xm_instrument pluck;
    pluck.name = "plucked string";
    pluck.sample = make_sample("string", to_pcm(wave, 0.9), rate);
    return pluck;
}

// A round bass: sine-heavy, with a short bright thump before the loop.
xm_instrument make_bass()
{
    const sample_rate rate = rate_high;
    const int period = rate.period();
    const int attack_cycles = 24;
    const std::vector<double> amp = {1.0, 0.45, 0.2, 0.12, 0.06, 0.03, 0.02};
    std::vector<double> wave;
    for (int i = 0; i < (attack_cycles + 1) * period; ++i) {
        const double settle = std::max(0.0, 1.0 - static_cast<double>(i) / (attack_cycles * period));
        wave.push_back(harmonic_sum(amp, 2.0 * pi * i / period, 1.0 + 0.6 * settle * settle));
    }
    xm_instrument bass;
    bass.name = "round bass";
    bass.sample = make_sample("bass", to_pcm(wave, 0.9), rate);
    loop_tail(bass.sample, static_cast<uint32_t>(period));
    bass.volume_envelope = make_envelope({{0, 64}, {4, 60}, {20, 46}}, 2);
    bass.fadeout = 6000;
    return bass;
}

// Three gently detuned, softened saws. Each fits a whole number of cycles
// into the loop, so the chorus repeats without a seam.
xm_instrument make_pad()
{
    const sample_rate rate = rate_low;
    const int cycles = 128;
    const int frames = rate.period() * cycles;
    const int detune[] = {0, -1, 1};
    const double level[] = {1.0, 0.8, 0.8};
    std::vector<double> wave(static_cast<size_t>(frames), 0.0);
    noise_source noise{0x5ad};
    for (int v = 0; v < 3; ++v) {
        const int voice_cycles = cycles + detune[v];
        for (int h = 1; h <= 24; ++h) {
            const double soften = 1.0 / (1.0 + std::pow(h / 5.0, 2.0));
            const double amplitude = level[v] * soften / h;
            const double offset = pi * (noise.next() + 1.0);
            for (int i = 0; i < frames; ++i)
                wave[static_cast<size_t>(i)] +=
                    amplitude * std::sin(2.0 * pi * h * voice_cycles * i / frames + offset);
        }
    }
    xm_instrument pad;
    pad.name = "warm pad";
    pad.sample = make_sample("pad", to_pcm(wave, 0.9), rate);
    loop_tail(pad.sample, static_cast<uint32_t>(frames));
    pad.volume_envelope = make_envelope({{0, 8}, {14, 64}, {40, 56}}, 2);
    pad.fadeout = 900;
    return pad;
}

// Drums are unpitched one-shots played at C-4.
xm_instrument make_kick()
{
    const sample_rate rate = rate_low;
    const size_t frames = static_cast<size_t>(0.42 * rate.hz());
    std::vector<double> wave(frames);
    noise_source noise{0x1c};
    double phase = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate.hz();
        const double hz = 46.0 + 120.0 * std::exp(-t / 0.03);
        phase += 2.0 * pi * hz / rate.hz();
        const double body = std::sin(phase) * std::exp(-t / 0.16);
        const double click = 0.25 * noise.next() * std::exp(-t / 0.003);
        wave[i] = (body + click) * std::min(1.0, (0.42 - t) / 0.05);
    }
    xm_instrument kick;
    kick.name = "kick";
    kick.sample = make_sample("kick", to_pcm(wave, 0.95), rate);
    return kick;
}

xm_instrument make_snare()
{
    const sample_rate rate = rate_high;
    const size_t frames = static_cast<size_t>(0.3 * rate.hz());
    std::vector<double> wave(frames);
    noise_source noise{0x5a4e};
    one_pole low_cut(900.0, rate.hz());
    one_pole high_cut(8000.0, rate.hz());
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate.hz();
        const double tone = 0.5 * std::sin(2.0 * pi * 185.0 * t) * std::exp(-t / 0.04) +
                            0.25 * std::sin(2.0 * pi * 330.0 * t) * std::exp(-t / 0.025);
        const double rattle = high_cut.low(low_cut.high(noise.next())) * std::exp(-t / 0.09);
        // Gentle saturation: more body for the same peak.
        wave[i] = std::tanh(2.5 * (tone + 0.9 * rattle)) * std::min(1.0, (0.3 - t) / 0.05);
    }
    xm_instrument snare;
    snare.name = "snare";
    snare.sample = make_sample("snare", to_pcm(wave, 0.9), rate);
    return snare;
}

namespace {

// Hats and cymbals: high-passed noise with a given decay.
std::vector<double> make_metal(uint32_t seed, double seconds, double decay, double cutoff)
{
    const double rate = rate_high.hz();
    std::vector<double> wave = make_noise(seed, static_cast<size_t>(seconds * rate));
    one_pole first(cutoff, rate);
    one_pole second(cutoff, rate);
    for (size_t i = 0; i < wave.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double onset = std::min(1.0, t / 0.001);
        const double tail = std::min(1.0, (seconds - t) / (0.25 * seconds));
        wave[i] = second.high(first.high(wave[i])) * std::exp(-t / decay) * onset * tail;
    }
    return wave;
}

} // namespace

xm_instrument make_closed_hat()
{
    xm_instrument hat;
    hat.name = "closed hat";
    hat.sample = make_sample("closed hat", to_pcm(make_metal(0xc1, 0.1, 0.022, 6000.0), 0.9), rate_high);
    return hat;
}

xm_instrument make_open_hat()
{
    xm_instrument hat;
    hat.name = "open hat";
    hat.sample = make_sample("open hat", to_pcm(make_metal(0x0e, 0.45, 0.14, 5000.0), 0.9), rate_high);
    return hat;
}

xm_instrument make_crash()
{
    xm_instrument crash;
    crash.name = "crash";
    crash.sample = make_sample("crash", to_pcm(make_metal(0xc4, 1.6, 0.55, 3000.0), 0.9), rate_high);
    crash.sample.sixteen_bit = false; // noise hides the coarser steps
    return crash;
}
