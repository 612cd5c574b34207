// The batch's progress panel on a terminal.
//
// The window keeps its progress panel (the status label Label4 and the bars
// Bar1 to Bar6 with their labels) in a frame nobody sees; the batch command
// draws it instead. The panel listens to the window: it redraws when a
// handler repaints Frame13 and when the status label changes. On a terminal
// the panel is redrawn in place with ANSI escapes; otherwise each change is
// written as one plain line, and a line equal to the previous one is left
// out.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/actualiz.h"

namespace actualiz::cli {

class ProgressPanel : public app::ControlListener {
 public:
  // `window` and `out` must outlive the panel. `in_place` redraws the panel
  // over itself (for a terminal).
  ProgressPanel(const app::Actualiz& window, std::ostream& out, bool in_place);

  void ControlChanged(const app::Control& control) override;
  void Refreshed(const app::Control& control) override;

  // Draws the panel as it stands, if it changed since it was last drawn.
  void Draw();

  // The panel as lines: the status label, then each bar with its label.
  std::vector<std::string> Lines() const;
  // The panel as one line: "clientes.mdb | Bases: 1/3 | Tablas: 2/4 | ...".
  std::string Line() const;

 private:
  const app::Actualiz& window_;
  std::ostream& out_;
  bool in_place_;
  std::vector<std::string> drawn_;  // what is on the screen (in place) or the last line
};

// True when standard error, where the panel is drawn, is a terminal.
bool StandardErrorIsTerminal();

}  // namespace actualiz::cli
