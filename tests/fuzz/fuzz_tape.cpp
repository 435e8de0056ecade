// fuzz_tape -- the tape reader on hostile text.
//
// A tape is refused with its line and a reason, or it reads back the same
// after being written out again, and its playback holds exactly the keys its
// ranges name, frame by frame, and ends with its last frame.
#include <algorithm>
#include <cstring>

#include "fuzz_common.h"

namespace {

// Frames played back per tape: a tape may run for a day of play.
const long max_frames = 600;

std::string describe_tape(const TAPE &t)
{
    std::string s = "land \"" + t.land + "\" crc32 " + std::to_string(t.crc32) + " seed " + std::to_string(t.seed) +
                    " frames " + std::to_string(t.frames) + "\n";
    for (const HELD_KEYS &h : t.held) {
        s += std::to_string(h.from) + " " + std::to_string(h.to);
        for (int k : h.scancodes)
            s += " " + std::to_string(k);
        s += "\n";
    }
    return s;
}

void check_playback(const TAPE &t)
{
    TAPE_PLAYBACK p;
    start_playback(p, t);
    long frames = t.frames < max_frames ? t.frames : max_frames;
    for (long step = 1; step <= frames; step++) {
        const char *f = next_playback_frame(p);
        if (!f)
            fuzz_fault("the playback ends at frame %ld of %ld", step, t.frames);
        char want[KEY_MAX] = {};
        for (const HELD_KEYS &h : t.held)
            if (h.from <= step && step <= h.to)
                for (int k : h.scancodes)
                    want[k] = 1;
        for (int k = 0; k < KEY_MAX; k++)
            if ((f[k] != 0) != (want[k] != 0))
                fuzz_fault("frame %ld holds scancode %d as %d, but the tape's ranges say %d", step, k, f[k],
                           want[k]);
    }
    if (frames == t.frames && next_playback_frame(p))
        fuzz_fault("the playback runs past the tape's %ld frames", t.frames);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    start_fuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text((const char *)data, size);
    TAPE t;
    std::string why;
    int line = parse_tape(text, t, why);
    if (line != 0) {
        if (why.empty())
            fuzz_fault("a tape is refused at line %d without a reason", line);
        if (line > 0 && line > (int)std::count(text.begin(), text.end(), '\n') + 1)
            fuzz_fault("a tape is refused at line %d, past its end: %s", line, why.c_str());
        return 0;
    }
    if (t.frames < 0 || t.frames > TAPE_MAX_FRAMES)
        fuzz_fault("a tape of %ld frames is taken", t.frames);
    for (const HELD_KEYS &h : t.held) {
        if (h.from < 1 || h.to < h.from || h.to > t.frames)
            fuzz_fault("a tape takes the range %ld to %ld in %ld frames", h.from, h.to, t.frames);
        for (int k : h.scancodes)
            if (!key_name_of_scancode(k))
                fuzz_fault("a tape holds scancode %d, which is no player's key", k);
    }

    std::string written = tape_text(t);
    TAPE again;
    line = parse_tape(written, again, why);
    if (line != 0)
        fuzz_fault("a tape, written out, is refused at line %d: %s\n%s", line, why.c_str(), written.c_str());
    std::string a = describe_tape(t), b = describe_tape(again);
    if (a != b)
        fuzz_fault("a tape reads back otherwise once written out, %s", first_difference(a, b).c_str());
    if (tape_text(again) != written)
        fuzz_fault("a tape is written otherwise the second time");

    check_playback(t);
    return 0;
}
