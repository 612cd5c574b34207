// Parsing and writing server addresses (server_address.h). The URL is taken
// apart by hand in the few shapes libpq documents: scheme, an optional
// "user@", an optional host (a bracketed IPv6 address allowed) and ":port",
// the path, then "?key=value&...". Only then is anything decoded, so an
// encoded "/", "@" or "?" stays part of the name it is in.
#include "base/server_address.h"

#include <cctype>

#include "base/error.h"
#include "base/names.h"

namespace actualiz {

namespace {

constexpr std::string_view kSchemes[] = {"postgresql://", "postgres://"};
constexpr std::string_view kDatabaseSuffix = ".mdb";

[[noreturn]] void Refuse(std::string_view shown, const std::string& why) {
  throw MakeError(err::kInvalidPath, {shown}, "'" + std::string(shown) + "': " + why);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// `part` with its %XX decoded; nothing when an escape is malformed.
std::optional<std::string> Decode(std::string_view part) {
  std::string out;
  for (size_t i = 0; i < part.size(); ++i) {
    if (part[i] != '%') {
      out += part[i];
      continue;
    }
    if (i + 2 >= part.size()) return std::nullopt;
    const int high = HexDigit(part[i + 1]);
    const int low = HexDigit(part[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// `text` with every character outside the unreserved set (and `keep`)
// percent-encoded.
std::string Encode(std::string_view text, std::string_view keep = {}) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~' ||
        keep.find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

bool EndsWithDatabaseSuffix(std::string_view name) {
  return name.size() > kDatabaseSuffix.size() &&
         SameNameIgnoringCase(name.substr(name.size() - kDatabaseSuffix.size()), kDatabaseSuffix);
}

// "key='value'" with the value escaped as libpq reads it.
std::string Setting(std::string_view key, std::string_view value) {
  std::string out(key);
  out += "='";
  for (char c : value) {
    if (c == '\\' || c == '\'') out += '\\';
    out += c;
  }
  return out + "'";
}

}  // namespace

bool IsServerAddress(std::string_view text) {
  for (std::string_view scheme : kSchemes) {
    if (text.size() >= scheme.size() && SameNameIgnoringCase(text.substr(0, scheme.size()), scheme))
      return true;
  }
  return false;
}

std::optional<ServerAddress> ParseServerAddress(std::string_view text) {
  std::string_view rest;
  for (std::string_view scheme : kSchemes) {
    if (text.size() >= scheme.size() &&
        SameNameIgnoringCase(text.substr(0, scheme.size()), scheme)) {
      rest = text.substr(scheme.size());
      break;
    }
  }
  if (!IsServerAddress(text)) return std::nullopt;

  const std::string_view whole_rest = rest;
  std::string_view query;
  if (const size_t q = rest.find('?'); q != std::string_view::npos) {
    query = rest.substr(q + 1);
    rest = rest.substr(0, q);
  }
  const size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  std::string_view path = slash == std::string_view::npos ? "" : rest.substr(slash + 1);

  // A password is refused before anything else, and never shown: the
  // address is named without it.
  const size_t at = authority.rfind('@');
  std::string_view userinfo = at == std::string_view::npos ? "" : authority.substr(0, at);
  if (userinfo.find(':') != std::string_view::npos) {
    // Everything after the "@" as written, parameters too.
    const size_t scheme_size = text.size() - whole_rest.size();
    const std::string shown = std::string(text.substr(0, scheme_size)) +
                              std::string(userinfo.substr(0, userinfo.find(':'))) + "@" +
                              std::string(whole_rest.substr(at + 1));
    Refuse(shown,
           "a server address carries no password; give it in PGPASSWORD or ~/.pgpass instead");
  }
  const std::string shown(text);
  auto decoded = [&](std::string_view part, const char* what) {
    std::optional<std::string> d = Decode(part);
    if (!d) Refuse(shown, std::string("bad percent-encoding in the ") + what);
    return *d;
  };

  ServerAddress address;
  if (at != std::string_view::npos) {
    address.user = decoded(userinfo, "user name");
    authority = authority.substr(at + 1);
  }
  std::string_view host = authority, port;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) Refuse(shown, "an unclosed '[' in the host");
    host = authority.substr(1, close - 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') Refuse(shown, "text after the host address");
      port = after.substr(1);
    }
  } else if (const size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  address.host = decoded(host, "host");
  address.port = decoded(port, "port");

  const size_t second = path.find('/');
  address.database = decoded(path.substr(0, second), "database name");
  if (second != std::string_view::npos) {
    const std::string_view segment = path.substr(second + 1);
    if (segment.find('/') != std::string_view::npos) {
      Refuse(shown, "more than a database and NAME.mdb in the path");
    }
    const std::string file = decoded(segment, "database name");
    if (!EndsWithDatabaseSuffix(file)) Refuse(shown, "the customer database must be NAME.mdb");
    address.schema = file.substr(0, file.size() - kDatabaseSuffix.size());
  }

  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? "" : query.substr(amp + 1);
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    if (eq == std::string_view::npos) Refuse(shown, "a parameter without '='");
    const std::string key = decoded(pair.substr(0, eq), "parameter name");
    const std::string value = decoded(pair.substr(eq + 1), "parameter value");
    if (key == "password") {
      Refuse(std::string(text.substr(0, text.find('?'))),
             "a server address carries no password; give it in PGPASSWORD or ~/.pgpass instead");
    }
    if (key.empty()) Refuse(shown, "a parameter without a name");
    for (char c : key) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
        Refuse(shown, "a parameter name that is not a word");
      }
    }
    // The parts libpq also takes as parameters are kept in one place.
    if (key == "host") {
      address.host = value;
    } else if (key == "port") {
      address.port = value;
    } else if (key == "user") {
      address.user = value;
    } else if (key == "dbname") {
      address.database = value;
    } else {
      address.params.emplace_back(key, value);
    }
  }
  for (char c : address.port) {
    if (!std::isdigit(static_cast<unsigned char>(c))) Refuse(shown, "the port is not a number");
  }
  if (address.database.empty()) Refuse(shown, "no database named");
  return address;
}

ServerAddress ServerAddress::Location() const {
  ServerAddress location = *this;
  location.schema.clear();
  return location;
}

std::string ServerAddress::ConnInfo() const {
  std::string out;
  auto add = [&](std::string_view key, std::string_view value) {
    if (value.empty()) return;
    if (!out.empty()) out += ' ';
    out += Setting(key, value);
  };
  for (const auto& [key, value] : params) add(key, value);
  add("host", host);
  add("port", port);
  add("user", user);
  add("dbname", database);
  return out;
}

std::string ServerAddress::Display() const {
  std::string out = "postgresql://";
  if (!user.empty()) out += Encode(user) + "@";
  // A socket directory goes in the parameters, where its slashes may stay.
  const bool socket = !host.empty() && host.front() == '/';
  if (!socket) {
    out += host.find(':') != std::string::npos ? "[" + host + "]" : Encode(host);
  }
  if (!port.empty()) out += ":" + port;
  out += "/" + Encode(database);
  if (!schema.empty()) out += "/" + Encode(schema + ".mdb");
  std::string query;
  auto add = [&](std::string_view key, std::string_view value) {
    query += (query.empty() ? "?" : "&") + Encode(key) + "=" + Encode(value, "/");
  };
  if (socket) add("host", host);
  for (const auto& [key, value] : params) add(key, value);
  return out + query;
}

std::string ServerDatabasePath(std::string_view location, std::string_view file_name) {
  std::optional<ServerAddress> address = ParseServerAddress(location);
  if (!address || !address->schema.empty()) Refuse(location, "not a data directory on a server");
  if (!EndsWithDatabaseSuffix(file_name)) {
    Refuse(file_name, "a customer database on a server is named NAME.mdb");
  }
  address->schema = std::string(file_name.substr(0, file_name.size() - kDatabaseSuffix.size()));
  return address->Display();
}

}  // namespace actualiz
