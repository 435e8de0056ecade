// land_json.h -- a land as JSON, with the land model's field names.
#ifndef TAVO_TOOLS_LAND_JSON_H
#define TAVO_TOOLS_LAND_JSON_H

#include <cstdio>
#include <string>

struct LAND;
struct OBJECT;

// A string as a JSON string; bytes outside printable ASCII are escaped.
std::string quoted(const char *s);

// One object: type, position, motion and its record's fields.
std::string object_json(const OBJECT *o);

// The whole land as one JSON object; n_players is the stored player count.
// extra, if given, holds further members ("key": value, ...) to add.
std::string land_json(const LAND *l, int n_players, const std::string &extra = "");

// The same text written to f as it is made, so that no land needs room for
// its whole text; false when f would not take all of it.  f is flushed.
bool write_land_json(FILE *f, const LAND *l, int n_players, const std::string &extra = "");

// Every object of the land, placeholders included, in land order: tiles in
// row order, hollows bottom-up, each list in order.
std::string objects_json(const LAND *l);

#endif
