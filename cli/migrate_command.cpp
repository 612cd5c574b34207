// actualiz-cli migrate pomerd|histoprod --data DIR
//
// Runs one of the two fixed-table migrations on "clientes.mdb" of DIR, with
// the same handlers the window runs, and prints each message (critical and
// warning ones on standard error). Exit status: 0 when the migration
// finished with every index created, 3 when the table already exists, 1 on
// any other failure.
#include <filesystem>
#include <string>

#include "app/operator_advice.h"
#include "base/server_address.h"
#include "base/terminal_text.h"
#include "cli/command.h"

namespace actualiz::cli {

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kTableExists = 3;

struct MigrateOptions {
  std::string table;
  std::string data;
};

// Reads the outcome from what the window showed: the migration reports
// itself only through its messages and the end of the program.
int ExitStatus(const app::Actualiz& window, const std::string& table) {
  const std::vector<app::Message>& messages = window.Messages();
  if (messages.empty()) return kFailed;
  const app::Message& last = messages.back();
  if (last.look == platform::MessageLook::kCritical &&
      last.text == "La tabla " + table + " ya existe") {
    return kTableExists;
  }
  if (window.Ended() && last.look == platform::MessageLook::kInformation &&
      last.text == "Terminado") {
    return kDone;
  }
  return kFailed;
}

// The data directory as the window speaks it: a host path that lies under a
// mapped drive becomes that drive's Windows path ("/srv/c/datos" ->
// "c:\datos"), so that the customer database's path reads as it does in
// the window. A data directory on a server is no path and stays as given.
std::string DataDirectory(const platform::DriveMap& drives, const std::string& data) {
  if (platform::DriveMap::DriveOf(data) || IsServerAddress(data)) return data;
  const std::string host = std::filesystem::absolute(data).lexically_normal().string();
  return drives.FromHost(host).value_or(host);
}

int RunMigration(const CliContext& context, const MigrateOptions& options) {
  TerminalOperator op;
  app::Actualiz window(context.MakeEnvironment(op));
  const std::string data = DataDirectory(window.Env().drives, options.data);
  if (!window.AtTop("Dir1.Path = " + data, [&] { window.Dir1.SetPath(data); })) {
    return kFailed;
  }
  const char* handler = options.table == "pomerd" ? "Command26_Click" : "Command25_Click";
  try {
    window.Click(handler);
  } catch (const app::ProgramEnded&) {
    // The migration ends the program when it has finished.
  }
  const int status = ExitStatus(window, options.table);
  if (status == kFailed) {
    // The window's message names the handler; the operator's line names the
    // file and what to do.
    for (const app::Failure& failure : window.Log().Failures()) {
      if (!failure.passed_over) {
        std::cerr << "actualiz-cli migrate: " << TerminalSafe(app::OperatorLine(failure)) << "\n";
      }
    }
  }
  return status;
}

void AddMigrateCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<MigrateOptions>();
  CLI::App* command = app.add_subcommand(
      "migrate", "Add the table pomerd or histoprod to clientes.mdb of a data directory");
  command->add_option("table", options->table, "The table to add")
      ->required()
      ->check(CLI::IsMember({"pomerd", "histoprod"}));
  command
      ->add_option("--data", options->data,
                   "The data directory that holds clientes.mdb (a path, or a database on a "
                   "server: postgresql://USER@HOST:PORT/DBNAME)")
      ->required();
  command->callback([&context, options] {
    const app::RunLocks locks = context.LockForWriting("migrate", false, {options->data});
    context.exit_status = RunMigration(context, *options);
  });
}

}  // namespace

ACTUALIZ_COMMAND(AddMigrateCommand);

}  // namespace actualiz::cli
