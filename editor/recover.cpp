// recover.cpp -- the unsaved land of an editor ended by a signal, kept where
// the player can find it, and told about at the next start.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "editor/editor.h"
#include "land/land.h"
#include "shell/shell.h"

namespace {

std::string recovered_notes_path()
{
    std::string folder = user_data_folder();
    return folder.empty() ? "" : folder + "recovered.txt";
}

// The land's name as a file of its own: what F3 would have saved it as,
// without folder or ".lvl", never empty nor hidden.
std::string recovered_base(const std::string &name)
{
    std::string base = name.substr(name.rfind('/') + 1);
    if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".lvl") == 0)
        base.resize(base.size() - 4);
    while (!base.empty() && base[0] == '.')
        base.erase(0, 1);
    return base.empty() ? "land" : base;
}

// Written whole under a temporary name and renamed: a signal or a full disk
// midway leaves no half land under the name the player is told.
bool write_land_into(const LAND *l, const std::string &folder, const std::string &file, std::string &path,
                     std::string &why)
{
    std::string tmp = folder + "/." + file + ".XXXXXX";
    int fd = mkstemp(&tmp[0]);
    if (fd < 0) {
        why = "cannot write in " + folder + ": " + strerror(errno);
        return false;
    }
    close(fd);
    bool ok = save_land(l, tmp.c_str()) == 0;
    if (ok) {
        // Synced before the rename, or a crash could leave the name on an
        // empty file.
        fd = open(tmp.c_str(), O_RDONLY);
        ok = fd >= 0 && fsync(fd) == 0;
        if (fd >= 0)
            close(fd);
    }
    if (!ok) {
        why = "cannot write the land into " + folder;
        unlink(tmp.c_str());
        return false;
    }
    // Never over another recovered land: two in one second get a number.
    std::string stem = folder + "/" + file.substr(0, file.size() - 4);
    path = stem + ".lvl";
    struct stat st;
    for (int n = 2; lstat(path.c_str(), &st) == 0 && n < 1000; n++)
        path = stem + "-" + std::to_string(n) + ".lvl";
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        why = "cannot write " + path + ": " + strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string recovered_folder()
{
    std::string folder = user_data_folder();
    return folder.empty() ? "" : folder + "recovered";
}

std::string recovered_file_name(const std::string &name, time_t when)
{
    struct tm t;
    localtime_r(&when, &t);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
    return recovered_base(name) + "-" + stamp + ".lvl";
}

std::string keep_recovered_land(const LAND *l, const std::string &name, time_t when,
                                const std::vector<std::string> &folders, std::string &why)
{
    std::string file = recovered_file_name(name, when), path;
    why.clear();
    for (const std::string &folder : folders) {
        std::string failed;
        if (folder.empty())
            failed = "no folder to keep it in";
        else if (make_folders(folder, failed) && write_land_into(l, folder, file, path, failed))
            return path;
        why += (why.empty() ? "" : "; ") + (folder.empty() ? failed : "not in " + folder + ": " + failed);
    }
    return "";
}

void recover_unsaved_land()
{
    char cwd[PATH_MAX];
    std::vector<std::string> folders = {recovered_folder()};
    // Beside the working folder when the player's own cannot take it.
    if (getcwd(cwd, sizeof cwd))
        folders.push_back(cwd);
    std::string why;
    std::string path = keep_recovered_land(land, editor_filename, time(nullptr), folders, why);
    if (path.empty()) {
        fprintf(stderr, "tavo: the editor's unsaved land is lost: %s\n", why.c_str());
        return;
    }
    fprintf(stderr, "tavo: the editor's unsaved land is kept as %s\n", path.c_str());
    std::string notes = recovered_notes_path();
    if (!notes.empty() && make_folders(user_data_folder(), why)) {
        if (FILE *f = fopen(notes.c_str(), "a")) {
            fprintf(f, "%s\n", path.c_str());
            fclose(f);
        }
    }
}

std::vector<std::string> take_recovered_notes()
{
    std::vector<std::string> paths;
    std::string notes = recovered_notes_path();
    FILE *f = notes.empty() ? nullptr : fopen(notes.c_str(), "r");
    if (!f)
        return paths;
    char line[PATH_MAX + 2];
    while (fgets(line, sizeof line, f)) {
        std::string p(line);
        while (!p.empty() && (p.back() == '\n' || p.back() == '\r'))
            p.pop_back();
        if (!p.empty())
            paths.push_back(p);
    }
    fclose(f);
    unlink(notes.c_str());  // said once
    return paths;
}
