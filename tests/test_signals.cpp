// Ending by a signal: the handlers record the first signal and end at the
// second, the loops' key reader gives way to it, and the editor's unsaved
// land is kept whole where the player is told it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "editor/editor.h"
#include "headless.h"
#include "land/land.h"
#include "land_builder.h"
#include "shell/shell.h"

namespace fs = std::filesystem;

namespace {

int no_key()
{
    return 0;
}

// What a child did, as the parent sees it: its exit status, or -signal
// when a signal ended it.
int run_child(void (*body)(int, int), int first, int second)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        body(first, second);
        _exit(99);  // the body must end the child itself
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// In a child, for the flag cannot be taken back: exits with 10 + the step
// that went wrong, or through the handler of the second signal.
void two_signals(int first, int second)
{
    start_headless_allegro();
    install_keyboard_hooks(nullptr, no_key);
    if (quit_signals_installed())
        _exit(10);
    install_quit_signals();
    if (!quit_signals_installed() || quit_signal() != 0)
        _exit(11);
    simulate_keypress(KEY_G << 8 | 'g');
    if (read_key_or_quit() >> 8 != KEY_G)
        _exit(12);  // without a signal it is readkey()
    raise(first);
    if (quit_signal() != first)
        _exit(13);
    simulate_keypress(KEY_G << 8 | 'g');
    if (read_key_or_quit() != 0)
        _exit(14);  // a key waiting must not keep a loop going
    if (raise(second) != 0)
        _exit(15);
    _exit(16);
}

std::string file_text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> names_in(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class RecoveredLands : public ::testing::Test {
protected:
    std::string tmp;
    LAND *l = nullptr;
    time_t when = 0;

    void SetUp() override
    {
        start_headless_allegro();
        std::string t = (fs::temp_directory_path() / "tavo-recover-XXXXXX").string();
        ASSERT_NE(mkdtemp(&t[0]), nullptr);
        tmp = t;
        l = make_solid_land(4, 3);
        add_hollow(l, 1, 1, 0, 2);
        add_wall_lists(l);
        struct tm at = {};
        at.tm_year = 2024 - 1900, at.tm_mon = 0, at.tm_mday = 2, at.tm_hour = 3, at.tm_min = 4, at.tm_sec = 5;
        at.tm_isdst = -1;
        when = mktime(&at);
    }
    void TearDown() override
    {
        destroy_land(l);
        std::error_code ignored;
        fs::remove_all(tmp, ignored);
    }
    // The bytes the editor's own save would write.
    std::string saved_bytes()
    {
        std::string ref = tmp + "/reference.lvl";
        EXPECT_EQ(save_land(l, ref.c_str()), 0);
        std::string bytes = file_text(ref);
        unlink(ref.c_str());
        return bytes;
    }
};

} // namespace

TEST(QuitSignals, FirstIsRecordedAndASecondEndsAtOnce)
{
    const int sigs[] = {SIGTERM, SIGINT, SIGHUP};
    for (int i = 0; i < 3; i++) {
        int first = sigs[i], second = sigs[(i + 1) % 3];
        EXPECT_EQ(run_child(two_signals, first, first), 128 + first) << "signal " << first << " twice";
        EXPECT_EQ(run_child(two_signals, first, second), 128 + second)
            << "signal " << first << ", then " << second;
    }
}

TEST_F(RecoveredLands, KeptWholeUnderTheLandsNameAndTime)
{
    EXPECT_EQ(recovered_file_name("/a/b/myland.lvl", when), "myland-20240102-030405.lvl");
    EXPECT_EQ(recovered_file_name("cave", when), "cave-20240102-030405.lvl");
    EXPECT_EQ(recovered_file_name(".lvl", when), "land-20240102-030405.lvl");
    EXPECT_EQ(recovered_file_name("x/..hidden.lvl", when), "hidden-20240102-030405.lvl");

    std::string folder = tmp + "/data/tavo/recovered", why;
    std::string want = saved_bytes();
    std::string path = keep_recovered_land(l, "/a/b/myland.lvl", when, {folder}, why);
    EXPECT_EQ(path, folder + "/myland-20240102-030405.lvl") << why;
    EXPECT_EQ(file_text(path), want) << "not the land as the editor saves it";
    LAND *back = load_land(path.c_str(), LAND_FOR_EDITING);
    ASSERT_NE(back, nullptr) << land_load_error();
    EXPECT_EQ(back->w, 4);
    EXPECT_NE(back->tile[1][1].hollow, nullptr) << "the opened cell is solid again";
    destroy_land(back);

    // A second one in the same second is kept beside the first.
    add_hollow(l, 2, 1, 0, 3);
    add_wall_lists(l);
    std::string second = keep_recovered_land(l, "/a/b/myland.lvl", when, {folder}, why);
    EXPECT_EQ(second, folder + "/myland-20240102-030405-2.lvl") << why;
    EXPECT_EQ(file_text(path), want) << "the first recovered land was written over";
    EXPECT_EQ(file_text(second), saved_bytes());
    EXPECT_EQ(names_in(folder),
              (std::vector<std::string>{"myland-20240102-030405-2.lvl", "myland-20240102-030405.lvl"}))
        << "a temporary file was left behind";
}

TEST_F(RecoveredLands, NextFolderWhenOneFailsAndTheReasonsWhenAllDo)
{
    std::ofstream(tmp + "/file") << "not a folder";
    std::string blocked = tmp + "/file/recovered", spare = tmp + "/spare", why;
    std::string path = keep_recovered_land(l, "cave.lvl", when, {blocked, "", spare}, why);
    EXPECT_EQ(path, spare + "/cave-20240102-030405.lvl") << why;
    EXPECT_TRUE(fs::is_regular_file(path));

    path = keep_recovered_land(l, "cave.lvl", when, {blocked, tmp + "/file/again"}, why);
    EXPECT_EQ(path, "");
    EXPECT_NE(why.find(blocked), std::string::npos) << why;
    EXPECT_NE(why.find("again"), std::string::npos) << why;
}

TEST_F(RecoveredLands, TheNextStartIsToldOnce)
{
    const char *old = getenv("XDG_DATA_HOME");
    std::string was = old ? old : "";
    setenv("XDG_DATA_HOME", (tmp + "/share").c_str(), 1);
    LAND *old_land = land;
    land = l;
    snprintf(editor_filename, sizeof editor_filename, "%s", "/somewhere/mine.lvl");

    EXPECT_TRUE(take_recovered_notes().empty());
    recover_unsaved_land();
    recover_unsaved_land();
    std::vector<std::string> told = take_recovered_notes();
    ASSERT_EQ(told.size(), 2u);
    for (const std::string &p : told) {
        EXPECT_EQ(p.rfind(tmp + "/share/tavo/recovered/mine-", 0), 0u) << p;
        EXPECT_EQ(file_text(p), saved_bytes()) << p;
    }
    EXPECT_NE(told[0], told[1]);
    EXPECT_TRUE(take_recovered_notes().empty()) << "told twice";

    land = old_land;
    if (old)
        setenv("XDG_DATA_HOME", was.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}
