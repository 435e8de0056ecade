// data_path.cpp -- finding the game's data when it is not in the working folder.
//
// The working folder is never changed: file selectors start where the user
// started the game, and lands load and save there.  Only names that are not
// found there are looked up in the data folder.
#include "shell/shell.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

static bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The folder the running program lies in, from /proc/self/exe rather than
// argv[0], so that a link to it or a PATH search does not mislead.
static std::string program_folder()
{
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "";
    exe[n] = '\0';
    std::string s(exe);
    return s.substr(0, s.rfind('/') + 1);
}

const std::string &data_folder()
{
    static std::string folder;
    static bool looked = false;
    if (looked)
        return folder;
    looked = true;
    std::string bin = program_folder();
    if (bin.empty())
        return folder;
    // Beside the program (a build's game folder), then the installed tree,
    // found relative to the program so that a moved prefix still works.
    for (const std::string &candidate : {bin, bin + "../share/tavo"}) {
        char real[PATH_MAX];
        if (!realpath(candidate.c_str(), real))
            continue;
        std::string f = std::string(real) + "/";
        if (exists(f + "tavo.dat")) {
            folder = f;
            break;
        }
    }
    return folder;
}

std::string data_path(const char *name)
{
    std::string n(name ? name : "");
    if (n.empty() || n[0] == '/' || exists(n))
        return n;
    const std::string &folder = data_folder();
    if (!folder.empty() && exists(folder + n))
        return folder + n;
    return n;
}
