// The window's own services to its handlers: opening databases through the
// drive map, the program directory, message boxes, the end of the program,
// and wiring the controls to the handlers they raise.
#include "app/actualiz.h"

#include <filesystem>
#include <utility>

#include "base/server_address.h"

namespace actualiz::app {

namespace {

// The address of a data directory on a server in its usual form. 3044 when
// it names a database in it rather than the directory; the server's error
// (3151) when it cannot be reached, so that Dir1 keeps its path.
std::string ServerLocation(const std::string& path) {
  const std::optional<ServerAddress> address = ParseServerAddress(path);
  if (!address->schema.empty()) {
    throw MakeError(err::kInvalidPath, {path},
                    "Dir1.Path = " + path + ": a data directory on a server is named .../DATABASE");
  }
  const std::string location = address->Display();
  engine::ListServerDatabases(location);
  return location;
}

}  // namespace

void Actualiz::Wire() {
  if (env_.op == nullptr) {
    throw Error(err::kInvalidArgument, "The window needs an operator", "Actualiz");
  }
  if (!env_.session) env_.session = std::make_shared<engine::Session>();
  Drive1.drives.clear();
  for (char letter : env_.drives.Drives()) Drive1.drives.push_back(std::string{letter, ':'});
  Drive1.OnChange([this] { Drive1_Change(); });

  // The directory list keeps whole Windows paths and refuses one that names
  // no directory, leaving its path as it was. A data directory on a server
  // is kept in its usual form, once the server has been reached.
  Dir1.resolve = [this](const std::string& path) {
    if (IsServerAddress(path)) return ServerLocation(path);
    std::string whole = env_.drives.Absolute(path);
    if (!platform::DirectoryExists(env_.drives, whole)) {
      env_.drives.ToHost(whole);  // an unmapped drive raises its own error first
      throw MakeError(err::kPathNotFound, "Dir1.Path = " + path);
    }
    return whole;
  };
  // The directory list starts on drive c's current directory, without
  // raising its change handler: the window is not active yet.
  Dir1.SetPath(env_.drives.CurrentDirectory('c'));
  Dir1.OnChange([this] { Dir1_Change(); });

  for (DataControl* data : {&Data1, &Data2}) {
    data->SetOpener([this](const std::string& path) { return OpenDatabase(path); });
  }
  // The catalogues are emptied and refilled by every capture: their commits
  // must be whole but need not wait for the disk.
  for (DataControl* data : {&Data3, &Data4, &Data5}) {
    data->SetOpener([this](const std::string& path) {
      Session().SetHandOff(env_.drives.ToHost(path));
      return OpenDatabase(path);
    });
  }
  Data2Grid.SetOpener([this](const std::string& path) { return OpenDatabase(path); });
  Data2Grid.OnFailure(
      [this](const std::string& what, const Error& e) { RecordFailure(what, e, true); });
  for (TextBox* box : Text1.Members()) Data3.Bind(*box);
  for (TextBox* box : Text6.Members()) Data4.Bind(*box);
  for (TextBox* box : campocon.Members()) Data5.Bind(*box);

  if (!env_.log_file.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(env_.log_file).parent_path(),
                                        ignored);
  }
  OpenCatalogue(Data3);
  OpenCatalogue(Data4);
  OpenCatalogue(Data5);
}

// A catalogue that cannot be opened leaves its data control without a
// record set; the handlers that use it fail at their first use of it.
void Actualiz::OpenCatalogue(DataControl& data) {
  HandlerScope scope(*this, "Form_Load");
  PassOver(data.Name() + ".Refresh " + data.DatabaseName(), [&] { data.Refresh(); });
}

Actualiz::~Actualiz() = default;

engine::DatabasePtr Actualiz::OpenDatabase(const std::string& path) {
  return engine::OpenDatabase(Session(), env_.drives.ToHost(path), path);
}

std::string Actualiz::ProgramDirectory() const {
  const std::string& dir = env_.program_dir;
  if (!dir.empty() && dir.front() == '/') {
    if (auto windows = env_.drives.FromHost(dir)) return *windows;
    std::string host = dir;
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    return host;
  }
  return env_.drives.Absolute(dir);
}

void Actualiz::SetMousePointer(int pointer) {
  mouse_pointer_ = pointer;
  if (listener_) listener_->MousePointerChanged(pointer);
}

Control* Actualiz::FindControl(std::string_view full_name) const {
  for (Control* control : controls_) {
    if (control->FullName() == full_name) return control;
  }
  return nullptr;
}

void Actualiz::SetListener(ControlListener* listener) {
  listener_ = listener;
  for (Control* control : controls_) control->SetListener(listener);
}

void Actualiz::MsgBox(const std::string& text, platform::MessageLook look) {
  messages_.push_back(Message{text, look});
  env_.op->ShowMessage(text, look);
}

bool Actualiz::AskToClose() {
  if (!Running()) return true;
  const std::string running = CurrentHandler().empty() ? "an action" : CurrentHandler();
  const bool close = env_.op->AskYesNo(
      "An operation is still running (" + running +
      "). Stop it and close the window?\n\nA batch stops before its next database; any other "
      "operation finishes first. What is done stays done.");
  AppendToLogFile("closing the window asked during " + running + ": " +
                  (close ? "the run stops, then the window closes" : "the run goes on"));
  if (close) stop_asked_ = true;
  return close;
}

void Actualiz::End() {
  ended_ = true;
  AppendToLogFile("program ended by " +
                  (CurrentHandler().empty() ? "the operator" : CurrentHandler()));
  env_.op->EndProgram();
  throw ProgramEnded{};
}

}  // namespace actualiz::app
