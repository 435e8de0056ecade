// The renderer reaching up for the editor: refused.
#include "editor/editor.h"
