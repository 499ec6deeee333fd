#pragma once
// A grid whose one column takes up what the others leave of the grid's width, as the window
// grows or shrinks or the user widens another column, never narrower than the grid's default
// column width; a width the user gives that column by hand stays until the grid's width
// changes. GUI thread only.
class QTableWidget;

namespace tvr::ui {

void stretchColumn(QTableWidget& grid, int column);

}  // namespace tvr::ui
