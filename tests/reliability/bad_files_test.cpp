// Damaged and foreign files in the data directory and among the models: each
// is refused with an error naming it, the batch goes on with the other
// databases, and the refused file is left exactly as it was.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/db_builder.h"
#include "tests/support/demo_site.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

TEST(BadFiles, TargetsThatAreNotDatabasesAreReportedAndLeftAsTheyWere) {
  DemoSite site;
  const std::string real = ReadFile(site.Data() / "agenda.mdb");
  const struct {
    std::string name;
    std::string bytes;
  } files[] = {{"vacia.mdb", ""},
               {"texto.mdb", "Esto no es una base de datos\n"},
               {"cortada.mdb", real.substr(0, real.size() / 3)},
               {"cabecera.mdb", real.substr(0, 100)}};
  for (const auto& file : files) {
    WriteFile(site.Data() / file.name, file.bytes);
    fs::copy_file(site.Models() / "agenda.mdb", site.Models() / file.name);
  }
  fs::create_directory(site.Data() / "carpeta.mdb");
  fs::copy_file(site.Models() / "agenda.mdb", site.Models() / "carpeta.mdb");

  const ProgramRun run = site.Batch();
  EXPECT_EQ(run.status, 1) << run.out;
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    const auto entry = site.Entry(file.name);
    EXPECT_EQ(entry.value("state", ""), "failed");
    EXPECT_TRUE(FailuresName(entry, file.name)) << entry.dump(2);
    EXPECT_EQ(ReadFile(site.Data() / file.name), file.bytes);
  }
  EXPECT_TRUE(fs::is_directory(site.Data() / "carpeta.mdb"));
  EXPECT_EQ(site.Entry("clientes.mdb").value("state", ""), "updated");
  EXPECT_EQ(site.Entry("stock.mdb").value("state", ""), "updated");
}

// The target's indexes are left out of the comparison: the index chain drops
// them before it finds that the model cannot be read (see docs/reliability.md).
nlohmann::json WithoutIndexes(nlohmann::json description) {
  for (auto& table : description["tables"]) table.erase("indexes");
  return description;
}

TEST(BadFiles, AModelThatIsNotADatabaseFailsOnlyItsPair) {
  DemoSite site;
  const auto before = WithoutIndexes(DescribeFile((site.Data() / "stock.mdb").string(), true));
  WriteFile(site.Models() / "stock.mdb", "not a database");

  const ProgramRun run = site.Batch();
  EXPECT_EQ(run.status, 1) << run.out;
  const auto entry = site.Entry("stock.mdb");
  EXPECT_EQ(entry.value("state", ""), "failed");
  EXPECT_NE(entry.dump().find("modelos"), std::string::npos) << entry.dump(2);
  EXPECT_EQ(WithoutIndexes(DescribeFile((site.Data() / "stock.mdb").string(), true)), before);
  EXPECT_EQ(site.Entry("clientes.mdb").value("state", ""), "updated");
}

}  // namespace
}  // namespace actualiz::testing
