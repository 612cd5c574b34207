// The window's icon, drawn at run time in the sixteen colours of the classic
// display palette: a database drum with an arrow pointing up, for "brought up
// to date". One picture of 32 by 32 pixels and one of 16 by 16.
#pragma once

#include <QIcon>
#include <QImage>

namespace actualiz::gui {

// The icon's picture at `size` pixels (16 or 32; other sizes are drawn to scale).
QImage WindowIconImage(int size);
// Both pictures.
QIcon WindowIcon();

}  // namespace actualiz::gui
