// A demo drive laid out by the real actualiz-cli in a temporary directory,
// and the batch run over it, for the reliability tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/db_builder.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {

struct CliRun {
  int status = -1;
  std::string out;  // standard output and standard error together
};

inline std::string ShellQuoted(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs `command` through the shell; `prefix` goes before the executable
// (resource limits, for instance).
inline CliRun Shell(const std::string& command) {
  CliRun run;
  FILE* pipe = popen((command + " 2>&1 </dev/null").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class DemoSite {
 public:
  DemoSite() {
    const CliRun laid =
        Shell(ShellQuoted(ACTUALIZ_CLI) + " demo --into " + ShellQuoted(dir_.File("demo")) +
              " --from " + ShellQuoted(std::string(ACTUALIZ_SOURCE_DIR) + "/demo"));
    if (laid.status != 0) throw std::runtime_error("demo failed: " + laid.out);
  }
  std::filesystem::path Drive() const { return dir_.path() / "demo" / "c"; }
  std::filesystem::path Data() const { return Drive() / "datos"; }
  std::filesystem::path Models() const { return Drive() / "prog" / "modelos"; }
  std::string Report() const { return dir_.File("report.json"); }

  // The batch over c:\datos without backups; `limits` are shell commands
  // run first.
  CliRun Batch(const std::string& limits = {}) const { return Run(limits, "--no-backup"); }
  // The same batch backing up the databases it changes first.
  CliRun BackedUpBatch(const std::string& limits = {}) const { return Run(limits, ""); }
  std::filesystem::path Backups() const { return Data() / ".actualiz-backups"; }
  // actualiz-cli with c: mapped to the drive and `arguments` after it; the
  // program directory is c:\prog unless the arguments give one.
  CliRun Cli(const std::string& arguments) const {
    const std::string program = arguments.find("--program-dir") == std::string::npos
                                    ? " --program-dir " + ShellQuoted((Drive() / "prog").string())
                                    : "";
    return Shell("exec " + ShellQuoted(ACTUALIZ_CLI) +
                 " --drive c=" + ShellQuoted(Drive().string()) + program + " " + arguments);
  }
  nlohmann::json ReportJson() const { return nlohmann::json::parse(ReadFile(Report())); }
  // The report entry of database `name`; null when the report has none.
  nlohmann::json Entry(const std::string& name) const {
    const nlohmann::json report = ReportJson();
    for (const auto& entry : report["databases"]) {
      if (entry["name"] == name) return entry;
    }
    return nullptr;
  }

 private:
  CliRun Run(const std::string& limits, const std::string& options) const {
    std::filesystem::remove(Report());
    return Shell((limits.empty() ? "" : limits + "; ") + "exec " + ShellQuoted(ACTUALIZ_CLI) +
                 " --drive c=" + ShellQuoted(Drive().string()) + " --program-dir " +
                 ShellQuoted((Drive() / "prog").string()) + " batch " + options +
                 " --data 'c:\\datos' --json " + ShellQuoted(Report()));
  }

  TempDir dir_;
};

// True when every failure of `entry` names `file` in its context or text.
inline bool FailuresName(const nlohmann::json& entry, const std::string& file) {
  if (entry.is_null() || entry["failures"].empty()) return false;
  for (const auto& failure : entry["failures"]) {
    const std::string said =
        failure["context"].get<std::string>() + failure["text"].get<std::string>();
    if (said.find(file) == std::string::npos) return false;
  }
  return true;
}

}  // namespace actualiz::testing
