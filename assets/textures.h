// textures.h -- the procedural surface textures.
#ifndef TAVO_ASSETS_TEXTURES_H
#define TAVO_ASSETS_TEXTURES_H

#include "assets/image.h"

struct TEXTURE_DEF {
    const char *name;   // file name without extension
    IMAGE (*make)();
};

// The texture called name (the file name without its extension), or null.
const TEXTURE_DEF *find_texture(const char *name);

#endif
