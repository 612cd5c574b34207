// Files that would harm the customer's data or the operator's terminal if
// taken as they are: a model or catalogue carrying objects that fire on the
// batch's own changes, names with terminal controls, and an Access model
// with no customer database yet. Each goes through the real command line.
#include <filesystem>
#include <string>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "tests/support/db_builder.h"
#include "tests/support/demo_site.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kSamples = fs::path(ACTUALIZ_SOURCE_DIR) / ".." / "shared" / "jet-samples";

void RunSql(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << sql;
}

// Every failure text and context of the report, in one string.
std::string FailureTexts(const nlohmann::json& report) {
  std::string out;
  auto add = [&](const nlohmann::json& failures) {
    for (const auto& f : failures)
      out += f["text"].get<std::string>() + f["context"].get<std::string>();
  };
  for (const auto& entry : report["databases"]) add(entry["failures"]);
  add(report["otherFailures"]);
  return out;
}

TEST(HostileFiles, TriggersAndViewsOfModelsAndCataloguesAreRefusedBeforeTheyFire) {
  DemoSite site;
  // The model without a customer database deletes a table's rows when the
  // next batch replaces its stored queries; the query catalogue rewrites
  // every query it is given.
  RunSql(site.Models() / "tarifas.mdb",
         "CREATE TRIGGER vaciar AFTER DELETE ON MSysQueries BEGIN DELETE FROM Tarifas; END");
  RunSql(site.Drive() / "Zarade" / "consulta.mdb",
         "CREATE TRIGGER reescribir AFTER INSERT ON consulta BEGIN "
         "UPDATE consulta SET consulta = 'DELETE FROM Clientes'; END");
  RunSql(site.Models() / "stock.mdb", "CREATE VIEW resumen AS SELECT * FROM Articulos");

  const ProgramRun run = site.Batch();
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_FALSE(fs::exists(site.Data() / "tarifas.mdb")) << "a refused model is never copied in";
  EXPECT_EQ(site.Entry("tarifas.mdb").value("state", ""), "failed");
  EXPECT_EQ(site.Entry("stock.mdb").value("state", ""), "failed");
  const std::string said = FailureTexts(site.ReportJson());
  for (const char* object : {"'vaciar'", "'reescribir'", "'resumen'"}) {
    EXPECT_NE(said.find(object), std::string::npos) << object << "\n" << said;
  }
  const nlohmann::json clientes = DescribeFile((site.Data() / "clientes.mdb").string());
  for (const auto& query : clientes["queries"]) {
    EXPECT_EQ(query["sql"].get<std::string>().find("DELETE"), std::string::npos) << query;
  }
}

TEST(HostileFiles, ControlCharactersOfNamesAreEscapedOnTheTerminalAndExactInJson) {
  DemoSite site;
  const std::string name = "Mal\x1b[2K\rclientes.mdb: up to date\x1b]0;\x07\xc2\x9b";
  RunSql(site.Models() / "agenda.mdb", "CREATE TABLE \"" + name + "\" (Id INTEGER)");

  const ProgramRun run = site.Batch();
  EXPECT_EQ(run.status, 1) << run.out;
  for (const char raw : {'\x1b', '\r', '\x07'}) {
    EXPECT_EQ(run.out.find(raw), std::string::npos) << int{raw} << "\n" << run.out;
  }
  EXPECT_EQ(run.out.find("\xc2\x9b"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Mal\\x1b[2K\\x0dclientes.mdb: up to date\\x1b]0;\\x07\\xc2\\x9b"),
            std::string::npos)
      << run.out;
  EXPECT_NE(FailureTexts(site.ReportJson()).find(name), std::string::npos);
}

TEST(HostileFiles, AnAccessModelIsConvertedWhenCopiedInOrRefusedWithHowToImportIt) {
  const fs::path sample = kSamples / "indexTestV2003.mdb";
  if (!fs::exists(sample)) GTEST_SKIP() << "no Access samples";
  DemoSite site;
  fs::copy_file(sample, site.Models() / "tienda.mdb");
  WriteFile(site.Models() / "rota.mdb", ReadFile(sample).substr(0, 4096));

  ProgramRun run = site.Batch();
  EXPECT_EQ(site.Entry("tienda.mdb").value("state", ""), "copied") << run.out;
  EXPECT_EQ(ReadFile(site.Data() / "tienda.mdb").substr(0, 15), "SQLite format 3");
  EXPECT_EQ(DescribeFile((site.Data() / "tienda.mdb").string())["tables"].size(),
            DescribeFile((site.Models() / "tienda.mdb").string())["tables"].size());
  EXPECT_FALSE(fs::exists(site.Data() / "rota.mdb"));
  EXPECT_NE(FailureTexts(site.ReportJson()).find("actualiz-cli import"), std::string::npos);

  // The converted database is an ordinary pair in the next run.
  fs::remove(site.Models() / "rota.mdb");
  run = site.Batch();
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(site.Entry("tienda.mdb").value("state", ""), "failed") << run.out;
}

}  // namespace
}  // namespace actualiz::testing
