// `import`: Access files converted into our format keep their description
// (apart from what the report names), an existing target is never replaced,
// and `--all` keeps the originals under .actualiz-backups.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/accessfile/import.h"
#include "engine/description/description.h"
#include "engine/engine.h"
#include "tests/support/own_session.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace actualiz {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;
using testing::ReadFile;
using testing::TempDir;
using testing::Words;

const fs::path kSamples = fs::path(ACTUALIZ_SOURCE_DIR) / ".." / "shared" / "jet-samples";

// actualiz-cli with drive c: mapped to the "c" of `temp`.
ProgramRun Cli(const TempDir& temp, const Words& arguments) {
  fs::create_directories(temp.path() / "c");
  return testing::RunCli(testing::Joined({"--drive", "c=" + temp.File("c")}, arguments));
}

nlohmann::json DescriptionOf(const std::string& path) {
  engine::DatabasePtr db = testing::OpenInOwnSession(path);
  return engine::Describe(*db, {.system = false, .rows = true});
}

class ImportEachSample : public ::testing::TestWithParam<const char*> {};

TEST_P(ImportEachSample, DescriptionSurvivesApartFromWhatTheReportNames) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "no Access samples";
  TempDir temp;
  const std::string source = (kSamples / GetParam()).string();
  const std::string target = temp.File("converted.mdb");
  const engine::ImportReport report = engine::ImportDatabase(source, target);

  nlohmann::json expected = DescriptionOf(source);
  nlohmann::json actual = DescriptionOf(target);
  // What the report names as changed or left behind is taken out of the
  // comparison; everything else must be equal.
  for (auto& table : expected["tables"]) {
    for (auto& field : table["fields"]) {
      const std::string where = "field '" + table["name"].get<std::string>() + "." +
                                field["name"].get<std::string>() + "'";
      for (const std::string& line : report.not_carried) {
        if (line.starts_with(where)) {
          field["type"] =
              line.find("Decimal") != std::string::npos ? engine::dbDouble : engine::dbLongBinary;
        }
      }
    }
  }
  nlohmann::json kept = nlohmann::json::array();
  for (const auto& q : expected["queries"]) {
    const std::string mark = "query '" + q["name"].get<std::string>() + "'";
    bool reported = false;
    for (const std::string& line : report.not_carried) reported |= line.starts_with(mark);
    if (!reported) kept.push_back(q);
  }
  expected["queries"] = kept;
  if (std::string(GetParam()).starts_with("fixedNumeric")) {
    // Decimals become Double: compare the structure and the row count only.
    EXPECT_EQ(expected["tables"][0]["rows"].size(), actual["tables"][0]["rows"].size());
    for (auto* d : {&expected, &actual}) {
      for (auto& t : (*d)["tables"]) {
        t.erase("rows");
        for (auto& f : t["fields"]) f.erase("size");
      }
    }
  }
  EXPECT_EQ(actual, expected);
  EXPECT_EQ(report.tables, static_cast<int>(expected["tables"].size()));
}

INSTANTIATE_TEST_SUITE_P(Samples, ImportEachSample,
                         ::testing::Values("empty.mdb", "empty2007.accdb", "testV1997.mdb",
                                           "testV2003.mdb", "testV2010.accdb", "indexTestV1997.mdb",
                                           "indexTestV2007.accdb", "queryTestV2003.mdb",
                                           "fixedNumericTestV2003.mdb",
                                           "testUnicodeCompV2003.mdb"));

TEST(ImportCommand, RefusesToOverwriteAndReportsWhatItCouldNotCarry) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "no Access samples";
  TempDir temp;
  const std::string target = temp.File("q.mdb");
  const std::string source = (kSamples / "queryTestV2003.mdb").string();
  ProgramRun first = Cli(temp, {"import", source, target});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("not carried: query 'CrosstabQuery'"), std::string::npos) << first.out;

  testing::WriteFile(temp.path() / "taken.mdb", "mine");
  ProgramRun second = Cli(temp, {"import", source, temp.File("taken.mdb")});
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.err.find("3204"), std::string::npos) << second.err;
  EXPECT_EQ(ReadFile(temp.path() / "taken.mdb"), "mine");
}

// A file with a database password: the header's masked password field
// holds the mask of an empty one in the sample, so XOR-ing a character into
// it gives the bytes Access stores for that password.
TEST(ImportCommand, DescribeAndImportRefuseAPasswordProtectedFileWithoutWritingIt) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "no Access samples";
  TempDir temp;
  std::string bytes = ReadFile(kSamples / "queryTestV2000.mdb");
  bytes[0x42] ^= 'p';
  const fs::path source = temp.path() / "clave.mdb";
  testing::WriteFile(source, bytes);

  for (const Words& command :
       {Words{"describe", source}, Words{"import", source, temp.File("nueva.mdb")}}) {
    SCOPED_TRACE(::testing::PrintToString(command));
    ProgramRun run = Cli(temp, command);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("3031"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("clave.mdb' is protected by a database password"), std::string::npos)
        << run.err;
  }
  EXPECT_FALSE(fs::exists(temp.path() / "nueva.mdb"));
  EXPECT_TRUE(ReadFile(source) == bytes);
}

TEST(ImportCommand, AllConvertsEveryAccessFileKeepingTheOriginals) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "no Access samples";
  TempDir temp;
  const fs::path dir = temp.path() / "modelos";
  fs::create_directories(dir);
  fs::copy_file(kSamples / "indexTestV2003.mdb", dir / "indices.mdb");
  fs::copy_file(kSamples / "testV2007.accdb", dir / "prueba.accdb");
  testing::WriteFile(dir / "notas.txt", "not a database");
  // A broken Access file is reported and left where it is.
  testing::WriteFile(dir / "roto.mdb", ReadFile(kSamples / "testV2003.mdb").substr(0, 5000));

  ProgramRun run = Cli(temp, {"import", "--all", dir});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("roto.mdb"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(dir / "roto.mdb"));
  EXPECT_TRUE(ReadFile(dir / ".actualiz-backups" / "indices.mdb") ==
              ReadFile(kSamples / "indexTestV2003.mdb"));
  EXPECT_TRUE(fs::exists(dir / ".actualiz-backups" / "prueba.accdb"));
  EXPECT_FALSE(fs::exists(dir / "prueba.accdb"));
  EXPECT_FALSE(engine::IsAccessFile((dir / "indices.mdb").string()));
  EXPECT_EQ(testing::OpenInOwnSession((dir / "prueba.mdb").string())
                ->TableDefs()
                .Item("Table1")
                ->Fields()
                .Count(),
            9);
  EXPECT_TRUE(testing::OpenInOwnSession((dir / "indices.mdb").string())->Relations().Count() >= 2);
  EXPECT_EQ(ReadFile(dir / "notas.txt"), "not a database");
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Each state a killed import can leave (a hidden temporary; an original kept
// in the backups but not yet replaced; a converted .mdb beside the .accdb it
// replaces) is finished by the next run: the state an uninterrupted run
// gives, one backup of each original, nothing hidden left behind.
TEST(ImportCommand, WhatAKilledImportLeftIsFinishedByTheNextRun) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "no Access samples";
  struct Case {
    const char* left;
    std::function<void(const fs::path& dir, const fs::path& backups)> kill;
    Words arguments;  // DIR for the directory's path
    std::vector<std::string> in_dir;
    std::vector<std::string> in_backups;
  };
  const fs::path mdb = kSamples / "indexTestV2003.mdb";
  const fs::path accdb = kSamples / "testV2007.accdb";
  const std::vector<Case> cases = {
      {"a temporary of import SOURCE TARGET",
       [&](const fs::path& dir, const fs::path&) {
         testing::WriteFile(dir / ".q.mdb.copy-77", "half made");
         testing::WriteFile(dir / ".q.mdb.copy-77-journal", "journal");
       },
       {"import", mdb, "DIR/q.mdb"},
       {"q.mdb"},
       {}},
      {"the original kept, not yet replaced",
       [&](const fs::path& dir, const fs::path& backups) {
         fs::copy_file(mdb, dir / "indices.mdb");
         fs::create_directories(backups);
         fs::create_hard_link(dir / "indices.mdb", backups / "indices.mdb");
       },
       {"import", "--all", "DIR"},
       {".actualiz-backups", "indices.mdb"},
       {"indices.mdb"}},
      {"an older version's run, the original moved, the converted file not yet renamed",
       [&](const fs::path& dir, const fs::path& backups) {
         fs::create_directories(backups);
         fs::copy_file(accdb, backups / "prueba.accdb");
         testing::WriteFile(dir / "prueba.accdb.actualiz-import", "converted");
       },
       {"import", "--all", "DIR"},
       {".actualiz-backups", "prueba.mdb"},
       {"prueba.accdb"}},
      {"the .mdb in place, the .accdb not yet gone",
       [&](const fs::path& dir, const fs::path& backups) {
         fs::copy_file(accdb, dir / "prueba.accdb");
         fs::create_directories(backups);
         fs::copy_file(accdb, backups / "prueba.accdb");
         engine::ImportDatabase(accdb.string(), (dir / "prueba.mdb").string());
       },
       {"import", "--all", "DIR"},
       {".actualiz-backups", "prueba.mdb"},
       {"prueba.accdb"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.left);
    TempDir temp;
    const fs::path dir = temp.path() / "datos";
    fs::create_directories(dir);
    c.kill(dir, dir / ".actualiz-backups");
    Words arguments = c.arguments;
    for (std::string& word : arguments) {
      if (word.starts_with("DIR")) word.replace(0, 3, dir.string());
    }
    const ProgramRun run = Cli(temp, arguments);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(Names(dir), c.in_dir);
    EXPECT_EQ(Names(dir / ".actualiz-backups"), c.in_backups);
    for (const std::string& name : c.in_dir) {
      if (name.ends_with(".mdb")) {
        EXPECT_FALSE(engine::IsAccessFile((dir / name).string()));
      }
    }
  }
}

}  // namespace
}  // namespace actualiz
