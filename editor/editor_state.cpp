// editor_state.cpp -- the editor's cursor and modes.
#include "editor/editor.h"

int xeditor = 0, yeditor = 0, zeditor = 0;
int edit_mode = 0;
int editor_texwall = 0;
