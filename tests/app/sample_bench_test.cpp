// The sample-database bench on a real "C:\Neptuno.mdb" made from the demo's
// own description.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_fixture.h"

namespace actualiz::app {
// Lets the tests call the bench's private routine directly.
class SampleBenchAccess {
 public:
  static void AnexarEliminarCampo(Actualiz& window, const engine::TableDefPtr& table,
                                  const std::string& command, const std::string& name,
                                  std::int16_t type, std::int16_t size) {
    window.AnexarEliminarCampo(table, command, name, type, size);
  }
};
}  // namespace actualiz::app

namespace actualiz::testing {
namespace {

using nlohmann::json;

const char* const kNeptuno = "c:\\Neptuno.mdb";
const char* const kReadOnlyMessage =
    "¡TableDef no se puede actualizar! No se puede terminar la tarea.";

class SampleBench : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildDatabase(site.Host(kNeptuno),
                  ReadFile(std::filesystem::path(ACTUALIZ_SOURCE_DIR) / "demo" / "neptuno.json"));
    window = site.MakeWindow();
  }

  json Fields() { return DescribeFile(site.Host(kNeptuno))["tables"][0]["fields"]; }

  void MakeReadOnly() {
    std::filesystem::permissions(site.Host(kNeptuno), std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::group_read |
                                                          std::filesystem::perms::others_read);
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
};

TEST_F(SampleBench, AddingThenDeletingTheFieldsRestoresTheFieldList) {
  const json before = Fields();

  ASSERT_TRUE(window->Click("Command4_Click"));
  json added = before;
  added.push_back({{"name", "Correo"},
                   {"type", 10},
                   {"size", 50},
                   {"allowZeroLength", true},
                   {"required", false}});
  added.push_back({{"name", "Http"},
                   {"type", 10},
                   {"size", 80},
                   {"allowZeroLength", true},
                   {"required", false}});
  added.push_back({{"name", "Cuota"},
                   {"type", 3},
                   {"size", 2},
                   {"allowZeroLength", false},
                   {"required", false}});
  EXPECT_EQ(Fields(), added);
  EXPECT_EQ(window->Data2.DatabaseName(), "C:\\Neptuno.mdb");
  EXPECT_TRUE(window->Data2.HasRecordset());

  ASSERT_TRUE(window->Click("Command5_Click"));
  EXPECT_EQ(Fields(), before);
  EXPECT_TRUE(window->Messages().empty());
}

TEST_F(SampleBench, AddedTextFieldsTakeEmptyStrings) {
  ASSERT_TRUE(window->Click("Command4_Click"));

  engine::DatabasePtr database = testing::OpenInOwnSession(site.Host(kNeptuno));
  engine::RecordsetPtr rows = database->OpenRecordset("Empleados");
  rows->AddNew();
  rows->Fields().Item("IdEmpleado")->SetValue(9);
  rows->Fields().Item("Apellidos")->SetValue("Vidal");
  rows->Fields().Item("Nombre")->SetValue("Rosa");
  rows->Fields().Item("Correo")->SetValue("");
  rows->Fields().Item("Http")->SetValue("");
  rows->Fields().Item("Cuota")->SetValue(12);
  EXPECT_NO_THROW(rows->Update());
  rows->Close();
  database->Close();
}

TEST_F(SampleBench, ASecondAddFailsAtCorreoAndChangesNothing) {
  ASSERT_TRUE(window->Click("Command4_Click"));
  const json once = Fields();

  EXPECT_FALSE(window->Click("Command4_Click"));

  EXPECT_EQ(Fields(), once);
  ASSERT_FALSE(window->Log().Failures().empty());
  EXPECT_EQ(window->Log().Failures().back().number, err::kFieldDefinedTwice);
}

TEST_F(SampleBench, DeletingFieldsThatAreNotThereFailsAtCorreoAndChangesNothing) {
  const json before = Fields();
  EXPECT_FALSE(window->Click("Command5_Click"));
  EXPECT_EQ(Fields(), before);
  EXPECT_EQ(window->Log().Failures().back().number, err::kItemNotFound);
}

TEST_F(SampleBench, ACommandInLowerCaseDoesNothing) {
  const json before = Fields();
  engine::DatabasePtr database = window->OpenDatabase(kNeptuno);
  engine::TableDefPtr table = database->TableDefs().Item("Empleados");

  app::SampleBenchAccess::AnexarEliminarCampo(*window, table, "append", "Correo", 10, 50);
  app::SampleBenchAccess::AnexarEliminarCampo(*window, table, "delete", "Nombre", 0, 0);
  database->Close();

  EXPECT_EQ(Fields(), before);
  EXPECT_TRUE(window->Log().Changes().empty());
}

TEST_F(SampleBench, AReadOnlyDatabaseShowsTheMessageThreeTimesAndTheRunGoesOn) {
  const json before = Fields();
  MakeReadOnly();

  EXPECT_TRUE(window->Click("Command4_Click"));

  ASSERT_EQ(window->Messages().size(), 3u);
  for (const app::Message& message : window->Messages()) {
    EXPECT_EQ(message.text, kReadOnlyMessage);
    EXPECT_EQ(message.look, platform::MessageLook::kPlain);
  }
  // The last steps still ran: Data2 shows the sample table.
  EXPECT_EQ(window->Data2.DatabaseName(), "C:\\Neptuno.mdb");
  EXPECT_TRUE(window->Data2.HasRecordset());

  EXPECT_TRUE(window->Click("Command5_Click"));
  EXPECT_EQ(window->Messages().size(), 6u);
  EXPECT_EQ(Fields(), before);
}

TEST_F(SampleBench, FillingTheGridNeedsOnlyTheSampleDatabase) {
  ASSERT_TRUE(window->Click("Command3_Click"));
  EXPECT_EQ(window->Data2.DatabaseName(), "C:\\Neptuno.mdb");
  EXPECT_EQ(window->Data2.RecordSource(), "Empleados");
  ASSERT_TRUE(window->Data2.HasRecordset());
  window->Data2.Recordset().MoveLast();
  EXPECT_EQ(window->Data2.Recordset().RecordCount(), 5);
}

TEST_F(SampleBench, WithoutTheSampleDatabaseNothingIsCreated) {
  std::filesystem::remove(site.Host(kNeptuno));
  EXPECT_FALSE(window->Click("Command4_Click"));
  EXPECT_FALSE(window->Click("Command3_Click"));
  EXPECT_FALSE(std::filesystem::exists(site.Host(kNeptuno)));
}

}  // namespace
}  // namespace actualiz::testing
