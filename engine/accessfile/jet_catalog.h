// The catalogue of an Access file: its tables, relations and stored queries
// read from the system tables (MSysObjects, MSysRelationships, MSysQueries)
// and the table definitions, turned into the engine's Schema.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/accessfile/jet_file.h"
#include "engine/storage.h"

namespace actualiz::engine::jet {

// One row of MSysQueries: a piece of a stored query's definition.
struct QueryPiece {
  int attribute = 0;
  std::string expression;
  int flag = 0;
  std::string name1;
  std::string name2;
  Bytes order;
};

struct JetTable {
  TableInfo info;   // as the engine describes it
  JetTableDef def;  // where its rows are
};

struct JetCatalog {
  std::vector<JetTable> tables;  // by name, as Access lists them
  std::vector<RelationInfo> relations;
  std::vector<QueryInfo> queries;
};

// Reads the whole catalogue. Fails with 3343 naming the file when the
// system tables are missing or damaged.
JetCatalog ReadCatalog(const JetFile& file);

// Every table MSysObjects lists, Access's own and hidden ones included: its
// name and the first page of its definition. Fails with 3343 naming the file
// when the catalogue cannot be read.
std::vector<std::pair<std::string, std::uint32_t>> ListTablePages(const JetFile& file);

// The SQL text of a stored query from its MSysQueries rows (in stored
// order), as Access shows it in the query's SQL view.
std::string QuerySql(std::vector<QueryPiece> pieces);

// Field type code and size the engine reports for a column of the file.
std::int16_t EngineType(const JetColumn& column);
std::int32_t EngineSize(const JetColumn& column, bool jet3);

}  // namespace actualiz::engine::jet
