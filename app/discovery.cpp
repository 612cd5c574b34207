// The data directory and the lists of databases.
//
// List6 always holds the "*.mdb" entries of Dir1's path (files and
// directories alike, in the listing's order; for a data directory on a
// server, its schemas as "NAME.mdb" in the same order); it is rebuilt on every change
// of the directory, and only after the new directory could be listed, so a
// failing listing leaves the previous names. List8 holds the entries of
// List7 that have no entry of exactly the same name (case counts) in List6;
// it is rebuilt only when Command15_Click runs, which leaves the last entry
// of List7 and of List6 selected for the handlers that read them next.
#include "app/actualiz.h"
#include "base/server_address.h"

namespace actualiz::app {

void Actualiz::Drive1_Change() {
  HandlerScope scope(*this, "Drive1_Change");
  Dir1.SetPath(Drive1.Drive());
}

void Actualiz::Dir1_Change() {
  HandlerScope scope(*this, "Dir1_Change");
  const std::string path = Dir1.Path();
  if (IsServerAddress(path)) {
    const std::vector<std::string> names = engine::ListServerDatabases(path);
    List6.Clear();
    for (const std::string& name : names) List6.AddItem(name);
    return;
  }
  // A drive root already ends in a backslash: "c:\*.mdb", not "c:\\*.mdb".
  const std::string pattern =
      (!path.empty() && path.back() == '\\') ? path + "*.mdb" : path + "\\*.mdb";
  platform::DirectoryLister lister(env_.drives);
  std::string name = lister.First(pattern);
  List6.Clear();
  while (!name.empty()) {
    if (name != "." && name != "..") List6.AddItem(name);
    name = lister.Next();
  }
}

void Actualiz::Command15_Click() {
  HandlerScope scope(*this, "Command15_Click");
  List8.Clear();
  const int models = List7.ListCount();
  for (int i = 0; i < models; ++i) {
    List7.SetListIndex(i);
    bool found = false;
    const int targets = List6.ListCount();
    for (int j = 0; j < targets; ++j) {
      List6.SetListIndex(j);
      if (List7.Text() == List6.Text()) found = true;
    }
    if (!found) List8.AddItem(List7.Text());
  }
}

// "SEL" and "SELECCIONAR" carry no action: the paths in Text3 and Text4 are
// typed by the operator or set by the batch and the migrations.
void Actualiz::Command1_Click() {}
void Actualiz::Command7_Click() {}

}  // namespace actualiz::app
