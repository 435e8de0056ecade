// The levels mode's files: progress and settings survive bad files and
// unwritable folders without losing what was there, set.txt puts a folder's
// lands in order, and the bundled set lists every bundled level as its
// source titles it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "headless.h"
#include "levels/levels.h"

namespace fs = std::filesystem;

namespace {

std::string read_text(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void write_text(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> folder_names(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder under the temporary folder, removed with everything in it.
struct TEMP_FOLDER {
    std::string path;
    TEMP_FOLDER()
    {
        std::string t = (fs::temp_directory_path() / "tavo-levels-XXXXXX").string();
        path = mkdtemp(&t[0]) ? t : "";
    }
    ~TEMP_FOLDER()
    {
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, ignored);
        fs::remove_all(path, ignored);
    }
};

// Sets an environment variable for one scope, restoring it after.
struct ENV_SETTING {
    std::string name, old;
    bool was_set;
    ENV_SETTING(const char *n, const char *value) : name(n), was_set(getenv(n) != nullptr)
    {
        if (was_set)
            old = getenv(n);
        if (value)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~ENV_SETTING()
    {
        if (was_set)
            setenv(name.c_str(), old.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

} // namespace

TEST(KeptFiles, FoldersFollowTheEnvironment)
{
    ENV_SETTING home("HOME", "/home/someone");
    {
        ENV_SETTING data("XDG_DATA_HOME", "/data/");
        ENV_SETTING config("XDG_CONFIG_HOME", "/conf");
        EXPECT_EQ(progress_path(), "/data/tavo/progress.txt");
        EXPECT_EQ(settings_path(), "/conf/tavo/settings.txt");
        EXPECT_EQ(best_run_path("01-first-steps.lvl", 0xab), "/data/tavo/best/01-first-steps-000000ab.tape");
    }
    // Unset, empty and relative base folders all fall back to the home folder.
    ENV_SETTING data("XDG_DATA_HOME", nullptr);
    ENV_SETTING config("XDG_CONFIG_HOME", "relative/conf");
    EXPECT_EQ(user_data_folder(), "/home/someone/.local/share/tavo/");
    EXPECT_EQ(user_config_folder(), "/home/someone/.config/tavo/");
    ENV_SETTING empty("XDG_DATA_HOME", "");
    EXPECT_EQ(user_data_folder(), "/home/someone/.local/share/tavo/");
}

TEST(KeptFiles, ProgressKeepsTheBestTimeOfTheLandAsItIs)
{
    TEMP_FOLDER tmp;
    ASSERT_FALSE(tmp.path.empty());
    ENV_SETTING data("XDG_DATA_HOME", (tmp.path + "/deep/data").c_str());
    std::string path = progress_path();

    PROGRESS p;
    std::string note;
    EXPECT_TRUE(load_progress(path, p, note));  // nothing yet: quiet
    EXPECT_EQ(note, "");
    EXPECT_TRUE(record_run(p, 0x1234abcd, "01-first-steps.lvl", 500, "2024-03-01"));
    EXPECT_FALSE(record_run(p, 0x1234abcd, "01-first-steps.lvl", 600, "2024-03-02"));
    EXPECT_FALSE(record_run(p, 0x1234abcd, "01-first-steps.lvl", 500, "2024-03-03"));
    EXPECT_TRUE(record_run(p, 0x1234abcd, "01-first-steps.lvl", 450, "2024-03-04"));
    EXPECT_TRUE(record_run(p, 0x00000007, "my land .lvl", 90, today_date()));
    // Nothing a line could not hold, nor times that cannot be.
    EXPECT_FALSE(record_run(p, 1, "two\nlines.lvl", 10, "2024-03-01"));
    EXPECT_FALSE(record_run(p, 1, "x.lvl", 0, "2024-03-01"));
    EXPECT_FALSE(record_run(p, 1, "x.lvl", 10, "2024-13-01"));
    EXPECT_EQ(best_steps(p, 0x1234abcd, "01-first-steps.lvl"), 450);
    EXPECT_EQ(best_steps(p, 0x1234abce, "01-first-steps.lvl"), std::nullopt);  // the land has changed
    EXPECT_EQ(best_steps(p, 0x1234abcd, "02-ramps.lvl"), std::nullopt);

    std::string why;
    ASSERT_TRUE(save_progress(path, p, why)) << why;
    std::string text = read_text(path);
    EXPECT_NE(text.find("\n1234abcd 01-first-steps.lvl 450 2024-03-04\n"), std::string::npos) << text;
    EXPECT_EQ(folder_names(tmp.path + "/deep/data/tavo"), std::vector<std::string>{"progress.txt"});

    PROGRESS back;
    EXPECT_TRUE(load_progress(path, back, note));
    ASSERT_EQ(back.solved.size(), 2u);
    EXPECT_EQ(best_steps(back, 0x1234abcd, "01-first-steps.lvl"), 450);
    EXPECT_EQ(back.solved[0].date, "2024-03-04");
    EXPECT_EQ(best_steps(back, 7, "my land .lvl"), 90);
    EXPECT_EQ(back.solved[1].date, today_date());

    // The best run, beside the progress, reads back as the tape it was.
    TAPE t;
    t.land = "/somewhere/01-first-steps.lvl";
    t.crc32 = 0x1234abcd;
    t.seed = 99;
    t.frames = 40;
    t.held.push_back({1, 40, {KEY_A}, 0});
    ASSERT_TRUE(save_best_run("01-first-steps.lvl", 0x1234abcd, t, why)) << why;
    TAPE r;
    ASSERT_EQ(read_tape(best_run_path("01-first-steps.lvl", 0x1234abcd).c_str(), r, why), 0) << why;
    EXPECT_EQ(tape_text(r), tape_text(t));
}

TEST(KeptFiles, SettingsReadBackAndPassOverKeysOfLaterVersions)
{
    TEMP_FOLDER tmp;
    std::string path = tmp.path + "/config/tavo/settings.txt";
    SETTINGS s;
    std::string note, why;
    s.gfx_mode = 7;
    EXPECT_TRUE(load_settings(path, s, note));  // none yet: the defaults
    EXPECT_EQ(s.gfx_mode, 0);
    EXPECT_FALSE(s.windowed);
    s.gfx_mode = N_GFX_MODES - 1;
    s.windowed = true;
    ASSERT_TRUE(save_settings(path, s, why)) << why;
    SETTINGS back;
    EXPECT_TRUE(load_settings(path, back, note));
    EXPECT_EQ(back.gfx_mode, N_GFX_MODES - 1);
    EXPECT_TRUE(back.windowed);
    s.gfx_mode = N_GFX_MODES;
    EXPECT_FALSE(save_settings(path, s, why));

    write_text(path, "# by hand\r\nvolume 11\r\nscreen 27\r\nwindowed 0\r\n");
    EXPECT_TRUE(load_settings(path, back, note));
    EXPECT_EQ(back.gfx_mode, 27);
    EXPECT_FALSE(back.windowed);
    EXPECT_EQ(note, "");
}

// Each bad file is moved aside whole and reported once; the next load is
// quiet and the next save starts a good file.
TEST(KeptFiles, BadFilesAreMovedAsideOnce)
{
    TEMP_FOLDER tmp;
    std::string progress = tmp.path + "/progress.txt", settings = tmp.path + "/settings.txt";
    const std::string good = "# header\n0000abcd 01-first-steps.lvl 450 2024-03-04\n";
    const std::vector<std::string> bad_progress = {
        good.substr(0, good.size() - 1),      // cut before its last line break
        good.substr(0, good.size() - 5),      // cut in the date
        "0000ABCD 01-first-steps.lvl 450 2024-03-04\n",
        "0000abcd 01-first-steps.lvl 4x0 2024-03-04\n",
        "0000abcd 450 2024-03-04\n",
        "0000abcd 01-first-steps.lvl 0 2024-03-04\n",
        "0000abcd 01-first-steps.lvl 450 2024-02-32\n",
        std::string("\x89PNG\r\n\x1a\n\0\0\0", 11),
        good + "garbage after a good line\n",
    };
    for (const std::string &text : bad_progress) {
        SCOPED_TRACE(text);
        write_text(progress, text);
        PROGRESS p;
        record_run(p, 1, "left over.lvl", 5, "2024-01-01");
        std::string note;
        EXPECT_FALSE(load_progress(progress, p, note));
        EXPECT_TRUE(p.solved.empty());
        EXPECT_NE(note.find("progress starts afresh"), std::string::npos) << note;
        EXPECT_FALSE(fs::exists(progress));
        EXPECT_EQ(read_text(progress + ".bad"), text);
        note.clear();
        EXPECT_TRUE(load_progress(progress, p, note));
        EXPECT_EQ(note, "");
    }
    const std::vector<std::string> bad_settings = {"screen 3\nwindowed 1", "screen 32\n", "screen -1\n",
                                                   "windowed 2\n", "windowed\n", "Screen 3\n", "screen 3x\n"};
    for (const std::string &text : bad_settings) {
        SCOPED_TRACE(text);
        write_text(settings, text);
        SETTINGS s;
        std::string note;
        EXPECT_FALSE(load_settings(settings, s, note));
        EXPECT_EQ(s.gfx_mode, 0);
        EXPECT_FALSE(s.windowed);
        EXPECT_NE(note.find("settings start afresh"), std::string::npos) << note;
        EXPECT_EQ(read_text(settings + ".bad"), text);
        EXPECT_FALSE(fs::exists(settings));
    }
    // Not a file at all.
    fs::remove(progress + ".bad");
    fs::create_directory(progress);
    PROGRESS p;
    std::string note, why;
    EXPECT_FALSE(load_progress(progress, p, note));
    EXPECT_TRUE(fs::is_directory(progress + ".bad"));
    record_run(p, 2, "a.lvl", 3, "2024-01-01");
    ASSERT_TRUE(save_progress(progress, p, why)) << why;
    EXPECT_EQ(best_steps(p, 2, "a.lvl"), 3);
}

// A save that cannot be made says so and leaves the old file whole, with no
// temporary file behind.
TEST(KeptFiles, UnwritableFoldersKeepTheOldFile)
{
    TEMP_FOLDER tmp;
    PROGRESS p;
    for (int i = 0; i < 100; i++)
        record_run(p, (unsigned long)i, "land " + std::to_string(i) + ".lvl", 100 + i, "2024-05-06");
    SETTINGS s;
    std::string why;

    // A folder that cannot be made: its parent is a file.
    write_text(tmp.path + "/file", "x");
    EXPECT_FALSE(save_progress(tmp.path + "/file/tavo/progress.txt", p, why));
    EXPECT_NE(why, "");
    EXPECT_FALSE(save_settings(tmp.path + "/file/tavo/settings.txt", s, why));
    {
        ENV_SETTING data("XDG_DATA_HOME", (tmp.path + "/file").c_str());
        TAPE t;
        EXPECT_FALSE(save_best_run("a.lvl", 1, t, why));
    }

    // The rename refused: a folder holding something stands in the way.
    std::string blocked = tmp.path + "/blocked";
    fs::create_directories(blocked + "/progress.txt/inside");
    EXPECT_FALSE(save_progress(blocked + "/progress.txt", p, why));
    EXPECT_EQ(folder_names(blocked), std::vector<std::string>{"progress.txt"});
    EXPECT_TRUE(fs::is_directory(blocked + "/progress.txt/inside"));

    // The disk fills mid-write (a file size limit, which binds root too).
    std::string full = tmp.path + "/full";
    fs::create_directory(full);
    const std::string old = "# old\n00000001 a.lvl 5 2024-01-01\n";
    write_text(full + "/progress.txt", old);
    rlimit was;
    getrlimit(RLIMIT_FSIZE, &was);
    rlimit small = was;
    small.rlim_cur = 512;
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = save_progress(full + "/progress.txt", p, why);
    setrlimit(RLIMIT_FSIZE, &was);
    signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(read_text(full + "/progress.txt"), old);
    EXPECT_EQ(folder_names(full), std::vector<std::string>{"progress.txt"});

    // A folder without write permission, where that binds (not for root).
    std::string locked = tmp.path + "/locked";
    fs::create_directory(locked);
    write_text(locked + "/settings.txt", "screen 4\n");
    chmod(locked.c_str(), 0500);
    if (access(locked.c_str(), W_OK) == 0) {
        std::cout << "[ note     ] running as root: write permission is not refused, that case is left out\n";
    } else {
        EXPECT_FALSE(save_settings(locked + "/settings.txt", s, why));
        EXPECT_EQ(read_text(locked + "/settings.txt"), "screen 4\n");
        EXPECT_EQ(folder_names(locked), std::vector<std::string>{"settings.txt"});
    }
    chmod(locked.c_str(), 0700);
}

TEST(LevelSet, SetFileOrdersTitlesAndSkipsWhatIsNotThere)
{
    start_headless_allegro();
    TEMP_FOLDER tmp;
    std::string f = tmp.path + "/my lands";
    fs::create_directories(f + "/sub.lvl");  // a folder, not a land
    fs::copy_file("levels/16-together.lvl", f + "/a.lvl");
    fs::copy_file("levels/01-first-steps.lvl", f + "/b.lvl");
    write_text(f + "/c.lvl", "not a land at all");
    fs::copy_file("levels/19-summit.lvl", f + "/d.lvl");
    fs::copy_file("land.lvl", f + "/e.lvl");
    write_text(f + "/notes.txt", "");
    write_text(tmp.path + "/outside.lvl", "");

    LEVEL_SET set;
    std::string why;
    // Without set.txt: file-name order, titled by file name, under the
    // folder's own name.
    ASSERT_TRUE(read_level_set(f, set, why)) << why;
    EXPECT_EQ(set.title, "my lands");
    std::vector<std::string> names;
    for (const LEVEL &l : set.levels)
        names.push_back(l.name + "=" + l.title);
    EXPECT_EQ(names, (std::vector<std::string>{"a.lvl=a", "b.lvl=b", "c.lvl=c", "d.lvl=d", "e.lvl=e"}));

    write_text(f + "/set.txt", "\xef\xbb\xbf# my set\r\n"
                               "\r\n"
                               "My Set\r\n"
                               "d.lvl\tDee\tClimb it.\r\n"
                               "# a.lvl\tcommented out\r\n"
                               "missing.lvl\tGone\r\n"
                               "../outside.lvl\tOutside\r\n"
                               "notes.txt\tNot a land\r\n"
                               "sub.lvl\tA folder\r\n"
                               "b.lvl\tBee\r\n"
                               "d.lvl\tTwice\r\n"
                               "c.lvl\t\tNo title");  // the last line has no line break
    ASSERT_TRUE(read_level_set(f + "/", set, why)) << why;
    EXPECT_EQ(set.title, "My Set");
    ASSERT_EQ(set.levels.size(), 5u);
    const struct {
        const char *name, *title, *hint, *source;
        int players;
    } want[] = {
        {"d.lvl", "Dee", "Climb it.", "levels/19-summit.lvl", 2},
        {"b.lvl", "Bee", "", "levels/01-first-steps.lvl", 1},
        {"c.lvl", "c", "No title", nullptr, -1},
        {"a.lvl", "a", "", "levels/16-together.lvl", 2},
        {"e.lvl", "e", "", "land.lvl", 1},
    };
    for (size_t i = 0; i < 5; i++) {
        const LEVEL &l = set.levels[i];
        SCOPED_TRACE(l.name);
        EXPECT_EQ(l.name, want[i].name);
        EXPECT_EQ(l.file, f + "/" + want[i].name);
        EXPECT_EQ(l.title, want[i].title);
        EXPECT_EQ(l.hint, want[i].hint);
        EXPECT_EQ(l.n_players, want[i].players);
        unsigned long crc = 0;
        EXPECT_TRUE(l.crc32_ok);
        ASSERT_TRUE(file_crc32(want[i].source ? want[i].source : l.file.c_str(), crc));
        EXPECT_EQ(l.crc32, crc);
    }

    // A folder without lands, and no folder at all, are refused.
    fs::create_directory(tmp.path + "/empty");
    write_text(tmp.path + "/empty/set.txt", "Empty\n");
    EXPECT_FALSE(read_level_set(tmp.path + "/empty", set, why));
    EXPECT_NE(why.find("no lands"), std::string::npos) << why;
    EXPECT_FALSE(read_level_set(tmp.path + "/nowhere", set, why));
    EXPECT_NE(why.find("cannot be opened"), std::string::npos) << why;
}

// The build writes levels/set.txt from the sources' "# name:" and "# hint:"
// lines; read here straight from the sources to hold it to them.
TEST(LevelSet, BundledSetListsEveryBundledLevel)
{
    start_headless_allegro();
    std::vector<fs::path> sources;
    for (const auto &e : fs::directory_iterator(TAVO_SOURCE_DIR "/lands/levels"))
        if (e.path().extension() == ".land")
            sources.push_back(e.path());
    std::sort(sources.begin(), sources.end());
    std::vector<std::string> built;
    for (const auto &e : fs::directory_iterator("levels"))
        if (e.path().extension() == ".lvl")
            built.push_back(e.path().filename().string());
    std::sort(built.begin(), built.end());
    ASSERT_FALSE(sources.empty());

    LEVEL_SET set;
    std::string why;
    ASSERT_TRUE(read_level_set("levels", set, why)) << why;
    EXPECT_EQ(set.title, "Tavo");
    ASSERT_EQ(set.levels.size(), sources.size());
    ASSERT_EQ(set.levels.size(), built.size());
    for (size_t i = 0; i < sources.size(); i++) {
        const LEVEL &l = set.levels[i];
        SCOPED_TRACE(sources[i].string());
        EXPECT_EQ(l.name, sources[i].stem().string() + ".lvl");
        EXPECT_EQ(l.name, built[i]);
        std::ifstream in(sources[i]);
        std::string line, title, hint;
        while (std::getline(in, line) && line.rfind("#", 0) == 0) {
            if (line.rfind("# name: ", 0) == 0)
                title = line.substr(8);
            if (line.rfind("# hint: ", 0) == 0)
                hint = line.substr(8);
        }
        EXPECT_NE(title, "");
        EXPECT_EQ(l.title, title);
        EXPECT_EQ(l.hint, hint);
        // The player count read from the header is the one the game plays.
        LAND *land = load_land(l.file.c_str());
        ASSERT_NE(land, nullptr) << land_load_error();
        EXPECT_EQ(l.n_players, land->n_players);
        destroy_land(land);
    }
}
