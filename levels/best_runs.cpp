// best_runs.cpp -- the fastest win of each land, kept as a tape to watch.
//
// The crc32 is part of the name, so that a changed land's old best run is
// never played on the new land, and two sets' lands of one name do not
// overwrite each other's runs while they differ.
#include "levels/levels.h"

#include <cstdio>

std::string best_run_path(const std::string &name, unsigned long crc32)
{
    std::string folder = user_data_folder();
    if (folder.empty())
        return "";
    std::string stem = name;
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".lvl") == 0)
        stem.resize(stem.size() - 4);
    char crc[16];
    snprintf(crc, sizeof crc, "%08lx", crc32 & 0xffffffffUL);
    return folder + "best/" + stem + "-" + crc + ".tape";
}

bool save_best_run(const std::string &name, unsigned long crc32, const TAPE &t, std::string &why)
{
    std::string path = best_run_path(name, crc32);
    if (path.empty()) {
        why = "there is no home folder to keep best runs in";
        return false;
    }
    if (name.empty() || name.find('/') != std::string::npos) {
        why = "a best run needs a land's file name, not \"" + name + "\"";
        return false;
    }
    if (!make_folders(path.substr(0, path.rfind('/')), why))
        return false;
    if (save_tape(path.c_str(), t) != 0) {
        why = "cannot write " + path;
        return false;
    }
    return true;
}
