// A database described as JSON: its tables with their fields, indexes and
// rows, its relations and its stored queries.
//
//   {"tables": [{"name": "T",
//                "fields": [{"name": "F", "type": 10, "size": 50,
//                            "allowZeroLength": true, "required": false}],
//                "indexes": [{"name": "I", "fields": ["F"], "unique": false,
//                             "primary": false}],
//                "rows": [{"F": "x"}]}],
//    "relations": [{"name": "R", "table": "T", "foreignTable": "U", "attributes": 0,
//                   "fields": [{"name": "F", "foreignName": "G"}]}],
//    "queries": [{"name": "Q", "sql": "SELECT * FROM T"}]}
//
// Describe writes every key; CreateFromDescription accepts omitted ones and
// gives them their defaults. Creating from a description written in the
// engine's order with every key present, then describing the new file, gives
// the same description back. docs/descriptions.md lists the keys, defaults,
// type codes and how row values are written.
//
// Failures are actualiz::Error. A failure caused by the description names
// the JSON place in its text: "tables[2].fields[0].type: unknown field type 99".
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "engine/engine.h"

namespace actualiz::engine {

struct DescribeOptions {
  bool system = false;  // also the engine's own tables, relations and queries ("MSys...")
  bool rows = false;    // also each table's data, in record-set order
};

// The description of an open database, in the engine's order. The same file
// always gives the same description. Fails with the engine's Error when the
// database cannot be read.
nlohmann::json Describe(Database& database, const DescribeOptions& options = {});

// The description of one index, relation or stored query, exactly as
// Describe writes it inside a database's description. The batch compares
// an object as it dropped it with the object it created in its place.
nlohmann::json DescribeIndex(Index& index);
nlohmann::json DescribeRelation(Relation& relation);
nlohmann::json DescribeQuery(QueryDef& query);

// Parses description text. Error 3001 naming the line and column when the
// text is not JSON.
nlohmann::json ParseDescription(std::string_view text);

// Checks the whole description without touching any file: shape, names
// (non-empty, not the engine's "MSys...", no duplicates without regard to
// case), type codes, indexes and relations naming fields that exist, row
// values that suit their fields. Throws the first problem found, naming its
// place (3001 for a malformed description, the engine's number where it has
// one: 3259 unknown type, 3010/3191/3284/3012 duplicate names, 3265 a name
// that is not there).
void ValidateDescription(const nlohmann::json& description);

// Validates `description`, then creates a new database at `host_path`
// (`name` is what the database reports as its Name; the host path when
// empty) with its tables, rows, indexes, relations and queries, in that
// order. Fails with 3204 when the file exists, which is left untouched. On
// any other failure the file it created is removed, and the error names the
// JSON place that caused it and the file. The file is made in `session`;
// without one, in a session of the call's own.
void CreateFromDescription(Session& session, const std::string& host_path,
                           const nlohmann::json& description, const std::string& name = {});
void CreateFromDescription(const std::string& host_path, const nlohmann::json& description,
                           const std::string& name = {});

}  // namespace actualiz::engine
