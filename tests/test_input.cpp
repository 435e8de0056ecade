// Input frames: the ring of recorded keyboard states and the key bindings.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "headless.h"
#include "shell/shell.h"

namespace {

int installs = 0;
int removals = 0;
void (*installed_proc)() = nullptr;
long installed_speed = 0;

int fake_install(void (*proc)(), long speed)
{
    installs++;
    installed_proc = proc;
    installed_speed = speed;
    return 0;
}

void fake_remove(void (*)())
{
    removals++;
}

// A tick of the timer with one scancode held and everything else released.
void tick_with(int scancode)
{
    memset((void *)key, 0, KEY_MAX);
    if (scancode)
        key[scancode] = -1;
    interrupt_store_frame();
}

class InputRing : public ::testing::Test {
protected:
    void SetUp() override
    {
        start_headless_allegro();
        input_install_int = fake_install;
        input_remove_int = fake_remove;
        installs = removals = 0;
        start_input();
    }
    void TearDown() override { end_input(); }
};

} // namespace

TEST_F(InputRing, StartInstallsTheCallbackAt100PerSecond)
{
    EXPECT_EQ(installs, 1);
    EXPECT_EQ(installed_proc, &interrupt_store_frame);
    EXPECT_EQ(installed_speed, 11932);
    end_input();
    EXPECT_EQ(removals, 1);
}

TEST_F(InputRing, FramesComeOutOldestFirstAcrossTheWrap)
{
    // 130 frames through a ring of 50, never more than 7 waiting: both
    // indices wrap from 49 to 0 several times.
    int produced = 0, consumed = 0;
    while (consumed < 130) {
        for (int i = 0; i < 7 && produced < 130; i++)
            tick_with(1 + produced++ % 100);
        while (frame_store.load() > 0) {
            char *f = retrieve_input_frame();
            int held = 0;
            for (int k = 0; k < KEY_MAX; k++)
                if (f[k])
                    held = held ? -1 : k;
            ASSERT_EQ(held, 1 + consumed % 100) << "frame " << consumed;
            destroy_input_frame();
            consumed++;
        }
        ASSERT_EQ(frame_first, frame_last);
    }
    EXPECT_EQ(frame_first, 130 % 50);
}

TEST_F(InputRing, AFullRingDropsNewTicksAndKeepsTheFirstFifty)
{
    for (int i = 0; i < 80; i++)
        tick_with(1 + i);
    EXPECT_EQ(frame_store.load(), 50);
    EXPECT_EQ(frame_last, 0);
    for (int i = 0; i < 50; i++) {
        EXPECT_NE(retrieve_input_frame()[1 + i], 0) << i;
        destroy_input_frame();
    }
    EXPECT_EQ(frame_store.load(), 0);

    // Room again: the next tick is recorded.
    tick_with(KEY_A);
    EXPECT_EQ(frame_store.load(), 1);
}

TEST_F(InputRing, ResumeKeepsFramesAndStartDiscardsThem)
{
    tick_with(KEY_A);
    tick_with(KEY_B);
    tick_with(KEY_C);
    destroy_input_frame();
    end_input();
    resume_input();
    EXPECT_EQ(frame_store.load(), 2);
    EXPECT_NE(retrieve_input_frame()[KEY_B], 0);

    end_input();
    start_input();  // a new game
    EXPECT_EQ(frame_store.load(), 0);
    EXPECT_EQ(frame_first, 0);
    EXPECT_EQ(frame_last, 0);
    tick_with(KEY_Z);
    EXPECT_NE(retrieve_input_frame()[KEY_Z], 0);
}

TEST_F(InputRing, FramesHoldStatesNotEvents)
{
    // Pressed and released between two ticks: never recorded.
    tick_with(0);
    key[KEY_A] = -1;
    key[KEY_A] = 0;
    interrupt_store_frame();
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(retrieve_input_frame()[KEY_A], 0);
        destroy_input_frame();
    }

    // Both players' keys held together land in the same frame.
    memset((void *)key, 0, KEY_MAX);
    key[KEY_A] = -1;
    key[KEY_OPENBRACE] = -1;
    interrupt_store_frame();
    const char *f = retrieve_input_frame();
    EXPECT_TRUE(action_held(f, 0, ACT_FORWARD));
    EXPECT_TRUE(action_held(f, 1, ACT_FORWARD));
    EXPECT_FALSE(action_held(f, 0, ACT_BACK));
    destroy_input_frame();
    memset((void *)key, 0, KEY_MAX);
}

TEST(KeyBindings, BothPlayersStartWithTheirOwnKeys)
{
    const int p0[9] = {KEY_S, KEY_F, KEY_D, KEY_E, KEY_A, KEY_Z, KEY_ALT, KEY_X, KEY_C};
    const int p1[9] = {KEY_LEFT, KEY_RIGHT, KEY_DOWN, KEY_UP, KEY_OPENBRACE,
                       KEY_QUOTE, KEY_ALTGR, KEY_COMMA, KEY_STOP};
    for (int a = 0; a < 9; a++) {
        EXPECT_EQ(player_info[0].key[a][0], p0[a]);
        EXPECT_EQ(player_info[1].key[a][0], p1[a]);
        EXPECT_EQ(player_info[0].key[a][1], 0);
        EXPECT_EQ(player_info[1].key[a][1], 0);
    }
    // No action of one player shares a key with any action of the other.
    for (int a = 0; a < 9; a++)
        for (int b = 0; b < 9; b++)
            EXPECT_NE(p0[a], p1[b]);
}

TEST_F(InputRing, ProducerAndConsumerOnTwoThreads)
{
    // The hand-over through frame_store: every frame the consumer counts is
    // whole (all bytes of a frame carry the same stamp).
    const int total = 20000;
    std::thread producer([] {
        for (int i = 0; i < total;) {
            if (frame_store.load() > 49) {
                std::this_thread::yield();
                continue;
            }
            for (int k = 0; k < KEY_MAX; k++)
                key[k] = (char)(i & 0x7f);
            interrupt_store_frame();
            i++;
        }
    });
    int seen = 0;
    while (seen < total) {
        if (frame_store.load(std::memory_order_acquire) == 0) {
            std::this_thread::yield();
            continue;
        }
        const char *f = retrieve_input_frame();
        for (int k = 0; k < KEY_MAX; k++)
            ASSERT_EQ(f[k], (char)(seen & 0x7f)) << "frame " << seen << " byte " << k;
        destroy_input_frame();
        seen++;
    }
    producer.join();
    memset((void *)key, 0, KEY_MAX);
}
