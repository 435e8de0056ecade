// Tapes: what a recording writes is what a playback gives back, frame by
// frame, and the land a tape names is found and checked.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "shell/shell.h"

namespace {

const int player_scancodes[] = {KEY_S,    KEY_F,     KEY_D,     KEY_E,    KEY_A,         KEY_Z,
                                KEY_ALT,  KEY_X,     KEY_C,     KEY_LEFT, KEY_RIGHT,     KEY_DOWN,
                                KEY_UP,   KEY_OPENBRACE, KEY_QUOTE, KEY_ALTGR, KEY_COMMA, KEY_STOP};

// Random frames with keys held for runs of random length, as hands do,
// and keys outside the players' bindings held too (they are not kept).
std::vector<std::vector<char>> random_game(unsigned seed, long steps)
{
    std::mt19937 rng(seed);
    std::vector<std::vector<char>> frames;
    std::vector<char> now(KEY_MAX, 0);
    for (long s = 0; s < steps; s++) {
        int flips = (int)(rng() % 3);
        for (int i = 0; i < flips; i++) {
            int code = rng() % 4 ? player_scancodes[rng() % 18] : (int)(rng() % KEY_MAX);
            now[code] = now[code] ? 0 : (char)-1;
        }
        frames.push_back(now);
    }
    return frames;
}

TEST(Tape, RecordingPlaysBackFrameByFrame)
{
    for (unsigned seed = 1; seed <= 20; seed++) {
        long steps = 1 + seed * 97 % 700;
        std::vector<std::vector<char>> game = random_game(seed, steps);
        TAPE_RECORDING rec;
        for (const std::vector<char> &f : game)
            record_frame(rec, f.data());
        TAPE tape;
        tape.land = "a land.lvl";
        tape.crc32 = 0xdeadbeef;
        tape.seed = 4294967295UL;
        tape.frames = rec.steps;
        tape.held = finish_recording(rec);

        // Through the text and back, as a saved tape is read.
        TAPE read;
        std::string why;
        ASSERT_EQ(parse_tape(tape_text(tape), read, why), 0) << why << "\n" << tape_text(tape);
        EXPECT_EQ(read.land, "a land.lvl");
        EXPECT_EQ(read.crc32, 0xdeadbeefUL);
        EXPECT_EQ(read.seed, 4294967295UL);
        ASSERT_EQ(read.frames, steps);

        TAPE_PLAYBACK play;
        start_playback(play, read);
        for (long s = 0; s < steps; s++) {
            const char *f = next_playback_frame(play);
            ASSERT_NE(f, nullptr) << "seed " << seed << " step " << s + 1;
            for (int code = 0; code < KEY_MAX; code++) {
                bool player_key = key_name_of_scancode(code) != nullptr;
                ASSERT_EQ(f[code] != 0, player_key && game[s][code] != 0)
                    << "seed " << seed << " step " << s + 1 << " scancode " << code;
            }
        }
        EXPECT_EQ(next_playback_frame(play), nullptr) << "frames beyond the tape's end";
    }
}

bool same_lines(const std::vector<HELD_KEYS> &a, const std::vector<HELD_KEYS> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].from != b[i].from || a[i].to != b[i].to || a[i].scancodes != b[i].scancodes)
            return false;
    return true;
}

// A recording cut back to a step and recorded on is the recording of the
// run as it went: the kept steps, then the new ones.  Cuts fall at the
// start, inside ranges, right where keys go down or up, and at the end.
TEST(Tape, CutRecordingIsTheRecordingOfTheRunAsItWent)
{
    for (unsigned seed = 1; seed <= 40; seed++) {
        long first = 1 + seed * 53 % 300, later = seed * 31 % 200;
        std::vector<std::vector<char>> game = random_game(seed, first), on = random_game(seed + 1000, later);
        for (long cut : {0L, 1L, first / 3, first / 2, first - 1, first}) {
            TAPE_RECORDING rec, straight;
            for (const std::vector<char> &f : game)
                record_frame(rec, f.data());
            cut_recording(rec, cut);
            for (long s = 0; s < cut; s++)
                record_frame(straight, game[s].data());
            for (const std::vector<char> &f : on) {
                record_frame(rec, f.data());
                record_frame(straight, f.data());
            }
            EXPECT_EQ(rec.steps, cut + later);
            EXPECT_TRUE(same_lines(finish_recording(rec), finish_recording(straight)))
                << "seed " << seed << ", cut at " << cut << " of " << first;
        }
    }
}

TEST(Tape, OverlappingRangesHoldUntilTheLastEnds)
{
    TAPE t;
    std::string why;
    ASSERT_EQ(parse_tape("tape 1\nland x\ncrc32 00000000\nseed 1\nframes 9\n2 4 A\n3 6 A S\n# c\n6 6 S\n", t, why), 0)
        << why;
    TAPE_PLAYBACK play;
    start_playback(play, t);
    std::string a, s;
    while (const char *f = next_playback_frame(play)) {
        a += f[KEY_A] ? 'A' : '.';
        s += f[KEY_S] ? 'S' : '.';
    }
    EXPECT_EQ(a, ".AAAAA...");
    EXPECT_EQ(s, "..SSSS...");
}

// A land name is the rest of its line without the blanks around it, and
// reads back the same once the tape is written out.
TEST(Tape, LandNamesSurviveBeingWrittenOut)
{
    const std::pair<const char *, const char *> cases[] = {
        {"land x\r \n", "x"}, {"land \t my land.lvl \t\r\n", "my land.lvl"}, {"land a\rb\n", "a\rb"}};
    for (const auto &[line, name] : cases) {
        TAPE t, again;
        std::string why;
        ASSERT_EQ(parse_tape(std::string("tape 1\n") + line + "crc32 00000000\nseed 1\nframes 2\n", t, why), 0)
            << line << why;
        EXPECT_EQ(t.land, name);
        ASSERT_EQ(parse_tape(tape_text(t), again, why), 0) << why;
        EXPECT_EQ(again.land, t.land);
    }
}

// The land is looked up beside the tape first, then in the working folder;
// a changed land is found but named with both sums.
TEST(Tape, FindsItsLandAndChecksIt)
{
    char dir[] = "/tmp/tavo-tape-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string beside = std::string(dir) + "/l.lvl", tape_path = std::string(dir) + "/t.tape";
    std::ofstream(beside) << "beside";
    std::ofstream("tavo-tape-test.lvl") << "here";

    TAPE t;
    t.land = "l.lvl";
    ASSERT_TRUE(file_crc32(beside.c_str(), t.crc32));
    std::string path, why;
    EXPECT_EQ(find_tape_land(t, tape_path.c_str(), nullptr, path, why), 0) << why;
    EXPECT_EQ(path, beside);

    t.land = "tavo-tape-test.lvl";  // not beside the tape: the working folder's
    EXPECT_EQ(find_tape_land(t, tape_path.c_str(), nullptr, path, why), 2);
    EXPECT_EQ(path, "tavo-tape-test.lvl");
    EXPECT_NE(why.find("tavo-tape-test.lvl"), std::string::npos) << why;
    EXPECT_NE(why.find("t.tape"), std::string::npos) << why;

    t.land = "none.lvl";
    EXPECT_EQ(find_tape_land(t, tape_path.c_str(), nullptr, path, why), 1);
    EXPECT_EQ(find_tape_land(t, tape_path.c_str(), dir, path, why), 1) << "a folder is no land";
    EXPECT_EQ(find_tape_land(t, tape_path.c_str(), beside.c_str(), path, why), 0) << why;

    // A tape written over an old one replaces it whole; one that cannot be
    // written leaves it as it was.
    t.frames = 3;
    ASSERT_EQ(save_tape(tape_path.c_str(), t), 0);
    TAPE back;
    EXPECT_EQ(read_tape(tape_path.c_str(), back, why), 0) << why;
    std::string tmp = tape_path + ".tmp";
    ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    t.frames = 4;
    EXPECT_NE(save_tape(tape_path.c_str(), t), 0);
    EXPECT_EQ(read_tape(tape_path.c_str(), back, why), 0) << why;
    EXPECT_EQ(back.frames, 3);

    rmdir(tmp.c_str());
    remove(tape_path.c_str());
    remove(beside.c_str());
    remove("tavo-tape-test.lvl");
    rmdir(dir);
}

} // namespace
