// The two fixed-table migrations on clientes.mdb, driven through the window
// model on real files.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;
using platform::MessageLook;

const char* const kClientes = "c:\\datos\\clientes.mdb";
const char* const kClientesJson = R"({"tables": [{"name": "Clientes",
    "fields": [{"name": "codigo", "type": 4}, {"name": "nombre", "type": 10, "size": 40}],
    "rows": [{"codigo": 1, "nombre": "Ana"}]}]})";

json Field(const std::string& name, int type, int size, bool allow_zero_length) {
  return {{"name", name},
          {"type", type},
          {"size", size},
          {"allowZeroLength", allow_zero_length},
          {"required", false}};
}

json SingleFieldIndex(const std::string& name) {
  return {{"name", name}, {"fields", {name}}, {"unique", false}, {"primary", false}};
}

const json* FindTable(const json& description, const std::string& name) {
  for (const json& table : description["tables"]) {
    if (table["name"] == name) return &table;
  }
  return nullptr;
}

class FixedTableMigration : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildDatabase(site.Host(kClientes), kClientesJson);
    NewWindow();
  }

  // A window as the program starts it, with the run log of its start-up
  // (the default data directory missing) cleared.
  void NewWindow() {
    window = site.MakeWindow();
    window->Log().Clear();
  }

  // Clicks a migration button as the operator does. Returns whether the
  // program ended (a finished migration ends it).
  bool Run(const char* handler) {
    try {
      window->Click(handler);
    } catch (const app::ProgramEnded&) {
      return true;
    }
    return false;
  }

  json Describe() { return DescribeFile(site.Host(kClientes), true); }

  // Creates an index of that name on `table` through a second connection as
  // soon as the migration has stored the table, so that the migration's own
  // index of that name cannot be created.
  void TakeIndexNameWhenTableIsStored(const std::string& table, const std::string& index) {
    window->Log().on_change = [this, table, index](const app::Change& change) {
      if (change.kind != app::ChangeKind::kTableMigrated) return;
      engine::DatabasePtr other = testing::OpenInOwnSession(site.Host(kClientes));
      engine::TableDefPtr stored = other->TableDefs().Item(table);
      engine::IndexPtr taken = stored->CreateIndex(index);
      taken->Fields().Append(taken->CreateField(stored->Fields().Item(0)->Name()));
      stored->Indexes().Append(taken);
      other->Close();
    };
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
};

TEST_F(FixedTableMigration, PomerdIsAddedWithItsFieldsAndIndexThenTheProgramEnds) {
  EXPECT_TRUE(Run("Command26_Click"));

  const json described = Describe();
  const json* pomerd = FindTable(described, "pomerd");
  ASSERT_NE(pomerd, nullptr);
  EXPECT_EQ((*pomerd)["fields"],
            json::array({Field("CLICOD", 7, 8, false), Field("productos", 12, 0, true),
                         Field("tratamientos", 12, 0, true)}));
  EXPECT_EQ((*pomerd)["indexes"], json::array({SingleFieldIndex("CLICOD")}));
  EXPECT_TRUE((*pomerd)["rows"].empty());
  // The customers' own table is untouched.
  EXPECT_EQ((*FindTable(described, "Clientes"))["rows"].size(), 1u);

  EXPECT_EQ(window->Text4.Text(), kClientes);
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].text, "Terminado");
  EXPECT_EQ(window->Messages()[0].look, MessageLook::kInformation);
  EXPECT_TRUE(window->Ended());
  EXPECT_TRUE(site.op.ended);
  EXPECT_TRUE(window->Log().Failures().empty()) << app::FormatFailure(window->Log().Failures()[0]);
}

TEST_F(FixedTableMigration, HistoprodIsAddedWithFifteenFieldsInOrderAndFourIndexes) {
  EXPECT_TRUE(Run("Command25_Click"));

  const json described = Describe();
  const json* histoprod = FindTable(described, "histoprod");
  ASSERT_NE(histoprod, nullptr);
  EXPECT_EQ((*histoprod)["fields"],
            json::array({Field("codcli", 7, 8, false), Field("fechaini", 8, 8, false),
                         Field("codproducto", 4, 4, false), Field("tipotra", 4, 4, false),
                         Field("nompro", 10, 255, true), Field("registro", 10, 255, true),
                         Field("plazoseg", 10, 50, true), Field("dosificacion", 10, 255, true),
                         Field("toxicidad", 10, 50, true), Field("cantidad", 7, 8, false),
                         Field("precio", 7, 8, false), Field("materiaactiva", 10, 50, true),
                         Field("tipoaplicacion", 10, 50, true), Field("zonapli", 12, 0, true),
                         Field("zonaafec", 12, 0, true)}));
  EXPECT_EQ((*histoprod)["indexes"],
            json::array({SingleFieldIndex("codcli"), SingleFieldIndex("fechaini"),
                         SingleFieldIndex("codproducto"), SingleFieldIndex("nompro")}));
  ASSERT_FALSE(window->Messages().empty());
  EXPECT_EQ(window->Messages().back().text, "Terminado");
  EXPECT_EQ(window->Messages().back().look, MessageLook::kInformation);

  std::vector<std::string> changes;
  for (const app::Change& change : window->Log().Changes()) {
    changes.push_back(app::KindText(change.kind) + ": " + change.ObjectText());
  }
  EXPECT_EQ(changes,
            (std::vector<std::string>{
                "table migrated: histoprod", "index created: codcli on histoprod",
                "index created: fechaini on histoprod", "index created: codproducto on histoprod",
                "index created: nompro on histoprod"}));
}

TEST_F(FixedTableMigration, AnExistingTableIsReportedAndNothingButText4Changes) {
  EXPECT_TRUE(Run("Command26_Click"));
  NewWindow();
  window->Text4.SetText("c:\\otra.mdb");
  const json before = Describe();

  EXPECT_FALSE(Run("Command26_Click"));

  EXPECT_EQ(Describe(), before);
  EXPECT_EQ(window->Text4.Text(), kClientes);
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].text, "La tabla pomerd ya existe");
  EXPECT_EQ(window->Messages()[0].look, MessageLook::kCritical);
  EXPECT_FALSE(window->Ended());
}

TEST_F(FixedTableMigration, HistoprodHasItsOwnExistingTableMessage) {
  EXPECT_TRUE(Run("Command25_Click"));
  NewWindow();

  EXPECT_FALSE(Run("Command25_Click"));
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].text, "La tabla histoprod ya existe");
  EXPECT_FALSE(window->Ended());
}

TEST_F(FixedTableMigration, ATableInOtherCapitalsIsRefusedWithTheFileNamed) {
  std::filesystem::remove(site.Host(kClientes));
  BuildDatabase(site.Host(kClientes),
                R"({"tables": [{"name": "POMERD", "fields": [{"name": "x", "type": 4}]}]})");
  const json before = Describe();

  EXPECT_FALSE(Run("Command26_Click"));

  EXPECT_EQ(Describe(), before);
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].look, MessageLook::kCritical);
  EXPECT_NE(window->Messages()[0].text.find(kClientes), std::string::npos)
      << window->Messages()[0].text;
  EXPECT_FALSE(window->Ended());
}

TEST_F(FixedTableMigration, ADataDirectoryAtADriveRootGivesADoubledSeparatorAndWorks) {
  BuildDatabase(site.Host("c:\\clientes.mdb"), kClientesJson);
  window->Dir1.SetPath("c:\\");

  EXPECT_TRUE(Run("Command26_Click"));

  EXPECT_EQ(window->Text4.Text(), "c:\\\\clientes.mdb");
  EXPECT_NE(FindTable(DescribeFile(site.Host("c:\\clientes.mdb")), "pomerd"), nullptr);
  EXPECT_EQ(FindTable(Describe(), "pomerd"), nullptr);
  EXPECT_EQ(window->Messages().back().text, "Terminado");
}

TEST_F(FixedTableMigration, AnIndexThatCannotBeMadeIsNamedInAWarningAndTheOthersExist) {
  TakeIndexNameWhenTableIsStored("histoprod", "fechaini");

  EXPECT_TRUE(Run("Command25_Click"));

  const json described = Describe();
  const json* histoprod = FindTable(described, "histoprod");
  ASSERT_NE(histoprod, nullptr);
  std::vector<std::string> indexes;
  for (const json& index : (*histoprod)["indexes"]) indexes.push_back(index["name"]);
  EXPECT_EQ(indexes, (std::vector<std::string>{"fechaini", "codcli", "codproducto", "nompro"}));

  ASSERT_EQ(window->Messages().size(), 1u);
  const app::Message& message = window->Messages()[0];
  EXPECT_EQ(message.look, MessageLook::kWarning);
  EXPECT_NE(message.text, "Terminado");
  EXPECT_EQ(message.text.rfind("Terminado", 0), 0u) << message.text;
  EXPECT_NE(message.text.find("fechaini: "), std::string::npos) << message.text;
  EXPECT_NE(message.text.find("3284"), std::string::npos) << message.text;
  EXPECT_EQ(message.text.find("codcli"), std::string::npos) << message.text;
  EXPECT_TRUE(window->Ended());
  // The failure was passed over, and so recorded.
  ASSERT_FALSE(window->Log().Failures().empty());
  EXPECT_EQ(window->Log().Failures()[0].number, err::kIndexExists);
}

class MigrationBadInput : public FixedTableMigration {
 protected:
  // Runs the pomerd migration and checks it stopped at the top with a
  // critical message naming the customer database.
  void ExpectRefusedNamingTheFile() {
    EXPECT_FALSE(Run("Command26_Click"));
    EXPECT_FALSE(window->Ended());
    EXPECT_EQ(window->Text4.Text(), kClientes);
    ASSERT_EQ(window->Messages().size(), 1u);
    EXPECT_EQ(window->Messages()[0].look, MessageLook::kCritical);
    EXPECT_NE(window->Messages()[0].text.find(kClientes), std::string::npos)
        << window->Messages()[0].text;
  }
};

TEST_F(MigrationBadInput, AMissingCustomerDatabaseIsNamedAndNotCreated) {
  std::filesystem::remove(site.Host(kClientes));
  ExpectRefusedNamingTheFile();
  EXPECT_FALSE(std::filesystem::exists(site.Host(kClientes)));
}

TEST_F(MigrationBadInput, AFileThatIsNotADatabaseIsNamedAndLeftAsItWas) {
  WriteFile(site.Host(kClientes), "clientes de 2003\n");
  ExpectRefusedNamingTheFile();
  EXPECT_EQ(ReadFile(site.Host(kClientes)), "clientes de 2003\n");
}

TEST_F(MigrationBadInput, AReadOnlyCustomerDatabaseIsNamedAndLeftAsItWas) {
  const json before = Describe();
  std::filesystem::permissions(site.Host(kClientes), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::group_read |
                                                         std::filesystem::perms::others_read);
  ExpectRefusedNamingTheFile();
  EXPECT_EQ(Describe(), before);
}

}  // namespace
}  // namespace actualiz::testing
