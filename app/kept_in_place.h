// The relations and stored queries a chain can leave in place instead of
// dropping them and creating them again.
//
// The relation and query chains delete every object of the target they
// listed, then create the model's, one after another in the model's order.
// Creating a relation again checks every row of its tables, and most
// objects come back exactly as they were. So the listing compares the two
// databases first and leaves in place a target object that the chain would
// build again exactly as it stands:
//  - the same name, letter for letter (the chain brings the model's
//    spelling), and the same definition as the chain carries it (for a
//    relation: tables, attribute bits, field pairs in order; for a query:
//    the statement on one line, as the query catalogue holds it);
//  - and the same place. The engine lists relations and queries in the
//    order they were stored, and an object created again goes after every
//    object that stayed. For keeping to give the same list, the kept
//    objects must be the first the chain creates, in its order, each after
//    every target object the chain does not delete at all (the engine's own,
//    "MSys...") and after the objects kept before it. The walk stops at the
//    first object that fails any of these tests; from there on the chain
//    drops and creates as before.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace actualiz::app {

// The names (exact) of the target's objects that can stay. `target` holds
// the target's object names in the engine's order, `stays(i)` says whether
// the chain leaves target object i alone in any case, `created` the names
// the chain creates, in its order, and `same(i, j)` whether target object i
// is exactly what creating `created[j]` would build. Objects are matched by
// name as the engine compares names; `same` is asked only for a match
// whose name is spelled exactly alike.
std::set<std::string> KeptInPlace(const std::vector<std::string>& target,
                                  const std::function<bool(size_t)>& stays,
                                  const std::vector<std::string>& created,
                                  const std::function<bool(size_t, size_t)>& same);

// The relations of `target` the relation chain can leave in place, the
// model's relations (those not named "MSys...") being what it creates.
std::set<std::string> RelationsToKeep(engine::Database& model, engine::Database& target);

// One stored query as the query chain creates it: the name and the
// statement as the catalogue carries it.
struct QueryToCreate {
  std::string name;
  std::string statement;
};

// The stored queries of `target` the query chain can leave in place when it
// creates `created`, in that order.
std::set<std::string> QueriesToKeep(engine::Database& target,
                                    const std::vector<QueryToCreate>& created);

}  // namespace actualiz::app
