// Start-up and exit.
//
// Form_Activate lists the model databases of the models directory in List7
// (List7 is not cleared: it is filled once per start) and points Dir1 at the
// default data directory, whose change handler lists the target databases
// in List6. When that directory cannot be set, or cannot be listed, the
// data directory becomes the root of drive c instead; the failure is only
// recorded in the run log. A failure while listing the models is not
// caught here.
#include "app/actualiz.h"
#include "app/database_pair.h"

namespace actualiz::app {

void Actualiz::Form_Activate() {
  HandlerScope scope(*this, "Form_Activate");
  // A program directory at a drive root gives "c:\\modelos\*.mdb"; the
  // listing reads the doubled separator as one.
  const std::string pattern = ModelsDirectory(ProgramDirectory()) + "\\*.mdb";
  platform::DirectoryLister lister(env_.drives);
  for (std::string name = lister.First(pattern); !name.empty(); name = lister.Next()) {
    if (name != "." && name != "..") List7.AddItem(name);
  }

  try {
    Dir1.SetPath(kDefaultDataDirectory);
  } catch (const Error& e) {
    RecordFailure(std::string("Dir1.Path = ") + kDefaultDataDirectory, e, true);
    Dir1.SetPath(kFallbackDataDirectory);
  }
}

void Actualiz::Command14_Click() {
  HandlerScope scope(*this, "Command14_Click");
  End();
}

}  // namespace actualiz::app
