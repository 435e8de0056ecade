// fuzz_texture -- the texture loader on hostile image files.
//
// The input is written as textures/fuzz.bmp, .pcx, .tga and .png, and each
// is loaded.  A texture that loads is a 128 x 128 bitmap of the current
// depth, and a land naming it loads it alike and survives being saved and
// loaded again.
#include <cstring>

#include "fuzz_common.h"

namespace {

const char *const extensions[] = {"bmp", "pcx", "tga", "png"};

bool same_pixels(BITMAP *a, BITMAP *b)
{
    if (a->w != b->w || a->h != b->h || bitmap_color_depth(a) != bitmap_color_depth(b))
        return false;
    for (int y = 0; y < a->h; y++)
        if (memcmp(a->line[y], b->line[y], (size_t)a->w * ((bitmap_color_depth(a) + 7) / 8)))
            return false;
    return true;
}

// A one-tile land painted with the texture, through the land loader.
void load_as_land(const char *name, BITMAP *direct)
{
    const char *names[] = {name};
    LAND *l = create_land(1, 1, names, 1);
    if (!l)
        fuzz_fault("create_land failed");
    HOLLOW *h = (HOLLOW *)calloc(1, sizeof(HOLLOW));
    h->floor = 0;
    h->roof = 1;
    l->tile[0][0].hollow = h;
    for (int d = 0; d < 4; d++)
        l->tile[0][0].wall[d] = (int *)calloc(1, sizeof(int));
    std::string path = fuzz_path("painted.lvl");
    if (save_land(l, path.c_str()) != 0)
        fuzz_fault("cannot save a land naming %s", name);
    destroy_land(l);
    {
        in_fuzz_folder here;
        l = load_land(path.c_str());
    }
    if (!l)
        fuzz_fault("a land naming %s does not load: %s", name, land_load_error());
    if (!l->texture[0] || !same_pixels(l->texture[0], direct))
        fuzz_fault("the land loader gives %s otherwise than load_texture", name);
    check_round_trip(l, 0, false, "a land painted with the texture");
    destroy_land(l);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    start_fuzzing();
    if (mkdir(fuzz_path("textures").c_str(), 0700) != 0)
        fuzz_fault("cannot make %s", fuzz_path("textures").c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (const char *ext : extensions) {
        std::string name = std::string("fuzz.") + ext;
        std::string path = fuzz_path("textures/" + name);
        write_plain(path, data, size);
        BITMAP *t = load_texture(path.c_str());
        if (!t)
            continue;
        if (t->w != 128 || t->h != 128 || bitmap_color_depth(t) != get_color_depth() || !is_memory_bitmap(t))
            fuzz_fault("%s loads as a %dx%d bitmap of depth %d", name.c_str(), t->w, t->h, bitmap_color_depth(t));
        load_as_land(name.c_str(), t);
        destroy_bitmap(t);
    }
    return 0;
}
