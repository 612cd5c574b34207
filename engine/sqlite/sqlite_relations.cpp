// Relations in a SQLite file.
//
// A relation is stored as rows of MSysRelationships (one per field pair) and,
// unless its attributes say it is not enforced, kept by four triggers named
// after it ("MSysRel_<relation>_..."):
//   ForeignInsert, ForeignUpdate  a referencing row whose foreign fields are
//                                 all filled needs a matching primary row
//                                 (3201);
//   PrimaryDelete, PrimaryUpdate  when the last primary row with a key goes
//                                 or changes its key, the referencing rows
//                                 are deleted or follow the new key if the
//                                 relation cascades, else the change fails
//                                 (3200).
// A trigger fails with RAISE(ABORT, '<number>|<text>'), which the connection
// turns back into the engine's Error. The triggers fire from one another,
// so cascades run down a chain of relations.
#include <sqlite3.h>

#include "base/error.h"
#include "engine/engine.h"
#include "engine/jet_errors.h"
#include "engine/sqlite/sqlite_storage.h"

namespace actualiz::engine {

namespace {

constexpr const char* kTriggerSuffixes[] = {"ForeignInsert", "ForeignUpdate", "PrimaryDelete",
                                            "PrimaryUpdate"};

std::string TriggerName(const std::string& relation, const char* suffix) {
  return QuoteIdentifier("MSysRel_" + relation + "_" + suffix);
}

// "<a>.f1 = <b>.p1 AND ..." over the field pairs, the foreign field first so
// that its column's collation decides.
std::string KeysMatch(const RelationInfo& r, const std::string& foreign,
                      const std::string& primary) {
  std::string out;
  for (const auto& [p, f] : r.fields) {
    if (!out.empty()) out += " AND ";
    out += foreign + "." + QuoteIdentifier(f) + " = " + primary + "." + QuoteIdentifier(p);
  }
  return out;
}

std::string PrimaryKeysMatch(const RelationInfo& r, const std::string& a, const std::string& b) {
  std::string out;
  for (const auto& [p, f] : r.fields) {
    if (!out.empty()) out += " AND ";
    out += a + "." + QuoteIdentifier(p) + " = " + b + "." + QuoteIdentifier(p);
  }
  return out;
}

std::string ForeignFilled(const RelationInfo& r, const std::string& row) {
  std::string out;
  for (const auto& [p, f] : r.fields) {
    if (!out.empty()) out += " AND ";
    out += row + "." + QuoteIdentifier(f) + " IS NOT NULL";
  }
  return out;
}

std::string ColumnList(const RelationInfo& r, bool primary) {
  std::string out;
  for (const auto& [p, f] : r.fields) {
    if (!out.empty()) out += ", ";
    out += QuoteIdentifier(primary ? p : f);
  }
  return out;
}

std::string Raise(int number, const std::string& text) {
  return "SELECT RAISE(ABORT, " + QuoteLiteral(std::to_string(number) + "|" + text) + ")";
}

}  // namespace

void SqliteStorage::CheckRelationData(const RelationInfo& r) {
  const std::string sql = "SELECT 1 FROM " + QuoteIdentifier(r.foreign_table) + " AS f WHERE " +
                          ForeignFilled(r, "f") + " AND NOT EXISTS (SELECT 1 FROM " +
                          QuoteIdentifier(r.table) + " AS p WHERE " + KeysMatch(r, "f", "p") +
                          ") LIMIT 1";
  auto stmt = Prepare(sql, In("relation '" + r.name + "'"));
  if (stmt.Step()) {
    throw MakeError(err::kDataBreaksRelation, {r.foreign_table}, In("relation '" + r.name + "'"));
  }
}

std::vector<std::pair<std::string, std::string>> RelationTriggers(const RelationInfo& r) {
  const std::string primary = QuoteIdentifier(r.table);
  const std::string foreign = QuoteIdentifier(r.foreign_table);
  const std::string needs_primary = ForeignFilled(r, "NEW") + " AND NOT EXISTS (SELECT 1 FROM " +
                                    primary + " AS p WHERE " + KeysMatch(r, "NEW", "p") + ")";
  const std::string raise_required =
      Raise(err::kRelatedRecordRequired, ErrorText(err::kRelatedRecordRequired, {r.table}));
  std::vector<std::pair<std::string, std::string>> triggers;
  auto add = [&](const char* suffix, const std::string& body) {
    const std::string name = "MSysRel_" + r.name + "_" + suffix;
    triggers.emplace_back(name, "CREATE TRIGGER " + QuoteIdentifier(name) + body);
  };
  add("ForeignInsert", " BEFORE INSERT ON " + foreign + " FOR EACH ROW WHEN " + needs_primary +
                           " BEGIN " + raise_required + "; END");
  add("ForeignUpdate", " BEFORE UPDATE OF " + ColumnList(r, false) + " ON " + foreign +
                           " FOR EACH ROW WHEN " + needs_primary + " BEGIN " + raise_required +
                           "; END");

  // The key is gone only when no other primary row still carries it.
  const std::string key_gone = "NOT EXISTS (SELECT 1 FROM " + primary + " AS p WHERE " +
                               PrimaryKeysMatch(r, "p", "OLD") + ")";
  const std::string referencing_rows =
      "EXISTS (SELECT 1 FROM " + foreign + " AS f WHERE " + KeysMatch(r, "f", "OLD") + ")";
  const std::string raise_referenced =
      Raise(err::kRecordIsReferenced, ErrorText(err::kRecordIsReferenced, {r.foreign_table}));
  std::string match_old;
  for (const auto& [p, f] : r.fields) {
    if (!match_old.empty()) match_old += " AND ";
    match_old += QuoteIdentifier(f) + " = OLD." + QuoteIdentifier(p);
  }

  const std::string on_delete = (r.attributes & dbRelationDeleteCascade)
                                    ? "DELETE FROM " + foreign + " WHERE " + match_old
                                    : raise_referenced + " WHERE " + referencing_rows;
  add("PrimaryDelete", " AFTER DELETE ON " + primary + " FOR EACH ROW WHEN " + key_gone +
                           " BEGIN " + on_delete + "; END");

  std::string key_changed;
  for (const auto& [p, f] : r.fields) {
    if (!key_changed.empty()) key_changed += " OR ";
    key_changed += "OLD." + QuoteIdentifier(p) + " IS NOT NEW." + QuoteIdentifier(p);
  }
  std::string on_update;
  if (r.attributes & dbRelationUpdateCascade) {
    std::string set;
    for (const auto& [p, f] : r.fields) {
      if (!set.empty()) set += ", ";
      set += QuoteIdentifier(f) + " = NEW." + QuoteIdentifier(p);
    }
    on_update = "UPDATE " + foreign + " SET " + set + " WHERE " + match_old;
  } else {
    on_update = raise_referenced + " WHERE " + referencing_rows;
  }
  add("PrimaryUpdate", " AFTER UPDATE OF " + ColumnList(r, true) + " ON " + primary +
                           " FOR EACH ROW WHEN (" + key_changed + ") AND " + key_gone + " BEGIN " +
                           on_update + "; END");
  return triggers;
}

void SqliteStorage::CreateTriggers(const RelationInfo& r) {
  const std::string where = In("relation '" + r.name + "'");
  for (const auto& [name, sql] : RelationTriggers(r)) Execute(sql, where);
}

void SqliteStorage::DropTriggers(const std::string& relation) {
  for (const char* suffix : kTriggerSuffixes) {
    Execute("DROP TRIGGER IF EXISTS " + TriggerName(relation, suffix),
            In("relation '" + relation + "'"));
  }
}

void SqliteStorage::CreateRelation(const RelationInfo& r) {
  RequireChange();
  relations_changed_ = true;
  const bool enforced = (r.attributes & dbRelationDontEnforce) == 0;
  if (enforced) CheckRelationData(r);
  auto insert = Prepare(
      "INSERT INTO \"MSysRelationships\" (\"ccolumn\", \"grbit\", \"icolumn\", \"szColumn\", "
      "\"szObject\", \"szReferencedColumn\", \"szReferencedObject\", \"szRelationship\") "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
      In("relation '" + r.name + "'"));
  for (size_t i = 0; i < r.fields.size(); ++i) {
    insert.Bind(1, static_cast<std::int64_t>(r.fields.size()));
    insert.Bind(2, std::int64_t{r.attributes});
    insert.Bind(3, static_cast<std::int64_t>(i));
    insert.Bind(4, r.fields[i].second);
    insert.Bind(5, r.foreign_table);
    insert.Bind(6, r.fields[i].first);
    insert.Bind(7, r.table);
    insert.Bind(8, r.name);
    insert.Step();
    insert.Reset();
  }
  if (enforced) CreateTriggers(r);
}

void SqliteStorage::DropRelation(const std::string& relation) {
  RequireChange();
  relations_changed_ = true;
  DropTriggers(relation);
  auto stmt =
      Prepare("DELETE FROM \"MSysRelationships\" WHERE \"szRelationship\" = ? COLLATE NOCASE",
              In("relation '" + relation + "'"));
  stmt.Bind(1, relation);
  stmt.Step();
}

}  // namespace actualiz::engine
