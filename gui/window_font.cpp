#include "gui/window_font.h"

#include <QFontDatabase>
#include <iostream>

namespace actualiz::gui {

namespace {
const char* const kLaidOutFor[] = {"Liberation Sans", "Arial"};
}  // namespace

WindowFontChoice ChooseWindowFont(const QStringList& installed) {
  for (const char* family : kLaidOutFor) {
    if (installed.contains(QLatin1String(family), Qt::CaseInsensitive)) {
      return {QFont(QLatin1String(family), kWindowFontPoints), {}};
    }
  }
  QFont fallback(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(), kWindowFontPoints);
  fallback.setStyleHint(QFont::SansSerif);
  const QString note =
      QStringLiteral(
          "the font Liberation Sans (Debian package fonts-liberation) is not installed; the "
          "window uses %1 at %2 points, and some captions may be cut")
          .arg(fallback.family())
          .arg(kWindowFontPoints);
  return {fallback, note};
}

QFont WindowFont() {
  const WindowFontChoice choice = ChooseWindowFont(QFontDatabase::families());
  static const bool told = [&] {
    if (!choice.note.isEmpty()) std::cerr << "actualiz: " << choice.note.toStdString() << "\n";
    return true;
  }();
  (void)told;
  return choice.font;
}

}  // namespace actualiz::gui
