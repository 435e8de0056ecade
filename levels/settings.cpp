// settings.cpp -- what the game remembers between runs, as "key value" lines.
//
// Keys this version does not know are passed over, so that a settings file
// written by a later version still gives this one what it knows.  A known
// key with a value out of range, a line that is not "key value" or a file
// cut short mid-line means the file is not to be trusted at all.
#include "levels/levels.h"

#include <algorithm>
#include <cctype>

namespace {

bool parse_int(const std::string &word, int lo, int hi, int &out)
{
    if (word.empty() || word.size() > 9 || word.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int v = std::stoi(word);
    if (v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool valid_key(const std::string &key)
{
    if (key.empty())
        return false;
    for (char c : key)
        if (!(islower((unsigned char)c) || isdigit((unsigned char)c) || c == '_'))
            return false;
    return true;
}

bool parse_settings(const std::string &text, SETTINGS &s)
{
    std::vector<std::string> lines;
    if (!kept_lines(text, lines))
        return false;
    for (const std::string &line : lines) {
        size_t space = line.find(' ');
        if (space == std::string::npos)
            return false;
        std::string key = line.substr(0, space), value = line.substr(space + 1);
        if (!valid_key(key) || value.empty())
            return false;
        int n;
        if (key == "screen") {
            if (!parse_int(value, 0, N_GFX_MODES - 1, s.gfx_mode))
                return false;
        } else if (key == "windowed") {
            if (!parse_int(value, 0, 1, n))
                return false;
            s.windowed = n == 1;
        }
    }
    return true;
}

} // namespace

bool load_settings(const std::string &path, SETTINGS &s, std::string &note)
{
    s = SETTINGS();
    return load_kept_file(path, "settings start afresh", note, [&](const std::string &text) {
        if (parse_settings(text, s))
            return true;
        s = SETTINGS();
        return false;
    });
}

bool save_settings(const std::string &path, const SETTINGS &s, std::string &why)
{
    if (path.empty()) {
        why = "there is no home folder to keep settings in";
        return false;
    }
    if (s.gfx_mode < 0 || s.gfx_mode >= N_GFX_MODES) {
        why = "there is no screen size " + std::to_string(s.gfx_mode);
        return false;
    }
    const GFX_MODE_SIZE &size = gfx_mode_d[s.gfx_mode];
    std::string text = "# tavo settings\n# screen: the chooser's size, 0 to " + std::to_string(N_GFX_MODES - 1) +
                       " in its order (" + std::to_string(s.gfx_mode) + " is " + std::to_string(size.w) + "x" +
                       std::to_string(size.h) + ")\nscreen " + std::to_string(s.gfx_mode) + "\nwindowed " +
                       (s.windowed ? "1" : "0") + "\n";
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !make_folders(path.substr(0, slash), why))
        return false;
    return write_file_atomically(path, text, why);
}
