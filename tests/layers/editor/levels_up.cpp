// The editor reaching for the program's levels files: refused.
#include "levels/levels.h"
