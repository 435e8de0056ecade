// land_source.h -- lands written as text (see lands/README.md for the format).
#ifndef TAVO_TOOLS_LAND_SOURCE_H
#define TAVO_TOOLS_LAND_SOURCE_H

#include <string>

struct LAND;

struct land_source_result {
    LAND *land = nullptr;  // null on error
    int n_players = 0;     // the player count to store, as land->n_players
    std::string error;     // "LINE: message" when land is null
};

// Builds a land from source text, with its players' placements as the loader
// would give them.  The land's textures are not loaded (only their names are
// kept); free it with destroy_land().
land_source_result parse_land_source(const std::string &text);

#endif
