// A drive, a program directory and a window model for tests.
//
// TestSite maps a fresh temporary directory's "c" as drive c: and lays out
// the program directory "c:\prog" with its models folder "c:\prog\modelos",
// the data directory "c:\datos" and (unless told not to) the window's
// default data directory "c:\archivos de programa\vek 2000\bases", empty,
// and the three catalogues in "c:\Zarade". MakeWindow builds the window as
// the program does, with `op` as its operator and a log file in the
// temporary directory; start-up then records no failure.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/actualiz.h"
#include "platform/operator.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {

// Keeps every message shown, every question asked and whether the program
// was ended; answers every question with `answer`.
class RecordingOperator : public platform::Operator {
 public:
  void ShowMessage(std::string_view text, platform::MessageLook look) override {
    messages.push_back(app::Message{std::string(text), look});
  }
  bool AskYesNo(std::string_view question) override {
    questions.emplace_back(question);
    return answer;
  }
  void EndProgram() override { ended = true; }

  std::vector<app::Message> messages;
  std::vector<std::string> questions;
  bool answer = false;
  bool ended = false;
};

class TestSite {
 public:
  struct Options {
    bool catalogues = true;              // provision C:\Zarade\{indices,relacion,consulta}.mdb
    bool default_data_directory = true;  // "c:\archivos de programa\vek 2000\bases"
  };
  TestSite();
  explicit TestSite(Options options);

  // The host path of a Windows path on drive c: ("c:\datos\x.mdb"). Neither
  // needs to exist.
  std::string Host(const std::string& windows_path) const;
  // Creates the host directory of a Windows path, with its parents.
  void MakeDirectory(const std::string& windows_path) const;
  // Writes an empty file at a Windows path (its directory must exist).
  void Touch(const std::string& windows_path) const;
  // Creates a database at a Windows path from a JSON description
  // (engine/description.h); "{}" gives an empty database.
  void Database(const std::string& windows_path, const std::string& json = "{}") const;

  // The window, created as the program does. With `activate`, it runs
  // Activate() (Form_Activate) and then sets Dir1.Path to "c:\datos".
  std::unique_ptr<app::Actualiz> MakeWindow(bool activate = true);
  // The environment MakeWindow uses, for tests that build the window themselves.
  app::Environment MakeEnvironment();

  const TempDir& dir() const { return dir_; }
  std::string LogFile() const { return dir_.File("actualiz.log"); }
  platform::DriveMap drives;
  RecordingOperator op;

 private:
  TempDir dir_;
};

}  // namespace actualiz::testing
