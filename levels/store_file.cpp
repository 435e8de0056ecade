// store_file.cpp -- writing kept files so that a crash, a full disk or a
// read-only folder never costs the copy already there.
#include "levels/levels.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folder_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool write_all(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += (size_t)n;
    }
    return true;
}

} // namespace

bool write_file_atomically(const std::string &path, const std::string &text, std::string &why)
{
    // The temporary file is unique, so that two games saving at once each
    // rename a whole file into place rather than writing into one another's.
    std::string tmp = path + ".XXXXXX";
    int fd = mkstemp(&tmp[0]);
    if (fd < 0) {
        why = "cannot write in " + folder_of(path) + ": " + strerror(errno);
        return false;
    }
    bool ok = write_all(fd, text);
    int err = errno;
    // Synced before the rename, or a crash could leave the new name on an
    // empty file.
    if (ok && fsync(fd) != 0) {
        ok = false;
        err = errno;
    }
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(tmp.c_str());
        why = "cannot write " + path + ": " + strerror(err);
        return false;
    }
    int dir = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir);  // the rename itself; failing here loses nothing already there
        close(dir);
    }
    return true;
}

kept_file_state read_kept_file(const std::string &path, std::string &text)
{
    text.clear();
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? KEPT_MISSING : KEPT_UNREADABLE;
    if (!S_ISREG(st.st_mode) || st.st_size > KEPT_FILE_MAX)
        return KEPT_UNREADABLE;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return KEPT_UNREADABLE;
    char buf[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || text.size() + (size_t)n > (size_t)KEPT_FILE_MAX)
            ok = false;
        if (n <= 0 || !ok)
            break;
        text.append(buf, (size_t)n);
    }
    close(fd);
    if (!ok)
        text.clear();
    return ok ? KEPT_READ : KEPT_UNREADABLE;
}

std::string move_aside(const std::string &path, const std::string &consequence)
{
    std::string name = path.substr(path.rfind('/') + 1);
    std::string bad = path + ".bad";
    if (rename(path.c_str(), bad.c_str()) != 0)
        return name + " could not be read, nor moved aside: " + consequence;
    return name + " could not be read and is kept as " + name + ".bad: " + consequence;
}

bool kept_lines(const std::string &text, std::vector<std::string> &lines)
{
    lines.clear();
    if (!text.empty() && text.back() != '\n')
        return false;  // cut short in the middle of its last line
    size_t at = 0;
    while (at < text.size()) {
        size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    }
    return true;
}

bool load_kept_file(const std::string &path, const std::string &what, std::string &note,
                    const std::function<bool(const std::string &)> &parse)
{
    std::string text;
    kept_file_state state = read_kept_file(path, text);
    if (state == KEPT_MISSING)
        return true;
    if (state == KEPT_READ && parse(text))
        return true;
    note = move_aside(path, what);
    return false;
}
