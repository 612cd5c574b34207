#include "platform/temporary_directory.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace actualiz::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFile;

void WriteInto(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  WriteFile(file, text);
}

// The id of a process that has ended.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// A killed run leaves its directory behind (a plan's holds copies of customer
// databases): the next directory of the same prefix removes it, and leaves
// alone those of live processes, other prefixes, and whatever a link points at.
TEST(TemporaryDirectoryTest, RemovesWhatEndedProcessesLeftOfItsPrefixOnly) {
  TempDir tmp;
  const std::string ended = std::to_string(EndedProcess());
  const std::string live = std::to_string(::getppid());
  const fs::path base = tmp.path();
  WriteInto(base / ("actualiz-plan-" + ended + "-a1b2c3") / "clientes.mdb", "copy");
  WriteInto(base / ("actualiz-plan-" + live + "-d4e5f6") / "clientes.mdb", "in use");
  WriteInto(base / ("actualiz-fleet-" + ended + "-g7h8i9") / "indices.mdb", "other prefix");
  WriteInto(base / "elsewhere" / "keep.mdb", "kept");
  fs::create_directory_symlink(base / "elsewhere", base / ("actualiz-plan-" + ended + "-link"));

  const char* const old = std::getenv("TMPDIR");
  const std::string kept_tmpdir = old != nullptr ? old : "";
  ::setenv("TMPDIR", base.c_str(), 1);
  {
    const TemporaryDirectory made("actualiz-plan-", "plan's scratch copies");
    EXPECT_TRUE(made.Path().filename().string().starts_with("actualiz-plan-" +
                                                            std::to_string(::getpid()) + "-"));
    EXPECT_FALSE(fs::exists(base / ("actualiz-plan-" + ended + "-a1b2c3")));
    EXPECT_TRUE(fs::exists(base / ("actualiz-plan-" + live + "-d4e5f6") / "clientes.mdb"));
    EXPECT_TRUE(fs::exists(base / ("actualiz-fleet-" + ended + "-g7h8i9") / "indices.mdb"));
    EXPECT_TRUE(fs::exists(base / "elsewhere" / "keep.mdb"));
  }
  if (old != nullptr) {
    ::setenv("TMPDIR", kept_tmpdir.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

}  // namespace
}  // namespace actualiz::platform
