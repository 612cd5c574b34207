#include "tests/support/jet_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "base/error.h"
#include "engine/accessfile/jet_catalog.h"
#include "engine/engine.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {

std::string JetSamplesDir() {
  return (std::filesystem::path(ACTUALIZ_SOURCE_DIR) / ".." / "shared" / "jet-samples").string();
}

std::vector<std::string> WritableJetSamples() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(JetSamplesDir(), ec)) {
    const std::string ext = entry.path().extension().string();
    const std::string name = entry.path().filename().string();
    if ((ext == ".mdb" || ext == ".accdb") && name.find("V1997") == std::string::npos) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> JetSampleBytes(const std::string& name) {
  const std::string text = ReadFile(JetSamplesDir() + "/" + name);
  return {text.begin(), text.end()};
}

void ExpectRefusedLeavingBytes(const std::string& sample,
                               const std::function<void(std::vector<std::uint8_t>&)>& change,
                               int number, const std::string& says) {
  const std::vector<std::uint8_t> original = JetSampleBytes(sample);
  std::vector<std::uint8_t> bytes = original;
  try {
    change(bytes);
    ADD_FAILURE() << "not refused";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), number) << e.Text();
    EXPECT_NE(e.Text().find(says), std::string::npos) << e.Text();
  }
  EXPECT_TRUE(bytes == original);
}

const std::vector<engine::ColumnInfo>& NewFieldOfEveryType() {
  using namespace engine;
  static const std::vector<ColumnInfo> fields = {
      {"New Boolean", dbBoolean, 0, false, false},   {"New Byte", dbByte, 0, false, false},
      {"New Integer", dbInteger, 0, false, false},   {"New Long", dbLong, 0, false, false},
      {"New Currency", dbCurrency, 0, false, false}, {"New Single", dbSingle, 0, false, false},
      {"New Double", dbDouble, 0, false, false},     {"New Date", dbDate, 0, false, false},
      {"New Binary", 9, 16, false, false},           {"New Text", dbText, 40, false, false},
      {"New OLE", dbLongBinary, 0, false, false},    {"New Memo", dbMemo, 0, false, false},
      {"New GUID", dbGUID, 0, false, false},         {"New Decimal", 20, 0, false, false},
  };
  return fields;
}

JetCopy::JetCopy(const std::string& name) : JetCopy(name, JetSamplesDir() + "/" + name) {}

JetCopy::JetCopy(const std::string& name, const std::string& path) {
  original_ = engine::jet::JetFile::Open(path, name);
  std::ifstream in(path, std::ios::binary);
  bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

JetCopy::~JetCopy() = default;

std::uint32_t JetCopy::PageSize() const { return original_->PageSize(); }

engine::jet::JetTableDef JetCopy::Table(const std::string& name) const {
  for (const auto& [table, page] : engine::jet::ListTablePages(*original_)) {
    if (table != name) continue;
    engine::jet::JetTableDef def = original_->ReadTableDef(page);
    def.name = name;
    return def;
  }
  throw std::runtime_error("no table " + name + " in " + original_->Name());
}

std::vector<std::uint32_t> JetCopy::MapPages(std::uint32_t map_pointer) const {
  return original_->UsedPages(map_pointer);
}

std::uint32_t JetCopy::IndexPage(const engine::jet::JetTableDef& table,
                                 const std::string& index) const {
  for (const auto& logical : table.indexes) {
    if (logical.name == index) return table.real_indexes.at(logical.real).first_page;
  }
  throw std::runtime_error("no index " + index + " on " + table.name);
}

std::vector<std::uint32_t> JetCopy::DefinitionPages(std::uint32_t first) const {
  std::vector<std::uint32_t> pages;
  for (std::uint32_t page = first; page != 0 && pages.size() < 64; page = Long(page, 4)) {
    pages.push_back(page);
  }
  return pages;
}

std::size_t JetCopy::At(std::uint32_t page, std::size_t at, std::size_t length) const {
  const std::size_t start = std::size_t{page} * PageSize() + at;
  if (at + length > PageSize() || start + length > bytes_.size()) {
    throw std::out_of_range("outside page " + std::to_string(page));
  }
  return start;
}

std::uint16_t JetCopy::Word(std::uint32_t page, std::size_t at) const {
  const std::size_t i = At(page, at, 2);
  return static_cast<std::uint16_t>(bytes_[i] | (bytes_[i + 1] << 8));
}

std::uint32_t JetCopy::Long(std::uint32_t page, std::size_t at) const {
  return Word(page, at) | (static_cast<std::uint32_t>(Word(page, at + 2)) << 16);
}

void JetCopy::PutWord(std::uint32_t page, std::size_t at, std::uint16_t value) {
  const std::size_t i = At(page, at, 2);
  bytes_[i] = static_cast<std::uint8_t>(value);
  bytes_[i + 1] = static_cast<std::uint8_t>(value >> 8);
}

void JetCopy::PutLong(std::uint32_t page, std::size_t at, std::uint32_t value) {
  PutWord(page, at, static_cast<std::uint16_t>(value));
  PutWord(page, at + 2, static_cast<std::uint16_t>(value >> 16));
}

void JetCopy::Swap(std::uint32_t page, std::size_t a, std::size_t b, std::size_t length) {
  const std::size_t i = At(page, a, length), j = At(page, b, length);
  std::swap_ranges(bytes_.begin() + static_cast<std::ptrdiff_t>(i),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(i + length),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(j));
}

void JetCopy::Save(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes_.data()),
            static_cast<std::streamsize>(bytes_.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::vector<std::uint32_t> DifferentPages(const std::string& a, const std::string& b,
                                          std::uint32_t page_size) {
  std::ifstream in_a(a, std::ios::binary), in_b(b, std::ios::binary);
  const std::string bytes_a((std::istreambuf_iterator<char>(in_a)), {});
  const std::string bytes_b((std::istreambuf_iterator<char>(in_b)), {});
  std::vector<std::uint32_t> pages;
  const std::size_t count = (std::max(bytes_a.size(), bytes_b.size()) + page_size - 1) / page_size;
  for (std::size_t page = 0; page < count; ++page) {
    const std::size_t at = page * page_size;
    auto slice = [&](const std::string& s) {
      return at < s.size() ? s.substr(at, page_size) : std::string();
    };
    if (slice(bytes_a) != slice(bytes_b)) pages.push_back(static_cast<std::uint32_t>(page));
  }
  return pages;
}

}  // namespace actualiz::testing
