// The rules of failure: passing over, reaching the top of a click, the run
// log and its file, and the end of the program passing every rule.
#include <gtest/gtest.h>

#include "tests/support/window_fixture.h"

namespace actualiz::app {
namespace {

using testing::TestSite;

TEST(FailureRules, PassOverRecordsTheFailureAndGoesOn) {
  TestSite site;
  auto window = site.MakeWindow();
  window->Text4.SetText("c:\\datos\\x.mdb");
  int reached = 0;
  {
    Actualiz::HandlerScope scope(*window, "Command16_Click");
    EXPECT_FALSE(
        window->PassOver("Indexes.Append idx", [] { throw Error(3284, "Ya existe", "T"); }));
    EXPECT_TRUE(window->PassOver("next statement", [&] { ++reached; }));
  }
  EXPECT_EQ(reached, 1);
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  const Failure& failure = window->Log().Failures()[0];
  EXPECT_EQ(failure.handler, "Command16_Click");
  EXPECT_EQ(failure.statement, "Indexes.Append idx");
  EXPECT_EQ(failure.database, "c:\\datos\\x.mdb");
  EXPECT_EQ(failure.number, 3284);
  EXPECT_EQ(failure.context, "T");
  EXPECT_TRUE(failure.passed_over);
  EXPECT_TRUE(site.op.messages.empty());
  EXPECT_NE(testing::ReadFile(site.LogFile()).find("Command16_Click: Indexes.Append idx failed"),
            std::string::npos);
}

TEST(FailureRules, ProgramEndPassesEveryRule) {
  TestSite site;
  auto window = site.MakeWindow();
  EXPECT_THROW(window->PassOver("Salir", [&] { window->Command14_Click(); }), ProgramEnded);
  EXPECT_THROW(window->AtTop("Salir", [&] { window->Command14_Click(); }), ProgramEnded);
  EXPECT_TRUE(window->Log().Failures().empty());
  EXPECT_TRUE(window->Ended());
  EXPECT_TRUE(window->CurrentHandler().empty());
}

TEST(FailureRules, FailureAtTheTopIsShownAndTheWindowGoesOn) {
  TestSite site;
  auto window = site.MakeWindow();
  EXPECT_FALSE(window->Click("Command99_Click"));
  ASSERT_EQ(site.op.messages.size(), 1u);
  EXPECT_EQ(site.op.messages[0].look, platform::MessageLook::kCritical);
  EXPECT_EQ(site.op.messages[0].text,
            "Error 438: Object doesn't support this property or method\nCommand99_Click "
            "(Command99_Click)");
  EXPECT_EQ(window->Messages().size(), 1u);
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  EXPECT_FALSE(window->Log().Failures()[0].passed_over);

  // A failure deep in a chain names the handler where it happened.
  EXPECT_FALSE(window->AtTop("Command13_Click", [&] {
    Actualiz::HandlerScope outer(*window, "Command13_Click");
    Actualiz::HandlerScope inner(*window, "Command12_Click");
    window->List1(0).SetListIndex(5);
  }));
  EXPECT_EQ(
      site.op.messages.back().text.rfind("Error 380: Invalid property value\nCommand12_Click", 0),
      0u)
      << site.op.messages.back().text;
  EXPECT_EQ(window->Log().Failures().back().handler, "Command12_Click");
  EXPECT_EQ(window->Log().Failures().back().statement, "Command13_Click");

  // A failure passed over inside a callee does not mislead the next one.
  EXPECT_FALSE(window->AtTop("Command17_Click", [&] {
    Actualiz::HandlerScope outer(*window, "Command17_Click");
    window->PassOver("Command18_Click", [&] {
      Actualiz::HandlerScope inner(*window, "Command18_Click");
      throw Error(3265, "Item not found in this collection.");
    });
    throw Error(3024, "Could not find file.");
  }));
  EXPECT_EQ(site.op.messages.back().text, "Error 3024: Could not find file.\nCommand17_Click");

  // Other faults reach the operator too, and the next click runs normally.
  EXPECT_FALSE(window->AtTop("x", [] { throw std::runtime_error("boom"); }));
  EXPECT_EQ(window->Log().Failures().back().number, 51);
  EXPECT_TRUE(window->Click("Command15_Click"));
  EXPECT_TRUE(window->CurrentHandler().empty());
}

TEST(FailureRules, ChangesAreLoggedWithTheirDatabase) {
  TestSite site;
  auto window = site.MakeWindow();
  window->Text4.SetText("c:\\datos\\a.mdb");
  {
    Actualiz::HandlerScope scope(*window, "Command9_Click");
    window->RecordChange(ChangeKind::kTableCreated, {"", "Clientes"});
    window->RecordChange(ChangeKind::kDatabaseCopied, {"", "b.mdb"}, "c:\\datos\\b.mdb");
  }
  ASSERT_EQ(window->Log().Changes().size(), 2u);
  EXPECT_EQ(window->Log().Changes()[0].database, "c:\\datos\\a.mdb");
  EXPECT_EQ(window->Log().Changes()[0].handler, "Command9_Click");
  EXPECT_EQ(window->Log().Changes()[1].database, "c:\\datos\\b.mdb");
  const std::string log = testing::ReadFile(site.LogFile());
  EXPECT_NE(log.find("Command9_Click: table created Clientes in c:\\datos\\a.mdb"),
            std::string::npos)
      << log;
}

TEST(FailureRules, EveryHandlerCanBeRaisedByName) {
  const auto& names = Actualiz::HandlerNames();
  EXPECT_EQ(names.size(), 29u);  // Form_Activate, the two changes, Command1 to Command26
  EXPECT_NE(std::find(names.begin(), names.end(), "Command26_Click"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "Dir1_Change"), names.end());
}

}  // namespace
}  // namespace actualiz::app
