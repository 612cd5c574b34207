#include "cli/progress_panel.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/terminal_text.h"

namespace actualiz::cli {

namespace {

constexpr int kBarWidth = 24;

// A bar's value and maximum as the panel writes them: whole numbers without
// a decimal point.
std::string Number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

std::string Counter(const app::ProgressBar& bar) {
  return Number(bar.Value()) + "/" + Number(bar.Max());
}

// "[#######.........]": the bar drawn clamped, as the window draws it; a
// maximum of 0 or less shows an empty bar.
std::string Drawing(const app::ProgressBar& bar) {
  float share = bar.Max() > 0 ? bar.Value() / bar.Max() : 0.0f;
  share = std::clamp(share, 0.0f, 1.0f);
  const int filled = static_cast<int>(std::lround(share * kBarWidth));
  return "[" + std::string(static_cast<size_t>(filled), '#') +
         std::string(static_cast<size_t>(kBarWidth - filled), '.') + "]";
}

struct BarRow {
  const app::ProgressBar* bar;
  const app::Label* label;
};

std::vector<BarRow> Rows(const app::Actualiz& window) {
  return {{&window.Bar1, &window.Label1}, {&window.Bar2, &window.Label2},
          {&window.Bar3, &window.Label3}, {&window.Bar4, &window.Label6},
          {&window.Bar5, &window.Label7}, {&window.Bar6, &window.Label8}};
}

// Labels padded to one width; the captions are short and mostly ASCII, so
// padding by bytes is close enough.
std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

}  // namespace

ProgressPanel::ProgressPanel(const app::Actualiz& window, std::ostream& out, bool in_place)
    : window_(window), out_(out), in_place_(in_place) {}

void ProgressPanel::ControlChanged(const app::Control& control) {
  if (&control == &window_.Label4) Draw();
}

void ProgressPanel::Refreshed(const app::Control& control) {
  if (&control == &window_.Frame13) Draw();
}

std::vector<std::string> ProgressPanel::Lines() const {
  // The captions name databases and tables of the files: escaped, so that
  // none can move the cursor or hide a line.
  std::vector<std::string> lines{TerminalSafe(window_.Label4.Caption())};
  for (const BarRow& row : Rows(window_)) {
    lines.push_back("  " + Padded(TerminalSafe(row.label->Caption()), 9) + Drawing(*row.bar) + " " +
                    Counter(*row.bar));
  }
  return lines;
}

std::string ProgressPanel::Line() const {
  std::string line = TerminalSafe(window_.Label4.Caption());
  for (const BarRow& row : Rows(window_)) {
    line += " | " + TerminalSafe(row.label->Caption()) + " " + Counter(*row.bar);
  }
  return line;
}

void ProgressPanel::Draw() {
  if (!in_place_) {
    std::vector<std::string> line{Line()};
    if (line == drawn_) return;
    out_ << line.front() << "\n" << std::flush;
    drawn_ = std::move(line);
    return;
  }
  std::vector<std::string> lines = Lines();
  if (lines == drawn_) return;
  // Back to the panel's first line, then each line cleared and rewritten.
  if (!drawn_.empty()) out_ << "\x1b[" << drawn_.size() << "A";
  for (const std::string& line : lines) out_ << "\r\x1b[2K" << line << "\n";
  out_ << std::flush;
  drawn_ = std::move(lines);
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace actualiz::cli
