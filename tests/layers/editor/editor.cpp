// The editor using the shell: allowed.
#include "shell/shell.h"
