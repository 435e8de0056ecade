// editor_state.cpp -- the editor's cursor and modes.
#include "editor/editor.h"

char editor_filename[256] = "land.lvl";
int xeditor = 0, yeditor = 0, zeditor = 0;
int edit_mode = 0;
int editor_texwall = 0;
int editor_object = 0;
int editor_player_exists[2] = {0, 0};
int editor_running = 0;
