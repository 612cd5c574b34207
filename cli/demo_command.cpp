// actualiz-cli demo --into DIR [--from DEMO]
//
// Lays out a demo drive to try the batch on: DIR/c, to be mapped as c:, with
//   c:\prog\modelos\*.mdb   the models, from DEMO/models/*.json
//   c:\datos\*.mdb          the customer databases, from DEMO/datos/*.json
//   c:\Zarade\              the three catalogues
//   c:\Neptuno.mdb          the sample database, from DEMO/neptuno.json if present
// and prints the commands that run the batch on it. DEMO is the folder of
// JSON descriptions; without --from it is the "demo" folder beside the
// executable or beside the folder that holds it (the source tree's, for a
// build directory inside it). DIR must not exist or be empty.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/catalogues.h"
#include "cli/command.h"
#include "engine/description/description.h"
#include "platform/file_system.h"

namespace actualiz::cli {

namespace fs = std::filesystem;

namespace {

struct DemoOptions {
  std::string into;
  std::string from;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MakeError(err::kFileNotFoundOs, path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

fs::path FindDemoFolder(const std::string& from) {
  if (!from.empty()) {
    if (!fs::is_directory(fs::path(from) / "models")) {
      throw MakeError(err::kPathNotFound, "no demo descriptions in " + from);
    }
    return from;
  }
  const fs::path exe = platform::ExecutableDirectory();
  for (const fs::path& candidate : {exe / "demo", exe.parent_path() / "demo"}) {
    if (fs::is_directory(candidate / "models")) return candidate;
  }
  throw MakeError(err::kPathNotFound,
                  "no demo descriptions beside " + exe.string() + "; give --from DIR");
}

// Creates one database per description in `descriptions` (NAME.json gives
// NAME.mdb), in name order. Returns the file names created.
std::vector<std::string> CreateDatabases(const fs::path& descriptions, const fs::path& into) {
  std::vector<fs::path> sources;
  if (fs::is_directory(descriptions)) {
    for (const auto& entry : fs::directory_iterator(descriptions)) {
      if (entry.path().extension() == ".json") sources.push_back(entry.path());
    }
  }
  std::sort(sources.begin(), sources.end());
  fs::create_directories(into);
  std::vector<std::string> created;
  for (const fs::path& source : sources) {
    const std::string name = source.stem().string() + ".mdb";
    try {
      engine::CreateFromDescription((into / name).string(),
                                    engine::ParseDescription(ReadText(source)));
    } catch (const Error& e) {
      throw Error(e.Number(), e.Text(), source.string() + ": " + e.Context());
    }
    created.push_back(name);
  }
  return created;
}

// A word for a POSIX shell: quoted when it holds anything but plain characters.
std::string ShellWord(const std::string& word) {
  const bool plain = std::all_of(word.begin(), word.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("/._-=+,:@").find(c) != std::string_view::npos;
  });
  if (plain && !word.empty()) return word;
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Listing(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out.empty() ? "(none)" : out;
}

int LayOutDemo(const DemoOptions& options) {
  const fs::path into = fs::absolute(options.into);
  if (fs::exists(into) && !(fs::is_directory(into) && fs::is_empty(into))) {
    std::cerr << "actualiz-cli demo: " << into.string()
              << " already exists and is not empty; choose another place or remove it\n";
    return 1;
  }
  const fs::path demo = FindDemoFolder(options.from);
  const fs::path drive_c = into / "c";
  fs::create_directories(drive_c);

  const std::vector<std::string> models =
      CreateDatabases(demo / "models", drive_c / "prog" / "modelos");
  const std::vector<std::string> targets = CreateDatabases(demo / "datos", drive_c / "datos");
  platform::DriveMap drives;
  drives.Map('c', drive_c.string());
  app::ProvisionCatalogues(drives);
  const bool sample = fs::exists(demo / "neptuno.json");
  if (sample) {
    engine::CreateFromDescription((drive_c / "Neptuno.mdb").string(),
                                  engine::ParseDescription(ReadText(demo / "neptuno.json")));
  }

  const std::string cli =
      ShellWord((fs::path(platform::ExecutableDirectory()) / "actualiz-cli").string());
  const std::string drive_options = " --drive " + ShellWord("c=" + drive_c.string()) +
                                    " --program-dir " + ShellWord((drive_c / "prog").string());
  const std::string run = cli + drive_options + " batch --data " + ShellWord("c:\\datos");
  const fs::path window_program = fs::path(platform::ExecutableDirectory()) / "actualiz";
  std::cout << "Demo drive laid out in " << drive_c.string() << " (map it as c:)\n"
            << "  c:\\prog\\modelos  models: " << Listing(models) << "\n"
            << "  c:\\datos          customer databases: " << Listing(targets) << "\n"
            << "  c:\\Zarade         catalogues: indices.mdb, relacion.mdb, consulta.mdb\n";
  if (sample) std::cout << "  c:\\Neptuno.mdb    sample database\n";
  std::cout << "\nRun the batch on it, with the report on the terminal:\n  " << run
            << "\nor also as JSON:\n  " << run << " --json "
            << ShellWord((into / "report.json").string()) << "\n";
  if (fs::exists(window_program)) {
    std::cout << "\nOpen the window on it (choose c:\\datos in the directory list):\n  "
              << ShellWord(window_program.string()) << drive_options << "\n";
  }
  std::cout << "\nDrive the window from the command line, e.g. the whole update:\n  " << cli
            << drive_options << " window " << ShellWord("set Dir1=c:\\datos")
            << " Command13_Click\n";
  return 0;
}

void AddDemoCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<DemoOptions>();
  CLI::App* command = app.add_subcommand(
      "demo", "Lay out a demo drive with models, customer databases and catalogues");
  command->add_option("--into", options->into, "Where to lay it out (must not exist or be empty)")
      ->required();
  command->add_option("--from", options->from,
                      "The folder of demo descriptions (default: 'demo' beside the executable "
                      "or its parent folder)");
  command->callback([&context, options] { context.exit_status = LayOutDemo(*options); });
}

}  // namespace

ACTUALIZ_COMMAND(AddDemoCommand);

}  // namespace actualiz::cli
