// The window `Actualiz`, captioned "Añade Pomerd", as a model without Qt.
//
// The window owns every control and all state that outlives one operation.
// Every operation is one of its handlers (Command1_Click ... Command26_Click,
// Drive1_Change, Dir1_Change, Form_Activate); handlers take no arguments,
// read their inputs from the controls, leave their results there and start
// one another by calling each other. Each subsystem defines its handlers in
// its own folder (tables/, indexes/, relations/, queries/, migrations/).
//
// Rules of failure:
//  - a handler without a rule of its own lets an Error travel to its caller;
//  - PassOver runs one statement and, when it fails, records the failure in
//    the run log and goes on;
//  - Click raises a handler as the operator's click does: a failure that
//    reaches the top is recorded and shown as a critical message with its
//    number and text, and the program keeps running.
// End() ends the program at once: it tells the front end and unwinds every
// running handler with ProgramEnded, which no rule passes over.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/controls.h"
#include "app/run_log.h"
#include "base/error.h"
#include "engine/engine.h"
#include "platform/drive_map.h"
#include "platform/file_system.h"
#include "platform/operator.h"

namespace actualiz::app {

// Unwinds the running handlers when the program ends.
struct ProgramEnded {};

// Where the window finds its files.
struct Environment {
  platform::DriveMap drives;         // must map at least "c"
  std::string program_dir;           // Windows or host path of the program's directory
  platform::Operator* op = nullptr;  // message boxes and program end; never null once built
  std::string log_file;              // host path the run log is appended to; "" for none
  // How long a run that writes waits for another run's lock (app/run_locks.h).
  std::chrono::milliseconds lock_wait{5000};
  // Set non-zero (to the signal's number) by the front end when the operator
  // asks a running batch to stop; the batch stops at its next safe point,
  // between two databases. Null when nothing can ask.
  const std::atomic<int>* stop = nullptr;
  // The engine session every database of the window opens in: its storage,
  // kept connections, grouped changes and hand-off files. Null: the window
  // makes one of its own.
  std::shared_ptr<engine::Session> session;
};

// A message box the window showed.
struct Message {
  std::string text;
  platform::MessageLook look;
};

class Actualiz {
 public:
  // Creates the window with the design values of its controls and opens the
  // three catalogues in Data3, Data4 and Data5. A catalogue that cannot be
  // opened leaves its data control without a record set; it is recorded in
  // the run log (once) and the Parts that use it fail at first use.
  explicit Actualiz(Environment env);
  ~Actualiz();
  Actualiz(const Actualiz&) = delete;
  Actualiz& operator=(const Actualiz&) = delete;

  // ---- the window ----
  static constexpr const char* kCaption = "Añade Pomerd";
  // The data directory start-up sets, and the one it falls back to when
  // that cannot be set.
  static constexpr const char* kDefaultDataDirectory = "c:\\archivos de programa\\vek 2000\\bases";
  static constexpr const char* kFallbackDataDirectory = "c:\\";
  static constexpr int kClientWidth = 4245;   // twips
  static constexpr int kClientHeight = 2235;  // twips
  int MousePointer() const { return mouse_pointer_; }
  void SetMousePointer(int pointer);
  bool Ended() const { return ended_; }
  const std::vector<Message>& Messages() const { return messages_; }
  RunLog& Log() { return log_; }
  const RunLog& Log() const { return log_; }
  const Environment& Env() const { return env_; }
  // Whether the running batch has been asked to stop: by the front end
  // (Environment::stop) or by the operator closing the window (AskToClose).
  bool StopRequested() const {
    return stop_asked_ || (env_.stop != nullptr && env_.stop->load() != 0);
  }
  // Whether an action of the operator (a click, or a pick or an edit under
  // AtTop) is being carried out now, its messages included.
  bool Running() const { return actions_running_ > 0; }
  // The operator asks to close the window. With no action running, returns
  // true at once. While one runs, asks the operator whether to stop it; on
  // yes the run is asked to stop at its next safe point (the batch between
  // two databases; any other handler runs to its end) and true is returned:
  // the window closes once the action has returned. On no, nothing changes
  // and false is returned. The answer is appended to the log file.
  bool AskToClose();
  // Every control, containers before their contents, in inventory order.
  const std::vector<Control*>& Controls() const { return controls_; }
  Control* FindControl(std::string_view full_name) const;  // "List1(3)", nullptr if none
  void SetListener(ControlListener* listener);

  // ---- raising handlers ----
  // Names of every handler, and raising one by name as a click does (see
  // the rules of failure above). Returns false when a failure reached the
  // top; ProgramEnded passes through.
  static const std::vector<std::string>& HandlerNames();
  bool Click(std::string_view handler);
  // Runs an operator's action (picking a drive or a directory, typing) under
  // the same top-level rule as Click.
  bool AtTop(std::string_view what, const std::function<void()>& action);
  // Starts the window as the program does: Form_Activate, once.
  void Activate();

  // ---- handlers ----
  void Form_Activate();
  void Command14_Click();  // "Salir"
  void Drive1_Change();
  void Dir1_Change();
  void Command1_Click();   // "SEL"
  void Command7_Click();   // "SELECCIONAR"
  void Command15_Click();  // "Bases Añadir"
  void Command2_Click();   // "Lista de Campos"
  void Command3_Click();   // "Llenar DBGRID"
  void Command4_Click();   // "Añadir Campo"
  void Command5_Click();   // "Borrar Campos"
  void Command6_Click();   // "Lista de Tablas"
  void Command9_Click();   // "Crear Tabla"
  void Command10_Click();  // "Lista Campos Origen"
  void Command11_Click();  // "Lista Campos Destino"
  void Command12_Click();  // "Recorrer Tablas"
  void Command8_Click();   // "Igualar BBDD"
  void Command13_Click();  // batch "Transformar"
  void Command17_Click();  // "Lista de Indices Destino"
  void Command18_Click();  // "Borra los indices"
  void Command19_Click();  // "Lista de Indices Modelo"
  void Command16_Click();  // "Copia los indices"
  void Command22_Click();  // "Lista Relaciones"
  void Command20_Click();  // "Borrar Relacion"
  void Command21_Click();  // "Crea Relacion"
  void Command24_Click();  // "Lista de Consultas"
  void Command23_Click();  // "Iguala Consultas"
  void Command25_Click();  // histoprod "Transformar"
  void Command26_Click();  // pomerd "Transformar"

  // ---- controls ----
  // Declared containers first, so that each control is built after the
  // frame that holds it (app/inventory.cpp gives their design values).
  ControlArray<Frame> Frame1, Frame2, Frame11;
  Frame Frame3, Frame4, Frame5, Frame6, Frame7, Frame8, Frame9, Frame10, Frame12, Frame13;
  DriveListBox Drive1;
  DirListBox Dir1;
  CommandButton Command1, Command2, Command3, Command4, Command5, Command6, Command7, Command8,
      Command9, Command10, Command11, Command12, Command13, Command14, Command15, Command16,
      Command17, Command18, Command19, Command20, Command21, Command22, Command23, Command24,
      Command25, Command26;
  Label Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8;
  ProgressBar Bar1, Bar2, Bar3, Bar4, Bar5, Bar6;
  ListBox List2, List3, List4, List6, List7, List8, List10;
  ControlArray<ListBox> List1, List5, List9, List11;
  TextBox Text2, Text3, Text4, Text5;
  ControlArray<TextBox> Text1, Text6, campocon;
  DataControl Data1, Data2, Data3, Data4, Data5;
  // The sample bench's grid of Data2's rows, which the window shows below
  // the table tools; its failures to read are passed over and recorded.
  RecordGrid Data2Grid;

  // ---- shared helpers of the handlers ----
  // The engine session of the window (Environment::session).
  engine::Session& Session() const { return *env_.session; }
  // Opens a database named by a Windows path (or a host path), through the
  // drive map; Name() reports the path as given. Fails as the engine does
  // (3024 missing, 3343 not a database), 68 for an unmapped drive.
  engine::DatabasePtr OpenDatabase(const std::string& path);
  // The program directory as the handlers join it: a Windows path when it
  // lies on a mapped drive ("c:\prog", or "c:\" at a drive root, the only
  // case with a trailing backslash), else the host path.
  std::string ProgramDirectory() const;
  // Shows a message box (recorded in Messages()).
  void MsgBox(const std::string& text, platform::MessageLook look = platform::MessageLook::kPlain);
  // Ends the program at once.
  [[noreturn]] void End();
  // Records a change made to a database in the run log (and the log file);
  // `database` defaults to the target path in Text4.
  void RecordChange(ChangeKind kind, ObjectRef object, std::string_view database = {},
                    std::string_view definition = {});

  // The rule of passing over failures: runs `statement`; when it raises an
  // Error the failure is recorded in the run log (handler, `what`, the
  // database in Text4) and the run goes on. Returns whether it succeeded.
  template <class F>
  bool PassOver(std::string_view what, F&& statement) {
    try {
      statement();
      return true;
    } catch (const Error& e) {
      RecordFailure(what, e, true);
      return false;
    }
  }
  // Records a failure in the run log (and the log file): the running
  // handler, `what` was being done, the database concerned (`database`,
  // by default the one in Text4) and the error.
  void RecordFailure(std::string_view what, const Error& e, bool passed_over,
                     std::string_view database = {});

  // Shows the failures a handler passes over when the operator raised it on
  // its own: while the object lives, every failure passed over is kept,
  // and Show() puts them before the operator in one critical message, as a
  // failure that reaches the top is shown. Raised by another handler (a
  // chain, the batch), the handler keeps them recorded only. Handlers open
  // it right after their HandlerScope.
  class PassedOverShownAlone {
   public:
    explicit PassedOverShownAlone(Actualiz& window);
    ~PassedOverShownAlone();
    PassedOverShownAlone(const PassedOverShownAlone&) = delete;
    PassedOverShownAlone& operator=(const PassedOverShownAlone&) = delete;
    // One critical message naming each failure kept (at most ten, then how
    // many more the run log holds); nothing when none was kept.
    void Show();

   private:
    Actualiz& window_;
    bool alone_;
    std::vector<Failure> kept_;
  };

  // Marks the running handler for the run log; handlers open with
  // `HandlerScope scope(*this, "Command16_Click");`.
  class HandlerScope {
   public:
    HandlerScope(Actualiz& window, const char* name);
    ~HandlerScope();
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

   private:
    Actualiz& window_;
  };
  std::string CurrentHandler() const;  // "" when no handler runs

 private:
  using Handler = void (Actualiz::*)();
  // The handler of that name (app/handler_table.cpp); nullptr when none.
  static Handler FindHandler(std::string_view name);
  void Wire();
  void OpenCatalogue(DataControl& data);
  bool RunAtTop(std::string_view what, const std::function<void()>& action);
  void ReportAtTop(std::string_view what, const Error& e);
  void AppendToLogFile(const std::string& line) const;

  // The relation removal and creation, and the query equalisation, as the
  // listings run them: `kept` names (exactly) the relations or queries the
  // listing found the target already holds as the chain would build them
  // again, in a place that keeping them does not change. Those are neither
  // deleted nor created; the creation records each as kept. Pressed on
  // their own the handlers keep nothing.
  void RemoveRelations(const std::set<std::string>& kept);
  void CreateRelations(const std::set<std::string>& kept);
  void EqualiseQueries(const std::set<std::string>& kept);

  // The sample-database bench's routines (app/sample_bench.cpp). AppendX
  // appends the three bench fields to "Empleados"; AnexarEliminarCampo
  // appends ("APPEND") or deletes ("DELETE") one field of `tdfTemp`, any
  // other command doing nothing, and shows a message instead when the table
  // cannot be changed. `TIPO` and `size` matter only for "APPEND".
  void AppendX();
  void AnexarEliminarCampo(const engine::TableDefPtr& tdfTemp, const std::string& strComando,
                           const std::string& strNombre, std::int16_t TIPO, std::int16_t size);
  friend class SampleBenchAccess;  // the bench's tests call AnexarEliminarCampo directly

  Environment env_;
  std::vector<Control*> controls_;
  ControlListener* listener_ = nullptr;
  // The innermost handler that a failure unwound, for the message at the top.
  std::string failure_site_;
  std::vector<std::string> handler_stack_;
  // Where failures passed over are kept for the operator; null when no
  // handler raised on its own asks for them.
  std::vector<Failure>* kept_failures_ = nullptr;
  int actions_running_ = 0;
  bool stop_asked_ = false;
  std::vector<Message> messages_;
  RunLog log_;
  int mouse_pointer_ = 0;
  bool ended_ = false;
  bool activated_ = false;
};

}  // namespace actualiz::app
