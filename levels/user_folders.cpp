// user_folders.cpp -- where the player's files live, after the XDG base
// directories: nothing is written beside the game, which may be installed
// read-only and shared.
#include "levels/levels.h"

#include <cstdlib>
#include <pwd.h>
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

std::string progress_path()
{
    std::string folder = user_data_folder();
    return folder.empty() ? "" : folder + "progress.txt";
}

std::string settings_path()
{
    std::string folder = user_config_folder();
    return folder.empty() ? "" : folder + "settings.txt";
}
