#include "app/run_log.h"

#include <fmt/format.h>

#include <array>
#include <utility>

#include "base/failure_text.h"

namespace actualiz::app {

namespace {

constexpr std::array<std::pair<ChangeKind, std::string_view>, 15> kKindTexts = {{
    {ChangeKind::kTableCreated, "table created"},
    {ChangeKind::kFieldAdded, "field added"},
    {ChangeKind::kFieldDropped, "field dropped"},
    {ChangeKind::kIndexDropped, "index dropped"},
    {ChangeKind::kIndexCreated, "index created"},
    {ChangeKind::kRelationDropped, "relation dropped"},
    {ChangeKind::kRelationCreated, "relation created"},
    {ChangeKind::kQueryDropped, "query dropped"},
    {ChangeKind::kQueryCreated, "query created"},
    {ChangeKind::kDatabaseCopied, "database copied"},
    {ChangeKind::kTableMigrated, "table migrated"},
    {ChangeKind::kCopyLeftoverRemoved, "copy leftover removed"},
    {ChangeKind::kNotCarried, "not carried"},
    {ChangeKind::kRelationKept, "relation kept"},
    {ChangeKind::kQueryKept, "query kept"},
}};

bool IsFieldKind(ChangeKind kind) {
  return kind == ChangeKind::kFieldAdded || kind == ChangeKind::kFieldDropped;
}

}  // namespace

std::string KindText(ChangeKind kind) {
  for (const auto& [known, text] : kKindTexts) {
    if (known == kind) return std::string(text);
  }
  return "change " + std::to_string(static_cast<int>(kind));
}

std::optional<ChangeKind> ParseChangeKind(std::string_view text) {
  for (const auto& [kind, known] : kKindTexts) {
    if (known == text) return kind;
  }
  return std::nullopt;
}

std::string IndexOnTable(std::string_view index, std::string_view table) {
  return std::string(index) + " on " + std::string(table);
}

std::string ObjectText(ChangeKind kind, const ObjectRef& object) {
  if (object.table.empty()) return object.name;
  if (IsFieldKind(kind)) return object.table + "." + object.name;
  return IndexOnTable(object.name, object.table);
}

void RunLog::Record(Failure failure) {
  if (!keep_) {
    if (on_failure) on_failure(failure);
    return;
  }
  failures_.push_back(std::move(failure));
  if (on_failure) on_failure(failures_.back());
}

void RunLog::Record(Change change) {
  if (!keep_) {
    if (on_change) on_change(change);
    return;
  }
  changes_.push_back(std::move(change));
  if (on_change) on_change(changes_.back());
}

void RunLog::Clear() {
  failures_.clear();
  changes_.clear();
}

std::string FormatFailure(const Failure& failure) {
  std::string line = fmt::format("{}: {} failed: error {}", failure.handler, failure.statement,
                                 FailureLine(failure.number, failure.text, failure.context));
  if (!failure.database.empty()) line += " [" + failure.database + "]";
  if (!failure.passed_over) line += " - stopped the operation";
  return line;
}

}  // namespace actualiz::app
