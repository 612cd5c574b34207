// A field's value as DAO hands it out: Null, a truth value, a whole number, a
// floating number, text or bytes.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace actualiz::engine {

struct Null {
  bool operator==(const Null&) const = default;
};
using Bytes = std::vector<std::uint8_t>;

class Value {
 public:
  using Variant = std::variant<Null, bool, std::int64_t, double, std::string, Bytes>;

  Value() = default;
  Value(Null) {}
  Value(bool v) : v_(v) {}
  Value(int v) : v_(static_cast<std::int64_t>(v)) {}
  Value(std::int64_t v) : v_(v) {}
  Value(double v) : v_(v) {}
  Value(const char* v) : v_(std::string(v)) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(Bytes v) : v_(std::move(v)) {}

  bool IsNull() const { return std::holds_alternative<Null>(v_); }
  const Variant& variant() const { return v_; }

  // The value as the text a bound text box shows: "" for Null, "Verdadero" or
  // "Falso" for a truth value (the system's language), numbers in plain
  // decimal, bytes as they are.
  std::string ToText() const;

  bool operator==(const Value& other) const = default;

 private:
  Variant v_;
};

}  // namespace actualiz::engine
