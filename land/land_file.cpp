// land_file.cpp -- reading and writing ".lvl" land files.
//
// The format has no version and no checksum, so the reader is the guard: it
// checks every value against the land model's invariants before anything
// relies on it, and a file that breaks them is refused whole.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "land/land.h"

static const long LAND_MAGIC = 'T' | ('A' << 8) | ('V' << 16) | ((long)'O' << 24);

enum { END_OF_TILE = 255, END_OF_HOLLOW = 0, MAX_NAME = 12 };

static const char *load_error = "";

const char *land_load_error()
{
    return load_error;
}

namespace {

// Records why loading stopped; always returns false for the caller to pass on.
bool refuse(const char *why)
{
    if (!*load_error)
        load_error = why;
    return false;
}

// Reads from a packfile and remembers whether the file ran out.
struct land_reader {
    PACKFILE *f;
    bool bad = false;
    // What the land holds so far, held against the reader's limits.
    long hollows = 0, objects = 0;

    int byte()
    {
        int c = pack_getc(f);
        if (c == EOF) {
            refuse("the file ends early");
            bad = true;
            return 0;
        }
        return c;
    }
    int word()
    {
        int w = pack_igetw(f);
        if (w == EOF) {
            refuse("the file ends early");
            bad = true;
            return 0;
        }
        return w;
    }
};

// What the reader learns beyond the land itself, committed to the globals
// only once the whole file has been accepted.
struct land_extras {
    char **names = nullptr;
    int n_names = 0;
    int player_seen[2] = {0, 0};
    OBJECT *player_object[2] = {nullptr, nullptr};

    ~land_extras()
    {
        if (names) {
            for (int i = 0; i < n_names; i++)
                free(names[i]);
            free(names);
        }
    }
};

bool valid_texture(const LAND *l, int t)
{
    return t >= 0 && t < l->n_textures;
}

bool read_textures(land_reader &r, LAND *l, land_extras &x)
{
    int count = r.byte();
    if (r.bad)
        return false;
    l->n_textures = count ? count : 256;
    l->texture = (BITMAP **)calloc(l->n_textures, sizeof(BITMAP *));
    x.names = (char **)calloc(l->n_textures, sizeof(char *));
    x.n_names = l->n_textures;
    if (!l->texture || !x.names)
        return refuse("out of memory");
    for (int i = 0; i < l->n_textures; i++) {
        int len = r.byte();
        if (r.bad)
            return false;
        if (len > MAX_NAME)
            return refuse("a texture name is longer than 12 bytes");
        char name[MAX_NAME + 1];
        for (int k = 0; k < len; k++) {
            int c = r.byte();
            // Plain file names inside "textures/" only.
            if (c == 0 || c == '/' || c == '\\')
                return refuse("a texture name is not a plain file name");
            name[k] = (char)c;
        }
        name[len] = '\0';
        if (r.bad)
            return false;
        x.names[i] = strdup(name);
        if (!x.names[i])
            return refuse("out of memory");
        std::string path = find_texture_file((std::string("textures/") + name).c_str());
        l->texture[i] = load_texture(path.c_str());  // null is drawn as "missing"
    }
    return true;
}

bool read_objects(land_reader &r, LAND *l, HOLLOW *h, int x, int y, land_extras &e)
{
    OBJECT **tail = &h->object;
    int last_z = -1;
    for (;;) {
        int type = r.byte();
        if (r.bad)
            return false;
        if (type == END_OF_HOLLOW)
            return true;
        if (type < OBJ_PLAYER || type > OBJ_ROCK)
            return refuse("an object has an unknown type");
        int z = r.word();
        if (r.bad)
            return false;
        if (z < h->floor || z >= h->roof || z < last_z)
            return refuse("an object lies outside its hollow or out of order");
        // Objects stand from the floor level up, one to a level: the rules
        // never look for a second one, nor inside a ramp.
        if (z < floor_level(h))
            return refuse("an object lies inside the slope of its hollow");
        if (z == last_z)
            return refuse("two objects stand at one level of a cell");
        last_z = z;
        if (++r.objects > MAX_LAND_OBJECTS)
            return refuse("the land holds more than 1048576 objects");
        OBJECT *o = create_object(type, x, y, z);
        if (!o)
            return refuse("out of memory");
        *tail = o;  // linked first, so that a refusal below frees it with the land
        tail = &o->next;
        if (load_object_data[type](o, r.f) != 0)
            return refuse(type == OBJ_PLAYER ? "a player has a number other than 0 or 1, or a bad facing"
                                             : "the file ends early");
        if (type == OBJ_PLAYER) {
            int index = ((PLAYER_DATA *)o->data)->index;
            if (e.player_seen[index])
                return refuse("a player is placed twice");
            e.player_seen[index] = 1;
            e.player_object[index] = o;
        } else if (type == OBJ_DIAMOND) {
            l->n_diamonds++;
        }
    }
}

bool read_tiles(land_reader &r, LAND *l, land_extras &e)
{
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            HOLLOW **tail = &l->tile[y][x].hollow;
            int last_roof = 0;
            bool first = true;
            for (;;) {
                int s = r.byte();
                if (r.bad)
                    return false;
                if (s == END_OF_TILE)
                    break;
                if (s >= 13)
                    return refuse("a hollow has a slope above 12");
                if (++r.hollows > MAX_LAND_HOLLOWS)
                    return refuse("the land holds more than 1048576 hollows");
                HOLLOW *h = (HOLLOW *)calloc(1, sizeof(HOLLOW));
                if (!h)
                    return refuse("out of memory");
                *tail = h;
                tail = &h->next;
                h->slope = s;
                h->floor = r.word();
                h->roof = r.word();
                h->floor_tex = r.byte();
                h->roof_tex = r.byte();
                for (int d = 0; d < 4; d++)
                    h->slope_tex[d] = r.byte();
                if (r.bad)
                    return false;
                if (h->floor >= h->roof)
                    return refuse("a hollow's floor is not below its roof");
                if (!first && h->floor < last_roof)
                    return refuse("hollows overlap or are out of order");
                if (!valid_texture(l, h->floor_tex) || !valid_texture(l, h->roof_tex))
                    return refuse("a texture number is not below the texture count");
                for (int d = 0; d < 4; d++)
                    if (!valid_texture(l, h->slope_tex[d]))
                        return refuse("a texture number is not below the texture count");
                first = false;
                last_roof = h->roof;
                if (!read_objects(r, l, h, x, y, e))
                    return false;
            }
        }
    return true;
}

bool read_walls(land_reader &r, LAND *l)
{
    // Every length first, so that a land beyond the limit is refused before
    // any list is allocated, however short its file.
    std::vector<int> length((size_t)l->w * l->h * 4);
    long total = 0;
    for (int y = 0, i = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++, i++)
                total += length[i] = wall_length(l, x, y, d);
    if (total > MAX_LAND_WALL_SQUARES)
        return refuse("the land has more than 16777216 wall squares");
    for (int y = 0, i = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++, i++) {
                int n = length[i];
                if (n == 0)
                    continue;
                int *list = (int *)malloc(n * sizeof(int));
                if (!list)
                    return refuse("out of memory");
                l->tile[y][x].wall[d] = list;
                for (int k = 0; k < n; k++) {
                    list[k] = r.byte();
                    if (r.bad)
                        return false;
                    if (!valid_texture(l, list[k]))
                        return refuse("a texture number is not below the texture count");
                }
            }
    return true;
}

LAND *read_land(land_reader &r, land_extras &e, int &declared_players, land_use use)
{
    LAND *l = (LAND *)calloc(1, sizeof(LAND));
    if (!l)
        return nullptr;
    declared_players = r.byte();
    // The editor counts the players placed instead of trusting the byte, so
    // that it can open, and repair, a file that gets it wrong.
    bool ok = !r.bad &&
              (declared_players <= 2 || use == LAND_FOR_EDITING || refuse("the land declares more than 2 players")) &&
              read_textures(r, l, e);
    if (ok) {
        l->fog_colour = r.byte();
        int w = r.byte();
        int h = r.byte();
        ok = !r.bad;
        if (ok)
            ok = allocate_tiles(l, w, h) || refuse("out of memory");
    }
    ok = ok && read_tiles(r, l, e) && read_walls(r, l);
    if (ok) {
        l->missing_texture = create_missing_texture();
        ok = l->missing_texture != nullptr || refuse("out of memory");
    }
    if (!ok) {
        destroy_land(l);
        return nullptr;
    }
    return l;
}

std::string texture_name_as_is(const char *name)
{
    return name;
}

} // namespace

std::string (*find_texture_file)(const char *name) = texture_name_as_is;

LAND *load_land(const char *filename, land_use use)
{
    load_error = "";
    struct stat st;
    if (stat(filename, &st) != 0) {
        refuse("the file cannot be opened");
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        refuse("not a regular file");
        return nullptr;
    }
    PACKFILE *f = pack_fopen(filename, "rp");
    if (!f) {
        refuse("the file cannot be opened");
        return nullptr;
    }
    land_reader r{f};
    if (pack_igetl(f) != LAND_MAGIC) {
        refuse("not a land file");
        pack_fclose(f);
        return nullptr;
    }
    land_extras e;
    int declared = 0;
    LAND *l = read_land(r, e, declared, use);
    pack_fclose(f);
    if (!l)
        return nullptr;

    if (use == LAND_FOR_PLAY) {
        // The game plays rows 0 .. n_players-1, each with its object.
        for (int i = 0; i < declared; i++)
            if (!e.player_seen[i]) {
                refuse("a player the land declares is not placed");
                destroy_land(l);
                return nullptr;
            }
        l->n_players = declared;
    } else {
        l->n_players = e.player_seen[0] + e.player_seen[1];
    }
    l->player[0] = e.player_object[0];
    l->player[1] = e.player_object[1];
    // The names travel with their land, so that a load that fails leaves the
    // current land whole, and the writer and the tool can name every texture.
    l->texture_filename = e.names;
    e.names = nullptr;
    return l;
}

namespace {

void write_hollow(PACKFILE *f, const HOLLOW *h)
{
    pack_putc(h->slope, f);
    pack_iputw(h->floor & 0xffff, f);
    pack_iputw(h->roof & 0xffff, f);
    pack_putc(h->floor_tex & 255, f);
    pack_putc(h->roof_tex & 255, f);
    for (int d = 0; d < 4; d++)
        pack_putc(h->slope_tex[d] & 255, f);
    for (OBJECT *o = h->object; o; o = o->next) {
        if (o->type == OBJ_PLACEHOLDER)
            continue;  // reservations of moves in progress are not part of the land
        pack_putc(o->type, f);
        pack_iputw(o->z & 0xffff, f);
        save_object_data[o->type](o, f);
    }
    pack_putc(END_OF_HOLLOW, f);
}

void write_land(PACKFILE *f, const LAND *l)
{
    pack_iputl(LAND_MAGIC, f);
    pack_putc(l->n_players & 255, f);
    pack_putc(l->n_textures & 255, f);
    for (int i = 0; i < l->n_textures; i++) {
        const char *name = (l->texture_filename && l->texture_filename[i]) ? l->texture_filename[i] : "";
        size_t len = strlen(name);
        if (len > MAX_NAME)
            len = MAX_NAME;
        pack_putc((int)len, f);
        pack_fwrite(name, (long)len, f);
    }
    pack_putc(l->fog_colour & 255, f);
    pack_putc(l->w & 255, f);
    pack_putc(l->h & 255, f);
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                write_hollow(f, h);
            pack_putc(END_OF_TILE, f);
        }
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (int d = 0; d < 4; d++) {
                const int *list = l->tile[y][x].wall[d];
                int n = wall_length(l, x, y, d);
                for (int i = 0; i < n; i++)
                    pack_putc(list[i] & 255, f);
            }
}

// A packfile that only counts what is written to it, so that the size of a
// land's file comes from the very writer that makes the file.
int count_close(void *)
{
    return 0;
}
int count_getc(void *)
{
    return EOF;
}
int count_ungetc(int, void *)
{
    return EOF;
}
long count_read(void *, long, void *)
{
    return 0;
}
int count_putc(int c, void *n)
{
    ++*(long *)n;
    return c;
}
long count_write(const void *, long n, void *count)
{
    *(long *)count += n;
    return n;
}
int count_seek(void *, int)
{
    return -1;
}
int count_eof(void *)
{
    return 1;
}
int count_error(void *)
{
    return 0;
}
PACKFILE_VTABLE counting_vtable = {count_close, count_getc,  count_ungetc, count_read, count_putc,
                                   count_write, count_seek, count_eof,    count_error};

} // namespace

long land_file_size(const LAND *l)
{
    long n = 0;
    PACKFILE *f = pack_fopen_vtable(&counting_vtable, &n);
    if (!f)
        return -1;
    write_land(f, l);
    pack_fclose(f);
    return n;
}

int save_land(const LAND *l, const char *filename)
{
    PACKFILE *f = pack_fopen(filename, "wp");
    if (!f)
        return -1;
    write_land(f, l);
    bool failed = pack_ferror(f) != 0;
    if (pack_fclose(f) != 0)
        failed = true;
    return failed ? -1 : 0;
}
