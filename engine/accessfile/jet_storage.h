// Storage over an Access file (Jet 3, Jet 4 or ACE), for reading only.
//
// The catalogue and every table's rows are read when first asked for and
// kept: the file is never written, and nothing else writes it while it is
// open through the engine. Every change (schema or rows) fails with 3027
// naming the file and the kind of change ("changing indexes of an Access
// file is not supported yet; convert it with `import`."), before anything
// is touched.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "engine/accessfile/jet_catalog.h"
#include "engine/accessfile/jet_file.h"
#include "engine/storage.h"

namespace actualiz::engine {

// True when `header` (the file's first bytes) is an Access file's.
bool IsAccessHeader(const unsigned char* header, std::size_t size);

class JetStorage final : public Storage {
 public:
  // Reads the file's catalogue. Fails naming `name` with 3031 when the file
  // has a password, with 3343 when it is truncated, damaged, encrypted or of
  // a version that is not read.
  static std::unique_ptr<JetStorage> Open(const std::string& host_path, const std::string& name);

  bool ReadOnly() const override { return true; }
  std::shared_ptr<const Schema> Describe() override { return schema_; }
  void Change(const std::function<void(const Schema&)>& change) override;

  void CreateTable(const TableInfo& table) override;
  void DropTable(const std::string& table) override;
  void AddColumn(const std::string& table, const ColumnInfo& column) override;
  void DropColumn(const std::string& table, const std::string& column) override;
  void CreateIndex(const std::string& table, const IndexInfo& index) override;
  void DropIndex(const std::string& table, const std::string& index) override;
  void CreateRelation(const RelationInfo& relation) override;
  void DropRelation(const std::string& relation) override;
  void CreateQuery(const QueryInfo& query) override;
  void DropQuery(const std::string& query) override;
  void CheckQuery(const std::string& sql) override;

  // Keys are row positions from 1 in the table's stored order. A non-empty
  // `tail` is applied by SQLite over a copy of the table's rows in memory.
  std::vector<std::int64_t> SelectKeys(const std::string& table, const std::string& tail) override;
  std::optional<Row> ReadRow(const std::string& table, const std::vector<ColumnInfo>& columns,
                             std::int64_t key) override;
  std::int64_t InsertRow(const std::string& table, const std::vector<std::string>& columns,
                         const Row& values) override;
  void UpdateRow(const std::string& table, std::int64_t key,
                 const std::vector<std::string>& columns, const Row& values) override;
  void DeleteRow(const std::string& table, std::int64_t key) override;

 private:
  JetStorage(std::unique_ptr<jet::JetFile> file, jet::JetCatalog catalog);
  // Fails with 3027 naming the file and `change`, the kind of change refused.
  [[noreturn]] void RefuseWrite(const std::string& change) const;
  const jet::JetTable& Table(const std::string& name) const;
  const std::vector<jet::JetRow>& Rows(const jet::JetTable& table);

  std::unique_ptr<jet::JetFile> file_;
  jet::JetCatalog catalog_;
  std::shared_ptr<const Schema> schema_;
  std::map<std::uint32_t, std::vector<jet::JetRow>> rows_;  // by definition page
};

}  // namespace actualiz::engine
