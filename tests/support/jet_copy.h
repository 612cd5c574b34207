// A copy of an Access sample file in memory, to damage on purpose and save:
// where things are is found with the engine's own reader of the original.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/accessfile/jet_file.h"
#include "engine/storage.h"

namespace actualiz::testing {

// The folder of the real Access sample files, beside the clone.
std::string JetSamplesDir();

// The Jet 4 and ACE samples (every sample but Access 97's), sorted; none
// when the folder is missing.
std::vector<std::string> WritableJetSamples();

// The bytes of sample `name`.
std::vector<std::uint8_t> JetSampleBytes(const std::string& name);

// Runs `change` on the bytes of sample `sample` and expects it refused with
// error `number`, its text holding `says`, the bytes left as they were.
void ExpectRefusedLeavingBytes(const std::string& sample,
                               const std::function<void(std::vector<std::uint8_t>&)>& change,
                               int number, const std::string& says);

// One field of every type the engine carries to an Access file, each named
// "New TYPE".
const std::vector<engine::ColumnInfo>& NewFieldOfEveryType();

class JetCopy {
 public:
  // Reads sample `name` from JetSamplesDir().
  explicit JetCopy(const std::string& name);
  // Reads the file at `path`, named `name`.
  JetCopy(const std::string& name, const std::string& path);
  ~JetCopy();

  std::uint32_t PageSize() const;
  // The definition of table `name` (its first page, usage map, indexes).
  engine::jet::JetTableDef Table(const std::string& name) const;
  // The pages the usage map at `map_pointer` lists, in the original.
  std::vector<std::uint32_t> MapPages(std::uint32_t map_pointer) const;
  // The leaf page an index starts at: the definition's real index behind
  // the logical index `index`.
  std::uint32_t IndexPage(const engine::jet::JetTableDef& table, const std::string& index) const;

  // The pages of the definition starting at `first`, in chain order.
  std::vector<std::uint32_t> DefinitionPages(std::uint32_t first) const;

  std::uint16_t Word(std::uint32_t page, std::size_t at) const;
  std::uint32_t Long(std::uint32_t page, std::size_t at) const;
  void PutWord(std::uint32_t page, std::size_t at, std::uint16_t value);
  void PutLong(std::uint32_t page, std::size_t at, std::uint32_t value);
  // Swaps `length` bytes at `a` and at `b` of `page`.
  void Swap(std::uint32_t page, std::size_t a, std::size_t b, std::size_t length);

  // Writes the copy, as it now is, to `path`.
  void Save(const std::string& path) const;

 private:
  std::size_t At(std::uint32_t page, std::size_t at, std::size_t length) const;

  std::unique_ptr<engine::jet::JetFile> original_;
  std::vector<std::uint8_t> bytes_;
};

// The pages (of `page_size` bytes) at which the files at `a` and `b`
// differ; a page only one of them has counts as different.
std::vector<std::uint32_t> DifferentPages(const std::string& a, const std::string& b,
                                          std::uint32_t page_size);

}  // namespace actualiz::testing
