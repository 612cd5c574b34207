// The changes made to one Access file and not yet put in place.
//
// The changes are made to the file's bytes in memory (jet_writer.h); the
// file itself is replaced only once the changed bytes pass every check
// (jet_replace.h), in one rename: a kill at any moment leaves the original
// or the fully changed file. Outside a batch each change is put in place as
// it is made (or at the close while a GroupChangesUntilClose is alive).
// While a GroupChangesUntilCommit of the session is alive every open of the
// file for writing shares one edit, and the commit puts all of a pair's
// changes in place at once.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "engine/accessfile/jet_catalog.h"
#include "engine/accessfile/jet_replace.h"
#include "engine/session_state.h"

namespace actualiz::engine::jet {

class JetEdit {
 public:
  // Reads the file at `host_path` (named `name` in errors) as JetFile::Open.
  JetEdit(std::string host_path, std::string name);

  const std::string& HostPath() const { return host_path_; }
  const std::string& Name() const { return name_; }
  const JetFile& File() const { return *file_; }
  const JetCatalog& Catalog() const { return catalog_; }
  const std::shared_ptr<const Schema>& Described() const { return schema_; }
  // The rows of `table`, read once until the next change.
  const std::vector<JetRow>& Rows(const JetTable& table);

  // Runs `change` over the bytes: it changes them and records what it did
  // in the list of changes. When it throws, the bytes and the list are put
  // back and the failure goes on.
  void Apply(const std::function<void(std::vector<std::uint8_t>& bytes,
                                      std::vector<TableChange>& changes)>& change);
  // Whether changes wait to be put in place.
  bool Pending() const { return !changes_.empty(); }
  // Puts the changes in place, checked. On failure none of them is kept:
  // the edit is back to the file as it is, and the failure goes on.
  void Store();

 private:
  void Reload();

  std::string host_path_;
  std::string name_;
  std::unique_ptr<JetFile> file_;  // the bytes as changed so far
  JetCatalog catalog_;
  std::shared_ptr<const Schema> schema_;
  std::map<std::uint32_t, std::vector<JetRow>> rows_;  // by definition page
  std::vector<std::uint8_t> original_;                 // the file as read; empty until a change
  std::vector<std::uint8_t> working_;
  std::vector<TableChange> changes_;
};

// The edits of one session held until a commit.
class HeldJetEdits final : public SessionExtension {
 public:
  bool Holding() const { return holding_; }
  void StartHolding() { holding_ = true; }

  bool Has(const std::string& host_path) const { return held_.contains(host_path); }
  // The held edit of `host_path`; made (reading the file) on the first ask.
  std::shared_ptr<JetEdit> Edit(const std::string& host_path, const std::string& name);
  // Puts every held edit's changes in place; the failures, one per file
  // that kept none of them.
  std::vector<Error> Commit();
  // Ends the hold; what was not committed is dropped.
  void RollBack();

 private:
  bool holding_ = false;
  std::map<std::string, std::shared_ptr<JetEdit>> held_;
};

inline HeldJetEdits& HeldEdits(SessionState& session) { return session.Extension<HeldJetEdits>(); }

}  // namespace actualiz::engine::jet
