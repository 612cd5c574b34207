// The backup bench: times backing up every customer database of a data
// directory the way a batch run does (app::BackUpDatabases: each database
// opened by the engine, then copied into a dated folder, and the manifest),
// the engine's copy alone (engine::CopyDatabase) and SQLite's online backup
// of the same files (page by page, as the engine copied before) into
// folders of their own, each with its files synced to the disk. Checks that
// every backup is the same bytes as its source.
//
// Usage: actualiz-bench-backup --data DIR --scratch DIR
// Prints "backup_s copy_s online_s same" (seconds for all databases; same
// is yes or no).
#include <sqlite3.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/backups.h"
#include "bench/failure.h"
#include "engine/sqlite/backup.h"

namespace {

namespace fs = std::filesystem;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// SQLite's online backup of `from` into the new file `to`, synced.
void OnlineBackup(const fs::path& from, const fs::path& to) {
  sqlite3* source = nullptr;
  sqlite3* destination = nullptr;
  sqlite3_open_v2(from.c_str(), &source, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_open_v2(to.c_str(), &destination, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  sqlite3_exec(destination, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  sqlite3_backup* backup = sqlite3_backup_init(destination, "main", source, "main");
  const int rc = backup ? sqlite3_backup_step(backup, -1) : sqlite3_errcode(destination);
  sqlite3_backup_finish(backup);
  sqlite3_close(source);
  sqlite3_close(destination);
  if (rc != SQLITE_DONE) throw std::runtime_error("online backup of " + from.string());
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Times the backups a batch run takes of a data directory"};
  std::string data;
  std::string scratch;
  app.add_option("--data", data, "the data directory (host path)")->required();
  app.add_option("--scratch", scratch, "where the other copies go (made)")->required();
  CLI11_PARSE(app, argc, argv);
  try {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(data)) {
      if (entry.path().extension() == ".mdb") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());

    auto start = std::chrono::steady_clock::now();
    const actualiz::app::BackupFolder folder =
        actualiz::app::BackUpDatabases(data, "c:\\datos", names, std::chrono::system_clock::now());
    const double backup_s = SecondsSince(start);

    fs::create_directories(fs::path(scratch) / "copies");
    start = std::chrono::steady_clock::now();
    for (const std::string& name : names) {
      actualiz::engine::CopyDatabase((fs::path(data) / name).string(),
                                     (fs::path(scratch) / "copies" / name).string(),
                                     actualiz::engine::CopyTarget::kNew);
    }
    const double copy_s = SecondsSince(start);

    start = std::chrono::steady_clock::now();
    for (const std::string& name : names)
      OnlineBackup(fs::path(data) / name, fs::path(scratch) / name);
    const double online_s = SecondsSince(start);

    bool same = folder.databases.size() == names.size();
    for (const std::string& name : names) {
      same = same && Bytes(folder.CopyOf(name)) == Bytes(fs::path(data) / name);
    }
    std::printf("%.6f %.6f %.6f %s\n", backup_s, copy_s, online_s, same ? "yes" : "no");
    return 0;
  } catch (...) {
    return actualiz::bench::ReportFailure();
  }
}
