// models.h -- textures of the two octahedron models and the collect chime.
#ifndef TAVO_ASSETS_MODELS_H
#define TAVO_ASSETS_MODELS_H

#include <allegro.h>

// 128 x 128 8-bit bitmaps whose pixels are indices of the game palette pal.
// The octahedron reads them as a diamond-shaped figure: upper tip at (64, 0),
// lower tip at (64, 128), side corners at the middles of the left and right
// edges, front and back corners both at the centre.
BITMAP *paint_diamond_texture(const RGB *pal);
BITMAP *paint_player_texture(const RGB *pal);

// Writes the diamond-collect chime as a 16-bit mono WAV; false on failure.
bool write_chime(const char *filename);

#endif
