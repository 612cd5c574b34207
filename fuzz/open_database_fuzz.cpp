// Opens arbitrary bytes as a database file and describes everything in it,
// the engine's own objects and every row included. A file the engine cannot
// read must be refused with the engine's error, never crash or hang.
#include <cstdint>
#include <string>

#include "base/error.h"
#include "engine/description/description.h"
#include "fuzz/fuzz_files.h"

using namespace actualiz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::FreshPath("input.mdb");
  fuzz::WriteBytes(path, data, size);
  try {
    engine::Session session;
    auto database = engine::OpenDatabase(session, path);
    const auto described = engine::Describe(*database, {.system = true, .rows = true});
    (void)described.dump();  // names and texts must be writable as JSON
    for (const auto& table : database->TableDefs().Items()) {
      auto records = database->OpenRecordset("Select * from [" + table->Name() + "]");
      while (!records->Eof()) {
        for (const auto& field : records->Fields().Items()) (void)field->GetValue();
        records->MoveNext();
      }
      records->Close();
    }
    database->Close();
  } catch (const Error&) {
  }
  fuzz::RemoveDatabase(path);
  return 0;
}
