#include "engine/accessfile/mdb_tools.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace actualiz::engine::jet {

namespace {

const char* const kTools[] = {"mdb-schema", "mdb-export", "mdb-tables"};

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t from = 0; from <= dirs.size();) {
    std::size_t end = dirs.find(':', from);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(from, end - from);
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    from = end + 1;
  }
  return false;
}

// Runs `words` (found on PATH) with no input and its errors discarded; its
// output, or nothing when it cannot start or does not end with status 0.
std::optional<std::string> Run(const std::vector<std::string>& words) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int started = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  std::string out;
  if (started == 0) {
    char buffer[65536];
    for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) != 0;) {
      if (n > 0)
        out.append(buffer, static_cast<std::size_t>(n));
      else if (errno != EINTR)
        break;
    }
  }
  ::close(pipe_fds[0]);
  if (started != 0) return std::nullopt;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

}  // namespace

std::vector<std::string> MissingMdbTools() {
  std::vector<std::string> missing;
  for (const char* tool : kTools) {
    if (!OnPath(tool)) missing.emplace_back(tool);
  }
  return missing;
}

std::optional<std::string> MdbSchema(const std::string& path) { return Run({"mdb-schema", path}); }

std::optional<std::vector<std::string>> MdbTables(const std::string& path) {
  const auto out = Run({"mdb-tables", "-1", path});
  if (!out) return std::nullopt;
  std::vector<std::string> tables;
  std::size_t from = 0;
  for (std::size_t end; (end = out->find('\n', from)) != std::string::npos; from = end + 1) {
    if (end > from) tables.push_back(out->substr(from, end - from));
  }
  if (from < out->size()) tables.push_back(out->substr(from));
  return tables;
}

std::optional<std::vector<std::vector<std::string>>> MdbExport(const std::string& path,
                                                               const std::string& table) {
  auto out = Run({"mdb-export", "-b", "hex", path, table});
  if (!out) return std::nullopt;
  return ParseCsv(*out);
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false;
  bool any = false;  // the current record has begun
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
      continue;
    }
    any = true;
    if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      if (!field.empty() && field.back() == '\r') field.pop_back();
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
      any = false;
    } else {
      field += c;
    }
  }
  if (any) {
    record.push_back(std::move(field));
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace actualiz::engine::jet
