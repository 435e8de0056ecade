// input.cpp -- the ring of recorded keyboard frames and the key bindings.
#include "shell/shell.h"

#include <cstring>

PLAYER_INFO player_info[2] = {
    {{{KEY_S, 0}, {KEY_F, 0}, {KEY_D, 0}, {KEY_E, 0}, {KEY_A, 0}, {KEY_Z, 0},
      {KEY_ALT, 0}, {KEY_X, 0}, {KEY_C, 0}},
     nullptr, nullptr, nullptr},
    {{{KEY_LEFT, 0}, {KEY_RIGHT, 0}, {KEY_DOWN, 0}, {KEY_UP, 0},
      {KEY_OPENBRACE, 0}, {KEY_QUOTE, 0}, {KEY_ALTGR, 0}, {KEY_COMMA, 0},
      {KEY_STOP, 0}},
     nullptr, nullptr, nullptr},
};

INPUT_FRAME s_key[N_FRAMES];
std::atomic<int> frame_store{0};
int frame_first = 0;
int frame_last = 0;
const char *ckey = nullptr;

static int install_allegro_int(void (*proc)(), long speed)
{
    return install_int_ex(proc, speed);
}

int (*input_install_int)(void (*proc)(), long speed) = install_allegro_int;
void (*input_remove_int)(void (*proc)()) = remove_int;

void initialise_input()
{
}

void start_input()
{
    frame_store.store(0, std::memory_order_relaxed);
    frame_first = 0;
    frame_last = 0;
    resume_input();
}

void resume_input()
{
    input_install_int(interrupt_store_frame, INPUT_TIMER_PERIOD);
}

void end_input()
{
    input_remove_int(interrupt_store_frame);
}

char *retrieve_input_frame()
{
    // The acquire pairs with the callback's release: a counted frame is whole.
    (void)frame_store.load(std::memory_order_acquire);
    return s_key[frame_first];
}

void destroy_input_frame()
{
    frame_first = (frame_first + 1) % N_FRAMES;
    // Release: the slot is free for the callback only once we are done with it.
    frame_store.fetch_sub(1, std::memory_order_release);
}

void interrupt_store_frame()
{
    if (frame_store.load(std::memory_order_acquire) > N_FRAMES - 1)
        return;  // full: this tick is lost rather than overwrite a waiting frame
    char *f = s_key[frame_last];
    for (int i = 0; i < KEY_MAX; i++)
        f[i] = key[i];
    frame_last = (frame_last + 1) % N_FRAMES;
    frame_store.fetch_add(1, std::memory_order_release);
}
END_OF_FUNCTION(interrupt_store_frame)

bool action_held(const char *f, int p, int a)
{
    const unsigned char *k = player_info[p].key[a];
    return (k[0] && f[k[0]]) || (k[1] && f[k[1]]);
}

PLAYER_ACTIONS read_player_actions(const char *f)
{
    static const int action_of[N_HELD] = {ACT_TURN_LEFT, ACT_TURN_RIGHT, ACT_DOWN, ACT_UP, ACT_FORWARD,
                                          ACT_BACK, ACT_STRAFE_LEFT, ACT_STRAFE_RIGHT};
    PLAYER_ACTIONS a;
    for (int p = 0; p < 2; p++) {
        unsigned char *held = a.held[p];
        for (int i = 0; i < N_HELD; i++)
            held[i] = action_held(f, p, action_of[i]);
        // The strafe key makes the turn keys step sideways.
        if (action_held(f, p, ACT_STRAFE)) {
            held[HELD_STRAFE_LEFT] |= held[HELD_TURN_LEFT];
            held[HELD_STRAFE_RIGHT] |= held[HELD_TURN_RIGHT];
            held[HELD_TURN_LEFT] = held[HELD_TURN_RIGHT] = 0;
        }
    }
    return a;
}
