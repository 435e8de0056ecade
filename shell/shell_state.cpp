// shell_state.cpp -- the program-wide state owned by the entry, kept apart
// from main() so that the tool and the tests share it.
#include "shell/shell.h"

DATAFILE *dat = nullptr;
RGB_MAP the_rgb_map;
BITMAP *scrbuf = nullptr;
DUH *music = nullptr;
AL_DUH_PLAYER *music_player = nullptr;
const char *piece = "piece01.xm";
