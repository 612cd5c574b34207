// The batch driver (Command13_Click) over a data directory of several
// database pairs, and the report built from its run log.
#include <filesystem>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "app/batch_report.h"
#include "app/operator_advice.h"
#include "tests/support/temp_dir.h"
#include "tests/tables/tables_support.h"

namespace actualiz::testing {
namespace {

using Items = std::vector<std::string>;

std::string ModelPath(const std::string& name) { return "c:\\prog\\modelos\\" + name; }
std::string TargetPath(const std::string& name) { return "c:\\datos\\" + name; }

// Notes, at every repaint of the progress frame and every change of the
// status label, the handler running and the database bar's value.
class StageRecorder : public app::ControlListener {
 public:
  explicit StageRecorder(app::Actualiz& window) : window_(window) {}
  void ControlChanged(const app::Control& control) override {
    if (&control == &window_.Label4) labels.push_back(window_.Label4.Caption());
    Note();
  }
  void Refreshed(const app::Control&) override { Note(); }

  Items labels;
  Items stages;  // "Bar1=1 Command6_Click", consecutive repeats left out

 private:
  void Note() {
    const std::string stage = "Bar1=" + std::to_string(static_cast<int>(window_.Bar1.Value())) +
                              " " + window_.CurrentHandler();
    if (stages.empty() || stages.back() != stage) stages.push_back(stage);
  }
  app::Actualiz& window_;
};

class Batch : public ::testing::Test {
 protected:
  // Two pairs behind their models, one up to date, a target without a
  // model, and a model without a target.
  void LayOutSite() {
    Build(site, ModelPath("alfa.mdb"),
          {Table("Clientes", {{"Codigo", 4, 4}, {"Nombre", 10, 40}, {"Email", 10, 80}}),
           Table("Pedidos", {{"Numero", 4, 4}, {"Notas", 12, 0}})});
    Build(site, TargetPath("alfa.mdb"),
          {Table("Clientes", {{"Codigo", 4, 4}, {"Nombre", 10, 40}})});
    Build(site, ModelPath("beta.mdb"), {Table("Stock", {{"Ref", 10, 10}, {"Cantidad", 4, 4}})});
    Build(site, TargetPath("beta.mdb"), {Table("Stock", {{"Ref", 10, 10}})});
    Build(site, ModelPath("gamma.mdb"), {Table("Agenda", {{"Nombre", 10, 30}})});
    Build(site, TargetPath("gamma.mdb"), {Table("Agenda", {{"Nombre", 10, 30}})});
    Build(site, TargetPath("solo.mdb"), {Table("Viejo", {{"X", 4, 4}})});
    Build(site, ModelPath("nueva.mdb"), {Table("Nueva", {{"Y", 4, 4}})});
  }

  std::vector<std::string> Kinds() {
    std::vector<std::string> out;
    for (const app::Change& c : window->Log().Changes()) {
      out.push_back(std::filesystem::path(site.Host(c.database)).filename().string() + ": " +
                    app::KindText(c.kind) + " " + c.ObjectText());
    }
    return out;
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
};

// ---- 1. A run over several pairs ----

TEST_F(Batch, BringsEveryPairUpToItsModelAndCopiesNewModels) {
  LayOutSite();
  window = StartedWindow(site);
  const nlohmann::json solo_before = DescribeFile(site.Host(TargetPath("solo.mdb")), true);
  ASSERT_EQ(window->List6.Items(), (Items{"alfa.mdb", "beta.mdb", "gamma.mdb", "solo.mdb"}));

  ASSERT_TRUE(window->Click("Command13_Click"));

  EXPECT_EQ(TablesOf(site, TargetPath("alfa.mdb")), (Items{"Clientes", "Pedidos"}));
  EXPECT_EQ(FieldsOf(site, TargetPath("alfa.mdb"), "Clientes"),
            (Items{"Codigo 4 4", "Nombre 10 40", "Email 10 80 azl"}));
  EXPECT_EQ(FieldsOf(site, TargetPath("beta.mdb"), "Stock"), (Items{"Ref 10 10", "Cantidad 4 4"}));
  EXPECT_EQ(DescribeFile(site.Host(TargetPath("solo.mdb")), true), solo_before);
  EXPECT_EQ(TablesOf(site, TargetPath("nueva.mdb")), (Items{"Nueva"}));
  EXPECT_EQ(
      Kinds(),
      (Items{"alfa.mdb: table created Pedidos", "alfa.mdb: field added Clientes.Email",
             "beta.mdb: field added Stock.Cantidad", "nueva.mdb: database copied nueva.mdb"}));
  EXPECT_TRUE(window->Log().Failures().empty());

  EXPECT_EQ(window->Label4.Caption(), "Proceso Terminado");
  EXPECT_EQ(window->MousePointer(), 0);
  EXPECT_EQ(window->Bar1.Max(), 4.0f);
  EXPECT_EQ(window->Bar1.Value(), 4.0f);
  EXPECT_EQ(window->Text3.Text(), "c:\\prog\\modelos\\gamma.mdb");
  EXPECT_EQ(window->Text4.Text(), "c:\\datos\\gamma.mdb");
  EXPECT_EQ(window->List8.Items(), (Items{"nueva.mdb"}));
  EXPECT_EQ(window->List6.ListCount(), 4) << "the copy shows only after the next listing";
}

TEST_F(Batch, RunsTheStagesInOrderAndFinishesEachPairBeforeTheNext) {
  LayOutSite();
  window = StartedWindow(site);
  StageRecorder recorder(*window);
  window->SetListener(&recorder);
  ASSERT_TRUE(window->Click("Command13_Click"));
  window->SetListener(nullptr);

  EXPECT_EQ(recorder.labels.front(), "") << "the label first shows List7's selection";
  EXPECT_EQ(recorder.labels.back(), "Proceso Terminado");
  // Between pairs the label shows List7's selection, which the search for
  // the previous pair left on List7's last entry.
  const Items expected_labels{"alfa.mdb",
                              "nueva.mdb",
                              "beta.mdb",
                              "nueva.mdb",
                              "gamma.mdb",
                              "nueva.mdb",
                              "Añadiendo bases de datos nuevas",
                              "Proceso Terminado"};
  Items named;
  for (const std::string& label : recorder.labels) {
    if (!label.empty() && (named.empty() || named.back() != label)) named.push_back(label);
  }
  EXPECT_EQ(named, expected_labels);

  // The table stages of a pair, in the driver's order, while Bar1 shows it.
  auto position = [&](const std::string& stage, size_t from = 0) {
    for (size_t i = from; i < recorder.stages.size(); ++i) {
      if (recorder.stages[i] == stage) return i;
    }
    ADD_FAILURE() << stage << " not seen after position " << from;
    return recorder.stages.size();
  };
  const size_t listing = position("Bar1=1 Command6_Click");
  const size_t equalisation = position("Bar1=1 Command8_Click", listing);
  const size_t second_listing = position("Bar1=1 Command6_Click", equalisation);
  const size_t walk = position("Bar1=1 Command12_Click", second_listing);
  const size_t next_pair = position("Bar1=2 Command6_Click", walk);
  EXPECT_LT(walk, next_pair);
}

TEST_F(Batch, PairsOnlyExactlyEqualNamesAndNeverReplacesAFileByCopying) {
  Build(site, ModelPath("clientes.mdb"), {Table("Clientes", {{"Codigo", 4, 4}, {"Nuevo", 4, 4}})});
  Build(site, TargetPath("Clientes.mdb"), {Table("Clientes", {{"Codigo", 4, 4}})});
  window = StartedWindow(site);
  const nlohmann::json before = DescribeFile(site.Host(TargetPath("Clientes.mdb")), true);

  ASSERT_TRUE(window->Click("Command13_Click"));

  // Not a pair: the target is not touched, and the model counts as new. Its
  // copy would land on the target's file (the drive ignores case): refused.
  EXPECT_EQ(DescribeFile(site.Host(TargetPath("Clientes.mdb")), true), before);
  EXPECT_EQ(window->List8.Items(), (Items{"clientes.mdb"}));
  EXPECT_EQ(window->Bar1.Value(), 1.0f);
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  const app::Failure& refused = window->Log().Failures()[0];
  EXPECT_EQ(refused.number, err::kFileAlreadyExists);
  EXPECT_EQ(refused.database, "c:\\datos\\clientes.mdb");
  EXPECT_EQ(window->Label4.Caption(), "Proceso Terminado");

  const app::BatchReport report = app::BuildBatchReport(*window, window->Log());
  ASSERT_EQ(report.databases.size(), 1u);
  EXPECT_EQ(report.databases[0].state, "failed");
  EXPECT_EQ(report.databases[0].failures.size(), 1u);
}

TEST_F(Batch, ADataDirectoryAtADriveRootGivesADoubledSeparator) {
  Build(site, ModelPath("raiz.mdb"), {Table("T", {{"A", 4, 4}, {"B", 4, 4}})});
  Build(site, "c:\\raiz.mdb", {Table("T", {{"A", 4, 4}})});
  window = StartedWindow(site);
  window->Dir1.SetPath("c:\\");
  ASSERT_EQ(window->List6.Items(), (Items{"raiz.mdb"}));

  ASSERT_TRUE(window->Click("Command13_Click"));
  EXPECT_EQ(window->Text4.Text(), "c:\\\\raiz.mdb");
  EXPECT_EQ(FieldsOf(site, "c:\\raiz.mdb", "T"), (Items{"A 4 4", "B 4 4"}));
  EXPECT_TRUE(window->Log().Failures().empty());
}

TEST_F(Batch, GoesOnPastFailingStagesAndRecordsWhereEachFailed) {
  LayOutSite();
  Build(site, ModelPath("aaa.mdb"), {Table("T", {{"A", 4, 4}})});
  WriteFile(site.Host(TargetPath("aaa.mdb")), "not a database");
  window = StartedWindow(site);

  ASSERT_TRUE(window->Click("Command13_Click"));

  EXPECT_EQ(window->Label4.Caption(), "Proceso Terminado");
  EXPECT_EQ(window->MousePointer(), 0);
  EXPECT_EQ(FieldsOf(site, TargetPath("beta.mdb"), "Stock"), (Items{"Ref 10 10", "Cantidad 4 4"}));
  ASSERT_FALSE(window->Log().Failures().empty());
  for (const app::Failure& failure : window->Log().Failures()) {
    EXPECT_EQ(failure.database, TargetPath("aaa.mdb")) << app::FormatFailure(failure);
    EXPECT_TRUE(failure.passed_over);
  }
  const app::BatchReport report = app::BuildBatchReport(*window, window->Log());
  ASSERT_GE(report.databases.size(), 1u);
  EXPECT_EQ(report.databases[0].name, "aaa.mdb");
  EXPECT_EQ(report.databases[0].state, "failed");
  EXPECT_EQ(report.databases[0].failures.front().number, err::kUnrecognizedFormat);
}

// A pair whose model or target the engine refuses used to fail at every
// stage, and after a refused model the table walk worked from the previous
// pair's lists and added a misleading 3078: the pair fails once, naming
// the refused file.
TEST_F(Batch, APairWithAFileTheEngineRefusesFailsOnce) {
  for (const bool model_refused : {true, false}) {
    SCOPED_TRACE(model_refused ? "refused model" : "refused target");
    TestSite local;
    Build(local, ModelPath("alfa.mdb"), {Table("Clientes", {{"Codigo", 4, 4}, {"Email", 10, 80}})});
    Build(local, TargetPath("alfa.mdb"), {Table("Clientes", {{"Codigo", 4, 4}})});
    const std::string refused = model_refused ? ModelPath("zeta.mdb") : TargetPath("zeta.mdb");
    Build(local, model_refused ? TargetPath("zeta.mdb") : ModelPath("zeta.mdb"),
          {Table("Stock", {{"Ref", 10, 10}})});
    WriteFile(local.Host(refused), "not a database");
    const std::unique_ptr<app::Actualiz> started = StartedWindow(local);

    ASSERT_TRUE(started->Click("Command13_Click"));

    ASSERT_EQ(started->Log().Failures().size(), 1u);
    const app::Failure& failure = started->Log().Failures()[0];
    EXPECT_EQ(failure.number, err::kUnrecognizedFormat);
    EXPECT_EQ(failure.database, TargetPath("zeta.mdb"));
    EXPECT_EQ(app::OperatorLine(failure).rfind(refused + ": damaged (error 3343): ", 0), 0u)
        << app::OperatorLine(failure);
    EXPECT_EQ(FieldsOf(local, TargetPath("alfa.mdb"), "Clientes"),
              (Items{"Codigo 4 4", "Email 10 80 azl"}));
  }
}

TEST_F(Batch, EmptyListsRunNoStageButStillFinish) {
  window = StartedWindow(site);
  window->Bar1.SetMax(7);
  ASSERT_TRUE(window->Click("Command13_Click"));
  EXPECT_EQ(window->Bar1.Max(), 7.0f) << "an empty List6 leaves Bar1 alone";
  EXPECT_EQ(window->Label4.Caption(), "Proceso Terminado");
  EXPECT_TRUE(window->Log().Changes().empty());
}

TEST_F(Batch, ASecondRunAddsNothingAndLeavesEveryStructureAsTheFirstLeftIt) {
  LayOutSite();
  window = StartedWindow(site);
  ASSERT_TRUE(window->Click("Command13_Click"));
  std::map<std::string, nlohmann::json> after_first;
  for (const char* name : {"alfa.mdb", "beta.mdb", "gamma.mdb", "solo.mdb", "nueva.mdb"}) {
    after_first[name] = DescribeFile(site.Host(TargetPath(name)));
  }

  window = StartedWindow(site);
  ASSERT_TRUE(window->Click("Command13_Click"));
  for (const app::Change& change : window->Log().Changes()) {
    EXPECT_NE(change.kind, app::ChangeKind::kTableCreated) << change.ObjectText();
    EXPECT_NE(change.kind, app::ChangeKind::kFieldAdded) << change.ObjectText();
    EXPECT_NE(change.kind, app::ChangeKind::kDatabaseCopied) << change.ObjectText();
  }
  for (const auto& [name, description] : after_first) {
    EXPECT_EQ(DescribeFile(site.Host(TargetPath(name))), description) << name;
  }
  const app::BatchReport report = app::BuildBatchReport(*window, window->Log());
  EXPECT_EQ(report.CountState("up to date"), 4);
}

// ---- 2. The report ----

class Report : public ::testing::Test {
 protected:
  void SetUp() override {
    window = StartedWindow(site);
    for (const char* name : {"a.mdb", "b.mdb", "c.mdb"}) {
      window->List6.AddItem(name);
      window->List7.AddItem(name);
    }
    window->List6.AddItem("sin modelo.mdb");
    window->List8.AddItem("n.mdb");
  }

  void Change(const std::string& database, app::ChangeKind kind, app::ObjectRef object,
              const std::string& definition = "") {
    log.Record(app::Change{"Command16_Click", "c:\\datos\\" + database, kind, object, definition});
  }

  // The report's text, as the batch writes it.
  std::string Text() {
    const app::LogReportEntries entries(log);
    std::ostringstream out;
    app::StreamedBatchReport(*window, entries).WriteText(out);
    return out.str();
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
  app::RunLog log;
};

// An object dropped and created again exactly as it was is no change; one
// created again with another definition is (the batch used to call a
// database whose query was rewritten "up to date" while the plan said
// "would be updated").
TEST_F(Report, StatesTellReplacedObjectsFromRealChanges) {
  using enum app::ChangeKind;
  Change("a.mdb", kIndexDropped, {"T", "idx"}, "{unique}");
  Change("a.mdb", kIndexCreated, {"T", "idx"}, "{unique}");
  Change("a.mdb", kQueryDropped, {"", "q"}, "{one line}");
  Change("a.mdb", kQueryCreated, {"", "q"}, "{one line}");
  Change("b.mdb", kIndexDropped, {"T", "idx"}, "{unique}");
  Change("b.mdb", kIndexCreated, {"T", "idx2"}, "{unique}");
  Change("c.mdb", kFieldAdded, {"T", "F"});
  Change("c.mdb", kQueryDropped, {"", "q"}, "{two\nlines}");
  Change("c.mdb", kQueryCreated, {"", "q"}, "{one line}");
  Change("n.mdb", kDatabaseCopied, {"", "n.mdb"});
  log.Record(app::Failure{"Form_Load", "Data3.Refresh", "", 3024, "not found", "", true});

  const app::BatchReport report = app::BuildBatchReport(*window, log);
  ASSERT_EQ(report.databases.size(), 4u) << "the target without a model is no pair";
  EXPECT_EQ(report.databases[0].state, "up to date");
  EXPECT_EQ(report.databases[1].state, "updated");
  EXPECT_EQ(report.databases[2].state, "updated");
  EXPECT_EQ(report.databases[3].state, "copied");
  EXPECT_EQ(report.other_failures.size(), 1u);
  EXPECT_EQ(report.FailureCount(), 1);

  const nlohmann::json json = app::BatchReportJson(report);
  EXPECT_EQ(json["dataDirectory"], "c:\\datos");
  EXPECT_EQ(json["totals"]["pairs"], 3);
  EXPECT_EQ(json["totals"]["upToDate"], 1);
  EXPECT_EQ(json["totals"]["copied"], 1);
  EXPECT_EQ(json["totals"]["fieldsAdded"], 1);
  EXPECT_EQ(json["totals"]["indexesCreated"], 1);
  EXPECT_EQ(json["totals"]["queriesCreated"], 1);
  EXPECT_EQ(json["totals"]["recreatedUnchanged"], 2);
  EXPECT_EQ(json["databases"][0]["changes"].size(), 0u);
  EXPECT_EQ(json["otherFailures"][0]["number"], 3024);
  EXPECT_EQ(json["databases"][2]["changes"][0]["object"], "T.F");

  const std::string text = Text();
  EXPECT_NE(text.find("a.mdb: up to date"), std::string::npos) << text;
  EXPECT_NE(text.find("indexes: 1 dropped, 1 created"), std::string::npos) << text;
  EXPECT_NE(text.find("fields added: T.F"), std::string::npos) << text;
  EXPECT_NE(text.find("queries: 1 replaced"), std::string::npos) << text;
  EXPECT_NE(text.find("  not found (error 3024): not found; check the name and the path\n"),
            std::string::npos)
      << text;
}

// Two indexes that print alike ("a on b on c": index "a on b" of table "c",
// index "a" of table "b on c") are two objects: one dropped and the other
// created is no replacement (they were paired by their printed text).
TEST_F(Report, IndexesArePairedByTableAndNameNotByTheirPrintedText) {
  Change("a.mdb", app::ChangeKind::kIndexDropped, {"c", "a on b"}, "{unique}");
  Change("a.mdb", app::ChangeKind::kIndexCreated, {"b on c", "a"}, "{unique}");
  const std::string text = Text();
  EXPECT_NE(text.find("a.mdb: updated\n  indexes: 1 dropped, 1 created\n"), std::string::npos)
      << text;
}

// Objects the chains kept in place are no change: a database with only
// those is up to date, and they are counted and named apart. Which backups
// stay is read from the same entries: a change or a failure keeps one, and
// an entry tied to no database of the run keeps every one.
TEST_F(Report, KeptObjectsAreNoChangeAndTheEntriesTellWhatMayHaveChanged) {
  using enum app::ChangeKind;
  const struct {
    bool outside;
    std::set<std::string> may_have_changed;
  } cases[] = {{false, {"b.mdb", "c.mdb"}}, {true, {"a.mdb", "b.mdb", "c.mdb", "n.mdb"}}};
  for (const auto& c : cases) {
    log.Clear();
    Change("a.mdb", kRelationKept, {"", "R"});
    Change("a.mdb", kQueryKept, {"", "q"});
    Change("a.mdb", kIndexDropped, {"T", "idx"}, "{unique}");
    Change("a.mdb", kIndexCreated, {"T", "idx"}, "{unique}");
    Change("b.mdb", kQueryKept, {"", "q"});
    Change("b.mdb", kQueryCreated, {"", "q2"}, "{q2}");
    log.Record(app::Failure{"Command21_Click", "Relations.Append R", "c:\\datos\\c.mdb", 3379,
                            "broken", "", true});
    if (c.outside) Change("otra/x.mdb", kIndexCreated, {"T", "i"}, "{i}");

    const app::LogReportEntries entries(log);
    const app::StreamedBatchReport streamed(*window, entries);
    EXPECT_EQ(streamed.MayHaveChanged(), c.may_have_changed) << c.outside;
    if (c.outside) continue;

    const nlohmann::json json = app::BatchReportJson(app::BuildBatchReport(*window, log));
    EXPECT_EQ(json["databases"][0]["state"], "up to date");
    EXPECT_TRUE(json["databases"][0]["changes"].empty());
    EXPECT_EQ(json["databases"][0]["kept"][0]["kind"], "relation kept");
    EXPECT_EQ(json["databases"][0]["kept"][1]["object"], "q");
    EXPECT_EQ(json["databases"][1]["state"], "updated");
    EXPECT_EQ(json["totals"]["kept"], 3);
    EXPECT_EQ(json["totals"]["queriesCreated"], 1);
    EXPECT_EQ(Text().find("kept"), std::string::npos) << Text();
  }
}

TEST_F(Report, AStageThatFailedAsAWholeIsNamedAsTheStage) {
  log.Record(app::Failure{"Command13_Click", "Command8_Click", "c:\\datos\\a.mdb", 3010,
                          "Table 'T' already exists.", "", true});
  Change("n.mdb", app::ChangeKind::kDatabaseCopied, {"", "n.mdb"});
  const nlohmann::json json = app::BatchReportJson(app::BuildBatchReport(*window, log));
  EXPECT_EQ(json["databases"][0]["state"], "failed");
  EXPECT_EQ(json["databases"][0]["failures"][0]["stage"], "Command8_Click");
  EXPECT_EQ(json["totals"]["failed"], 1);
}

}  // namespace
}  // namespace actualiz::testing
