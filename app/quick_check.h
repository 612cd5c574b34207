// Whether the batch would change nothing, found by reading structures only.
//
// `check` asks this first: when every pair's customer database already
// carries what its model carries (and nothing else the batch would touch
// is out of place), the answer is "up to date" without copying anything;
// otherwise the exact plan (app/plan.h) is made as before.
//
// The rule follows what the batch does to a pair: the equalisation and the
// table walk only add tables and fields the target lacks (a target may
// have more), while the index, relation and query chains drop the target's
// objects and create the model's, which is no change only when each is
// created again exactly as it was or kept in place. So a pair is certainly
// up to date when every model table and field is in the target under the
// very same name, and the target's indexes, relations and queries are, as
// sets, the model's with the same definitions (as engine::Describe writes
// them), each model statement as the query chain carries it (on one line).
// Anything else, or anything that cannot be read, is "maybe not".
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/plan.h"

namespace actualiz::app {

// Whether the batch leaves the target described by `target` as it is, its
// model being described by `model` (both as engine::Describe writes them).
bool StructureUpToDate(const nlohmann::json& model, const nlohmann::json& target);

// The plan of `data_directory` (as MakePlan takes it) when a read-only
// comparison proves the batch would change nothing there: every model has
// its customer database, each pair's structures agree (StructureUpToDate),
// the catalogues are in place and no copy leftover waits to be removed. The
// plan then names each pair "up to date", as the exact plan would. Nothing
// when anything may differ or cannot be read; the exact plan then tells
// what and why. Takes the same shared run lock as MakePlan and fails as it
// does when another run holds it past `env.lock_wait`.
std::optional<Plan> QuickPlan(const Environment& env, const std::string& data_directory);

}  // namespace actualiz::app
