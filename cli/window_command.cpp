// actualiz-cli window [STEP ...] [--steps FILE]
//
// Builds the window as the program does (catalogues opened, Form_Activate
// run), carries out the steps in order and prints the state of every
// control as JSON (app/window_state.h), with a "steps" array telling how
// each step went. A step is
//   set CONTROL=VALUE  a text box's Text, a list box's ListIndex, Dir1's
//                      Path (raising Dir1_Change) or Drive1's Drive;
//                      control array members are written List1(3);
//   HANDLER            a handler raised by name, as a click does.
// "set" and its assignment may come as one argument or as two. A failure
// that reaches the top of a step is recorded and shown (see "messages" and
// "runLog") and the next step runs; once a step ends the program, the
// remaining steps are skipped. A handler step takes the run locks first, as a
// click of the window does (app/run_locks.h); one refused fails with 3260.
// Exit status 0 unless the steps cannot be read.
#include <fstream>

#include "app/window_state.h"
#include "cli/command.h"

namespace actualiz::cli {

namespace {

struct WindowOptions {
  std::vector<std::string> steps;
  std::string steps_file;
};

// Steps from the arguments, then from the file, one per line (blank lines skipped).
std::vector<std::string> GatherSteps(const WindowOptions& options) {
  std::vector<std::string> words = options.steps;
  if (!options.steps_file.empty()) {
    std::ifstream in(options.steps_file);
    if (!in) throw MakeError(err::kFileNotFoundOs, options.steps_file);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") != std::string::npos) words.push_back(line);
    }
  }
  std::vector<std::string> steps;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "set" && i + 1 < words.size()) {
      steps.push_back("set " + words[++i]);
    } else {
      steps.push_back(words[i]);
    }
  }
  return steps;
}

void SetControl(app::Actualiz& window, const std::string& assignment) {
  const size_t eq = assignment.find('=');
  if (eq == std::string::npos) {
    throw Error(err::kInvalidArgument, "A setting is written CONTROL=VALUE", assignment);
  }
  const std::string name = assignment.substr(0, eq);
  const std::string value = assignment.substr(eq + 1);
  app::Control* control = window.FindControl(name);
  if (control == nullptr) throw MakeError(err::kObjectRequired, name);
  switch (control->Kind()) {
    case app::ControlKind::kTextBox:
      static_cast<app::TextBox*>(control)->SetText(value);
      return;
    case app::ControlKind::kListBox: {
      int index = 0;
      try {
        size_t used = 0;
        index = std::stoi(value, &used);
        if (used != value.size()) throw std::invalid_argument(value);
      } catch (const std::logic_error&) {
        throw MakeError(err::kInvalidPropertyValue, name + ".ListIndex = " + value);
      }
      static_cast<app::ListBox*>(control)->SetListIndex(index);
      return;
    }
    case app::ControlKind::kDirListBox:
      static_cast<app::DirListBox*>(control)->SetPath(value);
      return;
    case app::ControlKind::kDriveListBox:
      static_cast<app::DriveListBox*>(control)->SetDrive(value);
      return;
    default:
      throw MakeError(err::kPropertyReadOnly, name);
  }
}

int RunWindow(const CliContext& context, const WindowOptions& options) {
  const std::vector<std::string> steps = GatherSteps(options);
  platform::SilentOperator op;
  app::Actualiz window(context.MakeEnvironment(op));
  nlohmann::json step_results = nlohmann::json::array();
  std::string running = "Form_Activate";
  try {
    window.Activate();
    for (const std::string& step : steps) {
      running = step;
      bool ok = false;
      if (step.rfind("set ", 0) == 0) {
        const std::string assignment = step.substr(4);
        ok = window.AtTop(step, [&] { SetControl(window, assignment); });
      } else {
        // A handler may write the catalogues and the data directory.
        app::RunLocks locks;
        const auto lock = [&] { locks = app::LockForClick(window, "actualiz-cli window"); };
        ok = (!app::ClickWrites(step) || window.AtTop(step, lock)) && window.Click(step);
      }
      step_results.push_back({{"step", step}, {"ok", ok}});
    }
  } catch (const app::ProgramEnded&) {
    // The program ended inside this step; the steps after it do not run.
    step_results.push_back({{"step", running}, {"ok", true}, {"ended", true}});
  }
  nlohmann::json state = app::WindowState(window);
  state["steps"] = step_results;
  *context.output << state.dump(2) << "\n";
  return 0;
}

void AddWindowCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<WindowOptions>();
  CLI::App* command = app.add_subcommand(
      "window",
      "Start the window, carry out steps (set CONTROL=VALUE, HANDLER) and print its "
      "state as JSON");
  command->add_option("step", options->steps, "Steps, in order");
  command->add_option("--steps", options->steps_file, "A file of steps, one a line")
      ->check(CLI::ExistingFile);
  command->callback([&context, options] { context.exit_status = RunWindow(context, *options); });
}

}  // namespace

ACTUALIZ_COMMAND(AddWindowCommand);

}  // namespace actualiz::cli
