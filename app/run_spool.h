// The entries of a long run, kept in a temporary file rather than in memory.
//
// A batch over many databases records a few hundred changes a database, and
// its report groups them by database at the end; the stages run over every
// database in turn, so one database's entries arrive spread over the whole
// run. The spool appends each entry to one file as it is recorded and keeps
// in memory only, per database named, where that database's last change and
// last failure lie in the file. Every record carries where the previous one
// of the same database and kind lies, so a database's entries are read back
// by walking that chain from its end: memory stays flat in the number of
// databases, apart from those few bytes a database.
//
// The file is made under the system's temporary directory and unlinked at
// once: it is gone when the spool is, however the process ends. So no spool
// outlives the program that wrote it, and its record layout is free to
// change. A change keeps its kind as the kind's stable text and its object
// as table and name apart.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/batch_report.h"
#include "app/run_log.h"
#include "base/error.h"

namespace actualiz::app {

class RunSpool : public ReportEntries {
 public:
  // Creates the file under `directory` ("" for the system's temporary
  // directory). Fails with 70 naming the directory when it cannot.
  explicit RunSpool(const std::string& directory = "");
  ~RunSpool() override;
  RunSpool(const RunSpool&) = delete;
  RunSpool& operator=(const RunSpool&) = delete;

  // Appends one entry. A write that fails is not thrown here (the entry
  // comes from inside a handler, whose failure rules would record the
  // failure again): the first one is kept for Check, and nothing more is
  // written.
  void Record(const Change& change);
  void Record(const Failure& failure);

  // Makes `log` hand every entry to this spool and keep none itself, until
  // Detach. The spool must outlive the attachment.
  void Attach(RunLog& log);
  static void Detach(RunLog& log);

  // Throws the first failure to write or read the file, if there was one.
  void Check() const;

  // Entries recorded so far.
  size_t FailureCount() const { return failure_count_; }
  size_t ChangeCount() const { return change_count_; }

  // ReportEntries: read back from the file, in the order recorded. They
  // throw the write failure Check would, or a failure to read.
  std::vector<Change> ChangesOf(const std::string& database) const override;
  std::vector<Failure> FailuresOf(const std::string& database) const override;
  std::vector<Change> ChangesOutside(const std::set<std::string>& databases) const override;
  std::vector<Failure> FailuresOutside(const std::set<std::string>& databases) const override;

 private:
  static constexpr uint64_t kNone = UINT64_MAX;
  struct Chain {
    uint64_t last_change = kNone;
    uint64_t last_failure = kNone;
  };

  // Starts a record of the chain ending at `*last`, and moves `*last` to
  // it. False when the spool has failed.
  bool BeginRecord(uint64_t* last);
  void Put(const std::string& text);
  void Put(uint64_t number);
  void Fail(const std::string& what);

  // The records of a chain, oldest first.
  std::vector<uint64_t> ChainFrom(uint64_t last) const;
  std::vector<uint64_t> OffsetsOutside(const std::set<std::string>& databases,
                                       uint64_t Chain::*last) const;
  Change ReadChange(uint64_t offset) const;
  Failure ReadFailure(uint64_t offset) const;
  void SeekForReading(uint64_t offset) const;
  uint64_t GetNumber() const;
  std::string GetText() const;

  std::string directory_;  // where the file lies, for messages
  std::FILE* file_ = nullptr;
  uint64_t end_ = 0;  // where the next record goes
  std::unordered_map<std::string, Chain> chains_;
  size_t failure_count_ = 0;
  size_t change_count_ = 0;
  std::optional<Error> failure_;
  mutable bool reading_ = false;  // the stream was last used to read
};

}  // namespace actualiz::app
