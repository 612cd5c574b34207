// The shape of the benchmark's database pairs: what the model holds and
// what the customer database lacks of it.
//
// A model has 40 tables of 10 fields (400 fields of mixed types), 60
// indexes (one unique key per table, twenty more over one or two fields,
// some unique), 20 relations from table k to table k + 20 (some over two
// field pairs, some cascading) and 30 stored queries. The customer database
// lacks the last 4 tables, the last two fields of tables 0 to 19, three
// indexes, the last relations and queries, has one stored query of another
// text and one index the model does not have. `for_server` adds a unique
// index over Id and Codigo to the tables that relations over two field
// pairs reference, as a server's foreign keys need (the model and the
// customer database both have it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace actualiz::bench {

struct FieldShape {
  std::string name;
  int type;
  int size;
};

struct IndexShape {
  std::string name;
  std::vector<std::string> fields;
  bool unique;
};

struct TableShape {
  std::string name;
  std::vector<FieldShape> fields;
  std::vector<IndexShape> indexes;
};

struct RelationShape {
  std::string name;
  std::string table;          // referenced
  std::string foreign_table;  // referencing
  std::int32_t attributes;
  std::vector<std::pair<std::string, std::string>> fields;  // (field, foreign field)
};

struct QueryShape {
  std::string name;
  std::string sql;
};

struct DatabaseShape {
  std::vector<TableShape> tables;
  std::vector<RelationShape> relations;
  std::vector<QueryShape> queries;
};

// The model of every pair.
DatabaseShape ModelShape(bool for_server = false);
// The customer database of every pair: the model with parts missing.
DatabaseShape CustomerShape(bool for_server = false);

}  // namespace actualiz::bench
