#include "cli/shared_options.h"

#include <cctype>
#include <filesystem>
#include <optional>

#include "base/terminal_text.h"

namespace actualiz::cli {

namespace {

// The drive letter of a "LETTER=DIR" option, lower case; none when the
// option is not written so.
std::optional<char> DriveLetter(const std::string& option) {
  if (option.size() < 3 || option[1] != '=' || !std::isalpha(static_cast<unsigned char>(option[0])))
    return std::nullopt;
  return static_cast<char>(std::tolower(static_cast<unsigned char>(option[0])));
}

void CheckDrives(const std::vector<std::string>& drives) {
  for (size_t i = 0; i < drives.size(); ++i) {
    const std::optional<char> letter = DriveLetter(drives[i]);
    if (!letter) {
      throw UsageError("--drive: a drive is given as LETTER=DIR, not '" + TerminalSafe(drives[i]) +
                       "'");
    }
    for (size_t j = 0; j < i; ++j) {
      if (DriveLetter(drives[j]) == letter) {
        // The drive map would keep only the last: say so rather than
        // work on a directory the caller may not have meant.
        throw UsageError("--drive: drive " + std::string(1, std::toupper(*letter)) +
                         ": is mapped twice ('" + TerminalSafe(drives[j]) + "' and '" +
                         TerminalSafe(drives[i]) + "')");
      }
    }
  }
}

// A single-valued option may come before the command name or after it, not both.
void CheckOnce(const CLI::App& program, const CLI::App* command, const std::string& name) {
  if (command != nullptr && program.count(name) > 0 && command->count(name) > 0) {
    throw UsageError(name + " is given both before and after the command name");
  }
}

}  // namespace

void AddSharedOptions(CLI::App& command, SharedOptions& options) {
  const std::string group = "Options before or after the command name";
  // One value per --drive, so that a word after it is never taken for a
  // second drive (a mistyped command name, for one).
  command
      .add_option("--drive", options.drives,
                  "Map a drive letter to a directory: LETTER=DIR (repeatable; c: defaults to "
                  "the per-user data directory)")
      ->type_name("LETTER=DIR")
      ->allow_extra_args(false)
      ->group(group);
  command
      .add_option("--program-dir", options.program_dir,
                  "The program directory, whose 'modelos' folder holds the models (default: the "
                  "executable's own)")
      ->type_name("DIR")
      ->group(group);
  command
      .add_option("--wait", options.wait_seconds,
                  "How long to wait for another run that holds the catalogues or the data "
                  "directory before giving up (default 5)")
      ->type_name("SECONDS")
      ->check(CLI::Validator(
          [](const std::string& value) -> std::string {
            try {
              size_t used = 0;
              const double seconds = std::stod(value, &used);
              if (used == value.size() && seconds >= 0) return "";
            } catch (const std::logic_error&) {
            }
            return "a number of seconds, 0 or more, not '" + TerminalSafe(value) + "'";
          },
          ""))
      ->group(group);
  command
      .add_flag("--quiet", options.quiet,
                "No progress and no report on standard output; errors still go to standard "
                "error and the exit status is the same")
      ->group(group);
  command
      .add_flag("--progress", options.progress,
                "Show progress on standard error even when it is not a terminal")
      ->group(group);
}

void ApplySharedOptions(const CLI::App& program, const SharedOptions& before,
                        const CLI::App* command, const SharedOptions* after, CliContext& context) {
  for (const char* name : {"--program-dir", "--wait"}) CheckOnce(program, command, name);
  context.drives = before.drives;
  context.program_dir = before.program_dir;
  context.wait_seconds = before.wait_seconds;
  context.quiet = before.quiet;
  context.progress = before.progress;
  if (after != nullptr) {
    context.drives.insert(context.drives.end(), after->drives.begin(), after->drives.end());
    if (command->count("--program-dir") > 0) context.program_dir = after->program_dir;
    if (command->count("--wait") > 0) context.wait_seconds = after->wait_seconds;
    context.quiet = context.quiet || after->quiet;
    context.progress = context.progress || after->progress;
  }
  CheckDrives(context.drives);
  if (context.quiet && context.progress) {
    throw UsageError("--quiet and --progress exclude each other");
  }
}

void AddJsonReportOption(CLI::App& command, std::string& file, const std::string& description) {
  command.add_option("--json", file, description)
      ->type_name("FILE")
      ->check(CLI::Validator(
          [](const std::string& path) -> std::string {
            if (path.empty() || path == "-") return "";
            // Found now rather than after a run that cannot report.
            const std::string directory = CliContext::DirectoryOf(path);
            std::error_code ec;
            if (std::filesystem::is_directory(directory, ec)) return "";
            return "the directory '" + TerminalSafe(directory) +
                   "' of the report file does not exist";
          },
          ""));
}

}  // namespace actualiz::cli
