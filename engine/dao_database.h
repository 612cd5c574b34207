// The database object of the engine.
#pragma once

#include <memory>

#include "engine/dao_objects.h"

namespace actualiz::engine {

class DaoDatabase final : public Database {
 public:
  explicit DaoDatabase(CorePtr core);
  ~DaoDatabase() override;
  std::string Name() const override { return core_->name; }
  bool ReadOnly() const override;
  Collection<TableDef>& TableDefs() override { return *tables_; }
  Collection<Relation>& Relations() override { return *relations_; }
  Collection<QueryDef>& QueryDefs() override { return *queries_; }
  TableDefPtr CreateTableDef(std::string_view name) override;
  RelationPtr CreateRelation(std::string_view name, std::string_view table,
                             std::string_view foreign_table, std::string_view attributes) override;
  RelationPtr CreateRelation(std::string_view name, std::string_view table,
                             std::string_view foreign_table, std::int32_t attributes) override;
  QueryDefPtr CreateQueryDef(std::string_view name, std::string_view sql) override;
  RecordsetPtr OpenRecordset(std::string_view source) override;
  void Close() override;

 private:
  CorePtr core_;
  std::unique_ptr<Collection<TableDef>> tables_;
  std::unique_ptr<Collection<Relation>> relations_;
  std::unique_ptr<Collection<QueryDef>> queries_;
};

}  // namespace actualiz::engine
