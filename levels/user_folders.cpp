// user_folders.cpp -- the files of the levels mode in the player's folders
// (shell/user_folders.cpp finds those).
#include "levels/levels.h"

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
