// The plan and check commands share one run: the batch over a scratch copy.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "cli/command.h"

namespace actualiz::cli {

struct PlanOptions {
  std::string data;       // the data directory, required
  std::string json_file;  // "" for none, "-" for standard output
};

// Plans the batch over options.data, prints the plan and writes the JSON
// report when asked. Returns 1 when something failed (the plan could not be
// made, or the batch would pass over a failure); otherwise 0, or with
// `check` 2 when anything would change.
int RunPlan(const CliContext& context, const PlanOptions& options, bool check);

// Writes `report` as indented JSON to the host path `path`, or to standard
// output for "-"; fails with 70 (permission denied) naming where.
void WriteJsonReport(const CliContext& context, const std::string& path,
                     const nlohmann::json& report);

// Declares a command that plans the batch ("plan", or "check" with `check`),
// with its --data and --json options.
void AddPlanningCommand(CLI::App& app, CliContext& context, const std::string& name,
                        const std::string& description, bool check);

}  // namespace actualiz::cli
