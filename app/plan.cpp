// The plan: the batch run over a scratch copy of the real drives.
//
// Steps:
//  1. Make a scratch root and map every drive letter of the real map to a
//     folder of it ("<root>/c" for c:), with the same current directories.
//  2. Copy in what the batch reads or writes, each to the same place
//     relative to its drive: the catalogues of "C:\Zarade" that exist, the
//     data directory's "*.mdb" entries and the models. A host path under no
//     drive is copied under "<root>/host" instead, and the report's paths
//     are turned back into the real ones at the end.
//  3. Build a window on the scratch drives, start it, point Dir1 at the data
//     directory, and raise Command13_Click as a click does.
//  4. Build the batch report from the run's log, as the batch itself does:
//     its one rule of classification (ClassifyDatabase) leaves out every
//     object dropped and created again exactly as it was.
//
// Easy to get wrong: a database in the data directory that is not one of
// ours (an Access file) cannot be copied through the engine's backup; it is
// copied as a plain file, which is safe because the engine only ever reads
// such files.
//
// A data directory on a server is never written either: each of its
// schemas is read (described with its rows) into a scratch database file
// of the same name, in a folder of the scratch root on a drive letter the
// real map leaves free, and the batch runs on those files. A schema the
// engine refuses as not its own leaves a file the engine refuses the same
// way, so its pair fails in the plan as in the batch. The report's paths
// of those files are then written as the schemas' addresses.
#include "app/plan.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "app/backups.h"
#include "app/catalogues.h"
#include "app/database_pair.h"
#include "app/operator_advice.h"
#include "app/run_locks.h"
#include "base/server_address.h"
#include "base/terminal_text.h"
#include "engine/description/description.h"
#include "engine/sqlite/backup.h"
#include "platform/file_system.h"
#include "platform/temporary_directory.h"

namespace actualiz::app {

namespace {

namespace fs = std::filesystem;

// Real host paths and their scratch places.
class Mirror {
 public:
  Mirror(const platform::DriveMap& real, const fs::path& root) : real_(real), root_(root) {
    for (char letter : real.Drives()) {
      const fs::path place = root / std::string(1, letter);
      fs::create_directories(place);
      scratch_.Map(letter, place.string());
      scratch_.SetCurrentDirectory(letter, real.CurrentDirectory(letter));
      prefixes_.emplace_back(place.string(), *real.Root(letter));
    }
    prefixes_.emplace_back((root / "host").string(), "");
    // Longest scratch prefix first, so that no prefix hides a longer one.
    std::sort(prefixes_.begin(), prefixes_.end(),
              [](auto& a, auto& b) { return a.first.size() > b.first.size(); });
  }

  const platform::DriveMap& ScratchDrives() const { return scratch_; }

  // Maps a drive letter the real map leaves free to a new scratch folder
  // for the schemas of a data directory on a server, and returns that
  // folder's data directory as a Windows path ("z:\datos"). Error 68 when
  // every letter is taken.
  std::string ServerFolder() {
    for (char letter = 'z'; letter >= 'a'; --letter) {
      if (real_.IsMapped(letter)) continue;
      const fs::path place = root_ / "server";
      fs::create_directories(place / "datos");
      scratch_.Map(letter, place.string());
      return std::string(1, letter) + ":\\datos";
    }
    throw MakeError(err::kDeviceUnavailable,
                    "every drive letter is mapped: none left for the plan's copies of the server's "
                    "databases");
  }

  // The scratch place of a real host path.
  fs::path Of(const std::string& host_path) const {
    const fs::path path = fs::absolute(host_path).lexically_normal();
    for (char letter : real_.Drives()) {
      const fs::path drive_root = fs::path(*real_.Root(letter)).lexically_normal();
      const fs::path relative = path.lexically_relative(drive_root);
      if (!relative.empty() && *relative.begin() != "..") {
        return (root_ / std::string(1, letter) / relative).lexically_normal();
      }
    }
    return root_ / "host" / path.relative_path();
  }

  // `text` with every scratch place written as the real one.
  std::string Unmirror(std::string text) const {
    for (const auto& [scratch, real] : prefixes_) {
      for (size_t at = text.find(scratch); at != std::string::npos;
           at = text.find(scratch, at + real.size())) {
        text.replace(at, scratch.size(), real);
      }
    }
    return text;
  }

 private:
  const platform::DriveMap& real_;
  fs::path root_;
  platform::DriveMap scratch_;
  std::vector<std::pair<std::string, std::string>> prefixes_;  // scratch -> real
};

// Copies one entry of a folder the batch reads: databases consistently, a
// file the engine cannot copy (not one of ours) as it stands, a directory
// named like a database as an empty directory.
void CopyEntry(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  if (fs::is_directory(from)) {
    fs::create_directories(to);
    return;
  }
  try {
    engine::CopyDatabase(from.string(), to.string(), engine::CopyTarget::kNew);
  } catch (const Error& e) {
    if (e.Number() != err::kUnrecognizedFormat) throw;
    fs::copy_file(from, to);
  }
}

void CopyMatching(const platform::DriveMap& drives, const Mirror& mirror,
                  const std::string& folder) {
  const std::string host_folder = drives.ToHost(folder);
  if (!fs::is_directory(host_folder)) return;
  fs::create_directories(mirror.Of(host_folder));
  for (const std::string& name : platform::ListMatching(drives, folder + "\\*.mdb")) {
    if (name == "." || name == "..") continue;
    const fs::path real = fs::path(host_folder) / name;
    CopyEntry(real, mirror.Of(real.string()));
  }
}

void CopyCatalogues(const platform::DriveMap& drives, const Mirror& mirror) {
  if (!drives.IsMapped('c')) return;
  for (const char* catalogue : {kIndexCatalogue, kRelationCatalogue, kQueryCatalogue}) {
    const std::string host = drives.ToHost(catalogue);
    if (fs::exists(host)) CopyEntry(host, mirror.Of(host));
  }
}

// The schemas of the server location `location` (names as "NAME.mdb") as
// database files in the host folder `folder`, each described with its rows
// and made anew. A schema the engine refuses as not its own becomes a file
// it refuses alike; any other failure (the server lost) stops the plan.
void CopySchemas(const std::string& location, const std::vector<std::string>& names,
                 const fs::path& folder) {
  engine::Session session;
  for (const std::string& name : names) {
    const std::string address = ServerDatabasePath(location, name);
    const std::string copy = (folder / name).string();
    nlohmann::json description;
    try {
      engine::DatabasePtr database = engine::OpenDatabase(session, address, address);
      description = engine::Describe(*database, {.rows = true});
      database->Close();
    } catch (const Error& e) {
      if (e.Number() != err::kUnrecognizedFormat) throw;
      std::ofstream(copy, std::ios::binary) << "not a database: " << e.Text() << "\n";
      continue;
    }
    engine::CreateFromDescription(session, copy, description, copy);
  }
}

// Every path of the scratch folder `scratch` (a Windows path) and of its
// host folder `host` in `text`, written as the server's: the folder as
// `location`, each of `names` in it as its schema's address.
class ServerNames {
 public:
  ServerNames(const std::string& location, const std::string& scratch, const fs::path& host,
              std::vector<std::string> names) {
    // Longest names first, so that no name hides a longer one it begins.
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& name : names) {
      const std::string address = ServerDatabasePath(location, name);
      pairs_.emplace_back(scratch + "\\" + name, address);
      pairs_.emplace_back((host / name).string(), address);
    }
    pairs_.emplace_back(scratch, location);
    pairs_.emplace_back(host.string(), location);
  }

  std::string Of(std::string text) const {
    for (const auto& [scratch, real] : pairs_) {
      for (size_t at = text.find(scratch); at != std::string::npos;
           at = text.find(scratch, at + real.size())) {
        text.replace(at, scratch.size(), real);
      }
    }
    return text;
  }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;  // scratch -> real
};

// A Windows path stays as written (the scratch map resolves it); a host
// path becomes its scratch place.
std::string ScratchName(const std::string& path, const Mirror& mirror,
                        const platform::DriveMap& drives) {
  if (platform::DriveMap::DriveOf(path)) return path;
  return mirror.Of(drives.ToHost(path)).string();
}

// The data directory as the window takes it: a Windows path, or a host
// path read as the Windows path of its mapped drive. Error 76 for a host
// path under no drive, which the window cannot take.
std::string WindowsName(const platform::DriveMap& drives, const std::string& path) {
  if (platform::DriveMap::DriveOf(path)) return path;
  if (auto windows = drives.FromHost(drives.ToHost(path))) return *windows;
  throw MakeError(err::kPathNotFound,
                  "'" + path + "' lies on no mapped drive; give it as a Windows path");
}

// Every path of `report` as `real` writes it.
void RewritePaths(BatchReport& report, const std::function<std::string(std::string)>& real) {
  auto fix = [&](std::string& text) { text = real(std::move(text)); };
  auto fix_change = [&](Change& change) { fix(change.database); };
  auto fix_failure = [&](Failure& failure) {
    fix(failure.database);
    fix(failure.context);
    fix(failure.statement);
    fix(failure.text);
  };
  fix(report.data_directory);
  for (DatabaseReport& database : report.databases) {
    fix(database.path);
    std::for_each(database.changes.begin(), database.changes.end(), fix_change);
    std::for_each(database.failures.begin(), database.failures.end(), fix_failure);
  }
  std::for_each(report.other_changes.begin(), report.other_changes.end(), fix_change);
  std::for_each(report.other_failures.begin(), report.other_failures.end(), fix_failure);
}

}  // namespace

void RequireModels(const Actualiz& window) {
  if (window.List7.ListCount() > 0) return;
  const std::string models = ModelsDirectory(window.ProgramDirectory());
  std::string host = models;
  try {
    host = window.Env().drives.ToHost(models);
  } catch (const Error&) {
    // Named as the window names it.
  }
  if (!fs::is_directory(host)) {
    throw MakeError(err::kPathNotFound, "models directory " + host);
  }
  throw Error(err::kFileNotFound, "No model database (*.mdb) in the models directory", host);
}

bool Plan::NothingToDo() const {
  if (Failed() || !report.other_changes.empty()) return false;
  return std::all_of(report.databases.begin(), report.databases.end(),
                     [](const DatabaseReport& d) { return d.state == "up to date"; });
}

Plan MakePlan(const Environment& env, const std::string& data_directory) {
  const platform::DriveMap& drives = env.drives;
  const platform::TemporaryDirectory root("actualiz-plan-", "plan's scratch copies");
  Mirror mirror(drives, root.Path());

  std::string data;
  std::optional<ServerNames> server;
  if (IsServerAddress(data_directory)) {
    const std::optional<ServerAddress> address = ParseServerAddress(data_directory);
    if (!address->schema.empty()) {
      throw MakeError(
          err::kInvalidPath, {data_directory},
          "'" + data_directory + "': a data directory on a server is named .../DATABASE");
    }
    const std::string location = address->Display();
    data = mirror.ServerFolder();
    const fs::path host = mirror.ScratchDrives().ToHost(data);
    // Never a catalogue or a schema half-way through another run's change.
    const RunLocks locks =
        LockRun(env, true, {location}, platform::LockMode::kShared, "actualiz plan");
    const std::vector<std::string> names = engine::ListServerDatabases(location);
    CopyCatalogues(drives, mirror);
    CopySchemas(location, names, host);
    // The models a run would copy in are named by their addresses too.
    std::vector<std::string> every = names;
    const std::string models = ModelsDirectory(env.program_dir);
    if (fs::is_directory(drives.ToHost(models))) {
      for (const std::string& model : platform::ListMatching(drives, models + "\\*.mdb")) {
        every.push_back(model);
      }
    }
    server.emplace(location, data, host, every);
  } else {
    data = WindowsName(drives, data_directory);
    if (!fs::is_directory(drives.ToHost(data))) {
      throw MakeError(err::kPathNotFound, "'" + data_directory + "'");
    }
    // Never a catalogue or a database half-way through another run's change.
    const RunLocks locks =
        LockRun(env, true, {drives.ToHost(data)}, platform::LockMode::kShared, "actualiz plan");
    CopyCatalogues(drives, mirror);
    CopyMatching(drives, mirror, data);
  }
  CopyMatching(drives, mirror, ModelsDirectory(env.program_dir));

  Environment scratch_env;
  scratch_env.drives = mirror.ScratchDrives();
  scratch_env.program_dir = ScratchName(env.program_dir, mirror, drives);
  scratch_env.op = env.op;
  Actualiz window(scratch_env);
  window.Activate();
  try {
    RequireModels(window);
  } catch (const Error& e) {
    throw Error(e.Number(), e.Text(), mirror.Unmirror(e.Context()));
  }
  window.Dir1.SetPath(data);

  const size_t failures_before = window.Log().Failures().size();
  const size_t changes_before = window.Log().Changes().size();
  try {
    window.Click("Command13_Click");
  } catch (const ProgramEnded&) {
    throw Error(err::kInvalidOperation, "The program ended during the planned run",
                "'" + data_directory + "'");
  }
  const RunLog run = EntriesSince(window.Log(), failures_before, changes_before);

  Plan plan;
  plan.report = BuildBatchReport(window, run);
  for (const DatabaseReport& database : plan.report.databases) {
    plan.identical_replacements += database.recreated_unchanged;
    plan.kept += static_cast<int>(database.kept.size());
  }
  if (server) RewritePaths(plan.report, [&](std::string text) { return server->Of(text); });
  RewritePaths(plan.report, [&](std::string text) { return mirror.Unmirror(text); });
  return plan;
}

namespace {

// "  <title>: a, b" for `objects`, nothing when there are none.
void ListObjects(std::ostream& out, const std::string& title,
                 const std::vector<std::string>& objects) {
  if (!objects.empty()) out << "  " << title << ": " << JoinTerminalSafe(objects) << "\n";
}

// "  <state as the plan words it>" and the objects that would change.
void WriteDatabase(std::ostream& out, const DatabaseReport& database) {
  out << "\n" << TerminalSafe(database.name) << ": ";
  if (database.state == "updated") {
    out << "would be updated\n";
  } else if (database.state == "copied") {
    out << "would be copied in from the models\n";
  } else {
    out << database.state << "\n";
  }
  const ChangeSummary summary = SummariseChanges(database.changes);
  ListObjects(out, "tables to create", summary.tables_created);
  ListObjects(out, "fields to add", summary.fields_added);
  ListObjects(out, "tables to migrate", summary.tables_migrated);
  for (const ReplacedObjects& objects : summary.replaced) {
    const std::string noun(objects.title);
    ListObjects(out, noun + " to replace", objects.replaced);
    ListObjects(out, noun + " to drop", objects.dropped);
    ListObjects(out, noun + " to create", objects.created);
  }
  for (const std::string& line : DistinctOperatorLines(database.failures)) {
    out << "  " << line << "\n";
  }
}

}  // namespace

std::string FormatPlan(const Plan& plan) {
  const BatchReport& report = plan.report;
  const ReportTotals totals = report.Totals();
  std::ostringstream out;
  out << "Plan for " << TerminalSafe(report.data_directory) << ": " << totals.pairs
      << " database pair" << (totals.pairs == 1 ? "" : "s") << ", " << totals.State("updated")
      << " to update, " << totals.State("copied") << " to copy in, " << totals.failures
      << " failure" << (totals.failures == 1 ? "" : "s") << "\n";
  for (const DatabaseReport& database : report.databases) WriteDatabase(out, database);
  if (!report.other_failures.empty()) {
    out << "\nOther failures:\n";
    for (const std::string& line : DistinctOperatorLines(report.other_failures)) {
      out << "  " << line << "\n";
    }
  }
  out << "\n"
      << (plan.NothingToDo() ? "Nothing to do: every database is up to date.\n"
                             : "Run \"batch\" to make these changes.\n");
  return out.str();
}

}  // namespace actualiz::app
