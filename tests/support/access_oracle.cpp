#include "tests/support/access_oracle.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "engine/accessfile/mdb_tools.h"

namespace actualiz::testing {

namespace {

std::string ShellQuoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs `command` through the shell; its standard output, and whether it
// ended with status 0.
bool Capture(const std::string& command, std::string& out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  char buffer[65536];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  return engine::jet::ParseCsv(text);
}

bool MdbToolsInstalled() {
  std::string out;
  return Capture("command -v mdb-tables && command -v mdb-export", out);
}

std::vector<std::string> MdbTables(const std::string& file) {
  std::string out;
  if (!Capture("mdb-tables -1 -S " + ShellQuoted(file) + " 2>/dev/null", out)) {
    ADD_FAILURE() << "mdb-tables failed on " << file;
    return {};
  }
  std::vector<std::string> tables;
  std::size_t from = 0;
  for (std::size_t end; (end = out.find('\n', from)) != std::string::npos; from = end + 1) {
    if (end > from) tables.push_back(out.substr(from, end - from));
  }
  if (from < out.size()) tables.push_back(out.substr(from));
  return tables;
}

long MdbRowCount(const std::string& file, const std::string& table) {
  std::string out;
  // -H: no heading line; -b hex: binary values as hex digits, never raw bytes.
  if (!Capture(
          "mdb-export -H -b hex " + ShellQuoted(file) + " " + ShellQuoted(table) + " 2>/dev/null",
          out)) {
    ADD_FAILURE() << "mdb-export failed on table " << table << " of " << file;
    return -1;
  }
  return static_cast<long>(ParseCsv(out).size());
}

}  // namespace actualiz::testing
