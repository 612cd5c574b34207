// The indexes a target shares with its model, which the index removal can
// leave in place instead of dropping them for the copy to build again.
//
// Within the chain the removal drops the target's catalogued indexes, the
// model capture writes the model's indexes into the catalogue, and the copy
// creates them from it. Rebuilding an index over many rows costs far more
// than the rest of the chain, and most indexes come back exactly as they
// were. So the removal reads the model itself, before its first delete, and
// keeps a target index when the copy would build the very same one:
//  - the same name, letter for letter (the copy would bring the model's
//    spelling), on the table of that name;
//  - the same fields in the same order (field names as the engine compares
//    them: an index reports its table's own spelling of a field);
//  - the same uniqueness and the same primary-key flag.
// What the model offers is taken as the copy would read it back from the
// catalogue (IndexPlan), with the model's primary-key flag beside it: the
// catalogue cannot say "primary", so the copy asks the model for it
// (IsModelPrimaryKey) and builds the model's primary key primary again.
//
// Order matters too: the engine lists a table's indexes in the order they
// were stored, and an index built again goes after every index that stayed.
// The indexes dropped and built again end up in the model's order after
// those that stay; for keeping to give the same list, the kept indexes must
// be the first of the model's, in the model's order, and must follow every
// index of the table that the removal does not drop at all. The walk stops
// at the first model index that fails any of these tests.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/actualiz.h"
#include "engine/engine.h"
#include "indexes/index_catalogue.h"

namespace actualiz::indexes {

// One index of the model, as the copy would build it, and whether the
// model's own index is the primary key.
struct ModelIndex {
  IndexPlan plan;
  bool primary = false;
};

// The model's indexes by table, the table names folded as the engine
// compares them; each table's indexes in the engine's order. Only the
// tables the model capture lists (names not beginning with "MSys").
using ModelIndexes = std::map<std::string, std::vector<ModelIndex>>;

// Opens the model at `path` through the window, reads the indexes of its
// user tables and closes it. Raises the engine's failure when the model
// cannot be opened or read.
ModelIndexes ReadModelIndexes(app::Actualiz& window, const std::string& path);

// True when the index `plan` would build on `table` is the model's primary
// key: the model's index of that name on the table of that name (both as
// the engine compares names) is primary and has the plan's fields, in order.
bool IsModelPrimaryKey(const ModelIndexes& model, const std::string& table, const IndexPlan& plan);

// The target's indexes on one table (in the engine's order) that can stay:
// `dropped` holds the folded names the removal is about to delete from the
// table, `model` the model's indexes on the table of the same name (null
// when the model lacks it). Returns folded names, a subset of `dropped`.
std::set<std::string> IndexesToKeep(const std::vector<engine::IndexPtr>& target,
                                    const std::set<std::string>& dropped,
                                    const std::vector<ModelIndex>* model);

}  // namespace actualiz::indexes
