#pragma once
// Sizes given in pixels for the design's font ("MS Sans Serif" 8 pt at 96 dpi, whose average
// character is 6 x 13 pixels) made to fit the font a widget really has: every length grows by
// the same factor, so proportions and layout stay those of the design while the text, in a
// wider or taller font or at 125 % and 150 % scale, keeps its room. Never below the design.
#include <QString>
#include <QWidget>

namespace tvr::ui {

// The factor for `widget`'s font: at least 1.
double designScale(const QWidget& widget);

// `pixels` of the design in `widget`'s font.
int scaled(const QWidget& widget, int pixels);

// The width a window needs to show `title` whole in its title bar: the text in the window's
// font and room for the icon and the three buttons beside it.
int titleRoom(const QWidget& window, const QString& title);

}  // namespace tvr::ui
