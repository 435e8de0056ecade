// tape.cpp -- tapes: reading, writing, playing back and recording the input
// frames of a game, and the key names that tapes and key files share.
#include "shell/shell.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

TAPE_RECORDING *game_recording = nullptr;
TAPE_PLAYBACK *game_playback = nullptr;

namespace {

struct key_name {
    const char *name;
    int scancode;
};

// The players' keys, in the order of their bindings: player 1's, then 2's.
const key_name player_keys[] = {
    {"S", KEY_S}, {"F", KEY_F}, {"D", KEY_D}, {"E", KEY_E}, {"A", KEY_A},
    {"Z", KEY_Z}, {"ALT", KEY_ALT}, {"X", KEY_X}, {"C", KEY_C},
    {"LEFT", KEY_LEFT}, {"RIGHT", KEY_RIGHT}, {"DOWN", KEY_DOWN}, {"UP", KEY_UP},
    {"OPENBRACE", KEY_OPENBRACE}, {"QUOTE", KEY_QUOTE}, {"ALTGR", KEY_ALTGR},
    {"COMMA", KEY_COMMA}, {"STOP", KEY_STOP},
};

// A whole decimal number in [lo, hi]; strtol alone takes "12abc" and "-0".
bool parse_number(const std::string &word, long lo, long hi, long &out)
{
    if (word.empty() || word.size() > 12 || word.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long long v = strtoll(word.c_str(), nullptr, 10);
    if (v < lo || v > hi)
        return false;
    out = (long)v;
    return true;
}

bool is_regular_file(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string folder_of(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash ? std::string(path, slash + 1) : std::string();
}

} // namespace

int scancode_of_key_name(const std::string &name)
{
    for (const key_name &k : player_keys)
        if (name == k.name)
            return k.scancode;
    return 0;
}

const char *key_name_of_scancode(int scancode)
{
    for (const key_name &k : player_keys)
        if (scancode == k.scancode)
            return k.name;
    return nullptr;
}

bool parse_key_line(const std::string &text, HELD_KEYS &out, std::string &why)
{
    std::istringstream words(text);
    std::string first, second, name;
    words >> first >> second;
    if (!parse_number(first, 0, LONG_MAX / 2, out.from) || !parse_number(second, 0, LONG_MAX / 2, out.to)) {
        why = "expected FROM TO KEY...";
        return false;
    }
    if (out.from < 1 || out.to < out.from) {
        why = "expected FROM TO KEY... with 1 <= FROM <= TO";
        return false;
    }
    out.scancodes.clear();
    while (words >> name) {
        int code = scancode_of_key_name(name);
        if (!code) {
            why = "unknown key " + name;
            return false;
        }
        out.scancodes.push_back(code);
    }
    return true;
}

int parse_tape(const std::string &text, TAPE &t, std::string &why)
{
    t = TAPE();
    enum { H_TAPE, H_LAND, H_CRC, H_SEED, H_FRAMES, N_HEADERS };
    static const char *const header_names[N_HEADERS] = {"tape", "land", "crc32", "seed", "frames"};
    int seen[N_HEADERS] = {};
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        line++;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        std::istringstream words(raw);
        std::string first;
        if (!(words >> first) || first[0] == '#')
            continue;
        if (isdigit((unsigned char)first[0]) || first[0] == '-' || first[0] == '+') {
            HELD_KEYS h;
            if (!parse_key_line(raw, h, why))
                return line;
            h.line = line;
            t.held.push_back(h);
            continue;
        }
        int which = 0;
        while (which < N_HEADERS && first != header_names[which])
            which++;
        if (which == N_HEADERS) {
            why = "unknown line \"" + first + "\"";
            return line;
        }
        if (seen[which]) {
            why = "a second \"" + first + "\" line (the first is line " + std::to_string(seen[which]) + ")";
            return line;
        }
        seen[which] = line;
        std::string value, surplus;
        if (which == H_LAND) {
            // A name may hold blanks: it is the rest of the line.
            size_t at = raw.find("land") + 4;
            // A CR is a blank here wherever it stands, or a name read from a
            // line "land x\r " would be written back as another name.
            size_t b = raw.find_first_not_of(" \t\r", at), e = raw.find_last_not_of(" \t\r");
            if (b == std::string::npos || b == at) {
                why = "expected land NAME";
                return line;
            }
            t.land = raw.substr(b, e - b + 1);
            continue;
        }
        words >> value;
        bool extra = bool(words >> surplus);
        long n = 0;
        switch (which) {
        case H_TAPE:
            if (value != "1" || extra) {
                why = "not a tape this game can play (expected \"tape 1\")";
                return line;
            }
            break;
        case H_CRC:
            if (value.size() != 8 || value.find_first_not_of("0123456789abcdef") != std::string::npos || extra) {
                why = "expected crc32 and 8 lowercase hexadecimal digits";
                return line;
            }
            t.crc32 = strtoul(value.c_str(), nullptr, 16);
            break;
        case H_SEED:
            if (!parse_number(value, 0, 4294967295L, n) || extra) {
                why = "expected seed and a number from 0 to 4294967295";
                return line;
            }
            t.seed = (unsigned long)n;
            break;
        case H_FRAMES:
            if (!parse_number(value, 0, TAPE_MAX_FRAMES, n) || extra) {
                why = "expected frames and a number from 0 to " + std::to_string(TAPE_MAX_FRAMES);
                return line;
            }
            t.frames = n;
            break;
        }
    }
    for (int h = 0; h < N_HEADERS; h++)
        if (!seen[h]) {
            why = std::string("no \"") + header_names[h] + "\" line";
            return -1;
        }
    for (const HELD_KEYS &h : t.held)
        if (h.to > t.frames) {
            why = "keys held past the tape's last frame (" + std::to_string(t.frames) + ")";
            return h.line;
        }
    return 0;
}

int read_tape(const char *path, TAPE &t, std::string &why)
{
    struct stat st;
    errno = 0;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        // Only regular files: a FIFO would block the reader for ever.
        why = errno == ENOENT ? "no such file" : "not a regular file";
        return -1;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    if (!(in && text << in.rdbuf())) {
        why = "cannot be read";
        return -1;
    }
    return parse_tape(text.str(), t, why);
}

std::string tape_text(const TAPE &t)
{
    char crc[16];
    snprintf(crc, sizeof crc, "%08lx", t.crc32 & 0xffffffffUL);
    std::string s = "tape 1\nland " + t.land + "\ncrc32 " + crc + "\nseed " + std::to_string(t.seed) +
                    "\nframes " + std::to_string(t.frames) + "\n";
    for (const HELD_KEYS &h : t.held) {
        s += std::to_string(h.from) + " " + std::to_string(h.to);
        for (int code : h.scancodes) {
            const char *name = key_name_of_scancode(code);
            s += std::string(" ") + (name ? name : "?");
        }
        s += "\n";
    }
    return s;
}

int save_tape(const char *path, const TAPE &t)
{
    std::string tmp = std::string(path) + ".tmp";
    FILE *f = fopen(tmp.c_str(), "wb");
    if (!f)
        return -1;
    std::string text = tape_text(t);
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok || rename(tmp.c_str(), path) != 0) {
        remove(tmp.c_str());
        return -1;
    }
    return 0;
}

bool file_crc32(const char *path, unsigned long &crc)
{
    if (!is_regular_file(path))
        return false;
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    uLong c = crc32(0L, Z_NULL, 0);
    unsigned char buf[65536];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0)
        c = crc32(c, buf, (uInt)got);
    bool ok = !ferror(f);
    fclose(f);
    crc = c;
    return ok;
}

int find_tape_land(const TAPE &t, const char *tape_path, const char *override_path,
                   std::string &land_path, std::string &why)
{
    land_path.clear();
    if (override_path) {
        if (is_regular_file(override_path))
            land_path = override_path;
    } else if (!t.land.empty() && t.land[0] == '/') {
        if (is_regular_file(t.land))
            land_path = t.land;
    } else {
        std::string beside = folder_of(tape_path) + t.land;
        std::string found = data_path(t.land.c_str());  // the working folder, then the bundled lands
        if (is_regular_file(beside))
            land_path = beside;
        else if (is_regular_file(found))
            land_path = found;
    }
    if (land_path.empty()) {
        why = "the land " + std::string(override_path ? override_path : t.land.c_str()) + " named by " +
              tape_path + " cannot be found";
        return 1;
    }
    unsigned long have = 0;
    if (!file_crc32(land_path.c_str(), have)) {
        why = "the land " + land_path + " named by " + tape_path + " cannot be read";
        return 1;
    }
    if (have != t.crc32) {
        char crcs[2][16];
        snprintf(crcs[0], sizeof crcs[0], "%08lx", have);
        snprintf(crcs[1], sizeof crcs[1], "%08lx", t.crc32);
        why = "the land " + land_path + " has crc32 " + crcs[0] + ", but " + tape_path +
              " was recorded on a land with crc32 " + crcs[1];
        return 2;
    }
    return 0;
}

void start_playback(TAPE_PLAYBACK &p, const TAPE &t)
{
    p.edges.clear();
    for (const HELD_KEYS &h : t.held)
        for (int code : h.scancodes) {
            p.edges.push_back({h.from, code, +1});
            p.edges.push_back({h.to + 1, code, -1});
        }
    std::stable_sort(p.edges.begin(), p.edges.end(),
                     [](const TAPE_PLAYBACK::EDGE &a, const TAPE_PLAYBACK::EDGE &b) { return a.step < b.step; });
    p.next_edge = 0;
    p.step = 0;
    p.frames = t.frames;
    memset(p.count, 0, sizeof p.count);
    memset(p.frame, 0, sizeof p.frame);
}

const char *next_playback_frame(TAPE_PLAYBACK &p)
{
    if (p.step >= p.frames)
        return nullptr;
    p.step++;
    // Overlapping ranges count, so that a key stays down until the last ends.
    for (; p.next_edge < p.edges.size() && p.edges[p.next_edge].step <= p.step; p.next_edge++) {
        const TAPE_PLAYBACK::EDGE &e = p.edges[p.next_edge];
        p.count[e.scancode] += e.change;
        p.frame[e.scancode] = p.count[e.scancode] > 0;
    }
    return p.frame;
}

void record_frame(TAPE_RECORDING &r, const char *frame)
{
    r.steps++;
    for (const key_name &k : player_keys) {
        long &since = r.since[k.scancode];
        if (frame[k.scancode] && !since) {
            since = r.steps;
        } else if (!frame[k.scancode] && since) {
            r.held.push_back({since, r.steps - 1, {k.scancode}, 0});
            since = 0;
        }
    }
}

void cut_recording(TAPE_RECORDING &r, long steps)
{
    if (steps >= r.steps)
        return;
    for (long &since : r.since)
        if (since > steps)
            since = 0;
    std::vector<HELD_KEYS> kept;
    for (HELD_KEYS &h : r.held) {
        if (h.from > steps)
            continue;
        // Held at the last step kept: open again, as record_frame left it then.
        if (h.to >= steps) {
            for (int code : h.scancodes)
                r.since[code] = h.from;
            continue;
        }
        kept.push_back(std::move(h));
    }
    r.held = std::move(kept);
    r.steps = steps;
}

std::vector<HELD_KEYS> finish_recording(TAPE_RECORDING &r)
{
    for (const key_name &k : player_keys) {
        long &since = r.since[k.scancode];
        if (since)
            r.held.push_back({since, r.steps, {k.scancode}, 0});
        since = 0;
    }
    // Keys pressed and released together share a line.
    std::map<std::pair<long, long>, std::vector<int>> lines;
    for (const HELD_KEYS &h : r.held)
        for (int code : h.scancodes)
            lines[{h.from, h.to}].push_back(code);
    std::vector<HELD_KEYS> out;
    for (auto &l : lines)
        out.push_back({l.first.first, l.first.second, l.second, 0});
    r.held.clear();
    return out;
}

// The land as a tape names it: its bare name when it lies beside the tape,
// else its full path, so that the tape finds it from anywhere.
std::string tape_land_name(const char *land_path, const char *tape_path)
{
    char land_dir[PATH_MAX], tape_dir[PATH_MAX], full[PATH_MAX];
    std::string l(land_path), t(tape_path);
    std::string ld = l.find('/') == std::string::npos ? "." : l.substr(0, l.rfind('/') + 1);
    std::string td = t.find('/') == std::string::npos ? "." : t.substr(0, t.rfind('/') + 1);
    if (realpath(ld.c_str(), land_dir) && realpath(td.c_str(), tape_dir) && !strcmp(land_dir, tape_dir))
        return get_filename(land_path);
    return realpath(land_path, full) ? std::string(full) : l;
}
