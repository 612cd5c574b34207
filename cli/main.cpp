// actualiz-cli: the window model without a display, for scripts and servers.
#include <iostream>

#include "base/terminal_text.h"
#include "cli/command.h"

int main(int argc, char** argv) {
  using actualiz::cli::CliContext;
  CLI::App app{"actualiz-cli: keeps customer databases in step with their models"};
  app.require_subcommand(1);
  CliContext context;
  app.add_option("--drive", context.drives, "Map a drive letter to a directory: LETTER=DIR")
      ->type_name("LETTER=DIR");
  app.add_option("--program-dir", context.program_dir,
                 "The program directory, whose 'modelos' folder holds the models");
  app.add_option("--wait", context.wait_seconds,
                 "How long to wait for another run that holds the catalogues or the data "
                 "directory before giving up (default 5)")
      ->type_name("SECONDS")
      ->check(CLI::NonNegativeNumber);
  for (auto adder : actualiz::cli::Commands()) adder(app, context);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const actualiz::Error& e) {
    std::cerr << "actualiz-cli: error " << actualiz::TerminalSafe(e.what()) << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "actualiz-cli: " << actualiz::TerminalSafe(e.what()) << "\n";
    return 1;
  }
  return context.exit_status;
}
