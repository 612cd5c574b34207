#include "app/fleet_totals.h"

namespace actualiz::app {

FleetTotals::FleetTotals(const ReportTotals& totals)
    : counts_(CountReportTotals(totals)), present_(true) {}

FleetTotals FleetTotals::FromJson(const nlohmann::json& json) {
  FleetTotals totals;
  if (!json.is_object()) return totals;
  totals.present_ = true;
  for (size_t i = 0; i < kReportTotalsCount; ++i) {
    const auto found = json.find(ReportTotalsKeys()[i]);
    if (found != json.end() && found->is_number_integer()) totals.counts_[i] = found->get<int>();
  }
  return totals;
}

int FleetTotals::Count(std::string_view key) const {
  if (!present_) return 0;
  for (size_t i = 0; i < kReportTotalsCount; ++i) {
    if (key == ReportTotalsKeys()[i]) return counts_[i];
  }
  return 0;
}

nlohmann::json FleetTotals::Json() const {
  if (!present_) return nullptr;
  return ReportTotalsJson(counts_);
}

}  // namespace actualiz::app
