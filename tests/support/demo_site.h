// The built-in demo laid out by the real actualiz-cli in a fresh temporary
// directory, for the tests that run the command line on it: drive c with the
// data directory c:\datos, the program directory c:\prog with its models in
// c:\prog\modelos, and the catalogues in c:\Zarade.
#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {

class DemoSite {
 public:
  // Lays the demo out; throws when actualiz-cli cannot.
  DemoSite();

  // What laying the demo out printed.
  const ProgramRun& LaidOut() const { return laid_out_; }
  // The directory the demo was laid out into; the drive is its "c".
  std::filesystem::path Root() const { return dir_.path() / "demo"; }
  std::filesystem::path Drive() const { return Root() / "c"; }
  std::filesystem::path Data() const { return Drive() / "datos"; }
  std::filesystem::path Models() const { return Drive() / "prog" / "modelos"; }
  std::filesystem::path Backups() const { return Data() / ".actualiz-backups"; }
  // A file beside the demo, outside every directory a command walks.
  std::string Scratch(const std::string& name) const { return dir_.File(name); }
  // Where Batch and BackedUpBatch write their JSON report.
  std::string Report() const { return Scratch("report.json"); }

  // The options that map drive c: to this demo and make c:\prog the
  // program directory.
  Words Site() const;
  // The command line of actualiz-cli with Site() and then `arguments`.
  Words Command(const Words& arguments) const;
  // Runs Command(arguments) with standard error in with standard output, as
  // one screen shows them; the rest (input, environment, limits) as
  // `setting` says.
  ProgramRun Cli(const Words& arguments, ProgramSetting setting = {}) const;
  // The batch over c:\datos without backups, its report at Report() (any
  // earlier one removed first).
  ProgramRun Batch(const ProgramSetting& setting = {}) const;
  // The same batch backing up the databases it changes first.
  ProgramRun BackedUpBatch(const ProgramSetting& setting = {}) const;

  nlohmann::json ReportJson() const;
  // The report entry of database `name`; null when the report has none.
  nlohmann::json Entry(const std::string& name) const;
  // The structure of every database of the data directory, by file name.
  nlohmann::json Structures() const;

 private:
  TempDir dir_;
  ProgramRun laid_out_;
};

// True when every failure of report entry `entry` names `file` in its
// context or text.
bool FailuresName(const nlohmann::json& entry, const std::string& file);

}  // namespace actualiz::testing
