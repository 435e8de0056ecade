// piece01.cpp -- composes the game's background tune and writes it as an
// XM module: make_music <output.xm>
//
// Form (4/4, 16 rows a bar, 4 bars a pattern), written in C, sounding in G:
//   intro  4 bars  Cmaj7 Am7 Fmaj7 G            pads, plucked arpeggio, bell
//   A      8 bars  C G/B Am Em/G F C/E Dm7 G    the theme; bell answers
//   A'     8 bars  ... Dm7-G7 C                 the theme varied; bell counter-line
//   B      8 bars  F G Em Am Dm7 G Cmaj7 E7     higher, busier, four-on-the-floor
//   bridge 4 bars  Am F Dm7 Gsus4-G             drums drop out, bell sings, snare roll
//   A''    8 bars  the theme climbing higher, then back to the intro
#include "synth.h"
#include "xm_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int rows_per_bar = 16;
constexpr int rows_per_pattern = 64;
constexpr int key_shift = -5; // written in C, sounds in G
constexpr int no_pitch = -1;

enum channel_id {
    ch_lead, ch_bell, ch_pluck, ch_echo, ch_bass, ch_pad_low, ch_pad_mid, ch_pad_high,
    ch_kick, ch_snare, ch_hat, ch_crash, channel_count
};

// Instrument numbers as the patterns name them (1-based).
enum instrument_id {
    in_lead = 1, in_bell, in_pluck, in_bass, in_pad, in_kick, in_snare, in_closed_hat, in_open_hat, in_crash
};

// Stereo place of each channel; the echo sits opposite the arpeggio.
constexpr uint8_t channel_pan[channel_count] = {128, 176, 88, 172, 128, 76, 128, 180, 128, 144, 164, 104};

struct note_event
{
    int row;
    int channel;
    int instrument;
    int pitch; // MIDI number in the written key, or no_pitch for a key off
    int volume;
};

struct chord
{
    int root;               // pitch class
    std::vector<int> tones; // pitch classes, root first
    int bass;               // pitch class
};

struct chord_span
{
    int row;
    int length;
    chord harmony;
};

struct song
{
    std::vector<note_event> notes;
    std::vector<note_event> releases;
    int total_rows = 0;

    // length > 0 sends a key off when the note should end.
    void play(int row, int channel, int instrument, int pitch, int volume, int length = 0)
    {
        notes.push_back({row, channel, instrument, pitch, std::clamp(volume, 1, 64)});
        if (length > 0)
            releases.push_back({row + length, channel, 0, no_pitch, 0});
    }
};

int parse_pitch_class(const std::string &text, size_t &at)
{
    static const int naturals[] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    if (at >= text.size() || text[at] < 'A' || text[at] > 'G')
        throw std::invalid_argument("bad note name in '" + text + "'");
    int pc = naturals[text[at++] - 'A'];
    if (at < text.size() && text[at] == '#') { ++pc; ++at; }
    else if (at < text.size() && text[at] == 'b') { --pc; ++at; }
    return (pc + 12) % 12;
}

chord parse_chord(const std::string &name)
{
    size_t at = 0;
    chord result;
    result.root = parse_pitch_class(name, at);
    const size_t slash = name.find('/');
    const std::string quality = name.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
    std::vector<int> intervals;
    if (quality.empty()) intervals = {0, 4, 7};
    else if (quality == "m") intervals = {0, 3, 7};
    else if (quality == "7") intervals = {0, 4, 7, 10};
    else if (quality == "maj7") intervals = {0, 4, 7, 11};
    else if (quality == "m7") intervals = {0, 3, 7, 10};
    else if (quality == "sus4") intervals = {0, 5, 7};
    else throw std::invalid_argument("unknown chord '" + name + "'");
    for (int interval : intervals)
        result.tones.push_back((result.root + interval) % 12);
    result.bass = result.root;
    if (slash != std::string::npos) {
        size_t bass_at = slash + 1;
        result.bass = parse_pitch_class(name, bass_at);
    }
    return result;
}

// "C | G/B | Dm7 G7": bars split by '|', chords inside a bar share it evenly.
std::vector<chord_span> parse_progression(int first_bar, const std::string &text)
{
    std::vector<chord_span> spans;
    std::stringstream bars(text);
    std::string bar_text;
    int bar = first_bar;
    while (std::getline(bars, bar_text, '|')) {
        std::stringstream names(bar_text);
        std::vector<std::string> chords;
        for (std::string name; names >> name;)
            chords.push_back(name);
        if (chords.empty() || rows_per_bar % static_cast<int>(chords.size()) != 0)
            throw std::invalid_argument("bar '" + bar_text + "' cannot be shared evenly");
        const int length = rows_per_bar / static_cast<int>(chords.size());
        for (size_t i = 0; i < chords.size(); ++i)
            spans.push_back({bar * rows_per_bar + static_cast<int>(i) * length, length, parse_chord(chords[i])});
        ++bar;
    }
    return spans;
}

// Beats speak louder than the notes between them.
int accent(int row, int volume)
{
    if (row % 4 == 0) return volume + 4;
    if (row % 2 == 1) return volume - 4;
    return volume;
}

// "G4/2 C5/2 E5/4 r/4 | ..." : pitch and octave (C4 is middle C) or r for
// a rest, then the length in rows. Each '|' must fall on a bar line.
void play_line(song &music, int channel, int instrument, int first_bar, const std::string &line,
               int volume, bool release)
{
    std::string spaced;
    for (char c : line)
        spaced += c == '|' ? std::string(" | ") : std::string(1, c);
    std::stringstream tokens(spaced);
    int row = first_bar * rows_per_bar;
    for (std::string token; tokens >> token;) {
        if (token == "|") {
            if (row % rows_per_bar != 0)
                throw std::invalid_argument("bar line off the beat in '" + line + "'");
            continue;
        }
        const size_t slash = token.find('/');
        if (slash == std::string::npos)
            throw std::invalid_argument("note without a length: " + token);
        const int length = std::stoi(token.substr(slash + 1));
        if (token[0] != 'r') {
            size_t at = 0;
            const int pc = parse_pitch_class(token, at);
            const int octave = std::stoi(token.substr(at, slash - at));
            music.play(row, channel, instrument, 12 * (octave + 1) + pc, accent(row, volume),
                       release ? length : 0);
        }
        row += length;
    }
    if (row % rows_per_bar != 0)
        throw std::invalid_argument("line does not fill its last bar: " + line);
}

// Pitches of the given classes within [low, high), ascending.
std::vector<int> pitches_between(const std::vector<int> &classes, int low, int high)
{
    std::vector<int> pitches;
    for (int pitch = low; pitch < high; ++pitch)
        if (std::find(classes.begin(), classes.end(), pitch % 12) != classes.end())
            pitches.push_back(pitch);
    return pitches;
}

// The lowest pitch of a class at or above low.
int pitch_at_or_above(int pitch_class, int low)
{
    return low + ((pitch_class - low) % 12 + 12) % 12;
}

std::vector<chord_span> spans_in_bars(const std::vector<chord_span> &spans, int first_bar, int bars)
{
    std::vector<chord_span> chosen;
    for (const chord_span &span : spans)
        if (span.row >= first_bar * rows_per_bar && span.row < (first_bar + bars) * rows_per_bar)
            chosen.push_back(span);
    return chosen;
}

enum class arpeggio_style { quarters, eighths, sixteenths };

// Plucked chord tones from middle C up, with a softer echo three rows later.
void add_arpeggio(song &music, const std::vector<chord_span> &spans, arpeggio_style style, int volume,
                  bool echo)
{
    static const int quarters[] = {0, 2, 1, 3};
    static const int eighths[] = {0, 1, 2, 3, 1, 2, 3, 2};
    static const int sixteenths[] = {0, 1, 2, 3, 1, 2, 3, 2, 0, 1, 2, 3, 2, 3, 1, 2};
    const int *order = eighths;
    int step = 2;
    if (style == arpeggio_style::quarters) { order = quarters; step = 4; }
    if (style == arpeggio_style::sixteenths) { order = sixteenths; step = 1; }
    for (const chord_span &span : spans) {
        const std::vector<int> tones = pitches_between(span.harmony.tones, 60, 84);
        for (int offset = 0; offset < span.length; offset += step) {
            const int row = span.row + offset;
            const int pitch = tones[static_cast<size_t>(order[offset / step])];
            const int loud = accent(row, volume) + (row % rows_per_bar == 0 ? 4 : 0);
            music.play(row, ch_pluck, in_pluck, pitch, loud);
            if (echo && row + 3 < music.total_rows)
                music.play(row + 3, ch_echo, in_pluck, pitch, loud * 9 / 20);
        }
    }
}

enum class bass_style { whole, halves, bounce, drive };

void add_bass(song &music, const std::vector<chord_span> &spans, bass_style style, int volume)
{
    for (const chord_span &span : spans) {
        const int low = pitch_at_or_above(span.harmony.bass, 40);
        const int fifth = pitch_at_or_above((span.harmony.root + 7) % 12, low + 1);
        const int r = span.row;
        switch (style) {
        case bass_style::whole:
            music.play(r, ch_bass, in_bass, low, volume, span.length);
            break;
        case bass_style::halves:
            music.play(r, ch_bass, in_bass, low, volume, 8);
            if (span.length == rows_per_bar)
                music.play(r + 8, ch_bass, in_bass, fifth, volume - 6, 8);
            break;
        case bass_style::bounce:
            music.play(r, ch_bass, in_bass, low, volume, 6);
            music.play(r + 6, ch_bass, in_bass, low, volume - 8, 2);
            if (span.length == rows_per_bar) {
                music.play(r + 8, ch_bass, in_bass, fifth, volume - 4, 4);
                music.play(r + 12, ch_bass, in_bass, low + 12, volume - 6, 2);
                music.play(r + 14, ch_bass, in_bass, fifth, volume - 8, 2);
            }
            break;
        case bass_style::drive:
            for (int offset = 0; offset < span.length; offset += 2) {
                static const int leap[] = {0, 0, 12, 0, 0, 0, 12, 7};
                const int pitch = offset == 14 ? fifth : low + leap[offset / 2];
                music.play(r + offset, ch_bass, in_bass, pitch, accent(r + offset, volume - 4), 2);
            }
            break;
        }
    }
}

// Three pad voices, each moving as little as it can between chords. Seventh
// chords leave their root to the bass; common tones are held, not struck.
void add_pads(song &music, const std::vector<chord_span> &spans, const std::vector<int> &bar_volume)
{
    std::vector<int> previous = {55, 60, 64};
    bool first = true;
    for (const chord_span &span : spans) {
        std::vector<int> classes = span.harmony.tones;
        if (classes.size() == 4)
            classes.erase(classes.begin());
        const std::vector<int> candidates = pitches_between(classes, 52, 74);
        std::vector<int> best;
        int best_cost = 1 << 30;
        for (size_t a = 0; a < candidates.size(); ++a)
            for (size_t b = a + 1; b < candidates.size(); ++b)
                for (size_t c = b + 1; c < candidates.size(); ++c) {
                    const std::vector<int> voicing = {candidates[a], candidates[b], candidates[c]};
                    const int cls[] = {voicing[0] % 12, voicing[1] % 12, voicing[2] % 12};
                    if (cls[0] == cls[1] || cls[1] == cls[2] || cls[0] == cls[2])
                        continue;
                    if (voicing[2] - voicing[0] > 12)
                        continue;
                    int cost = 0;
                    for (size_t v = 0; v < 3; ++v)
                        cost += std::abs(voicing[v] - previous[v]);
                    if (cost < best_cost) {
                        best_cost = cost;
                        best = voicing;
                    }
                }
        if (best.empty())
            throw std::logic_error("no pad voicing for a chord");
        const int volume = bar_volume[static_cast<size_t>(span.row / rows_per_bar)];
        for (size_t v = 0; v < 3; ++v)
            if (first || best[v] != previous[v])
                music.play(span.row, ch_pad_low + static_cast<int>(v), in_pad, best[v], volume - 2 * static_cast<int>(v));
        previous = best;
        first = false;
    }
}

// Bell counter-line on given guide tones: one note a bar and its echoes,
// or the tone, the chord tone above it and the tone again.
void add_bell_guides(song &music, const std::vector<chord_span> &spans, int first_bar,
                     const std::vector<int> &guides, bool answer)
{
    for (size_t bar = 0; bar < guides.size(); ++bar) {
        const int row = (first_bar + static_cast<int>(bar)) * rows_per_bar;
        const int guide = guides[bar];
        if (!answer) {
            music.play(row, ch_bell, in_bell, guide, 40);
            music.play(row + 6, ch_bell, in_bell, guide, 20);
            music.play(row + 12, ch_bell, in_bell, guide, 11);
            continue;
        }
        const chord harmony = spans_in_bars(spans, first_bar + static_cast<int>(bar), 1).front().harmony;
        const int above = pitches_between(harmony.tones, guide + 1, guide + 13).front();
        music.play(row, ch_bell, in_bell, guide, 36);
        music.play(row + 6, ch_bell, in_bell, above, 30);
        music.play(row + 12, ch_bell, in_bell, guide, 26);
    }
}

// Three quick rising chord tones at the end of each bar.
void add_bell_sparkles(song &music, const std::vector<chord_span> &spans)
{
    for (const chord_span &span : spans) {
        if (span.length != rows_per_bar)
            continue;
        const std::vector<int> tones = pitches_between(span.harmony.tones, 84, 100);
        for (int i = 0; i < 3; ++i)
            music.play(span.row + 12 + i, ch_bell, in_bell, tones[static_cast<size_t>(i)], 20 + 4 * i);
    }
}

enum class drum_style { intro, groove, drive, bridge };

struct drum_bar
{
    drum_style style;
    int bar_in_section;
    bool ghosts = false;  // soft sixteenth hats
    bool fill = false;    // snare run into the next section
    bool crash = false;
    bool breath = false;  // stop on beat four
};

void add_drum_bar(song &music, int bar, const drum_bar &d)
{
    const int r = bar * rows_per_bar;
    auto kick = [&](int at, int volume) { music.play(r + at, ch_kick, in_kick, 60, volume); };
    auto snare = [&](int at, int volume) { music.play(r + at, ch_snare, in_snare, 60, volume); };
    auto hat = [&](int at, int volume) { music.play(r + at, ch_hat, in_closed_hat, 60, volume); };
    auto open_hat = [&](int at, int volume) { music.play(r + at, ch_hat, in_open_hat, 60, volume); };
    if (d.crash)
        music.play(r, ch_crash, in_crash, 60, 40);
    const int end = d.breath ? 12 : 16;

    switch (d.style) {
    case drum_style::intro:
        if (d.bar_in_section < 2)
            break;
        for (int at = 0; at < 16; at += 2)
            hat(at, at % 4 == 0 ? 22 : 14);
        if (d.bar_in_section == 3) {
            kick(0, 40);
            kick(8, 34);
            snare(12, 24);
            snare(14, 32);
        }
        break;
    case drum_style::groove:
        kick(0, 56);
        kick(6, 40);
        kick(8, 50);
        snare(4, 56);
        for (int at = 0; at < end; ++at) {
            if (at % 2 == 0) {
                if (at == 14 && d.bar_in_section % 2 == 1)
                    open_hat(at, 26);
                else
                    hat(at, at % 4 == 0 ? 32 : 22);
            } else if (d.ghosts) {
                hat(at, 11);
            }
        }
        if (d.fill) {
            snare(12, 32);
            snare(13, 30);
            snare(14, 38);
            snare(15, 46);
        } else if (!d.breath) {
            snare(12, 56);
        }
        break;
    case drum_style::drive:
        kick(0, 56);
        kick(4, 46);
        kick(8, 52);
        kick(12, 46);
        if (d.bar_in_section % 2 == 1 && !d.fill)
            kick(14, 34);
        snare(4, 56);
        snare(12, 56);
        for (int at = 0; at < 16; at += 4) {
            hat(at, 26);
            open_hat(at + 2, 20);
        }
        if (d.fill) {
            snare(14, 40);
            snare(15, 46);
        }
        break;
    case drum_style::bridge:
        if (d.bar_in_section == 0)
            kick(0, 44);
        if (d.bar_in_section < 3)
            for (int at = 0; at < 16; at += 4)
                hat(at, 14);
        if (d.bar_in_section >= 2) {
            kick(0, 34);
            kick(8, 34);
        }
        if (d.bar_in_section == 3)
            for (int at = 0; at < 16; ++at)
                snare(at, 8 + at * 5 / 2);
        break;
    }
}

song compose()
{
    song music;
    music.total_rows = 40 * rows_per_bar;

    // Sections: first bar, bars.
    const int intro = 0, part_a = 4, part_a2 = 12, part_b = 20, bridge = 28, part_a3 = 32;

    std::vector<chord_span> spans;
    auto add_progression = [&](int first_bar, const char *text) {
        const std::vector<chord_span> more = parse_progression(first_bar, text);
        spans.insert(spans.end(), more.begin(), more.end());
    };
    add_progression(intro, "Cmaj7 | Am7 | Fmaj7 | G");
    add_progression(part_a, "C | G/B | Am | Em/G | F | C/E | Dm7 | G");
    add_progression(part_a2, "C | G/B | Am | Em/G | F | C/E | Dm7 G7 | C");
    add_progression(part_b, "F | G | Em | Am | Dm7 | G | Cmaj7 | E7");
    add_progression(bridge, "Am | F | Dm7 | Gsus4 G");
    add_progression(part_a3, "C | G/B | Am | Em/G | F | C/E | Dm7 | G");

    // The tune.
    play_line(music, ch_lead, in_lead, part_a,
              "G4/2 C5/2 E5/4 D5/2 C5/2 D5/4 | D5/6 B4/2 G4/8 | A4/2 C5/2 E5/4 D5/2 C5/2 E5/4 | G5/6 E5/2 B4/8 |"
              "A4/2 C5/2 F5/4 E5/2 F5/2 A5/4 | G5/6 E5/2 C5/8 | D5/2 E5/2 F5/4 E5/2 D5/2 C5/4 | D5/12 r/4",
              46, true);
    play_line(music, ch_lead, in_lead, part_a2,
              "G4/2 C5/2 E5/4 D5/2 C5/2 G5/4 | F5/2 E5/2 D5/4 B4/2 G4/6 | A4/2 C5/2 E5/4 D5/2 C5/2 A5/4 |"
              "G5/4 E5/2 D5/2 E5/8 | F5/2 G5/2 A5/4 C6/4 A5/4 | G5/6 E5/2 D5/2 C5/2 E5/4 |"
              "F5/4 E5/2 D5/2 B4/4 D5/4 | C5/12 r/4",
              48, true);
    play_line(music, ch_lead, in_lead, part_b,
              "r/2 C5/2 F5/2 G5/2 A5/6 G5/2 | r/2 D5/2 G5/2 A5/2 B5/6 A5/2 | G5/8 E5/4 B4/4 | C5/2 E5/2 A5/8 G5/4 |"
              "F5/6 E5/2 D5/4 C5/4 | D5/4 G5/4 B5/4 A5/4 | B5/8 G5/4 E5/4 | E5/4 G#5/4 B5/4 D6/2 B5/2",
              50, true);
    play_line(music, ch_lead, in_lead, part_a3,
              "G4/2 C5/2 E5/4 D5/2 C5/2 D5/2 E5/2 | D5/6 B4/2 G4/4 A4/2 B4/2 | A4/2 C5/2 E5/4 D5/2 C5/2 E5/4 |"
              "G5/6 A5/2 B5/8 | C6/4 A5/2 F5/2 A5/4 C6/4 | B5/2 C6/4 G5/2 E5/8 |"
              "D5/2 E5/2 F5/4 E5/2 D5/2 C5/4 | B4/2 C5/2 D5/8 r/4",
              52, true);

    // Bell: a hint of the theme, answers, a counter-line, sparkles, a song of its own.
    play_line(music, ch_bell, in_bell, intro,
              "G5/2 C6/2 E6/4 D6/2 C6/2 D6/4 | E6/6 C6/2 A5/8 | A5/2 C6/2 F6/4 E6/2 C6/2 A5/4 | B5/4 D6/4 G6/8",
              38, false);
    play_line(music, ch_bell, in_bell, part_a,
              "r/16 | r/8 D6/2 B5/2 G5/4 | r/16 | r/8 G6/2 E6/2 B5/4 | r/16 | r/8 G6/2 E6/2 C6/4 | r/16 |"
              "r/8 D6/2 B5/2 G5/4",
              30, false);
    add_bell_guides(music, spans, part_a2, {88, 86, 84, 83, 81, 79, 77, 76}, false);
    add_bell_sparkles(music, spans_in_bars(spans, part_b, 8));
    play_line(music, ch_bell, in_bell, bridge, "A5/4 E5/4 C6/4 B5/4 | A5/4 F5/4 C5/8 | D5/4 F5/4 A5/4 C6/4 | C6/8 B5/8",
              44, false);
    add_bell_guides(music, spans, part_a3, {88, 86, 84, 83, 81, 79, 77, 79}, true);

    add_arpeggio(music, spans_in_bars(spans, intro, 4), arpeggio_style::eighths, 32, false);
    add_arpeggio(music, spans_in_bars(spans, part_a, 8), arpeggio_style::eighths, 28, false);
    add_arpeggio(music, spans_in_bars(spans, part_a2, 8), arpeggio_style::eighths, 28, true);
    add_arpeggio(music, spans_in_bars(spans, part_b, 8), arpeggio_style::sixteenths, 24, true);
    add_arpeggio(music, spans_in_bars(spans, bridge, 4), arpeggio_style::quarters, 30, true);
    add_arpeggio(music, spans_in_bars(spans, part_a3, 8), arpeggio_style::eighths, 28, true);

    add_bass(music, spans_in_bars(spans, intro, 4), bass_style::whole, 40);
    add_bass(music, spans_in_bars(spans, part_a, 8), bass_style::bounce, 48);
    add_bass(music, spans_in_bars(spans, part_a2, 8), bass_style::bounce, 48);
    add_bass(music, spans_in_bars(spans, part_b, 8), bass_style::drive, 50);
    add_bass(music, spans_in_bars(spans, bridge, 4), bass_style::halves, 44);
    add_bass(music, spans_in_bars(spans, part_a3, 8), bass_style::bounce, 50);

    std::vector<int> pad_volume(40);
    for (int bar = 0; bar < 40; ++bar)
        pad_volume[static_cast<size_t>(bar)] =
            bar < part_a ? 30 : bar < part_a2 ? 26 : bar < part_b ? 28 : bar < bridge ? 32 : bar < part_a3 ? 36 : 30;
    add_pads(music, spans, pad_volume);

    for (int bar = 0; bar < 4; ++bar)
        add_drum_bar(music, intro + bar, {drum_style::intro, bar});
    for (int bar = 0; bar < 8; ++bar) {
        add_drum_bar(music, part_a + bar, {drum_style::groove, bar, false, bar == 7, bar == 0});
        add_drum_bar(music, part_a2 + bar, {drum_style::groove, bar, true, bar == 7, bar == 0});
        add_drum_bar(music, part_b + bar, {drum_style::drive, bar, false, bar == 7, bar % 4 == 0});
        add_drum_bar(music, part_a3 + bar, {drum_style::groove, bar, true, false, bar % 4 == 0, bar == 7});
    }
    for (int bar = 0; bar < 4; ++bar)
        add_drum_bar(music, bridge + bar, {drum_style::bridge, bar, false, false, bar == 0});
    return music;
}

// The volume column overrides a sample's own volume, so the balance
// between instruments is applied to every note: 64 is full level.
constexpr int mix_level[] = {0, 23, 45, 53, 42, 40, 39, 30, 53, 46, 51};

uint8_t to_xm_note(int pitch)
{
    const int note = pitch + key_shift - 11; // MIDI 60 is C-4, stored as 49
    if (note < 1 || note > 96)
        throw std::out_of_range("note outside the XM range");
    return static_cast<uint8_t>(note);
}

std::vector<xm_pattern> arrange(const song &music)
{
    if (music.total_rows % rows_per_pattern != 0)
        throw std::logic_error("song does not fill whole patterns");
    std::vector<xm_pattern> patterns(static_cast<size_t>(music.total_rows / rows_per_pattern));
    for (xm_pattern &pattern : patterns) {
        pattern.rows = rows_per_pattern;
        pattern.cells.resize(static_cast<size_t>(rows_per_pattern * channel_count));
    }
    auto cell_at = [&](int row, int channel) -> xm_cell & {
        xm_pattern &pattern = patterns[static_cast<size_t>(row / rows_per_pattern)];
        return pattern.cells[static_cast<size_t>((row % rows_per_pattern) * channel_count + channel)];
    };
    // Releases first, so that a note starting on the same row replaces them.
    for (const note_event &release : music.releases)
        if (release.row < music.total_rows)
            cell_at(release.row, release.channel).note = xm_key_off;
    std::vector<bool> taken(static_cast<size_t>(music.total_rows * channel_count), false);
    for (const note_event &note : music.notes) {
        if (note.row < 0 || note.row >= music.total_rows)
            throw std::logic_error("note outside the song");
        const size_t slot = static_cast<size_t>(note.row * channel_count + note.channel);
        if (taken[slot])
            throw std::logic_error("two notes on one channel at row " + std::to_string(note.row));
        taken[slot] = true;
        xm_cell &cell = cell_at(note.row, note.channel);
        cell.note = to_xm_note(note.pitch);
        cell.instrument = static_cast<uint8_t>(note.instrument);
        const int volume = std::max(1, (note.volume * mix_level[note.instrument] + 32) / 64);
        cell.volume = static_cast<uint8_t>(0x10 + volume);
        cell.effect = 0x08; // set panning
        cell.param = channel_pan[note.channel];
    }
    return patterns;
}

xm_module make_module()
{
    xm_module module;
    module.name = "tavo piece 01";
    module.channels = channel_count;
    module.speed = 6;
    module.bpm = 112;
    module.patterns = arrange(compose());
    for (size_t i = 0; i < module.patterns.size(); ++i)
        module.order.push_back(static_cast<uint8_t>(i));
    module.restart = 0;

    module.instruments = {make_lead(), make_bell(), make_pluck(), make_bass(), make_pad(),
                          make_kick(), make_snare(), make_closed_hat(), make_open_hat(), make_crash()};
    for (size_t i = 0; i < module.instruments.size(); ++i)
        module.instruments[i].sample.volume = static_cast<uint8_t>(mix_level[i + 1]);
    return module;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.xm>\n", argv[0]);
        return EXIT_FAILURE;
    }
    try {
        const std::vector<uint8_t> bytes = encode_xm(make_module());
        FILE *file = std::fopen(argv[1], "wb");
        if (!file) {
            std::perror(argv[1]);
            return EXIT_FAILURE;
        }
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "%s: write failed\n", argv[1]);
            std::remove(argv[1]);
            return EXIT_FAILURE;
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make_music: %s\n", error.what());
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
