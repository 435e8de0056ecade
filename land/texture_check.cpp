// texture_check.cpp -- texture files read whole and vetted before any decoder
// sees them.
//
// The library's image readers believe their headers: a BMP claiming 65536 x
// 65536 pixels wraps the bitmap's size to 0 and is then written far past it,
// one claiming 46000 x 46000 takes gigabytes, a run that crosses the end of a
// row writes past it, and a file cut short decodes as garbage.  So a texture
// is read into memory once, its header is held to exactly what the reader of
// its type will do with it, compressed pixels are walked without being
// written anywhere, and only then are these same bytes handed to the reader.
#include "land/land.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

const int SIDE = 128;                     // the only size the renderer takes
const long MAX_TEXTURE_BYTES = 1L << 20;  // far beyond any 128 x 128 image

char why_buf[512];

__attribute__((format(printf, 2, 3))) const char *refuse(const char *filename, const char *fmt, ...)
{
    int n = snprintf(why_buf, sizeof why_buf, "%s: ", filename);
    if (n < 0 || n >= (int)sizeof why_buf)
        n = 0;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(why_buf + n, sizeof why_buf - (size_t)n, fmt, ap);
    va_end(ap);
    return why_buf;
}

// The file's bytes with a cursor; reading past the end gives 0 and sets
// `over`, so a check reads straight on and looks once.
struct BYTES {
    const unsigned char *p;
    long size, pos;
    bool over;
};

unsigned get8(BYTES &b)
{
    if (b.pos >= b.size) {
        b.over = true;
        return 0;
    }
    return b.p[b.pos++];
}

unsigned get16(BYTES &b)
{
    unsigned lo = get8(b);
    return lo | get8(b) << 8;
}

unsigned long get32(BYTES &b)
{
    unsigned long lo = get16(b);
    return lo | (unsigned long)get16(b) << 16;
}

unsigned long get32be(BYTES &b)
{
    unsigned long v = 0;
    for (int i = 0; i < 4; i++)
        v = v << 8 | get8(b);
    return v;
}

void skip(BYTES &b, long n)
{
    if (n > b.size - b.pos) {
        b.pos = b.size;
        b.over = true;
    } else {
        b.pos += n;
    }
}

const char *wrong_size(const char *filename, long w, long h)
{
    return refuse(filename, "claims %ld x %ld pixels; textures are %d x %d", w, h, SIDE, SIDE);
}

const char *too_short(const char *filename, const BYTES &b, long need)
{
    return refuse(filename, "holds %ld bytes but its header promises %ld", b.size, need);
}

// BMP

// Walks run-length BMP data as the library's reader does, writing nothing:
// every run must land inside the picture, and the stream must end (by its
// end-of-picture code or by leaving the top row) before the file does.
// Pixels the stream skips stay 0, as the reader clears the bitmap first.
const char *walk_bmp_rle(const char *filename, BYTES &b, int bits)
{
    int line = SIDE - 1;
    bool end = false;
    while (!end) {
        int pos = 0;
        bool eol = false;
        while (!eol && !end) {
            int count = (int)get8(b), val = (int)get8(b);
            int run = count ? count : val >= 3 ? val : 0;
            if (run && (line < 0 || pos + run > SIDE))
                return refuse(filename, "a run of pixels falls outside the picture");
            if (count) {
                pos += count;
            } else if (val == 0) {
                eol = true;
            } else if (val == 1) {
                end = true;
            } else if (val == 2) {
                pos += (int)get8(b);
                line -= (int)get8(b);
            } else {
                // Absolute mode: 8-bit pixels padded to a word, 4-bit ones
                // read a word at a time.
                skip(b, bits == 8 ? val + (val & 1) : (val + 3) / 4 * 2);
                pos += val;
            }
            if (b.over)
                return refuse(filename, "its compressed pixels end before the picture does");
            if (pos - 1 > SIDE)
                eol = true;
        }
        if (--line < 0)
            end = true;
    }
    return nullptr;
}

const char *check_bmp(const char *filename, BYTES &b)
{
    if (get16(b) != 0x4d42)
        return refuse(filename, "is not a BMP file");
    skip(b, 8);
    unsigned long offset = get32(b);
    unsigned long info = get32(b);
    if (b.over)
        return refuse(filename, "ends inside its BMP header");
    long w, h;
    unsigned bits;
    unsigned long compression = 0;
    if (info == 40) {
        w = (long)(int)get32(b);
        h = (long)(int)get32(b);
        skip(b, 2);
        bits = get16(b);
        compression = get32(b);
        skip(b, 20);
    } else if (info == 12) {
        w = get16(b);
        h = get16(b);
        skip(b, 2);
        bits = get16(b);
    } else {
        return refuse(filename, "has a %lu-byte BMP info header; only 40 and 12 are read", info);
    }
    if (b.over)
        return refuse(filename, "ends inside its BMP header");
    if (h == -SIDE)
        return refuse(filename, "is stored top-down, which the reader cannot take");
    if (w != SIDE || h != SIDE)
        return wrong_size(filename, w, h);
    long header_end = b.pos;

    if (compression == 3) {
        // Colour masks follow the header; the reader goes straight on to
        // the pixels after them, whatever the offset says.
        unsigned long red = get32(b);
        skip(b, 4);
        unsigned long blue = get32(b);
        unsigned bytes = blue == 0x1f && (red == 0x7c00 || red == 0xf800) ? 2
                         : blue == 0xff && red == 0xff0000                   ? 4
                                                                            : 0;
        if (!bytes)
            return refuse(filename, "has colour masks the reader does not know");
        if (bits != bytes * 8)
            return refuse(filename, "has %u bits per pixel but %u-byte colour masks", bits, bytes);
        long need = b.pos + (long)(SIDE * bytes + 3) / 4 * 4 * SIDE;
        return need > b.size ? too_short(filename, b, need) : nullptr;
    }
    // Before the pixels the reader takes everything up to the offset as the
    // colour table.
    if (offset < (unsigned long)header_end || offset > (unsigned long)b.size)
        return refuse(filename, "puts its pixels at byte %lu, outside the %ld bytes after its header",
                      offset, b.size - header_end);
    b.pos = (long)offset;
    if (compression == 0) {
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return refuse(filename, "has %u bits per pixel", bits);
        long need = b.pos + (long)(SIDE * bits + 31) / 32 * 4 * SIDE;
        return need > b.size ? too_short(filename, b, need) : nullptr;
    }
    if (compression == 1 || compression == 2) {
        unsigned want = compression == 1 ? 8 : 4;
        if (bits != want)
            return refuse(filename, "is run-length encoded for %u bits per pixel but has %u", want, bits);
        return walk_bmp_rle(filename, b, (int)bits);
    }
    return refuse(filename, "uses BMP compression %lu, which the reader does not know", compression);
}

// PCX

const char *check_pcx(const char *filename, BYTES &b)
{
    if (b.p[0] != 10)
        return refuse(filename, "is not a PCX file");
    if (b.size < 128)
        return refuse(filename, "ends inside its PCX header");
    if (b.p[2] != 1)
        return refuse(filename, "is not run-length encoded");
    if (b.p[3] != 8)
        return refuse(filename, "has %d bits per plane; the reader takes 8", b.p[3]);
    b.pos = 4;
    long xmin = get16(b), ymin = get16(b);
    long w = (long)get16(b) - xmin + 1, h = (long)get16(b) - ymin + 1;
    if (w != SIDE || h != SIDE)
        return wrong_size(filename, w, h);
    int planes = b.p[65];
    if (planes != 1 && planes != 3)
        return refuse(filename, "has %d colour planes; the reader takes 1 or 3", planes);
    b.pos = 66;
    long per_line = get16(b);
    if (per_line < SIDE || per_line > 2 * SIDE)
        return refuse(filename, "has %ld bytes per line for %d pixels", per_line, SIDE);

    // The reader decodes each line afresh: a run that overshoots the line's
    // end is cut there, not carried into the next.
    b.pos = 128;
    for (int y = 0; y < SIDE; y++) {
        for (long x = 0; x < per_line * planes;) {
            unsigned c = get8(b);
            if ((c & 0xc0) == 0xc0) {
                x += c & 0x3f;
                get8(b);
            } else {
                x++;
            }
            if (b.over)
                return refuse(filename, "its compressed pixels end in row %d of %d", y, SIDE);
        }
    }
    if (planes == 3)
        return nullptr;
    // An 8-bit image's own palette: the reader takes the first byte 12 after
    // the pixels as its marker and the 768 bytes after that as its colours.
    const void *mark = memchr(b.p + b.pos, 12, (size_t)(b.size - b.pos));
    if (!mark || (const unsigned char *)mark + 1 + 768 > b.p + b.size)
        return refuse(filename, "has no whole 256-colour palette after its pixels");
    return nullptr;
}

// TGA

const char *check_tga(const char *filename, BYTES &b)
{
    unsigned id_length = get8(b), map_type = get8(b), type = get8(b);
    skip(b, 2);
    unsigned colours = get16(b), entry = get8(b);
    skip(b, 4);
    long w = get16(b), h = get16(b);
    unsigned bits = get8(b);
    get8(b);
    if (b.over)
        return refuse(filename, "ends inside its TGA header");
    if (map_type > 1)
        return refuse(filename, "has colour map type %u", map_type);
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11)
        return refuse(filename, "has TGA image type %u, which the reader does not know", type);
    if (w != SIDE || h != SIDE)
        return wrong_size(filename, w, h);
    skip(b, id_length);
    if (map_type == 1) {
        // The reader keeps a colour map on the stack, 256 entries long, and
        // reads only 16-, 24- and 32-bit entries.
        if (colours > 256)
            return refuse(filename, "has a colour map of %u entries; the reader takes 256", colours);
        if (entry != 16 && entry != 24 && entry != 32)
            return refuse(filename, "has %u-bit colour map entries", entry);
        skip(b, (long)colours * (entry / 8));
    }
    int kind = (int)(type & 7);
    bool mapped = map_type == 1;
    long pixel = kind == 1 && mapped && bits == 8                                ? 1
                 : kind == 3 && !mapped && bits == 8                             ? 1
                 : kind == 2 && !mapped && (bits == 15 || bits == 16)            ? 2
                 : kind == 2 && !mapped && (bits == 24 || bits == 32)            ? bits / 8
                                                                                 : 0;
    if (!pixel)
        return refuse(filename, "has %u bits per pixel for TGA image type %u%s", bits, type,
                      mapped ? " with a colour map" : "");
    if (b.over)
        return refuse(filename, "ends inside its colour map");
    if (!(type & 8)) {
        long need = b.pos + pixel * SIDE * SIDE;
        return need > b.size ? too_short(filename, b, need) : nullptr;
    }
    // The reader starts every row afresh, so a packet running past a row's
    // end would be written past it.
    for (int y = 0; y < SIDE; y++) {
        long x = 0;
        while (x < SIDE) {
            unsigned packet = get8(b);
            long n = (packet & 0x7f) + 1;
            skip(b, packet & 0x80 ? pixel : n * pixel);
            x += n;
        }
        if (b.over)
            return refuse(filename, "its compressed pixels end in row %d of %d", y, SIDE);
        if (x != SIDE)
            return refuse(filename, "a run crosses the end of row %d", y);
    }
    return nullptr;
}

// PNG.  libpng finds every fault of its own, but once loadpng has made its
// bitmap an error from libpng loses it: a bad checksum on a critical chunk,
// image data that does not inflate to exactly the rows the header promises,
// an unknown row filter.  So those are all looked for here first, inflating
// the image data into a scratch buffer no larger than the rows themselves.

// Bytes of filtered rows a 128 x 128 image of `bits` per pixel inflates to,
// and calls row(offset) for each row's filter byte.
template <typename ROW>
long png_rows(unsigned bits, bool interlaced, ROW row)
{
    static const int x0[7] = {0, 4, 0, 2, 0, 1, 0}, dx[7] = {8, 8, 4, 4, 2, 2, 1};
    static const int y0[7] = {0, 0, 4, 0, 2, 0, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
    long at = 0;
    for (int pass = 0; pass < (interlaced ? 7 : 1); pass++) {
        long w = interlaced ? (SIDE - x0[pass] + dx[pass] - 1) / dx[pass] : SIDE;
        long h = interlaced ? (SIDE - y0[pass] + dy[pass] - 1) / dy[pass] : SIDE;
        for (long y = 0; y < h; y++) {
            row(at);
            at += 1 + (w * bits + 7) / 8;
        }
    }
    return at;
}

bool is_chunk(unsigned long type, const char *name)
{
    return type == ((unsigned long)name[0] << 24 | (unsigned long)name[1] << 16 | (unsigned long)name[2] << 8 |
                    (unsigned long)name[3]);
}

const char *check_png_data(const char *filename, BYTES &b, unsigned colour, unsigned bits, bool interlaced,
                           z_stream &zs, unsigned char *rows, long size)
{
    bool palette = false, image = false, image_over = false, inflated = false;
    b.pos = 8;
    for (;;) {
        long start = b.pos;
        unsigned long length = get32be(b), type = get32be(b);
        if (b.over)
            return refuse(filename, "ends before its last PNG chunk");
        if (length > 0x7fffffffUL || (long)length + 4 > b.size - b.pos)
            return refuse(filename, "has a chunk of %lu bytes running past the end of the file", length);
        for (int i = 4; i < 8; i++)
            if ((b.p[start + i] | 0x20) < 'a' || (b.p[start + i] | 0x20) > 'z')
                return refuse(filename, "has a PNG chunk whose name is not four letters");
        const unsigned char *data = b.p + b.pos;
        b.pos += (long)length;
        unsigned long crc = get32be(b);
        if (b.p[start + 4] & 0x20) {  // ancillary: libpng only warns
            image_over = image_over || image;
            continue;
        }
        if (crc != crc32(0, b.p + start + 4, (uInt)length + 4))
            return refuse(filename, "has a PNG chunk whose checksum is wrong");
        if (is_chunk(type, "IEND"))
            break;
        if (is_chunk(type, "PLTE")) {
            if (palette || image || colour == 0 || colour == 4 || !length || length > 768 || length % 3)
                return refuse(filename, "has a palette chunk that does not fit its image");
            palette = true;
        } else if (is_chunk(type, "IDAT")) {
            if (image_over || (inflated && length))
                return refuse(filename, "has image data after its image ended");
            image = true;
            zs.next_in = (Bytef *)data;
            zs.avail_in = (uInt)length;
            while (zs.avail_in) {
                int ret = inflate(&zs, Z_NO_FLUSH);
                if (ret == Z_STREAM_END && !zs.avail_in)
                    inflated = true;
                else if (ret != Z_OK || !zs.avail_out)
                    return refuse(filename, "has image data that does not inflate to its rows");
            }
            continue;
        } else if (start > 8) {
            return refuse(filename, "has a critical PNG chunk the reader does not know");
        }
        image_over = image_over || image;
    }
    if (colour == 3 && !palette)
        return refuse(filename, "has colour type 3 but no palette");
    if (!inflated || (long)zs.total_out != size)
        return refuse(filename, "has image data that does not inflate to its rows");
    const char *bad = nullptr;
    png_rows(bits, interlaced, [&](long at) {
        if (rows[at] > 4)
            bad = "has an unknown PNG row filter";
    });
    return bad ? refuse(filename, "%s", bad) : nullptr;
}

const char *check_png(const char *filename, BYTES &b)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (b.size < 8 || memcmp(b.p, signature, 8) != 0)
        return refuse(filename, "is not a PNG file");
    b.pos = 8;
    if (get32be(b) != 13 || !is_chunk(get32be(b), "IHDR"))
        return refuse(filename, "does not begin with a PNG header chunk");
    unsigned long w = get32be(b), h = get32be(b);
    unsigned depth = get8(b), colour = get8(b), compression = get8(b), filter = get8(b),
             interlace = get8(b);
    if (b.over)
        return refuse(filename, "ends inside its PNG header");
    if (w != SIDE || h != SIDE)
        return wrong_size(filename, (long)w, (long)h);
    bool depth_ok = colour == 0 ? depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16
                    : colour == 3 ? depth == 1 || depth == 2 || depth == 4 || depth == 8
                    : colour == 2 || colour == 4 || colour == 6 ? depth == 8 || depth == 16
                                                                : false;
    if (!depth_ok || compression || filter || interlace > 1)
        return refuse(filename, "has an impossible PNG header (depth %u, colour type %u)", depth, colour);

    unsigned channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
    long size = png_rows(channels * depth, interlace, [](long) {});
    // One byte to spare, so that data beyond the rows shows.
    unsigned char *rows = (unsigned char *)malloc((size_t)size + 1);
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    if (!rows || inflateInit(&zs) != Z_OK) {
        free(rows);
        return refuse(filename, "out of memory");
    }
    zs.next_out = rows;
    zs.avail_out = (uInt)size + 1;
    const char *why = check_png_data(filename, b, colour, channels * depth, interlace, zs, rows, size);
    inflateEnd(&zs);
    free(rows);
    return why;
}

struct TEXTURE_TYPE {
    const char *extension;
    const char *(*check)(const char *filename, BYTES &b);
};

// Indexed by TEXTURE_BMP and the rest.
const TEXTURE_TYPE texture_types[NUM_TEXTURE_TYPES] = {
    {"bmp", check_bmp},
    {"pcx", check_pcx},
    {"tga", check_tga},
    {"png", check_png},
};

int texture_type(const char *filename)
{
    const char *dot = strrchr(filename, '.');
    if (!dot || strchr(dot, '/'))
        return -1;
    for (int t = 0; t < NUM_TEXTURE_TYPES; t++)
        if (strcasecmp(dot + 1, texture_types[t].extension) == 0)
            return t;
    return -1;
}

const char *file_kind(mode_t mode)
{
    return S_ISDIR(mode) ? "a directory" : S_ISFIFO(mode) ? "a FIFO" : S_ISSOCK(mode) ? "a socket"
           : S_ISCHR(mode) || S_ISBLK(mode) ? "a device" : "not a regular file";
}

} // namespace

const char *read_texture_file(const char *filename, TEXTURE_FILE *f, bool *absent)
{
    *f = TEXTURE_FILE{nullptr, 0, -1};
    if (absent)
        *absent = false;
    // Look before opening: opening a FIFO would wait for a writer, and
    // opening a device may do something.
    struct stat st;
    if (stat(filename, &st) != 0) {
        if (absent)
            *absent = errno == ENOENT;
        if (errno == ENOENT)
            return refuse(filename, "no such file");
        return refuse(filename, "cannot be read (%s)", strerror(errno));
    }
    if (!S_ISREG(st.st_mode))
        return refuse(filename, "is %s, not a file", file_kind(st.st_mode));
    int type = texture_type(filename);
    if (type < 0)
        return refuse(filename, "is not .bmp, .pcx, .tga or .png, the textures whose headers can be checked");
    if (st.st_size > MAX_TEXTURE_BYTES)
        return refuse(filename, "is %lld bytes; no %d x %d texture needs more than %ld",
                      (long long)st.st_size, SIDE, SIDE, MAX_TEXTURE_BYTES);

    // The name may have changed hands since stat(): O_NONBLOCK keeps a FIFO
    // from blocking the open, and fstat() checks what was opened.
    int fd = open(filename, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refuse(filename, "cannot be read (%s)", strerror(errno));
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MAX_TEXTURE_BYTES) {
        close(fd);
        return refuse(filename, "changed while it was being opened");
    }
    unsigned char *data = (unsigned char *)malloc((size_t)st.st_size + 1);
    long size = 0;
    while (data && size < (long)st.st_size) {
        ssize_t got = read(fd, data + size, (size_t)(st.st_size - size));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        size += got;
    }
    int read_errno = errno;
    close(fd);
    if (!data)
        return refuse(filename, "out of memory");
    if (size < (long)st.st_size) {
        free(data);
        return refuse(filename, "cannot be read whole (%s)", strerror(read_errno));
    }
    if (size == 0) {
        free(data);
        return refuse(filename, "is empty");
    }

    BYTES b = {data, size, 0, false};
    const char *why = texture_types[type].check(filename, b);
    if (why) {
        free(data);
        return why;
    }
    *f = TEXTURE_FILE{data, size, type};
    return nullptr;
}

void free_texture_file(TEXTURE_FILE *f)
{
    free(f->data);
    *f = TEXTURE_FILE{nullptr, 0, -1};
}
