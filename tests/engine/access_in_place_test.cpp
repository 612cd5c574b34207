// Access files changed in place through the engine, as the batch changes
// them: a pair's changes to several tables reach the file together, in one
// checked replace at the commit; whatever stands in the way of the replace
// leaves the file as it is and says why.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "base/error.h"
#include "engine/accessfile/jet_check.h"
#include "engine/accessfile/jet_replace.h"
#include "engine/engine.h"
#include "engine/session.h"
#include "platform/file_system.h"
#include "tests/support/access_oracle.h"
#include "tests/support/jet_copy.h"
#include "tests/support/own_session.h"
#include "tests/support/temp_dir.h"

namespace actualiz::engine {
namespace {

namespace fs = std::filesystem;

// A writable copy of sample `sample` in `dir`; "" when there are no samples.
std::string WritableCopy(const testing::TempDir& dir, const std::string& sample) {
  const fs::path from = fs::path(testing::JetSamplesDir()) / sample;
  if (!fs::exists(from) || !testing::MdbToolsInstalled()) return {};
  const std::string path = dir.File(sample);
  fs::copy_file(from, path);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  return path;
}

void AddField(Session& session, const std::string& path, const std::string& table,
              const std::string& field) {
  DatabasePtr db = OpenDatabase(session, path);
  TableDefPtr def = db->TableDefs().Item(table);
  def->Fields().Append(def->CreateField(field, dbLong));
  db->Close();
}

bool HasField(const std::string& path, const std::string& table, const std::string& field) {
  DatabasePtr db = testing::OpenInOwnSession(path);
  for (const FieldPtr& f : db->TableDefs().Item(table)->Fields().Items()) {
    if (f->Name() == field) return true;
  }
  return false;
}

TEST(AccessInPlace, APairsChangesToSeveralTablesReachTheFileTogetherAtTheCommit) {
  testing::TempDir dir;
  const std::string path = WritableCopy(dir, "testV2007.accdb");
  if (path.empty()) GTEST_SKIP() << "no samples or no mdbtools";
  const std::string original = testing::ReadFile(path);
  Session session;
  GroupChangesUntilCommit group(session);
  AddField(session, path, "Table1", "Uno");
  AddField(session, path, "Table2", "Dos");
  // A later open of the pair sees what the earlier ones added; the file
  // itself is untouched until the commit.
  EXPECT_EQ(OpenDatabase(session, path)->TableDefs().Item("Table1")->Fields().Item("Uno")->Type(),
            dbLong);
  EXPECT_TRUE(testing::ReadFile(path) == original);
  group.Commit();
  EXPECT_TRUE(HasField(path, "Table1", "Uno"));
  EXPECT_TRUE(HasField(path, "Table2", "Dos"));
  EXPECT_TRUE(jet::CheckJetPages(path).empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// What stands in the way of putting the changed copy in place, each found
// at the commit: the file is left as it is, the copy removed, and the
// failure says what to do.
TEST(AccessInPlace, WhatStandsInTheWayOfTheReplaceLeavesTheFileAsItIs) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> meanwhile;
    const char* says;
  };
  const Case cases[] = {
      {"open in Access",
       [](const std::string& path) {
         std::ofstream(fs::path(path).replace_extension(".laccdb")) << "";
       },
       "it is open in Access (its lock file testV2007.laccdb is beside it)"},
      {"changed by another program",
       [](const std::string& path) { std::ofstream(path, std::ios::app) << "x"; },
       "another program changed it while the update ran"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    const std::string path = WritableCopy(dir, "testV2007.accdb");
    if (path.empty()) GTEST_SKIP() << "no samples or no mdbtools";
    Session session;
    GroupChangesUntilCommit group(session);
    AddField(session, path, "Table1", "Uno");
    c.meanwhile(path);
    const std::string before = testing::ReadFile(path);
    try {
      group.Commit();
      ADD_FAILURE() << "replaced";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::kReadOnly);
      EXPECT_NE(e.Text().find(c.says), std::string::npos) << e.Text();
    }
    EXPECT_TRUE(testing::ReadFile(path) == before);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      EXPECT_FALSE(platform::IsCopyLeftoverName(entry.path().filename().string())) << entry.path();
    }
  }
}

// The changed copy is written under a copy leftover's name, so that what a
// killed run leaves is swept by the next batch, and holds the copy's lock.
TEST(AccessInPlace, TheCopyBeingCheckedIsACopyLeftoverNoSweepTakes) {
  testing::TempDir dir;
  const std::string path = WritableCopy(dir, "testV2003.mdb");
  if (path.empty()) GTEST_SKIP() << "no samples or no mdbtools";
  jet::AddColumnsChecked(
      path, "testV2003.mdb", "Table1", {{"Uno", dbLong, 0, false, false}},
      [&](const std::string& copy) {
        EXPECT_TRUE(platform::IsCopyLeftoverName(fs::path(copy).filename().string()));
        EXPECT_EQ(platform::RemoveLeftoversOf(path), 0);
      });
  EXPECT_TRUE(HasField(path, "Table1", "Uno"));
}

}  // namespace
}  // namespace actualiz::engine
