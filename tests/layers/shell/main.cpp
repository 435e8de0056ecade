// The program sits on every layer: allowed.
#include "editor/editor.h"
