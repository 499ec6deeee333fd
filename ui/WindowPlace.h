#pragma once
// Where a window stands on the desktop: within the screen it is on, frame and title bar
// included, so that at a large scale on a small screen its menu bar never lies off the top;
// and, for the main window, where the user left it (config/WindowSettings.h). GUI thread only.
class QWidget;

namespace tvr::ui {

// Makes `window` (a top-level window, shown or not) no larger than the available area of the
// screen it is on, its minimum size included, and moves it onto that area.
// Before the window is shown its frame is guessed (a title bar in its font and a border).
void fitOnScreen(QWidget& window);
// The same once the window system has told the frame of the shown window; nothing before.
void fitShownOnScreen(QWidget& window);

// Puts `window` where it was saved, when that place still lies on a screen; then fits it on
// the screen. The window keeps its size and place when nothing is saved or the file cannot
// be read.
void restoreWindowPlace(QWidget& window);
// Saves the place of `window` (its normal place when it is maximised); a registry file that
// cannot be written throws RegistryError.
void saveWindowPlace(const QWidget& window);

}  // namespace tvr::ui
