// actualiz-cli: the window model without a display, for scripts and servers.
//
// Streams: what a command reports goes to standard output, errors to
// standard error, and the progress of a long run to standard error while it
// is a terminal (or with --progress). --quiet silences the report; what a
// command is asked to produce (`--json -`, describe, window) still comes.
//
// Exit status: the command's own (0 when all went well, 1 on a failure,
// others as each command tells), 2 for a usage error (a mistake in the
// command line itself, reported before anything runs), 0 for --help and
// --version.
#include <iostream>
#include <map>
#include <streambuf>

#include "base/terminal_text.h"
#include "cli/command.h"
#include "cli/nearest_word.h"
#include "cli/shared_options.h"

namespace {

using actualiz::TerminalSafe;
using actualiz::cli::CliContext;

// A stream buffer that takes everything and keeps nothing.
class Discard : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Silences std::cout while it lives, once asked; `output` keeps the real
// standard output for what a command is asked to produce.
class QuietReport {
 public:
  QuietReport() : output_(std::cout.rdbuf()) {}
  ~QuietReport() {
    if (saved_ != nullptr) std::cout.rdbuf(saved_);
  }
  void Silence(CliContext& context) {
    context.output = &output_;
    saved_ = std::cout.rdbuf(&discard_);
  }

 private:
  Discard discard_;
  std::ostream output_;
  std::streambuf* saved_ = nullptr;
};

std::vector<std::string> CommandNames(CLI::App& program) {
  std::vector<std::string> names;
  for (const CLI::App* command : program.get_subcommands([](CLI::App*) { return true; })) {
    names.push_back(command->get_name());
  }
  return names;
}

// Says what is wrong with the command line on standard error; the exit
// status of a usage error.
int UsageFailure(CLI::App& program, const std::string& what) {
  const std::vector<CLI::App*> read = program.get_subcommands();
  const std::string who = "actualiz-cli" + (read.empty() ? "" : " " + read.front()->get_name());
  std::cerr << who << ": " << TerminalSafe(what) << "\nRun '" << who
            << " --help' for the options.\n";
  return 2;
}

// A word where the command name belongs that names no command.
int UnknownCommand(CLI::App& program, const std::string& word) {
  std::vector<std::string> names = CommandNames(program);
  std::cerr << "actualiz-cli: unknown command '" << TerminalSafe(word) << "'";
  if (const std::optional<std::string> meant = actualiz::cli::NearestWord(word, names)) {
    std::cerr << "; did you mean '" << *meant << "'?\n";
  } else {
    std::string all;
    for (const std::string& name : names) all += (all.empty() ? "" : ", ") + name;
    std::cerr << "; the commands are " << all << "\n";
  }
  std::cerr << "Run 'actualiz-cli --help' for what each does.\n";
  return 2;
}

// An option the command does not have, with the nearest one it has; empty
// when no word left over is an option.
std::string UnknownOption(const CLI::App& command) {
  for (std::string word : command.remaining()) {
    if (word.rfind("--", 0) != 0) continue;
    word = word.substr(0, word.find('='));
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options()) {
      for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    }
    std::string said = "unknown option '" + word + "'";
    if (const std::optional<std::string> meant = actualiz::cli::NearestWord(word, names)) {
      said += "; did you mean '" + *meant + "'?";
    }
    return said;
  }
  return "";
}

int ParseFailure(CLI::App& program, const CLI::ParseError& e) {
  if (e.get_exit_code() == 0) return program.exit(e);  // --help, --version
  if (program.get_subcommands().empty()) {
    // No command name was read: a plain word left over is a mistyped one.
    for (const std::string& word : program.remaining()) {
      if (!word.empty() && word.front() != '-') return UnknownCommand(program, word);
    }
    if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && program.remaining().empty()) {
      std::cerr << "actualiz-cli: a command is required\n\n" << program.help();
      return 2;
    }
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr && !program.get_subcommands().empty()) {
    const std::string unknown = UnknownOption(*program.get_subcommands().front());
    if (!unknown.empty()) return UsageFailure(program, unknown);
  }
  return UsageFailure(program, e.what());
}

}  // namespace

int main(int argc, char** argv) {
  using actualiz::cli::SharedOptions;
  CLI::App program{"actualiz-cli: keeps customer databases in step with their models"};
  program.require_subcommand(1);
  program.set_version_flag("--version", "actualiz-cli " ACTUALIZ_VERSION,
                           "Print the program's version and exit");
  CliContext context;
  SharedOptions before;
  AddSharedOptions(program, before);
  for (auto adder : actualiz::cli::Commands()) adder(program, context);
  // Each command takes the shared options after its name too; a map keeps
  // each command's values in place.
  std::map<const CLI::App*, SharedOptions> after;
  for (CLI::App* command : program.get_subcommands([](CLI::App*) { return true; })) {
    AddSharedOptions(*command, after[command]);
  }
  QuietReport quiet;
  // Runs once the whole line is read, before the command's own callback.
  program.parse_complete_callback([&] {
    const std::vector<CLI::App*> read = program.get_subcommands();
    const CLI::App* command = read.empty() ? nullptr : read.front();
    ApplySharedOptions(program, before, command, command ? &after[command] : nullptr, context);
    if (context.quiet) quiet.Silence(context);
  });
  try {
    program.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return ParseFailure(program, e);
  } catch (const actualiz::cli::UsageError& e) {
    return UsageFailure(program, e.what());
  } catch (const actualiz::Error& e) {
    std::cerr << "actualiz-cli: error " << TerminalSafe(e.what()) << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "actualiz-cli: " << TerminalSafe(e.what()) << "\n";
    return 1;
  }
  return context.exit_status;
}
