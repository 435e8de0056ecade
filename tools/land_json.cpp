// land_json.cpp -- JSON output for the land tool.
#include "tools/land_json.h"

#include <cstdio>

#include "land/land.h"
#include "objects/objects.h"

namespace {

std::string field(const char *name, long v)
{
    return std::string("\"") + name + "\": " + std::to_string(v);
}

} // namespace

std::string quoted(const char *s)
{
    std::string out = "\"";
    for (const unsigned char *p = (const unsigned char *)(s ? s : ""); *p; p++) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += (char)*p;
        } else if (*p < 0x20 || *p >= 0x7f) {
            // Names are bytes, not text: keep them readable and the JSON valid.
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", *p);
            out += buf;
        } else {
            out += (char)*p;
        }
    }
    return out + "\"";
}


std::string object_json(const OBJECT *o)
{
    std::string s = "{" + field("type", o->type) + ", " + field("x", o->x) + ", " + field("y", o->y) + ", " +
                    field("z", o->z) + ", " + field("z_offset", o->z_offset) + ", " +
                    field("z_speed", o->z_speed) + ", " + field("dir", o->dir) + ", " +
                    field("move_step", o->move_step);
    switch (o->type) {
    case OBJ_PLAYER: {
        const PLAYER_DATA *p = (const PLAYER_DATA *)o->data;
        s += ", " + field("index", p->index) + ", " + field("facing", p->facing) + ", " + field("turn", p->turn) +
             ", " + field("pitch", p->pitch);
        break;
    }
    case OBJ_DIAMOND:
        s += ", " + field("spin", ((const DIAMOND_DATA *)o->data)->spin);
        break;
    case OBJ_ROCK:
        s += ", " + field("texture", ((const ROCK_DATA *)o->data)->texture);
        break;
    default:
        s += ", " + field("kind", ((const PLACEHOLDER_DATA *)o->data)->kind);
        break;
    }
    return s + "}";
}

std::string objects_json(const LAND *l)
{
    std::string s = "[";
    bool first = true;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *o = h->object; o; o = o->next) {
                    s += first ? "" : ", ";
                    s += object_json(o);
                    first = false;
                }
    return s + "]";
}

std::string land_json(const LAND *l, int n_players, const std::string &extra)
{
    std::string s = "{" + field("n_players", n_players) + ", " + field("n_textures", l->n_textures) +
                    ", \"textures\": [";
    for (int i = 0; i < l->n_textures; i++)
        s += (i ? ", " : "") + quoted(l->texture_filename ? l->texture_filename[i] : "");
    s += "], " + field("fog_colour", l->fog_colour) + ", " + field("w", l->w) + ", " + field("h", l->h) + ", " +
         field("n_diamonds", l->n_diamonds) + ",\n \"tiles\": [";
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++) {
            const TILE *t = &l->tile[y][x];
            s += (x || y) ? ",\n  {" : "\n  {";
            s += field("x", x) + ", " + field("y", y) + ", \"hollows\": [";
            for (const HOLLOW *h = t->hollow; h; h = h->next) {
                s += h == t->hollow ? "{" : ", {";
                s += field("slope", h->slope) + ", " + field("floor", h->floor) + ", " + field("roof", h->roof) +
                     ", " + field("floor_tex", h->floor_tex) + ", " + field("roof_tex", h->roof_tex) +
                     ", \"slope_tex\": [";
                for (int d = 0; d < 4; d++)
                    s += (d ? ", " : "") + std::to_string(h->slope_tex[d]);
                s += "], \"objects\": [";
                for (const OBJECT *o = h->object; o; o = o->next)
                    s += (o == h->object ? "" : ", ") + object_json(o);
                s += "]}";
            }
            s += "], \"wall\": [";
            for (int d = 0; d < 4; d++) {
                s += d ? ", [" : "[";
                int n = wall_length(l, x, y, d);
                for (int i = 0; i < n; i++)
                    s += (i ? ", " : "") + std::to_string(t->wall[d][i]);
                s += "]";
            }
            s += "]}";
        }
    s += "\n ]";
    if (!extra.empty())
        s += ",\n " + extra;
    return s + "}";
}
