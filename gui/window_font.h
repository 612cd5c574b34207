// The window's font: the one its positions were laid out for.
//
// Every position of the window is in twips, drawn at 15 twips a pixel (96
// dots per inch). Its captions were sized for an 8-point sans serif whose
// widths are those of Arial; Liberation Sans has the same metrics, so the
// window asks for it by name at 8 points. On a machine without it the window
// takes Arial, else the default sans serif at 8 points, and says so, since
// some captions may then be cut.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace actualiz::gui {

inline constexpr int kWindowFontPoints = 8;

struct WindowFontChoice {
  QFont font;
  // Empty when the font the layout was made for is there; otherwise a line
  // for the operator naming the font taken instead.
  QString note;
};

// Picks the window's font among the font families `installed`
// (QFontDatabase::families() on the running system).
WindowFontChoice ChooseWindowFont(const QStringList& installed);

// The choice on this system; the note, if any, is written to standard error
// once per program.
QFont WindowFont();

}  // namespace actualiz::gui
