// The batch report read back from a run's spool, one database at a time,
// against the report read from the run log in memory.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "app/batch_report.h"
#include "app/run_spool.h"
#include "tests/support/window_fixture.h"

namespace actualiz::app {
namespace {

using testing::TestSite;

// Hands every entry `log` records to `spool` as well, while the log keeps
// its own: the same run, both ways.
void Mirror(RunLog& log, RunSpool& spool) {
  log.on_change = [&spool](const Change& change) { spool.Record(change); };
  log.on_failure = [&spool](const Failure& failure) { spool.Record(failure); };
}

std::string StreamedText(const Actualiz& window, const ReportEntries& entries) {
  std::ostringstream out;
  StreamedBatchReport(window, entries).WriteText(out);
  return out.str();
}

std::string StreamedJson(const Actualiz& window, const RunSpool& spool,
                         const BackupFolder* backup) {
  std::ostringstream out;
  StreamedBatchReport(window, spool).WriteJson(out, backup);
  return out.str();
}

// ---- 1. The same report as from memory ----

class StreamedReport : public ::testing::Test {
 protected:
  void SetUp() override {
    window = site.MakeWindow();
    Mirror(log, spool);
  }

  void ListPairs(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      window->List6.AddItem(name);
      window->List7.AddItem(name);
    }
  }

  void Change(const std::string& database, ChangeKind kind, ObjectRef object) {
    log.Record(app::Change{"Command16_Click", database, kind, object});
  }
  void Fail(const std::string& database, const std::string& text) {
    log.Record(app::Failure{"Command12_Click", "Fields.Append F", database, 3191, text,
                            "table T in " + database, true});
  }

  void ExpectSameReport(const BackupFolder* backup) {
    const BatchReport report = BuildBatchReport(*window, log);
    EXPECT_EQ(StreamedText(*window, spool), StreamedText(*window, LogReportEntries(log)));
    EXPECT_EQ(StreamedJson(*window, spool, backup), BatchReportJson(report, backup).dump(2));
  }

  TestSite site;
  std::unique_ptr<Actualiz> window;
  RunLog log;
  RunSpool spool;
};

TEST_F(StreamedReport, EntriesSpreadOverTheRunGiveTheSameTextAndJson) {
  ListPairs({"a.mdb", "b.mdb", "c.mdb", "d.mdb"});
  window->List6.AddItem("sin modelo.mdb");
  window->List8.AddItem("n.mdb");
  window->List8.AddItem("roto.mdb");  // to copy, but never copied: failed
  const std::string a = "c:\\datos\\a.mdb", b = "c:\\datos\\b.mdb", c = "c:\\datos\\c.mdb";
  // Stages go over every database in turn, so each one's entries interleave.
  for (int stage = 0; stage < 3; ++stage) {
    const std::string n = std::to_string(stage);
    using enum ChangeKind;
    Change(a, kFieldAdded, {"T", "F" + n});
    Change(b, kIndexDropped, {"T", "idx" + n});
    Change("c:\\otro\\x.mdb", kTableCreated, {"", "X" + n});  // outside the run
    Change(b, kIndexCreated, {"T", "idx" + n});
    Change(c, kQueryDropped, {"", "q\"" + n + "\\"});
    Fail("", "no database in hand " + n);
    Fail(c, "línea uno\nlínea dos\t" + n);  // a line break inside a text
    Change("", kTableMigrated, {"", "Sin" + n});
  }
  Change("c:\\datos\\n.mdb", ChangeKind::kDatabaseCopied, {"", "n.mdb"});

  ExpectSameReport(nullptr);
  BackupFolder backup;
  backup.folder = "/datos/.actualiz-backups/2026-12-07_141300";
  backup.databases = {"b.mdb", "c.mdb"};
  ExpectSameReport(&backup);
  BackupFolder nothing_kept;
  ExpectSameReport(&nothing_kept);

  const StreamedBatchReport streamed(*window, spool);
  EXPECT_EQ(streamed.FailureCount(), 6);
  EXPECT_EQ(streamed.CopiedIn(), std::vector<std::string>{"n.mdb"});
}

TEST_F(StreamedReport, ARunWithNoDatabaseAndNoEntryGivesTheSameReport) {
  ExpectSameReport(nullptr);
  BackupFolder backup;
  ExpectSameReport(&backup);
  EXPECT_EQ(StreamedBatchReport(*window, spool).FailureCount(), 0);
}

// A real batch over several pairs: one behind its model, one up to date, one
// the engine refuses a field of, and a model to copy in.
TEST(StreamedBatchRun, RealRunGivesTheSameReportAsTheRunLog) {
  TestSite site;
  const std::string model = R"({"tables": [
    {"name": "Clientes", "fields": [{"name": "Id", "type": 4}, {"name": "Nombre", "type": 10},
                                    {"name": "Precio", "type": 5}],
     "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "primary": true, "unique": true}]}],
   "queries": [{"name": "qTodos", "sql": "SELECT * FROM Clientes"}]})";
  const std::string behind = R"({"tables": [
    {"name": "Clientes", "fields": [{"name": "Id", "type": 4}]}]})";
  const std::string refused = R"({"tables": [
    {"name": "Clientes", "fields": [{"name": "Id", "type": 4}, {"name": "precio", "type": 5}]}]})";
  for (const char* name : {"uno.mdb", "dos.mdb", "tres.mdb"}) {
    site.Database(std::string("c:\\prog\\modelos\\") + name, model);
  }
  site.Database("c:\\datos\\uno.mdb", behind);
  site.Database("c:\\datos\\dos.mdb", model);
  site.Database("c:\\datos\\tres.mdb", refused);
  site.Database("c:\\prog\\modelos\\nueva.mdb", behind);

  auto window = site.MakeWindow();
  RunSpool spool;
  const size_t failures = window->Log().Failures().size();
  const size_t changes = window->Log().Changes().size();
  Mirror(window->Log(), spool);
  window->Click("Command13_Click");

  const RunLog run = EntriesSince(window->Log(), failures, changes);
  const BatchReport report = BuildBatchReport(*window, run);
  const std::string text = StreamedText(*window, LogReportEntries(run));
  ASSERT_EQ(report.databases.size(), 4u);
  EXPECT_EQ(report.CountState("failed"), 1) << text;
  EXPECT_EQ(report.CountState("copied"), 1) << text;
  EXPECT_EQ(StreamedText(*window, spool), text);
  BackupFolder backup;
  backup.folder = "/x";
  backup.databases = {"uno.mdb"};
  EXPECT_EQ(StreamedJson(*window, spool, &backup), BatchReportJson(report, &backup).dump(2));
}

// ---- 2. The spool itself ----

TEST(RunSpoolEntries, AttachedLogKeepsNothingAndTheSpoolGetsEverything) {
  RunLog log;
  log.Record(Change{"Form_Load", "", ChangeKind::kTableCreated, {"", "antes"}});
  RunSpool spool;
  spool.Attach(log);
  for (int i = 0; i < 1000; ++i) {
    log.Record(Change{"Command16_Click",
                      "c:\\datos\\" + std::to_string(i % 7) + ".mdb",
                      ChangeKind::kFieldAdded,
                      {"T", "F" + std::to_string(i)}});
  }
  log.Record(Failure{"Command12_Click", "Fields.Append", "c:\\datos\\3.mdb", -5, "t", "c", false});
  RunSpool::Detach(log);
  log.Record(Change{"Form_Load", "", ChangeKind::kTableCreated, {"", "despues"}});

  EXPECT_EQ(log.Changes().size(), 2u) << "what was kept before stays, nothing while attached";
  EXPECT_EQ(spool.ChangeCount(), 1000u);
  EXPECT_EQ(spool.FailureCount(), 1u);
  const std::vector<Change> three = spool.ChangesOf("c:\\datos\\3.mdb");
  ASSERT_EQ(three.size(), 143u);
  for (size_t k = 0; k < three.size(); ++k) {
    EXPECT_EQ(three[k].ObjectText(), "T.F" + std::to_string(3 + 7 * k)) << "in the order recorded";
  }
  const std::vector<Failure> failed = spool.FailuresOf("c:\\datos\\3.mdb");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].number, -5);
  EXPECT_FALSE(failed[0].passed_over);
  EXPECT_TRUE(spool.ChangesOf("c:\\datos\\nada.mdb").empty());
  EXPECT_TRUE(spool.FailuresOf("c:\\datos\\0.mdb").empty());

  // Outside the given databases: several chains, merged in recorded order.
  const std::vector<Change> outside =
      spool.ChangesOutside({"c:\\datos\\0.mdb", "c:\\datos\\1.mdb", "c:\\datos\\2.mdb"});
  ASSERT_EQ(outside.size(), 1000u - 143 * 3);
  for (size_t k = 1; k < outside.size(); ++k) {
    EXPECT_LT(std::stoi(outside[k - 1].object.name.substr(1)),
              std::stoi(outside[k].object.name.substr(1)));
  }
}

// Every kind keeps its stable text (stored reports and scripts read it) and
// comes back from the spool as it went in, its object's table and name apart.
TEST(RunSpoolEntries, EveryKindAndObjectComesBackAsRecorded) {
  struct Case {
    ChangeKind kind;
    const char* text;
    ObjectRef object;
    const char* printed;
  };
  using enum ChangeKind;
  const Case cases[] = {
      {kTableCreated, "table created", {"", "Clientes"}, "Clientes"},
      {kFieldAdded, "field added", {"Clientes", "Telefono"}, "Clientes.Telefono"},
      {kFieldDropped, "field dropped", {"Clientes", "Fax"}, "Clientes.Fax"},
      {kIndexDropped, "index dropped", {"Clientes", "idx on x"}, "idx on x on Clientes"},
      {kIndexCreated, "index created", {"T on U", "idx"}, "idx on T on U"},
      {kRelationDropped, "relation dropped", {"", "rel"}, "rel"},
      {kRelationCreated, "relation created", {"", "rel"}, "rel"},
      {kQueryDropped, "query dropped", {"", "q"}, "q"},
      {kQueryCreated, "query created", {"", "q"}, "q"},
      {kDatabaseCopied, "database copied", {"", "n.mdb"}, "n.mdb"},
      {kTableMigrated, "table migrated", {"", "Sin"}, "Sin"},
      {kCopyLeftoverRemoved, "copy leftover removed", {"", ".a.mdb.copy-1"}, ".a.mdb.copy-1"},
      {kNotCarried, "not carried", {"", "view v: a view"}, "view v: a view"},
      {kRelationKept, "relation kept", {"", "rel"}, "rel"},
      {kQueryKept, "query kept", {"", "q"}, "q"},
  };
  RunSpool spool;
  for (const Case& c : cases) spool.Record(Change{"h", "d", c.kind, c.object, "{}"});
  const std::vector<Change> read = spool.ChangesOf("d");
  ASSERT_EQ(read.size(), std::size(cases));
  for (size_t i = 0; i < read.size(); ++i) {
    SCOPED_TRACE(cases[i].text);
    EXPECT_EQ(KindText(cases[i].kind), cases[i].text);
    EXPECT_EQ(ParseChangeKind(cases[i].text), cases[i].kind);
    EXPECT_EQ(read[i].kind, cases[i].kind);
    EXPECT_EQ(read[i].object, cases[i].object);
    EXPECT_EQ(read[i].ObjectText(), cases[i].printed);
    EXPECT_EQ(read[i].definition, "{}");
  }
  EXPECT_EQ(ParseChangeKind("Table Created"), std::nullopt);
}

TEST(RunSpoolEntries, ADirectoryThatCannotTakeTheFileIsAClearError) {
  TestSite site;
  const std::string missing = (site.dir().path() / "no existe").string();
  try {
    RunSpool spool(missing);
    FAIL() << "made a spool in a missing directory";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kPermissionDenied);
    EXPECT_NE(e.Text().find("temporary file"), std::string::npos) << e.Text();
    EXPECT_NE(e.Context().find(missing), std::string::npos) << e.Context();
  }
}

TEST(RunSpoolEntries, LeavesNoFileBehind) {
  TestSite site;
  {
    RunSpool spool(site.dir().path().string());
    spool.Record(Change{"h", "d", ChangeKind::kFieldAdded, {"T", "F"}});
    ASSERT_EQ(spool.ChangesOf("d").size(), 1u);
  }
  for (const auto& entry : std::filesystem::directory_iterator(site.dir().path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("actualiz-run-", 0), std::string::npos)
        << entry.path();
  }
}

// A file size limit makes writes fail as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previous_signal_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previous_signal_);
  }

 private:
  rlimit previous_{};
  sighandler_t previous_signal_;
};

TEST(RunSpoolEntries, AWriteThatFailsIsReportedNotLost) {
  TestSite site;
  RunSpool spool(site.dir().path().string());
  {
    const FileSizeLimit limit(64 * 1024);
    for (int i = 0; i < 10000; ++i) {
      spool.Record(Change{"Command16_Click",
                          "c:\\datos\\a.mdb",
                          ChangeKind::kFieldAdded,
                          {"T", "F" + std::to_string(i)}});
    }
  }
  EXPECT_EQ(spool.ChangeCount(), 10000u);
  try {
    spool.Check();
    FAIL() << "a spool that could not be written passed its check";
  } catch (const Error& e) {
    EXPECT_NE(e.Text().find("cannot write"), std::string::npos) << e.Text();
  }
  EXPECT_THROW(spool.ChangesOf("c:\\datos\\a.mdb"), Error) << "no report from a partial spool";
}

}  // namespace
}  // namespace actualiz::app
