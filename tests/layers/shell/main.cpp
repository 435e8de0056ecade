// The program sits on every layer, and beside its levels files: allowed.
#include "editor/editor.h"
#include "levels/levels.h"
