// Inputs found by the fuzz targets (fuzz/) that once escaped the engine's
// errors, kept so that they stay refused in the engine's way.
#include <string>

#include <gtest/gtest.h>

#include "base/error.h"
#include "engine/description/description.h"

namespace actualiz::testing {
namespace {

TEST(FuzzFindings, ANumberTooLargeForAnyTypeIsRefusedAsAMalformedDescription) {
  // The JSON parser reports these as out of range, not as a syntax error.
  for (const std::string text : {"777700000000000003e77770000000", R"({"tables": 1e999})",
                                 R"({"tables": [{"name": "T", "fields": [{"name": "F",
                                     "type": 4}], "rows": [{"F": -1e400}]}]})"}) {
    SCOPED_TRACE(text);
    try {
      engine::ParseDescription(text);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 3001);
      EXPECT_NE(e.Text().find("not valid JSON"), std::string::npos) << e.Text();
    }
  }
}

}  // namespace
}  // namespace actualiz::testing
