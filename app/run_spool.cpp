#include "app/run_spool.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace actualiz::app {

namespace {

constexpr const char* kTemplate = "actualiz-run-XXXXXX";

std::string SystemTemporaryDirectory() {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::temp_directory_path(error);
  // The system's own choice failed (TMPDIR naming no directory): say which.
  if (error) {
    const char* named = std::getenv("TMPDIR");
    return named != nullptr ? named : "/tmp";
  }
  return path.string();
}

Error SpoolError(const std::string& what, const std::string& directory, int os_error) {
  return Error(err::kPermissionDenied,
               "Cannot keep the run's entries in a temporary file: " + what + ": " +
                   std::generic_category().message(os_error),
               "temporary directory " + directory);
}

}  // namespace

RunSpool::RunSpool(const std::string& directory)
    : directory_(directory.empty() ? SystemTemporaryDirectory() : directory) {
  std::string name = (std::filesystem::path(directory_) / kTemplate).string();
  const int fd = mkstemp(name.data());
  if (fd < 0) throw SpoolError("cannot create it", directory_, errno);
  // Unlinked at once: the open file is all the spool needs, and nothing is
  // left behind whether the run ends, fails or is killed.
  unlink(name.c_str());
  file_ = fdopen(fd, "w+b");
  if (file_ == nullptr) {
    const int os_error = errno;
    close(fd);
    throw SpoolError("cannot open it", directory_, os_error);
  }
}

RunSpool::~RunSpool() {
  if (file_ != nullptr) std::fclose(file_);
}

void RunSpool::Attach(RunLog& log) {
  log.on_change = [this](const Change& change) { Record(change); };
  log.on_failure = [this](const Failure& failure) { Record(failure); };
  log.KeepEntries(false);
}

void RunSpool::Detach(RunLog& log) {
  log.on_change = nullptr;
  log.on_failure = nullptr;
  log.KeepEntries(true);
}

void RunSpool::Fail(const std::string& what) {
  if (!failure_) failure_ = SpoolError(what, directory_, errno);
}

bool RunSpool::BeginRecord(uint64_t* last) {
  if (failure_) return false;
  if (reading_) {
    if (std::fseek(file_, static_cast<long>(end_), SEEK_SET) != 0) {
      Fail("cannot write to it");
      return false;
    }
    reading_ = false;
  }
  const uint64_t previous = *last;
  *last = end_;
  Put(previous);
  return !failure_;
}

void RunSpool::Put(uint64_t number) {
  if (failure_) return;
  if (std::fwrite(&number, sizeof number, 1, file_) != 1) return Fail("cannot write to it");
  end_ += sizeof number;
}

void RunSpool::Put(const std::string& text) {
  Put(static_cast<uint64_t>(text.size()));
  if (failure_ || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    return Fail("cannot write to it");
  }
  end_ += text.size();
}

void RunSpool::Record(const Change& change) {
  ++change_count_;
  if (!BeginRecord(&chains_[change.database].last_change)) return;
  Put(change.handler);
  Put(change.database);
  Put(KindText(change.kind));
  Put(change.object.table);
  Put(change.object.name);
  Put(change.definition);
}

void RunSpool::Record(const Failure& failure) {
  ++failure_count_;
  if (!BeginRecord(&chains_[failure.database].last_failure)) return;
  Put(failure.handler);
  Put(failure.statement);
  Put(failure.database);
  Put(static_cast<uint64_t>(static_cast<int64_t>(failure.number)));
  Put(failure.text);
  Put(failure.context);
  Put(static_cast<uint64_t>(failure.passed_over ? 1 : 0));
}

void RunSpool::Check() const {
  if (failure_) throw *failure_;
}

void RunSpool::SeekForReading(uint64_t offset) const {
  Check();
  // Switching from writing to reading needs a seek, which also flushes
  // what is still buffered.
  if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
    throw SpoolError("cannot read it back", directory_, errno);
  }
  reading_ = true;
}

uint64_t RunSpool::GetNumber() const {
  uint64_t number = 0;
  if (std::fread(&number, sizeof number, 1, file_) != 1) {
    throw SpoolError("cannot read it back", directory_, std::ferror(file_) ? errno : EIO);
  }
  return number;
}

std::string RunSpool::GetText() const {
  const uint64_t size = GetNumber();
  if (size > end_) throw SpoolError("it is damaged", directory_, EIO);
  std::string text(size, '\0');
  if (size > 0 && std::fread(text.data(), 1, size, file_) != size) {
    throw SpoolError("cannot read it back", directory_, std::ferror(file_) ? errno : EIO);
  }
  return text;
}

std::vector<uint64_t> RunSpool::ChainFrom(uint64_t last) const {
  std::vector<uint64_t> offsets;
  for (uint64_t at = last; at != kNone;) {
    offsets.push_back(at);
    SeekForReading(at);
    const uint64_t previous = GetNumber();
    // A chain only ever points back; anything else is a damaged file.
    if (previous != kNone && previous >= at) throw SpoolError("it is damaged", directory_, EIO);
    at = previous;
  }
  std::reverse(offsets.begin(), offsets.end());
  return offsets;
}

Change RunSpool::ReadChange(uint64_t offset) const {
  SeekForReading(offset);
  GetNumber();  // the chain's link
  Change change;
  change.handler = GetText();
  change.database = GetText();
  const std::optional<ChangeKind> kind = ParseChangeKind(GetText());
  if (!kind) throw SpoolError("it is damaged", directory_, EIO);
  change.kind = *kind;
  change.object.table = GetText();
  change.object.name = GetText();
  change.definition = GetText();
  return change;
}

Failure RunSpool::ReadFailure(uint64_t offset) const {
  SeekForReading(offset);
  GetNumber();  // the chain's link
  Failure failure;
  failure.handler = GetText();
  failure.statement = GetText();
  failure.database = GetText();
  failure.number = static_cast<int>(static_cast<int64_t>(GetNumber()));
  failure.text = GetText();
  failure.context = GetText();
  failure.passed_over = GetNumber() != 0;
  return failure;
}

std::vector<Change> RunSpool::ChangesOf(const std::string& database) const {
  Check();
  std::vector<Change> changes;
  const auto chain = chains_.find(database);
  if (chain == chains_.end()) return changes;
  for (uint64_t offset : ChainFrom(chain->second.last_change)) {
    changes.push_back(ReadChange(offset));
  }
  return changes;
}

std::vector<Failure> RunSpool::FailuresOf(const std::string& database) const {
  Check();
  std::vector<Failure> failures;
  const auto chain = chains_.find(database);
  if (chain == chains_.end()) return failures;
  for (uint64_t offset : ChainFrom(chain->second.last_failure)) {
    failures.push_back(ReadFailure(offset));
  }
  return failures;
}

// Records lie in the file in the order they were made, so sorting the
// offsets of several chains gives their entries in recorded order.
std::vector<uint64_t> RunSpool::OffsetsOutside(const std::set<std::string>& databases,
                                               uint64_t Chain::*last) const {
  std::vector<uint64_t> offsets;
  for (const auto& [database, chain] : chains_) {
    if (databases.count(database) > 0) continue;
    const std::vector<uint64_t> own = ChainFrom(chain.*last);
    offsets.insert(offsets.end(), own.begin(), own.end());
  }
  std::sort(offsets.begin(), offsets.end());
  return offsets;
}

std::vector<Change> RunSpool::ChangesOutside(const std::set<std::string>& databases) const {
  std::vector<Change> changes;
  for (uint64_t offset : OffsetsOutside(databases, &Chain::last_change)) {
    changes.push_back(ReadChange(offset));
  }
  Check();
  return changes;
}

std::vector<Failure> RunSpool::FailuresOutside(const std::set<std::string>& databases) const {
  std::vector<Failure> failures;
  for (uint64_t offset : OffsetsOutside(databases, &Chain::last_failure)) {
    failures.push_back(ReadFailure(offset));
  }
  Check();
  return failures;
}

}  // namespace actualiz::app
