// "Transformar" (Command13_Click): the batch driver.
//
// For every target database in List6 that has a model of exactly the same
// file name in List7 (upper and lower case distinct; app/database_pair.h
// holds the rule and the paths), the driver points
// Text3 at the model ("<program directory>\modelos\<name>") and Text4 at the
// target ("<Dir1.Path>\<name>") and runs the stages in order: table listing,
// equalisation, table listing again (so the walk sees the new tables), table
// walk, then the index, relation and query chains. Afterwards it lists the
// models without a target in List8 and copies each into the data directory.
//
// Paths are joined as they stand: a data directory at a drive root gives a
// doubled separator ("c:\\clientes.mdb"), which the drive map resolves.
//
// A target takes all its pair's changes in one transaction, committed (and
// on disk) after the last stage: a run killed or a connection lost in the
// middle leaves the target as it was before the pair, the later stages of
// the pair fail at once, and the commit records that nothing of the pair
// was kept.
//
// Before the stages of a pair the driver opens the model and the target
// once: when the engine refuses either (damaged, missing, held by another
// program), that failure is recorded once for the pair and its stages are
// not run.
//
// The whole run passes over failures: a failing step or stage is recorded in
// the run log with where it happened and the run goes on, so the status
// label always ends on "Proceso Terminado" and the pointer always comes
// back. A copy never replaces an existing file; a refused copy is recorded
// against the database it would have replaced. A model is copied only when
// the engine opens it; an Access model is converted first
// (tables/model_copy_in.h).
//
// A copy is written to a hidden ".NAME.mdb.copy-N" beside its destination
// and linked under NAME.mdb when whole, so a run killed mid-copy leaves that
// hidden file behind. Before it copies, the driver removes such leftovers
// from the data directory (only files of exactly that pattern, and never one
// a copy of another run is still writing), each removal in the run log.
//
// A stop asked by the front end (Environment::stop) is honoured between two
// pairs and between two copies, never inside a stage: the pairs already
// done stay done, the rest are not started, no model is copied in after
// it, and the status label ends on "Proceso Interrumpido".
//
// The status label is repainted at once whenever it names the next step, as
// the progress frame is after each move of the database bar, so that the
// window shows where the run stands while it runs.
#include "app/actualiz.h"
#include "app/database_pair.h"
#include "base/server_address.h"
#include "platform/file_system.h"
#include "tables/model_copy_in.h"

namespace actualiz::app {

namespace {

constexpr int kHourglass = 11;
constexpr int kDefaultPointer = 0;

// Removes the copy leftovers of the data directory, recording each removal
// and each failure against the directory.
void RemoveCopyLeftovers(Actualiz& window) {
  const std::string directory = window.Dir1.Path();
  // A server leaves no files behind: a create that fails drops its schema.
  if (IsServerAddress(directory)) return;
  std::vector<std::string> leftovers;
  if (!window.PassOver("copy leftovers of " + directory, [&] {
        leftovers = platform::CopyLeftovers(window.Env().drives, directory);
      })) {
    return;
  }
  for (const std::string& name : leftovers) {
    try {
      if (platform::RemoveCopyLeftover(window.Env().drives, directory + "\\" + name)) {
        window.RecordChange(ChangeKind::kCopyLeftoverRemoved, {{}, name}, directory);
      }
    } catch (const Error& e) {
      window.RecordFailure("remove " + name, e, true, directory);
    }
  }
}

}  // namespace

void Actualiz::Command13_Click() {
  HandlerScope scope(*this, "Command13_Click");
  // The stages open each model and target hundreds of times; a closed
  // database's connection is kept for the next open, until the run ends.
  engine::KeepClosedConnections keep_connections{Session()};
  // A stage's changes through one open target reach the disk together when
  // it closes the target, each still whole on its own.
  engine::GroupChangesUntilClose group_changes{Session()};
  SetMousePointer(kHourglass);

  const int targets = List6.ListCount();
  if (targets > 0) {
    PassOver("Bar1", [&] {
      Bar1.SetValue(0);
      Bar1.SetMax(static_cast<float>(targets));
    });
    for (int i = 0; i < targets && !StopRequested(); ++i) {
      PassOver("Bar1", [&] { Bar1.SetValue(static_cast<float>(i + 1)); });
      PassOver("Label4", [&] {
        Label4.SetCaption(List7.Text());
        Label4.Refresh();
      });
      PassOver("Frame13.Refresh", [&] { Frame13.Refresh(); });
      PassOver("List6.ListIndex", [&] { List6.SetListIndex(i); });
      const int models = List7.ListCount();
      for (int j = 0; j < models; ++j) {
        bool paired = false;
        PassOver("List7.ListIndex", [&] {
          List7.SetListIndex(j);
          paired = IsModelOf(List7.Text(), List6.Text());
        });
        if (!paired) continue;
        const DatabasePair pair = PairFor(*this, List7.Text());
        const std::string& name = pair.name;
        PassOver("Label4", [&] {
          Label4.SetCaption(name);
          Label4.Refresh();
        });
        PassOver("Text3", [&] { Text3.SetText(pair.model); });
        PassOver("Text4", [&] { Text4.SetText(pair.target); });
        // A model or a target the engine cannot open fails every stage
        // alike, and the stages after a failed listing would work from the
        // previous pair's lists: such a pair fails once, here.
        // The target takes the pair's changes in one transaction, committed
        // once its stages are done: a failure that ends it leaves the
        // target as it was.
        engine::GroupChangesUntilCommit pair_changes{Session()};
        if (!PassOver("OpenDatabase " + Text3.Text(),
                      [&] { OpenDatabase(Text3.Text())->Close(); }) ||
            !PassOver("OpenDatabase " + Text4.Text(),
                      [&] { OpenDatabase(Text4.Text())->Close(); })) {
          continue;
        }
        PassOver("Command6_Click", [&] { Command6_Click(); });
        PassOver("Command8_Click", [&] { Command8_Click(); });
        PassOver("Command6_Click", [&] { Command6_Click(); });
        PassOver("Command12_Click", [&] { Command12_Click(); });
        PassOver("Command17_Click", [&] { Command17_Click(); });
        PassOver("Command22_Click", [&] { Command22_Click(); });
        PassOver("Command24_Click", [&] { Command24_Click(); });
        // A stage that ended without closing its target stored its changes
        // when the target was dropped; a failure there is this pair's.
        const std::string store = std::string(kStoreChangesOf) + name;
        PassOver(store, [&] { group_changes.RaiseUnreported(); });
        PassOver(store, [&] { pair_changes.Commit(); });
      }
    }
  }

  if (StopRequested()) {
    PassOver("Label4", [&] { Label4.SetCaption("Proceso Interrumpido"); });
    SetMousePointer(kDefaultPointer);
    return;
  }
  PassOver("Label4", [&] {
    Label4.SetCaption("Añadiendo bases de datos nuevas");
    Label4.Refresh();
  });
  PassOver("Command15_Click", [&] { Command15_Click(); });
  RemoveCopyLeftovers(*this);
  const int new_models = List8.ListCount();
  for (int k = 0; k < new_models && !StopRequested(); ++k) {
    std::string destination;
    try {
      List8.SetListIndex(k);
      const DatabasePair pair = PairFor(*this, List8.Text());
      destination = pair.target;
      CopyModelIn(*this, pair.model, destination);
      RecordChange(ChangeKind::kDatabaseCopied, {{}, List8.Text()}, destination);
    } catch (const Error& e) {
      // Recorded against the database it was meant to become, not the last
      // pair's target that Text4 still names.
      RecordFailure("copy " + List8.Text(), e, true, destination);
    }
  }
  PassOver("Label4", [&] {
    Label4.SetCaption(StopRequested() ? "Proceso Interrumpido" : "Proceso Terminado");
  });
  SetMousePointer(kDefaultPointer);
}

}  // namespace actualiz::app
