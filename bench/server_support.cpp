#include "bench/server_support.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "base/server_address.h"
#include "engine/description/description.h"
#include "engine/engine.h"

namespace fs = std::filesystem;

namespace actualiz::bench {

namespace {

// User plus system seconds of process `pid` from /proc/PID/stat, with its
// waited-for children's when `children`; and its parent's id.
struct ProcessTimes {
  double seconds = 0;
  int parent = 0;
};
ProcessTimes TimesOf(int pid, bool children) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(text.substr(close + 2));
  std::vector<std::string> f;
  for (std::string word; fields >> word;) f.push_back(word);
  // f[0] is the state (field 3); utime, stime, cutime, cstime are fields 14 to 17.
  if (f.size() < 15) return {};
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  double ticks = std::stod(f[11]) + std::stod(f[12]);
  if (children) ticks += std::stod(f[13]) + std::stod(f[14]);
  return {ticks / tick, std::stoi(f[1])};
}

}  // namespace

// The server's CPU seconds so far: its main process, the connections it
// served and has reaped, and the processes it runs now.
double ServerSeconds(int server) {
  double total = TimesOf(server, true).seconds;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (!std::all_of(name.begin(), name.end(), ::isdigit)) continue;
    const ProcessTimes t = TimesOf(std::stoi(name), false);
    if (t.parent == server) total += t.seconds;
  }
  return total;
}

double ClientSeconds(const fs::path& time_file) {
  std::ifstream in(time_file);
  double total = 0;
  for (std::string line; std::getline(in, line);) {
    for (const char* key : {"User time (seconds): ", "System time (seconds): "}) {
      if (const size_t at = line.find(key); at != std::string::npos) {
        total += std::stod(line.substr(at + std::string(key).size()));
      }
    }
  }
  return total;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

BenchDrive ReadBenchDrive(const std::string& drive) {
  BenchDrive out;
  out.root = fs::absolute(drive);
  out.data = out.root / "c" / "datos";
  for (const auto& entry : fs::directory_iterator(out.data)) {
    if (entry.path().extension() == ".mdb") out.files.push_back(entry.path().filename().string());
  }
  std::sort(out.files.begin(), out.files.end());
  if (out.files.empty()) throw std::runtime_error("no customer databases in " + out.data.string());
  return out;
}

// Each customer file as a schema of `location`, its changes stored together.
void LoadSchemas(const fs::path& data, const std::vector<std::string>& files,
                 const std::string& location) {
  for (const std::string& file : files) {
    engine::Session session;
    nlohmann::json description;
    {
      engine::DatabasePtr db = engine::OpenDatabase(session, (data / file).string());
      description = engine::Describe(*db, {.rows = true});
      db->Close();
    }
    engine::GroupChangesUntilClose together(session);
    engine::CreateFromDescription(session, ServerDatabasePath(location, file), description);
  }
}

double PeakMiB(const fs::path& time_file) {
  std::ifstream in(time_file);
  const std::string key = "Maximum resident set size (kbytes): ";
  for (std::string line; std::getline(in, line);) {
    if (const size_t at = line.find(key); at != std::string::npos) {
      return std::stod(line.substr(at + key.size())) / 1024;
    }
  }
  return 0;
}

}  // namespace actualiz::bench
