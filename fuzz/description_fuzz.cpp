// Feeds arbitrary text to the JSON description reader. Text that passes the
// check must create a database, and the description of that database must
// itself pass the check and create the same database again: a description
// the engine writes is one it accepts.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/error.h"
#include "engine/description/description.h"
#include "fuzz/fuzz_files.h"

using namespace actualiz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  nlohmann::json description;
  try {
    description = engine::ParseDescription(text);
    engine::ValidateDescription(description);
  } catch (const Error&) {
    return 0;  // refused with the engine's error: what bad input should get
  }
  const std::string first = fuzz::FreshPath("first.mdb");
  try {
    engine::CreateFromDescription(first, description);
  } catch (const Error&) {
    // Accepted by the check yet refused by the engine (data that breaks a
    // unique index, say): allowed, but no file may be left behind.
    if (std::filesystem::exists(first)) std::abort();
    return 0;
  }
  const engine::DescribeOptions with_rows{.system = false, .rows = true};
  engine::Session session;
  nlohmann::json described;
  {
    auto database = engine::OpenDatabase(session, first);
    described = engine::Describe(*database, with_rows);
    database->Close();
  }
  (void)described.dump();  // names and texts must be writable as JSON
  engine::ValidateDescription(described);
  const std::string second = fuzz::FreshPath("second.mdb");
  engine::CreateFromDescription(second, described);
  auto again = engine::OpenDatabase(session, second);
  if (engine::Describe(*again, with_rows) != described) std::abort();
  again->Close();
  fuzz::RemoveDatabase(first);
  fuzz::RemoveDatabase(second);
  return 0;
}
