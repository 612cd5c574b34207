// Storage over an Access file (Jet 3, Jet 4 or ACE).
//
// The catalogue and every table's rows are read when first asked for and
// kept until the next change. Tables (with their fields) can be created in
// a Jet 4 or ACE file and fields added to its tables (jet_edit.h: made in
// memory, put in place checked, whole or not at all). Every other change (schema or rows) fails
// with 3027 naming the file and the kind of change ("changing indexes of an Access file is not
// supported yet; convert it with `import`."), before anything is touched; so does every change to
// an Access 97 file.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "engine/accessfile/jet_edit.h"
#include "engine/session_state.h"
#include "engine/storage.h"

namespace actualiz::engine {

// True when `header` (the file's first bytes) is an Access file's.
bool IsAccessHeader(const unsigned char* header, std::size_t size);

class JetStorage final : public Storage {
 public:
  // Reads the file's catalogue, or takes the edit `session` holds for it.
  // Fails naming `name` with 3031 when the file has a password, with 3343
  // when it is truncated, damaged, encrypted or of a version that is not
  // read. `read_only`: the file may not be written (every change fails with
  // 3027 as for any read-only file).
  static std::unique_ptr<JetStorage> Open(Session& session, const std::string& host_path,
                                          const std::string& name, bool read_only);
  ~JetStorage() override;

  bool ReadOnly() const override { return read_only_; }
  void Finish() override;
  std::shared_ptr<const Schema> Describe() override { return edit_->Described(); }
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
  JetStorage(std::shared_ptr<SessionState> session, std::shared_ptr<jet::JetEdit> edit, bool held,
             bool read_only);
  // Fails with 3027 naming the file and `change`, the kind of change refused.
  [[noreturn]] void RefuseWrite(const std::string& change) const;
  const jet::JetTable& Table(const std::string& name) const;

  std::shared_ptr<SessionState> session_;
  std::shared_ptr<jet::JetEdit> edit_;
  bool held_;  // the session's commit puts the changes in place
  bool read_only_;
  // The bytes and the changes inside the running Change.
  std::vector<std::uint8_t>* bytes_ = nullptr;
  std::vector<jet::TableChange>* changes_ = nullptr;
};

}  // namespace actualiz::engine
