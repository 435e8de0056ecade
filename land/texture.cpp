// texture.cpp -- texture images to 128 x 128 bitmaps in the game palette.
#include "land/land.h"

#include <loadpng.h>

bool ispowerof2(int n)
{
    // The renderer's texel arithmetic assumes exactly 128; other powers of
    // two are refused as well.
    return n == 128;
}

BITMAP *load_texture(const char *filename)
{
    // Textures may be PNG too; registering once is enough.
    static const bool png_known = (register_png_file_type(), true);
    (void)png_known;

    PALETTE own;
    BITMAP *img = load_bitmap(filename, own);
    if (!img)
        return nullptr;
    if (!ispowerof2(img->w) || !ispowerof2(img->h)) {
        destroy_bitmap(img);
        return nullptr;
    }
    if (bitmap_color_depth(img) == 8) {
        // Go through true colour so that the image's own palette, not the
        // game palette, gives its indices their meaning.
        BITMAP *tc = create_bitmap_ex(24, img->w, img->h);
        if (!tc) {
            destroy_bitmap(img);
            return nullptr;
        }
        select_palette(own);
        blit(img, tc, 0, 0, 0, 0, img->w, img->h);
        unselect_palette();
        destroy_bitmap(img);
        img = tc;
    }
    BITMAP *tex = create_bitmap(img->w, img->h);
    if (tex)
        blit(img, tex, 0, 0, 0, 0, img->w, img->h);
    destroy_bitmap(img);
    return tex;
}
