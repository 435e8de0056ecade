// texture.cpp -- texture images to 128 x 128 bitmaps in the game palette.
#include "land/land.h"

#include <cstdio>
#include <cstring>
#include <loadpng.h>

namespace {

// The library's readers take a PACKFILE; this one reads a texture file
// already in memory, so that they decode exactly the bytes that were checked.
struct MEMORY_READ {
    const unsigned char *p;
    long size, pos;
};

int mem_fclose(void *)
{
    return 0;
}

int mem_getc(void *u)
{
    MEMORY_READ *m = (MEMORY_READ *)u;
    return m->pos < m->size ? m->p[m->pos++] : EOF;
}

int mem_ungetc(int c, void *u)
{
    MEMORY_READ *m = (MEMORY_READ *)u;
    if (m->pos == 0)
        return EOF;
    m->pos--;
    return c;
}

long mem_fread(void *dst, long n, void *u)
{
    MEMORY_READ *m = (MEMORY_READ *)u;
    if (n > m->size - m->pos)
        n = m->size - m->pos;
    if (n <= 0)
        return 0;
    memcpy(dst, m->p + m->pos, (size_t)n);
    m->pos += n;
    return n;
}

int mem_putc(int, void *)
{
    return EOF;
}

long mem_fwrite(const void *, long, void *)
{
    return 0;
}

int mem_fseek(void *u, int offset)
{
    MEMORY_READ *m = (MEMORY_READ *)u;
    if (offset < 0 || offset > m->size - m->pos)
        return -1;
    m->pos += offset;
    return 0;
}

int mem_feof(void *u)
{
    MEMORY_READ *m = (MEMORY_READ *)u;
    return m->pos >= m->size;
}

int mem_ferror(void *)
{
    return 0;
}

PACKFILE_VTABLE memory_vtable = {mem_fclose, mem_getc,   mem_ungetc, mem_fread, mem_putc,
                                 mem_fwrite, mem_fseek, mem_feof,   mem_ferror};

// Indexed by TEXTURE_BMP and the rest.
BITMAP *(*const decode_texture_type[NUM_TEXTURE_TYPES])(PACKFILE *, RGB *) = {
    load_bmp_pf,
    load_pcx_pf,
    load_tga_pf,
    load_png_pf,
};

// The image in a checked texture file, with its own palette in pal.
BITMAP *decode_texture(const TEXTURE_FILE *f, RGB *pal)
{
    // Entries an image leaves unset would otherwise be whatever was there.
    memset(pal, 0, sizeof(RGB) * PAL_SIZE);
    MEMORY_READ m = {f->data, f->size, 0};
    PACKFILE *pf = pack_fopen_vtable(&memory_vtable, &m);
    if (!pf)
        return nullptr;
    BITMAP *img = decode_texture_type[f->type](pf, pal);
    pack_fclose(pf);
    return img;
}

} // namespace

bool ispowerof2(int n)
{
    // The renderer's texel arithmetic assumes exactly 128; other powers of
    // two are refused as well.
    return n == 128;
}

BITMAP *load_texture(const char *filename)
{
    // Others rely on PNG being known to load_bitmap and save_bitmap once a
    // texture has been loaded.
    static const bool png_known = (register_png_file_type(), true);
    (void)png_known;

    TEXTURE_FILE file;
    if (read_texture_file(filename, &file, nullptr))
        return nullptr;
    PALETTE own;
    BITMAP *img = decode_texture(&file, own);
    free_texture_file(&file);
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

const char *texture_problem(const char *filename, bool *absent)
{
    TEXTURE_FILE file;
    const char *why = read_texture_file(filename, &file, absent);
    if (why)
        return why;
    PALETTE own;
    BITMAP *img = decode_texture(&file, own);
    free_texture_file(&file);
    if (img) {
        destroy_bitmap(img);
        return nullptr;
    }
    static char broken[512];
    snprintf(broken, sizeof broken, "%s: its image data cannot be decoded", filename);
    return broken;
}
