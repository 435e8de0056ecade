// The land reaching up for the shell: refused.
#include "land/land.h"
#include "shell/shell.h"
