// What a bound text box and the record grid show for dates.
#include "engine/display_text.h"

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/support/own_session.h"
#include "tests/support/temp_dir.h"

namespace actualiz::engine {
namespace {

TEST(GeneralDateText, ShowsDateTimeOrBothAsJetDoes) {
  EXPECT_EQ(GeneralDateText(45000), "15/03/2023");
  EXPECT_EQ(GeneralDateText(45000.75), "15/03/2023 18:00:00");
  EXPECT_EQ(GeneralDateText(0.5), "12:00:00");
  EXPECT_EQ(GeneralDateText(0), "0:00:00");
  EXPECT_EQ(GeneralDateText(2), "01/01/1900");
  EXPECT_EQ(GeneralDateText(-657434), "01/01/0100");
  EXPECT_EQ(GeneralDateText(2958465), "31/12/9999");
}

TEST(GeneralDateText, DaysBeforeTheBaseCountTheTimeForward) {
  // -1.25 is 29/12/1899 at 6:00, not at 18:00.
  EXPECT_EQ(GeneralDateText(-1.25), "29/12/1899 6:00:00");
}

TEST(GeneralDateText, RoundsToTheSecondAndCarriesMidnight) {
  EXPECT_EQ(GeneralDateText(45000 + 0.4999999999), "15/03/2023 12:00:00");
  EXPECT_EQ(GeneralDateText(45000.99999999), "16/03/2023");
}

TEST(GeneralDateText, OutOfRangeValuesStayNumbers) {
  EXPECT_EQ(GeneralDateText(1e12), Value(1e12).ToText());
}

TEST(DisplayText, FormatsOnlyDateFields) {
  testing::TempDir dir;
  DatabasePtr db = testing::CreateInOwnSession(dir.File("fechas.mdb"));
  TableDefPtr table = db->CreateTableDef("t");
  table->Fields().Append(table->CreateField("cuando", dbDate));
  table->Fields().Append(table->CreateField("cuanto", dbDouble));
  db->TableDefs().Append(table);
  RecordsetPtr rs = db->OpenRecordset("t");
  rs->AddNew();
  rs->Fields().Item("cuando")->SetValue(45000.5);
  rs->Fields().Item("cuanto")->SetValue(45000.5);
  rs->Update();
  rs->MoveFirst();
  EXPECT_EQ(DisplayText(*rs->Fields().Item("cuando")), "15/03/2023 12:00:00");
  EXPECT_EQ(DisplayText(*rs->Fields().Item("cuanto")), "45000.5");
  db->Close();
}

}  // namespace
}  // namespace actualiz::engine
