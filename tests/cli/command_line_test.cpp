// The conventions of the command line, through the real actualiz-cli: which
// stream gets what, --quiet, --json -, usage errors, the options shared by
// every command.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/demo_site.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const Words kBatch = {"batch", "--data", "c:\\datos"};

TEST(CommandLine, ProgressGoesToStandardErrorOnlyWhenItIsATerminalAndTheReportToOutput) {
  struct Case {
    const char* name;
    Words options;  // before the command name
    bool terminal;
    const char* progress;  // what standard error shows of the progress; null for nothing
  };
  const Case cases[] = {
      {"a pipe", {}, false, nullptr},
      {"a terminal, redrawn in place", {}, true, "\x1b[2K  Bases:"},
      {"a pipe with --progress, line by line", {"--progress"}, false, "clientes.mdb | Bases: "},
      {"a terminal with --quiet", {"--quiet"}, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DemoSite demo;
    const ProgramRun run = RunCli(Joined(Joined(demo.Site(), c.options), kBatch),
                                  ProgramSetting().ErrorOnTerminal(c.terminal));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Has(run.err, "Bases:"), c.progress != nullptr) << run.err;
    if (c.progress != nullptr) {
      EXPECT_TRUE(Has(run.err, c.progress)) << run.err;
    }
    EXPECT_FALSE(Has(run.out, "Bases:")) << run.out;
    const bool quiet = c.options == Words{"--quiet"};
    EXPECT_EQ(Has(run.out, "clientes.mdb: updated"), !quiet) << run.out;
    if (quiet) {
      EXPECT_EQ(run.out, "");
    }
  }
}

TEST(CommandLine, JsonDashPutsTheJsonReportAloneOnStandardOutputEvenWhenQuiet) {
  struct Case {
    Words arguments;
    int status;
    bool json;  // standard output holds the JSON report, and only it
  };
  const Case cases[] = {
      {{"check", "--data", "c:\\datos", "--quiet"}, 2, false},
      {{"check", "--data", "c:\\datos", "--json", "-"}, 2, true},
      {{"--quiet", "plan", "--data", "c:\\datos", "--json", "-"}, 0, true},
      {{"batch", "--data", "c:\\datos", "--json", "-"}, 0, true},
  };
  const DemoSite demo;  // the batch, last, is the only one that changes it
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const ProgramRun run = RunCli(Joined(demo.Site(), c.arguments));
    EXPECT_EQ(run.status, c.status) << run.err;
    if (!c.json) {
      EXPECT_EQ(run.out, "");
      continue;
    }
    const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << run.out;
    EXPECT_EQ(report["totals"]["pairs"], 3);
    EXPECT_EQ(report["totals"]["copied"], 1);
  }
}

TEST(CommandLine, UsageErrorsExitTwoSayWhatIsWrongAndRunNothing) {
  const DemoSite demo;
  const std::string drive = demo.Drive().string();
  const std::string missing = demo.Scratch("no such folder");
  struct Case {
    Words arguments;
    std::string said;
  };
  const Case cases[] = {
      {{}, "a command is required"},
      {{"bach", "--data", "c:\\datos"}, "unknown command 'bach'; did you mean 'batch'?"},
      {Joined(demo.Site(), {"plna"}), "unknown command 'plna'; did you mean 'plan'?"},
      {{"Batch"}, "did you mean 'batch'?"},
      {{"frobnicate"}, "unknown command 'frobnicate'; the commands are "},
      {Joined(kBatch, {"--daat", "x"}), "unknown option '--daat'; did you mean '--data'?"},
      {{"migrate", "nothing", "--data", "x"}, "nothing not in"},
      {{"--wait", "soon", "batch"}, "--wait: a number of seconds, 0 or more, not 'soon'"},
      {{"--drive", "cc", "init"}, "--drive: a drive is given as LETTER=DIR, not 'cc'"},
      {Joined(Joined(demo.Site(), kBatch), {"--json", missing + "/report.json"}),
       "the directory '" + missing + "' of the report file does not exist"},
      {Joined({"--drive", "c=" + drive, "--drive", "C=" + drive}, kBatch),
       "drive C: is mapped twice"},
      {Joined(Joined(demo.Site(), kBatch), {"--drive", "c=" + drive}), "drive C: is mapped twice"},
      {Joined(Joined(demo.Site(), kBatch), {"--program-dir", drive}),
       "--program-dir is given both before and after the command name"},
      {Joined(Joined(demo.Site(), {"--quiet"}), Joined(kBatch, {"--progress"})),
       "--quiet and --progress exclude each other"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const ProgramRun run = RunCli(c.arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, c.said)) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(fs::exists(demo.Data() / ".actualiz-backups"));
  EXPECT_FALSE(fs::exists(demo.Data() / "tarifas.mdb"));
}

TEST(CommandLine, TheSharedOptionsComeAfterTheCommandNameTooAndEveryHelpListsThem) {
  const DemoSite demo;
  const ProgramRun run = RunCli(Joined(Joined(kBatch, demo.Site()), {"--wait", "1"}));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "clientes.mdb: updated")) << run.out;

  const ProgramRun help = RunCli({"--help"});
  ASSERT_EQ(help.status, 0);
  const std::string listing = help.out.substr(help.out.find("Subcommands:"));
  size_t commands = 0;
  for (size_t at = listing.find("\n  "); at != std::string::npos; at = listing.find("\n  ", at)) {
    at += 3;
    const std::string name = listing.substr(at, listing.find(' ', at) - at);
    SCOPED_TRACE(name);
    const ProgramRun its = RunCli({name, "--help"});
    EXPECT_EQ(its.status, 0) << its.err;
    for (const char* option : {"--drive", "--program-dir", "--wait", "--quiet", "--progress"}) {
      EXPECT_TRUE(Has(its.out, option)) << its.out;
    }
    ++commands;
  }
  EXPECT_GE(commands, 11u) << help.out;

  const ProgramRun version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "actualiz-cli " ACTUALIZ_VERSION "\n");
}

}  // namespace
}  // namespace actualiz::testing
