// `create FILE --from DESCRIPTION.json`: a new database from a JSON
// description. An existing FILE is never replaced; a failed create leaves no
// file behind.
#include <fstream>
#include <iostream>
#include <sstream>

#include "base/terminal_text.h"
#include "cli/command.h"
#include "engine/description/description.h"

namespace actualiz::cli {

namespace {

struct CreateOptions {
  std::string file;
  std::string from;
};

std::string ReadDescriptionFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MakeError(err::kFileNotFoundOs, "description '" + path + "'");
  std::stringstream text;
  text << in.rdbuf();
  if (in.bad()) throw MakeError(err::kPathNotFound, "description '" + path + "'");
  return text.str();
}

int RunCreate(const CreateOptions& options, const CliContext& context) {
  try {
    const nlohmann::json description = engine::ParseDescription(ReadDescriptionFile(options.from));
    const std::string host_path = context.HostPath(options.file);
    engine::CreateFromDescription(host_path, description, options.file);
    return 0;
  } catch (const Error& e) {
    std::cerr << "actualiz-cli: cannot create '" << TerminalSafe(options.file) << "' from '"
              << TerminalSafe(options.from) << "': error " << TerminalSafe(e.what()) << "\n";
    return 1;
  }
}

void AddCreateCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<CreateOptions>();
  CLI::App* command = app.add_subcommand("create", "Create a new database from a JSON description");
  command->add_option("FILE", options->file, "The database to create (must not exist)")->required();
  command->add_option("--from", options->from, "The JSON description")
      ->required()
      ->type_name("DESCRIPTION.json");
  command->callback([options, &context] {
    const app::RunLocks locks =
        context.LockForWriting("create", false, {CliContext::DirectoryOf(options->file)});
    context.exit_status = RunCreate(*options, context);
  });
}

}  // namespace

ACTUALIZ_COMMAND(AddCreateCommand);

}  // namespace actualiz::cli
