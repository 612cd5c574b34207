// The schema a handle keeps after its own changes equals what a fresh handle
// reads, and changes from another handle or process are still seen.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/description/description.h"
#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

class SchemaCacheTest : public EngineTest {
 protected:
  void ExpectSameAsFreshHandle(const std::string& step) {
    auto fresh = OpenDatabase(session_, path_);
    EXPECT_EQ(Describe(*db_, {.system = true}).dump(1), Describe(*fresh, {.system = true}).dump(1))
        << step;
  }
  void AddIndex(const std::string& table, const std::string& name, const std::string& field,
                bool unique) {
    auto t = db_->TableDefs().Item(table);
    auto index = t->CreateIndex(name);
    index->Fields().Append(index->CreateField(field));
    index->SetUnique(unique);
    t->Indexes().Append(index);
  }
};

TEST_F(SchemaCacheTest, FieldFlagsOfEveryTableSurviveAChangeToAnother) {
  auto add_flagged = [&](const std::string& table, const std::string& field, bool required) {
    auto t = db_->TableDefs().Item(table);
    auto f = t->CreateField(field, dbText, 20);
    f->SetRequired(required);
    f->SetAllowZeroLength(true);
    t->Fields().Append(f);
  };
  MakeTable("Año", {{"Id", dbLong, 0}});
  add_flagged("AñO", "Nombre", true);
  MakeTable("B", {{"Id", dbLong, 0}});
  add_flagged("B", "Nota", false);
  ExpectSameAsFreshHandle("flags");
  add_flagged("b", "Otra", true);
  ExpectSameAsFreshHandle("flags after a change to another table");
  auto nombre = db_->TableDefs().Item("año")->Fields().Item("Nombre");
  EXPECT_TRUE(nombre->Required());
  EXPECT_TRUE(nombre->AllowZeroLength());
  EXPECT_TRUE(db_->TableDefs().Item("B")->Fields().Item("Otra")->Required());
}

TEST_F(SchemaCacheTest, OwnChangesLeaveTheSameSchemaAsAFreshHandleSees) {
  MakeTable("A", {{"Id", dbLong, 0}, {"C", dbText, 20}});
  ExpectSameAsFreshHandle("table A");
  MakeTable("A_B", {{"C", dbLong, 0}});
  MakeTable("Other", {{"X", dbLong, 0}});
  AddIndex("A", "B_C", "C", false);
  AddIndex("A_B", "C", "C", true);  // its SQLite name is taken by A's index
  ExpectSameAsFreshHandle("indexes");
  auto a = db_->TableDefs().Item("A");
  a->Fields().Append(a->CreateField("New", dbMemo, 0));
  ExpectSameAsFreshHandle("field added");
  db_->TableDefs().Item("A_B")->Indexes().Delete("C");
  ExpectSameAsFreshHandle("index dropped");
  EXPECT_EQ(db_->TableDefs().Item("A")->Indexes().Count(), 1);
  db_->TableDefs().Item("A")->Indexes().Delete("b_c");
  AddIndex("A", "PrimaryKey", "Id", true);
  ExpectSameAsFreshHandle("index replaced");
  auto rel = db_->CreateRelation("AOther", "A", "Other", 0);
  auto f = rel->CreateField("Id");
  f->SetForeignName("X");
  rel->Fields().Append(f);
  db_->Relations().Append(rel);
  db_->CreateQueryDef("Q", "SELECT * FROM A");
  ExpectSameAsFreshHandle("relation and query");
  a->Fields().Delete("New");
  ExpectSameAsFreshHandle("field dropped");
  db_->Relations().Delete("AOther");
  db_->TableDefs().Delete("Other");
  MakeTable("other", {{"Y", dbText, 5}});
  ExpectSameAsFreshHandle("table dropped and made again");
  EXPECT_EQ(db_->TableDefs().Item("OTHER")->Fields().Item(0)->Name(), "Y");
}

TEST_F(SchemaCacheTest, AnotherHandlesChangeIsSeenAfterOurOwnChange) {
  MakeTable("A", {{"Id", dbLong, 0}});
  MakeTable("B", {{"Id", dbLong, 0}});
  db_->TableDefs().Count();
  auto other = OpenDatabase(session_, path_);
  auto a = other->TableDefs().Item("A");
  a->Fields().Append(a->CreateField("FromOther", dbLong, 0));
  auto b = db_->TableDefs().Item("B");
  b->Fields().Append(b->CreateField("Mine", dbLong, 0));
  EXPECT_EQ(db_->TableDefs().Item("A")->Fields().Count(), 2);
  ExpectSameAsFreshHandle("after both");
  a->Fields().Append(a->CreateField("Again", dbLong, 0));
  EXPECT_EQ(db_->TableDefs().Item("A")->Fields().Count(), 3);
  other->CreateQueryDef("Q", "SELECT 1");
  EXPECT_EQ(db_->QueryDefs().Count(), 1);
}

TEST_F(SchemaCacheTest, AnotherProcesssChangeIsSeen) {
  MakeTable("A", {{"Id", dbLong, 0}});
  db_->TableDefs().Count();
  const pid_t child = fork();
  if (child == 0) {
    auto db = OpenDatabase(session_, path_);
    auto a = db->TableDefs().Item("A");
    a->Fields().Append(a->CreateField("FromChild", dbLong, 0));
    auto z = db->CreateTableDef("Z");
    z->Fields().Append(z->CreateField("Id", dbLong, 0));
    db->TableDefs().Append(z);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(db_->TableDefs().Item("A")->Fields().Count(), 2);
  ExpectSameAsFreshHandle("after the child");
}

}  // namespace
}  // namespace actualiz::engine
