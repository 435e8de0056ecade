// progress.cpp -- the lands solved and their best times, as a text file the
// player can read: "CRC32 NAME STEPS DATE" a line.
//
// A file name may hold blanks, so the name is everything between the first
// word and the last two.  The file must end with a line break: a file cut
// short mid-line, even where the cut leaves a line that parses, is refused
// rather than taken for a slower time.
#include "levels/levels.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

bool all_digits(const std::string &s, size_t from, size_t n)
{
    if (from + n > s.size())
        return false;
    for (size_t i = from; i < from + n; i++)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

bool valid_date(const std::string &d)
{
    if (d.size() != 10 || !all_digits(d, 0, 4) || d[4] != '-' || !all_digits(d, 5, 2) || d[7] != '-' ||
        !all_digits(d, 8, 2))
        return false;
    int month = std::stoi(d.substr(5, 2)), day = std::stoi(d.substr(8, 2));
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool valid_name(const std::string &name)
{
    return !name.empty() && name.find_first_of("\t\r\n") == std::string::npos;
}

bool parse_crc32(const std::string &word, unsigned long &crc)
{
    if (word.size() != 8 || word.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    crc = std::stoul(word, nullptr, 16);
    return true;
}

bool parse_steps(const std::string &word, long &steps)
{
    if (word.empty() || word.size() > 9 || !all_digits(word, 0, word.size()))
        return false;
    steps = std::stol(word);
    return steps >= 1 && steps <= PROGRESS_MAX_STEPS;
}

bool parse_line(const std::string &line, SOLVED_LAND &out)
{
    size_t first = line.find(' ');
    size_t last = line.rfind(' ');
    size_t before_last = last == std::string::npos || last == 0 ? std::string::npos : line.rfind(' ', last - 1);
    if (first == std::string::npos || before_last == std::string::npos || before_last <= first)
        return false;
    out.name = line.substr(first + 1, before_last - first - 1);
    out.date = line.substr(last + 1);
    return parse_crc32(line.substr(0, first), out.crc32) && valid_name(out.name) &&
           parse_steps(line.substr(before_last + 1, last - before_last - 1), out.steps) && valid_date(out.date);
}

bool parse_progress(const std::string &text, PROGRESS &p)
{
    std::vector<std::string> lines;
    if (!kept_lines(text, lines))
        return false;
    for (const std::string &line : lines) {
        SOLVED_LAND s;
        if (!parse_line(line, s))
            return false;
        // A land written twice (by hand) keeps its better time.
        record_run(p, s.crc32, s.name, s.steps, s.date);
    }
    return true;
}

SOLVED_LAND *find(PROGRESS &p, unsigned long crc32, const std::string &name)
{
    for (SOLVED_LAND &s : p.solved)
        if (s.crc32 == crc32 && s.name == name)
            return &s;
    return nullptr;
}

} // namespace

bool load_progress(const std::string &path, PROGRESS &p, std::string &note)
{
    p.solved.clear();
    return load_kept_file(path, "progress starts afresh", note, [&](const std::string &text) {
        if (parse_progress(text, p))
            return true;
        p.solved.clear();
        return false;
    });
}

std::optional<long> best_steps(const PROGRESS &p, unsigned long crc32, const std::string &name)
{
    for (const SOLVED_LAND &s : p.solved)
        if (s.crc32 == crc32 && s.name == name)
            return s.steps;
    return std::nullopt;
}

bool record_run(PROGRESS &p, unsigned long crc32, const std::string &name, long steps, const std::string &date)
{
    if (!valid_name(name) || steps < 1 || steps > PROGRESS_MAX_STEPS || !valid_date(date))
        return false;
    crc32 &= 0xffffffffUL;
    SOLVED_LAND *s = find(p, crc32, name);
    if (!s) {
        p.solved.push_back({crc32, name, steps, date});
        return true;
    }
    if (steps >= s->steps)
        return false;
    s->steps = steps;
    s->date = date;
    return true;
}

std::string today_date()
{
    time_t now = time(nullptr);
    struct tm local;
    char text[16];
    if (!localtime_r(&now, &local) || strftime(text, sizeof text, "%Y-%m-%d", &local) != 10)
        return "1970-01-01";
    return text;
}

bool save_progress(const std::string &path, const PROGRESS &p, std::string &why)
{
    if (path.empty()) {
        why = "there is no home folder to keep progress in";
        return false;
    }
    std::string text = "# tavo progress: crc32, land file, best time in steps, date\n";
    for (const SOLVED_LAND &s : p.solved) {
        // Never write a line that load_progress would refuse, costing the rest.
        if (!valid_name(s.name) || s.steps < 1 || s.steps > PROGRESS_MAX_STEPS || !valid_date(s.date))
            continue;
        char crc[16];
        snprintf(crc, sizeof crc, "%08lx", s.crc32 & 0xffffffffUL);
        text += std::string(crc) + " " + s.name + " " + std::to_string(s.steps) + " " + s.date + "\n";
    }
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !make_folders(path.substr(0, slash), why))
        return false;
    return write_file_atomically(path, text, why);
}
