// `import`: Access files converted into our format keep their description
// (apart from what the report names), an existing target is never replaced,
// and `--all` keeps the originals under .actualiz-backups. Into a schema of
// a server database, the same conversion gives the same description and
// report, and a failure leaves no schema.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/server_address.h"
#include "engine/accessfile/import.h"
#include "engine/description/description.h"
#include "engine/engine.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"
#include "tests/support/pg_server.h"
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

// The report's lines with the target's name taken out: a file import and a
// schema import of one source say the same apart from where it went.
std::string ReportWithout(std::string out, const std::string& target) {
  for (size_t at; (at = out.find(target)) != std::string::npos;)
    out.replace(at, target.size(), "T");
  return out;
}

TEST(ImportCommand, IntoASchemaGivesTheFileImportsDescriptionAndReport) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "no Access samples";
  TempDir temp;
  const std::string location = testing::PgServer::Get().FreshDatabase();
  for (const char* sample : {"queryTestV2003.mdb", "indexTestV2003.mdb", "testV2007.accdb"}) {
    SCOPED_TRACE(sample);
    const std::string source = (kSamples / sample).string();
    const std::string file = temp.File(std::string(sample) + ".mdb");
    const std::string name = fs::path(sample).stem().string();
    const std::string schema = ServerDatabasePath(location, name + ".mdb");

    const ProgramRun to_file = Cli(temp, {"import", source, file});
    const ProgramRun to_schema = Cli(temp, {"import", source, location, "--schema", name});
    ASSERT_EQ(to_schema.status, 0) << to_schema.err;
    EXPECT_EQ(ReportWithout(to_schema.out, schema), ReportWithout(to_file.out, file));
    EXPECT_EQ(testing::DescribeFile(schema, true), testing::DescribeFile(file, true));
  }
}

// Every refusal leaves the server as it was: the schema that was there
// untouched, none made by a refused or failed import.
TEST(ImportCommand, IntoASchemaRefusesClearly) {
  TempDir temp;
  const std::string location = testing::PgServer::Get().FreshDatabase();
  const std::string source = temp.File("fuente.mdb");
  testing::BuildDatabase(source, R"({"tables": [{"name": "T", "fields": [{"name": "Id",
    "type": 4}], "rows": [{"Id": 1}]}]})");
  ASSERT_EQ(Cli(temp, {"import", source, location, "--schema", "hay"}).status, 0);
  // Jet takes a 64-character name; the server cuts names at 63 bytes.
  const std::string long_name = temp.File("largo.mdb");
  testing::BuildDatabase(long_name, R"({"tables": [{"name": "A", "fields": [{"name": "Id",
    "type": 4}], "rows": [{"Id": 1}]}, {"name": ")" +
                                        std::string(64, 'x') +
                                        R"(", "fields": [{"name": "Id", "type": 4}]}]})");
  const std::string with_password = "postgresql://actualiz:secreto@" +
                                    location.substr(std::string("postgresql://actualiz@").size());
  struct Case {
    Words arguments;
    int status;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{source, temp.File("x.mdb"), "--schema", "x"}, 2, "--schema needs TARGET"},
      {{source, ServerDatabasePath(location, "x.mdb"), "--schema", "x"}, 2, "not both"},
      {{source, location}, 2, "--schema NAME"},
      {{source, location, "--schema", "x.mdb"}, 2, "not a file name"},
      {{"--all", temp.File("c"), location, "--schema", "x"}, 2, "--all"},
      {{source, with_password, "--schema", "x"}, 1, "3044"},
      {{source, location, "--schema", "hay"}, 1, "3204"},
      {{long_name, location, "--schema", "x"}, 1, "3125"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const ProgramRun run = Cli(temp, testing::Joined({"import"}, c.arguments));
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("secreto"), std::string::npos) << run.err;
  }
  EXPECT_EQ(engine::ListServerDatabases(location), std::vector<std::string>{"hay.mdb"});
  EXPECT_EQ(testing::DescribeFile(ServerDatabasePath(location, "hay.mdb"), true),
            testing::DescribeFile(source, true));
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
