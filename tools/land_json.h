// land_json.h -- a land as JSON, with the land model's field names.
#ifndef TAVO_TOOLS_LAND_JSON_H
#define TAVO_TOOLS_LAND_JSON_H

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

// Every object of the land, placeholders included, in land order: tiles in
// row order, hollows bottom-up, each list in order.
std::string objects_json(const LAND *l);

#endif
