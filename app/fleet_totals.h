// A fleet location's run totals, kept for the fleet's report and state
// file: the batch report's counts, or nothing when the run made no report.
// A fleet keeps one for each location until its report, so they are a few
// counts rather than the report's JSON object.
#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

#include "app/batch_report.h"

namespace actualiz::app {

class FleetTotals {
 public:
  FleetTotals() = default;
  explicit FleetTotals(const ReportTotals& totals);
  // Totals as the report's JSON gives them; null (or anything but an
  // object) reads as no totals, and a count missing from it as 0.
  static FleetTotals FromJson(const nlohmann::json& json);

  bool Present() const { return present_; }
  // The count the report's JSON names `key`; 0 when absent or unknown.
  int Count(std::string_view key) const;
  // The report's "totals" object; null when there are no totals.
  nlohmann::json Json() const;

 private:
  ReportTotalsCounts counts_{};
  bool present_ = false;
};

}  // namespace actualiz::app
