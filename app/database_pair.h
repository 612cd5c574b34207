// The rule that pairs a customer database with its model.
//
// A target database of the data directory (Dir1) is paired with the model of
// exactly the same file name (upper and lower case distinct) in the
// "modelos" folder of the program directory; a model that pairs with no
// target (List8) is copied in under its own name. The batch driver, the
// backups taken before a run and the run's report all pair by this rule.
//
// Paths are joined as they stand: a data directory at a drive root gives a
// doubled separator ("c:\\clientes.mdb"), which the drive map resolves. A
// data directory on a server (base/server_address.h) gives the address of
// the schema: ".../DBNAME" and "clientes.mdb" give ".../DBNAME/clientes.mdb".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace actualiz::app {

class Actualiz;

// The database `name` ("clientes.mdb") of the data directory `directory`:
// "<directory>\<name>", or the schema's address for a directory on a server.
std::string DatabaseIn(const std::string& directory, const std::string& name);

// "<program_directory>\modelos": the folder of the models.
std::string ModelsDirectory(const std::string& program_directory);

// Whether the model named `model` (a List7 entry) is the model of the target
// named `target` (a List6 entry): the very same file name.
bool IsModelOf(std::string_view model, std::string_view target);

struct DatabasePair {
  std::string name;    // the file name both share, "clientes.mdb"
  std::string model;   // "<program directory>\modelos\<name>", as Text3 names it
  std::string target;  // "<Dir1.Path>\<name>", as Text4 names it
};

// The model and the target of the file `name` in `window`, whether either
// exists or not: the paths a pair is worked on at, and a model without a
// target is copied from and to.
DatabasePair PairFor(const Actualiz& window, const std::string& name);

// A target the batch works on, and its place in List6.
struct PairedTarget {
  std::string name;
  int position = 0;
};

// The targets the batch works on: List6 entries with a model of exactly the
// same name in List7, each once (at its first place), in List6 order.
std::vector<PairedTarget> PairedTargetsOf(const Actualiz& window);

// Their file names, in the same order.
std::vector<std::string> PairedTargets(const Actualiz& window);

}  // namespace actualiz::app
