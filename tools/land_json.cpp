// land_json.cpp -- JSON output for the land tool.
//
// One writer makes every piece of text, into a string or out to a file: the
// file takes the text in blocks as it is made, so that the biggest land is
// written in the room of one block rather than of its whole text (tens of
// times the land's own size).
#include "tools/land_json.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

#include "land/land.h"
#include "objects/objects.h"

namespace {

const size_t JSON_BLOCK = 1 << 15;

// Text is made in a block of its own and handed on whole when full: to a
// string, or to a file.
struct JSON_OUT {
    char block[JSON_BLOCK];
    size_t used = 0;
    std::string *text = nullptr;
    FILE *file = nullptr;
    bool failed = false;
};

void hand_on(JSON_OUT &out, const char *s, size_t n)
{
    if (out.text)
        out.text->append(s, n);
    else if (fwrite(s, 1, n, out.file) != n)
        out.failed = true;
}

void flush(JSON_OUT &out)
{
    hand_on(out, out.block, out.used);
    out.used = 0;
}

void put_past_block(JSON_OUT &out, const char *s, size_t n)
{
    flush(out);
    if (n > JSON_BLOCK) {
        hand_on(out, s, n);
        return;
    }
    memcpy(out.block, s, n);
    out.used = n;
}

// Kept small enough to inline, so that a literal's copy is a move or two.
inline void put(JSON_OUT &out, const char *s, size_t n)
{
    if (out.used + n > JSON_BLOCK) {
        put_past_block(out, s, n);
        return;
    }
    memcpy(out.block + out.used, s, n);
    out.used += n;
}

// Literals, their length known when compiled.
template <size_t N>
void put(JSON_OUT &out, const char (&s)[N])
{
    put(out, s, N - 1);
}

void put_number(JSON_OUT &out, long v)
{
    char buf[24];
    char *end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    put(out, buf, end - buf);
}

// A member, its separator and name given together: ", \"x\": ".
template <size_t N>
void put_field(JSON_OUT &out, const char (&head)[N], long v)
{
    put(out, head);
    put_number(out, v);
}

// A separator: ", " before all but the first of a list.
void put_comma(JSON_OUT &out, bool first)
{
    if (!first)
        put(out, ", ");
}

void put_quoted(JSON_OUT &out, const char *s)
{
    put(out, "\"");
    for (const unsigned char *p = (const unsigned char *)(s ? s : ""); *p; p++) {
        char buf[8];
        if (*p == '"' || *p == '\\') {
            buf[0] = '\\';
            buf[1] = (char)*p;
            put(out, buf, 2);
        } else if (*p < 0x20 || *p >= 0x7f) {
            // Names are bytes, not text: keep them readable and the JSON valid.
            put(out, buf, snprintf(buf, sizeof buf, "\\u%04x", *p));
        } else {
            put(out, (const char *)p, 1);
        }
    }
    put(out, "\"");
}

void put_object(JSON_OUT &out, const OBJECT *o)
{
    put_field(out, "{\"type\": ", o->type);
    put_field(out, ", \"x\": ", o->x);
    put_field(out, ", \"y\": ", o->y);
    put_field(out, ", \"z\": ", o->z);
    put_field(out, ", \"z_offset\": ", o->z_offset);
    put_field(out, ", \"z_speed\": ", o->z_speed);
    put_field(out, ", \"dir\": ", o->dir);
    put_field(out, ", \"move_step\": ", o->move_step);
    switch (o->type) {
    case OBJ_PLAYER: {
        const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
        put_field(out, ", \"index\": ", p->index);
        put_field(out, ", \"facing\": ", p->facing);
        put_field(out, ", \"turn\": ", p->turn);
        put_field(out, ", \"pitch\": ", p->pitch);
        break;
    }
    case OBJ_DIAMOND:
        put_field(out, ", \"spin\": ", ((const DIAMOND_DATA *)o->data)->spin);
        break;
    case OBJ_ROCK:
        put_field(out, ", \"texture\": ", ((const ROCK_DATA *)o->data)->texture);
        break;
    default:
        put_field(out, ", \"kind\": ", ((const PLACEHOLDER_DATA *)o->data)->kind);
        break;
    }
    put(out, "}");
}

void put_hollow(JSON_OUT &out, const HOLLOW *h)
{
    put_field(out, "{\"slope\": ", h->slope);
    put_field(out, ", \"floor\": ", h->floor);
    put_field(out, ", \"roof\": ", h->roof);
    put_field(out, ", \"floor_tex\": ", h->floor_tex);
    put_field(out, ", \"roof_tex\": ", h->roof_tex);
    put(out, ", \"slope_tex\": [");
    for (int d = 0; d < 4; d++) {
        put_comma(out, d == 0);
        put_number(out, h->slope_tex[d]);
    }
    put(out, "], \"objects\": [");
    for (const OBJECT *o = h->object; o; o = o->next) {
        put_comma(out, o == h->object);
        put_object(out, o);
    }
    put(out, "]}");
}

void put_tile(JSON_OUT &out, const LAND *l, int x, int y)
{
    const TILE *t = &l->tile[y][x];
    if (x || y)
        put(out, ",");
    put_field(out, "\n  {\"x\": ", x);
    put_field(out, ", \"y\": ", y);
    put(out, ", \"hollows\": [");
    for (const HOLLOW *h = t->hollow; h; h = h->next) {
        put_comma(out, h == t->hollow);
        put_hollow(out, h);
    }
    put(out, "], \"wall\": [");
    for (int d = 0; d < 4; d++) {
        put_comma(out, d == 0);
        put(out, "[");
        int n = wall_length(l, x, y, d);
        for (int i = 0; i < n; i++) {
            put_comma(out, i == 0);
            put_number(out, t->wall[d][i]);
        }
        put(out, "]");
    }
    put(out, "]}");
}

void put_land(JSON_OUT &out, const LAND *l, int n_players, const std::string &extra)
{
    put_field(out, "{\"n_players\": ", n_players);
    put_field(out, ", \"n_textures\": ", l->n_textures);
    put(out, ", \"textures\": [");
    for (int i = 0; i < l->n_textures; i++) {
        put_comma(out, i == 0);
        put_quoted(out, l->texture_filename ? l->texture_filename[i] : "");
    }
    put_field(out, "], \"fog_colour\": ", l->fog_colour);
    put_field(out, ", \"w\": ", l->w);
    put_field(out, ", \"h\": ", l->h);
    put_field(out, ", \"n_diamonds\": ", l->n_diamonds);
    put(out, ",\n \"tiles\": [");
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            put_tile(out, l, x, y);
    put(out, "\n ]");
    if (!extra.empty()) {
        put(out, ",\n ");
        put(out, extra.data(), extra.size());
    }
    put(out, "}");
}

// Runs make on a writer that ends in a string.  The writer is big, so it
// lives on the heap.
template <class F>
std::string json_text(F &&make)
{
    std::string text;
    std::unique_ptr<JSON_OUT> out(new JSON_OUT);
    out->text = &text;
    make(*out);
    flush(*out);
    return text;
}

} // namespace

std::string quoted(const char *s)
{
    return json_text([&](JSON_OUT &out) { put_quoted(out, s); });
}

std::string object_json(const OBJECT *o)
{
    return json_text([&](JSON_OUT &out) { put_object(out, o); });
}

std::string objects_json(const LAND *l)
{
    return json_text([&](JSON_OUT &out) {
        put(out, "[");
        bool first = true;
        for (int y = 0; y < l->h; y++)
            for (int x = 0; x < l->w; x++)
                for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                    for (const OBJECT *o = h->object; o; o = o->next) {
                        put_comma(out, first);
                        put_object(out, o);
                        first = false;
                    }
        put(out, "]");
    });
}

std::string land_json(const LAND *l, int n_players, const std::string &extra)
{
    return json_text([&](JSON_OUT &out) { put_land(out, l, n_players, extra); });
}

bool write_land_json(FILE *f, const LAND *l, int n_players, const std::string &extra)
{
    std::unique_ptr<JSON_OUT> out(new JSON_OUT);
    out->file = f;
    put_land(*out, l, n_players, extra);
    flush(*out);
    return !out->failed && fflush(f) == 0;
}
