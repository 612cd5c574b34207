// Creating the window and Form_Activate: the models in List7, the data
// directory in Dir1 with its fallback, the catalogues in Data3 to Data5,
// and "Salir".
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/window_fixture.h"

namespace actualiz::app {
namespace {

using testing::TestSite;
using Items = std::vector<std::string>;

constexpr const char* kDefaultData = "c:\\archivos de programa\\vek 2000\\bases";

TEST(Startup, ListsModelsDirectoriesIncludedAndFillsList6FromTheDefaultDirectory) {
  TestSite site({.default_data_directory = false});
  for (const char* name : {"zolo.mdb", "Clientes.MDB", "notas.txt", "alfa.mdb"}) {
    site.Touch(std::string("c:\\prog\\modelos\\") + name);
  }
  site.MakeDirectory("c:\\prog\\modelos\\carpeta.mdb");
  site.MakeDirectory("c:\\Archivos de Programa\\VEK 2000\\Bases");
  site.Touch("c:\\Archivos de Programa\\VEK 2000\\Bases\\clientes.mdb");

  auto window = site.MakeWindow(/*activate=*/false);
  window->Activate();

  EXPECT_EQ(window->List7.Items(), (Items{"alfa.mdb", "carpeta.mdb", "Clientes.MDB", "zolo.mdb"}));
  EXPECT_EQ(window->Dir1.Path(), kDefaultData);
  EXPECT_EQ(window->List6.Items(), (Items{"clientes.mdb"}));
  EXPECT_TRUE(site.op.messages.empty());
  EXPECT_TRUE(window->Log().Failures().empty());
}

TEST(Startup, List7IsNeverClearedAndActivateRunsOnce) {
  TestSite site;
  site.Touch("c:\\prog\\modelos\\a.mdb");
  auto window = site.MakeWindow();
  window->Activate();
  EXPECT_EQ(window->List7.Items(), (Items{"a.mdb"}));
  // Form_Activate itself has no guard: raised again, it appends the models again.
  window->Click("Form_Activate");
  EXPECT_EQ(window->List7.Items(), (Items{"a.mdb", "a.mdb"}));
}

TEST(Startup, MissingModelsDirectoryLeavesList7EmptyWithoutMessage) {
  TestSite site;
  std::filesystem::remove_all(site.Host("c:\\prog\\modelos"));
  auto window = site.MakeWindow();
  EXPECT_EQ(window->List7.ListCount(), 0);
  EXPECT_TRUE(site.op.messages.empty());
}

TEST(Startup, MissingDefaultDirectoryFallsBackToTheRootOfC) {
  TestSite site({.default_data_directory = false});
  site.Touch("c:\\raiz.mdb");
  site.Touch("c:\\otra.txt");
  auto window = site.MakeWindow(/*activate=*/false);
  window->Activate();
  EXPECT_EQ(window->Dir1.Path(), "c:\\");
  EXPECT_EQ(window->List6.Items(), (Items{"raiz.mdb"}));
  // Not shown to the operator, but recorded.
  EXPECT_TRUE(site.op.messages.empty());
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  EXPECT_EQ(window->Log().Failures()[0].number, err::kPathNotFound);
  EXPECT_TRUE(window->Log().Failures()[0].passed_over);
  EXPECT_EQ(window->Log().Failures()[0].handler, "Form_Activate");
}

TEST(Startup, DefaultDirectoryThatIsCurrentAlreadyIsStillListed) {
  TestSite site;
  site.Touch(std::string(kDefaultData) + "\\x.mdb");
  site.drives.SetCurrentDirectory('c', kDefaultData);
  auto window = site.MakeWindow(/*activate=*/false);
  EXPECT_EQ(window->Dir1.Path(), kDefaultData);
  EXPECT_EQ(window->List6.ListCount(), 0);  // nothing listed before activation
  window->Activate();
  EXPECT_EQ(window->List6.Items(), (Items{"x.mdb"}));
}

TEST(Startup, ProgramDirectoryAtADriveRootStillFindsItsModels) {
  TestSite site;
  site.MakeDirectory("c:\\modelos");
  site.Touch("c:\\modelos\\raiz.mdb");
  Environment env = site.MakeEnvironment();
  env.program_dir = site.Host("c:\\");
  Actualiz window(std::move(env));
  EXPECT_EQ(window.ProgramDirectory(), "c:\\");
  window.Activate();
  EXPECT_EQ(window.List7.Items(), (Items{"raiz.mdb"}));
}

TEST(Startup, ProgramDirectoryOffTheDrivesIsItsHostPath) {
  TestSite site;
  const std::string elsewhere = (site.dir().path() / "programa").string();
  std::filesystem::create_directories(elsewhere + "/Modelos");
  testing::WriteFile(elsewhere + "/Modelos/lejos.mdb", "");
  Environment env = site.MakeEnvironment();
  env.program_dir = elsewhere + "/";
  Actualiz window(std::move(env));
  EXPECT_EQ(window.ProgramDirectory(), elsewhere);
  window.Activate();
  EXPECT_EQ(window.List7.Items(), (Items{"lejos.mdb"}));
  // The window names the program directory on drive c as a Windows path.
  EXPECT_EQ(site.MakeWindow(false)->ProgramDirectory(), "c:\\prog");
}

TEST(Startup, CataloguesOpenAtCreationAndAMissingOneFailsAtFirstUse) {
  TestSite site;
  std::filesystem::remove(site.Host("c:\\Zarade\\relacion.mdb"));
  auto window = site.MakeWindow(/*activate=*/false);
  EXPECT_TRUE(window->Data3.HasRecordset());
  EXPECT_FALSE(window->Data4.HasRecordset());
  EXPECT_TRUE(window->Data5.HasRecordset());
  EXPECT_TRUE(window->Data3.Recordset().Eof());
  // Reported once, at creation, under Form_Load.
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  EXPECT_EQ(window->Log().Failures()[0].handler, "Form_Load");
  EXPECT_EQ(window->Log().Failures()[0].number, err::kFileNotFound);
  EXPECT_NE(testing::ReadFile(site.LogFile()).find("Data4.Refresh"), std::string::npos);
  try {
    window->Data4.Recordset();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 91);
  }
}

TEST(Startup, SalirEndsTheProgramEvenWithOpenRecordSets) {
  TestSite site;
  auto window = site.MakeWindow();
  ASSERT_TRUE(window->Data5.HasRecordset());
  EXPECT_THROW(window->Click("Command14_Click"), ProgramEnded);
  EXPECT_TRUE(window->Ended());
  EXPECT_TRUE(site.op.ended);
  EXPECT_TRUE(site.op.messages.empty());
}

}  // namespace
}  // namespace actualiz::app
