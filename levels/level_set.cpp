// level_set.cpp -- a folder of lands as a list to play in order.
//
// set.txt is written by hand as often as by the build, so it is read
// forgivingly: whatever it gets wrong about one land costs that land its
// place or title, never the set.
#include "levels/levels.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <set>
#include <sys/stat.h>

namespace {

// The land file's first word, as land/land_file.cpp writes it.
const long LAND_MAGIC = 'T' | ('A' << 8) | ('V' << 16) | ((long)'O' << 24);

bool is_regular_file(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ends_with_lvl(const std::string &name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".lvl") == 0;
}

std::string join(const std::string &folder, const std::string &name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string folder_title(const std::string &folder)
{
    char real[PATH_MAX];
    std::string path = realpath(folder.c_str(), real) ? real : folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path.substr(path.rfind('/') + 1);
}

std::vector<std::string> split_tabs(const std::string &line)
{
    std::vector<std::string> fields;
    size_t at = 0;
    for (;;) {
        size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab - at));
        if (tab == std::string::npos)
            return fields;
        at = tab + 1;
    }
}

LEVEL describe(const std::string &folder, const std::string &name, const std::string &title,
               const std::string &hint)
{
    LEVEL l;
    l.file = join(folder, name);
    l.name = name;
    l.title = title.empty() ? name.substr(0, name.size() - 4) : title;
    l.hint = hint;
    l.n_players = land_player_count(l.file.c_str());
    l.crc32 = 0;
    l.crc32_ok = file_crc32(l.file.c_str(), l.crc32);
    return l;
}

} // namespace

int land_player_count(const char *path)
{
    // Only regular files: a FIFO would block the reader.
    if (!is_regular_file(path))
        return -1;
    PACKFILE *f = pack_fopen(path, "rp");
    if (!f)
        return -1;
    int players = pack_igetl(f) == LAND_MAGIC ? pack_getc(f) : -1;
    pack_fclose(f);
    return players < 0 ? -1 : players;
}

bool read_level_set(const std::string &folder, LEVEL_SET &out, std::string &why)
{
    out = LEVEL_SET();
    DIR *dir = opendir(folder.c_str());
    if (!dir) {
        why = "the folder " + folder + " cannot be opened";
        return false;
    }
    std::vector<std::string> lands;
    while (const dirent *e = readdir(dir)) {
        std::string name = e->d_name;
        if (ends_with_lvl(name) && is_regular_file(join(folder, name)))
            lands.push_back(name);
    }
    closedir(dir);
    std::sort(lands.begin(), lands.end());
    if (lands.empty()) {
        why = "the folder " + folder + " holds no lands (.lvl files)";
        return false;
    }

    std::string text;
    std::string set_path = join(folder, "set.txt");
    kept_file_state state = read_kept_file(set_path, text);
    if (state == KEPT_UNREADABLE) {
        why = set_path + " cannot be read";
        return false;
    }
    if (text.compare(0, 3, "\xef\xbb\xbf") == 0)
        text.erase(0, 3);  // a byte-order mark, as some editors save UTF-8

    std::set<std::string> placed;
    bool titled = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (!titled) {
            out.title = line;
            titled = true;
            continue;
        }
        std::vector<std::string> f = split_tabs(line);
        const std::string &name = f[0];
        // A name is looked up among the folder's own lands, so that a line
        // cannot reach outside the folder or name one land twice.
        if (placed.count(name) || !std::binary_search(lands.begin(), lands.end(), name))
            continue;
        placed.insert(name);
        out.levels.push_back(describe(folder, name, f.size() > 1 ? f[1] : "", f.size() > 2 ? f[2] : ""));
    }
    if (!titled)
        out.title = folder_title(folder);
    for (const std::string &name : lands)
        if (!placed.count(name))
            out.levels.push_back(describe(folder, name, "", ""));
    return true;
}
