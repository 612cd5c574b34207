#include "engine/postgres/pg_programs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "base/error.h"
#include "engine/postgres/pg_storage.h"

extern char** environ;

namespace actualiz::engine {

namespace {

namespace fs = std::filesystem;

// As long as the engine waits for a lock on a server (and for a locked file).
constexpr const char* kLockWaitMs = "3000";
// The most of a program's messages kept for an error.
constexpr size_t kMessageLimit = 2000;

bool IsProgram(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// "15" before "9.6": each dotted part compared as a number.
std::vector<long> VersionParts(const std::string& text) {
  std::vector<long> parts;
  const char* at = text.c_str();
  while (*at != '\0') {
    char* end = nullptr;
    parts.push_back(std::strtol(at, &end, 10));
    if (end == at) return {};  // not a version
    at = *end == '.' ? end + 1 : end;
    if (*end != '.' && *end != '\0') return {};
  }
  return parts;
}

struct Outcome {
  int status = -1;       // the exit status, or -N when signal N ended the program
  std::string messages;  // what it wrote on standard error
};

// Runs `words` (words[0] a path) with standard input and output on
// /dev/null and standard error kept.
Outcome Run(const std::vector<std::string>& words) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    throw MakeError(err::kPermissionDenied,
                    "'" + words[0] + "': " + std::generic_category().message(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
  // The program starts with no signal blocked, whatever this one blocks.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned =
      ::posix_spawn(&pid, words[0].c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    throw MakeError(err::kFileNotFoundOs,
                    "'" + words[0] + "': " + std::generic_category().message(spawned));
  }
  Outcome outcome;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(pipe_fds[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (outcome.messages.size() < kMessageLimit) outcome.messages.append(buffer, size_t(got));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return outcome;
  }
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return outcome;
}

// The program's messages on one line, for an error.
std::string OneLine(std::string text) {
  if (text.size() > kMessageLimit) text = text.substr(0, kMessageLimit) + "...";
  std::string line;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(start, end - start);
    while (!piece.empty() && (piece.back() == '\r' || piece.back() == ' ')) piece.pop_back();
    if (!piece.empty()) line += (line.empty() ? "" : "; ") + piece;
    start = end + 1;
  }
  return line;
}

// Runs a program of the server's and fails, naming `name` and what was
// being done, unless it ends well.
void RunOrFail(const std::vector<std::string>& words, const std::string& doing,
               const std::string& name) {
  const Outcome outcome = Run(words);
  if (outcome.status == 0) return;
  const std::string program = fs::path(words[0]).filename().string();
  std::string why = OneLine(outcome.messages);
  if (why.empty()) {
    why = outcome.status < 0 ? "ended by signal " + std::to_string(-outcome.status)
                             : "exit status " + std::to_string(outcome.status);
  }
  throw Error(err::kReservedError, program + " could not " + doing + " the schema: " + why,
              "'" + name + "'");
}

// A pattern of pg_dump that matches the one schema named `schema`: in
// double quotes nothing is a wildcard and case is kept.
std::string SchemaPattern(const std::string& schema) {
  std::string pattern = "\"";
  for (char c : schema) pattern += c == '"' ? std::string("\"\"") : std::string(1, c);
  return pattern + "\"";
}

// `text` as a string constant of the server.
std::string Literal(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::vector<std::string> PsqlWords(const ServerAddress& address) {
  return {FindServerProgram("psql"),
          "--no-psqlrc",
          "--quiet",
          "--no-password",
          "--set=ON_ERROR_STOP=1",
          "--single-transaction",
          "--dbname=" + address.Location().ConnInfo(),
          std::string("--command=SET LOCAL lock_timeout = ") + kLockWaitMs,
          "--command=SET LOCAL client_min_messages = warning"};
}

// A private temporary file, removed when it goes.
class TemporaryFile {
 public:
  TemporaryFile() {
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "actualiz-restore-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
      throw MakeError(err::kPermissionDenied,
                      "'" + pattern + "': " + std::generic_category().message(errno));
    ::close(fd);
    path_ = pattern;
  }
  ~TemporaryFile() {
    std::error_code ec;
    fs::remove(path_, ec);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// One line of pg_restore's list of a dump: "216; 1259 16385 TABLE s t owner".
struct ListLine {
  std::string text;
  std::string kind;       // "TABLE", "INDEX", "CONSTRAINT", "TABLE DATA", ...; "" for a comment
  unsigned long oid = 0;  // the object's number on the server it was dumped from
};

ListLine ParseListLine(const std::string& text) {
  ListLine line{text, "", 0};
  const size_t semicolon = text.find(';');
  if (text.empty() || text[0] == ';' || semicolon == std::string::npos) return line;
  char* end = nullptr;
  std::strtoul(text.c_str() + semicolon + 1, &end, 10);  // the catalogue's number
  line.oid = std::strtoul(end, &end, 10);
  std::string rest = end;
  rest.erase(0, rest.find_first_not_of(' '));
  for (const char* kind : {"TABLE DATA", "FK CONSTRAINT", "TABLE", "INDEX", "CONSTRAINT"}) {
    const std::string word = std::string(kind) + " ";
    if (rest.rfind(word, 0) == 0) {
      line.kind = kind;
      break;
    }
  }
  return line;
}

// The list with the tables, then the indexes and keys, each made in the
// order they were first made on the server (their old numbers), all at the
// place of the first of them. pg_dump lists them by name, and the engine
// lists a schema's tables and indexes in the order they were made: without
// this a restored schema would describe its tables in another order. Only
// earlier objects (the schema, its collation) come before the first table,
// and whatever depends on a table or an index comes after the first of
// them, so moving the others up keeps every object after what it needs.
std::string InMadeOrder(const std::string& list) {
  std::vector<ListLine> lines;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    lines.push_back(ParseListLine(list.substr(start, end - start)));
    start = end + 1;
  }
  auto group_of = [](const ListLine& line) {
    if (line.kind == "TABLE") return 1;
    if (line.kind == "INDEX" || line.kind == "CONSTRAINT") return 2;
    return 0;
  };
  std::vector<ListLine> groups[3];
  for (const ListLine& line : lines) groups[group_of(line)].push_back(line);
  for (int group = 1; group <= 2; ++group) {
    std::stable_sort(groups[group].begin(), groups[group].end(),
                     [](const ListLine& a, const ListLine& b) { return a.oid < b.oid; });
  }
  std::string out;
  bool placed[3] = {false, false, false};
  for (const ListLine& line : lines) {
    const int group = group_of(line);
    if (group == 0) {
      out += line.text + "\n";
    } else if (!placed[group]) {
      for (const ListLine& moved : groups[group]) out += moved.text + "\n";
      placed[group] = true;
    }
  }
  return out;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string FindServerProgram(const std::string& name) {
  if (const char* path = std::getenv("PATH")) {
    const std::string directories = path;
    size_t start = 0;
    while (start <= directories.size()) {
      size_t end = directories.find(':', start);
      if (end == std::string::npos) end = directories.size();
      const std::string directory = directories.substr(start, end - start);
      if (!directory.empty() && IsProgram(fs::path(directory) / name)) {
        return (fs::path(directory) / name).string();
      }
      start = end + 1;
    }
  }
  fs::path newest;
  std::vector<long> newest_version;
  std::error_code ec;
  for (fs::directory_iterator it("/usr/lib/postgresql", ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::vector<long> version = VersionParts(it->path().filename().string());
    const fs::path candidate = it->path() / "bin" / name;
    if (!version.empty() && version > newest_version && IsProgram(candidate)) {
      newest = candidate;
      newest_version = version;
    }
  }
  if (newest.empty()) {
    throw Error(err::kFileNotFoundOs,
                "File not found: " + name +
                    " is neither on PATH nor in /usr/lib/postgresql/*/bin (install the "
                    "PostgreSQL client programs)",
                "'" + name + "'");
  }
  return newest.string();
}

void DumpSchema(const ServerAddress& address, const std::string& dump_path,
                const std::string& name) {
  const std::string program = FindServerProgram("pg_dump");
  try {
    RunOrFail({program, "--format=custom", "--no-password", "--strict-names",
               std::string("--lock-wait-timeout=") + kLockWaitMs,
               "--schema=" + SchemaPattern(address.schema), "--file=" + dump_path,
               "--dbname=" + address.Location().ConnInfo()},
              "back up", name);
  } catch (const Error&) {
    std::error_code ec;
    fs::remove(dump_path, ec);
    throw;
  }
}

void RestoreSchema(const ServerAddress& address, const std::string& dump_path,
                   const std::string& name) {
  const std::string pg_restore = FindServerProgram("pg_restore");
  const std::string dump = fs::absolute(dump_path).string();
  const TemporaryFile list;
  RunOrFail({pg_restore, "--list", "--file=" + list.Path(), dump}, "read the backup of", name);
  {
    const std::string ordered = InMadeOrder(ReadWhole(list.Path()));
    std::ofstream out(list.Path(), std::ios::binary | std::ios::trunc);
    out << ordered;
    if (!out.flush()) throw MakeError(err::kPermissionDenied, "'" + list.Path() + "'");
  }
  const TemporaryFile script;
  RunOrFail({pg_restore, "--use-list=" + list.Path(), "--file=" + script.Path(), dump},
            "read the backup of", name);
  std::vector<std::string> words = PsqlWords(address);
  words.push_back("--command=DROP SCHEMA IF EXISTS " + PgIdentifier(address.schema) + " CASCADE");
  words.push_back("--file=" + script.Path());
  // A dump of another schema would leave this one dropped: the whole
  // transaction fails when the schema is not there at its end.
  words.push_back("--command=SELECT " + Literal(PgIdentifier(address.schema)) + "::regnamespace");
  RunOrFail(words, "restore", name);
}

void DropSchemaNow(const ServerAddress& address, const std::string& name) {
  std::vector<std::string> words = PsqlWords(address);
  words.push_back("--command=DROP SCHEMA IF EXISTS " + PgIdentifier(address.schema) + " CASCADE");
  RunOrFail(words, "remove", name);
}

}  // namespace actualiz::engine
