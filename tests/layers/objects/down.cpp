// The rules using the land: allowed.
#include "land/land.h"
