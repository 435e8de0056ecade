// user_folders.cpp -- where the player's files live, after the XDG base
// directories: nothing is written beside the game, which may be installed
// read-only and shared.  In the shell, so that the editor may keep what it
// recovers there too.
#include "shell/shell.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string home_folder()
{
    const char *home = getenv("HOME");
    if (home && home[0] == '/')
        return home;
    const passwd *pw = getpwuid(getuid());
    return pw && pw->pw_dir && pw->pw_dir[0] == '/' ? pw->pw_dir : "";
}

// A base directory named by the environment counts only as a full path;
// a relative one is to be ignored.
std::string base_folder(const char *variable, const char *under_home)
{
    const char *set = getenv(variable);
    std::string base;
    if (set && set[0] == '/') {
        base = set;
    } else {
        std::string home = home_folder();
        if (home.empty())
            return "";
        base = home + under_home;
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + (base == "/" ? "tavo/" : "/tavo/");
}

} // namespace

std::string user_data_folder()
{
    return base_folder("XDG_DATA_HOME", "/.local/share");
}

std::string user_config_folder()
{
    return base_folder("XDG_CONFIG_HOME", "/.config");
}

bool make_folders(const std::string &path, std::string &why)
{
    // 0700, as the XDG base directories ask of folders made for a user.
    for (size_t end = 1; end <= path.size(); end++) {
        if (end < path.size() && path[end] != '/')
            continue;
        std::string part = path.substr(0, end);
        if (part.empty() || part.back() == '/')
            continue;
        if (mkdir(part.c_str(), 0700) == 0)
            continue;
        int err = errno;
        struct stat st;
        if (err == EEXIST && stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        why = "cannot make the folder " + part + ": " + strerror(err == EEXIST ? ENOTDIR : err);
        return false;
    }
    return true;
}
