// actualiz: the window. Maps the drives given on the command line, builds
// the window model and its Qt view, runs start-up once and waits for the
// operator. With --fleet it shows the fleet window over a fleet file
// instead.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <iostream>
#include <string_view>

#include "app/actualiz.h"
#include "app/environment_options.h"
#include "app/fleet_window.h"
#include "base/server_address.h"
#include "base/terminal_text.h"
#include "gui/fleet_window_view.h"
#include "gui/main_window.h"
#include "gui/qt_operator.h"

namespace {

// Whether the command line asks only for the help or the version: looked
// for before Qt starts, since Qt needs a display to start and these need
// none. Qt's own options are not known to `cli`, so the whole line is parsed
// only when one of the two is there.
bool AsksForHelpOrVersion(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word == "--") return false;
    if (word == "--help" || word == "-h" || word == "--version") return true;
  }
  return false;
}

// Prints what the parser has to say (help, version or the usage error) and
// gives the exit status: 0 after help or version, 2 for a usage error, as
// actualiz-cli does.
int ExitStatusOf(const CLI::App& cli, const CLI::ParseError& e) {
  const int status = cli.exit(e);
  return status == 0 ? 0 : 2;
}

// Saves a picture of `widget` to `file`; false (said on standard error) when
// it cannot be written.
bool SaveScreenshot(QWidget& widget, const std::string& file) {
  QApplication::processEvents();
  if (widget.grab().save(QString::fromStdString(file))) return true;
  std::cerr << "actualiz: cannot write " << file << "\n";
  return false;
}

struct FleetArguments {
  std::string file;
  size_t jobs = 0;  // 0: the number of cores
  bool no_backup = false;
  bool run = false;
};

// The fleet window over `fleet.file`: shown until the operator closes it,
// or with a screenshot saved (after the batch when `fleet.run`) and ended.
// Exit status 1 when the fleet file cannot be read (the window says why)
// or the picture cannot be written.
int ShowFleetWindow(const FleetArguments& fleet, const actualiz::app::FleetDefaults& defaults,
                    double wait_seconds, const std::string& screenshot) {
  using namespace actualiz;
  app::FleetWindow model({.file = fleet.file,
                          .defaults = defaults,
                          .jobs = fleet.jobs,
                          .back_up = !fleet.no_backup,
                          .wait_seconds = wait_seconds});
  if (!model.Loaded()) std::cerr << "actualiz: " << TerminalSafe(model.Snapshot().notice) << "\n";
  gui::FleetWindowView view(model);
  view.show();
  if (fleet.run) model.Start(app::FleetWork::kBatch);
  if (!screenshot.empty()) {
    model.Wait();
    view.Refresh();
    return SaveScreenshot(view, screenshot) && model.Loaded() ? 0 : 1;
  }
  const int status = QApplication::exec();
  return model.Loaded() ? status : 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace actualiz;
  CLI::App cli{"actualiz: keeps customer databases in step with their models"};
  std::vector<std::string> drives;
  std::string program_dir;
  std::string screenshot;
  std::string data;
  FleetArguments fleet;
  double wait_seconds = 5;
  cli.set_version_flag("--version", "actualiz " ACTUALIZ_VERSION,
                       "Print the program's version and exit");
  cli.add_option("--drive", drives, "Map a drive letter to a directory: LETTER=DIR (repeatable)")
      ->type_name("LETTER=DIR");
  cli.add_option("--program-dir", program_dir,
                 "The program directory, whose 'modelos' folder holds the models "
                 "(default: the executable's own)");
  cli.add_option("--wait", wait_seconds,
                 "How long a click waits for another run that holds the catalogues or the data "
                 "directory before it is refused (default 5)")
      ->type_name("SECONDS")
      ->check(CLI::NonNegativeNumber);
  cli.add_option("--data", data,
                 "Open this data directory after start-up: a Windows path, or a database on a "
                 "server, postgresql://USER@HOST:PORT/DBNAME");
  CLI::Option* fleet_option = cli.add_option(
      "--fleet", fleet.file,
      "Show the fleet window over this fleet file (JSON) instead of the form: every location "
      "with its state, and buttons to run the batch over them, to check them and to stop");
  cli.add_option("--jobs", fleet.jobs,
                 "With --fleet: how many locations run at once (default: cores)")
      ->check(CLI::PositiveNumber)
      ->needs(fleet_option);
  cli.add_flag("--no-backup", fleet.no_backup,
               "With --fleet: do not back up the databases before changing them")
      ->needs(fleet_option);
  cli.add_flag("--run", fleet.run,
               "With --fleet: run the batch over the locations not done at once")
      ->needs(fleet_option);
  fleet_option->excludes(cli.get_option("--data"));
  cli.add_option("--screenshot", screenshot,
                 "After start-up, save a picture of the whole window (enlarged to reach "
                 "every control) to FILE (PNG), then end; with --fleet --run, once the batch "
                 "has ended");
  if (AsksForHelpOrVersion(argc, argv)) {
    try {
      cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
      return ExitStatusOf(cli, e);
    }
  }

  QApplication qt(argc, argv);  // takes Qt's own options out of argv
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return ExitStatusOf(cli, e);
  }

  try {
    // A malformed server address, or one with a password, is refused before
    // the window could show or log it.
    ParseServerAddress(data);
  } catch (const Error& e) {
    std::cerr << "actualiz: " << e.Text() << " (" << e.Context() << ")\n";
    return 2;
  }

  gui::QtOperator op;
  app::Environment env;
  try {
    env = app::MakeEnvironment({.drives = drives,
                                .program_dir = program_dir,
                                .wait_seconds = wait_seconds,
                                .log_file = true},
                               op);
  } catch (const std::exception& e) {
    std::cerr << "actualiz: " << e.what() << "\n";
    return 2;
  }

  if (!fleet.file.empty()) {
    return ShowFleetWindow(fleet, {.drives = drives, .program_dir = program_dir}, wait_seconds,
                           screenshot);
  }

  app::Actualiz window(std::move(env));
  gui::MainWindow view(window);
  op.SetParent(&view);
  view.Start();
  if (!window.Ended() && !data.empty()) view.OpenDataDirectory(data);
  if (window.Ended()) return 0;
  if (!screenshot.empty()) {
    view.resize(view.FullSize());
    return SaveScreenshot(view, screenshot) ? 0 : 1;
  }
  return QApplication::exec();
}
