// The options every command takes, before its name or after it:
//
//   actualiz-cli --drive c=/srv/c batch --data 'c:\datos'
//   actualiz-cli batch --drive c=/srv/c --data 'c:\datos'
//
// are the same run. Each place keeps its own values; once the whole command
// line is read they are gathered into the CliContext: the drives of both
// places together, a single-valued option from the place that gave it. A
// mistake among them is a usage error, raised before any command runs: a
// drive not written LETTER=DIR, one letter mapped twice (c= and C= are the
// same drive), --program-dir or --wait given in both places, --quiet with
// --progress.
#pragma once

#include <string>
#include <vector>

#include "cli/command.h"

namespace actualiz::cli {

struct SharedOptions {
  std::vector<std::string> drives;
  std::string program_dir;
  double wait_seconds = 5;
  bool quiet = false;
  bool progress = false;
};

// Declares the shared options on `command` (the program itself or one of
// its commands), stored in `options`, which must outlive the parse.
void AddSharedOptions(CLI::App& command, SharedOptions& options);

// Gathers `before` (given on `program`, before the command name) and
// `after` (given on `command`, the command that was read; both null when
// none was) into `context`. UsageError when they do not fit together.
void ApplySharedOptions(const CLI::App& program, const SharedOptions& before,
                        const CLI::App* command, const SharedOptions* after, CliContext& context);

// Declares `--json FILE` on `command`: the report as JSON, to FILE, or to
// standard output for "-". A FILE whose directory does not exist is a
// usage error, found before anything runs.
void AddJsonReportOption(CLI::App& command, std::string& file, const std::string& description);

}  // namespace actualiz::cli
