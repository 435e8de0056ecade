// The levels mode's files using the editor's layer and all below: allowed.
#include "editor/editor.h"
#include "shell/shell.h"
