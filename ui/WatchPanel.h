#pragma once
// How the main window shows the watch over the standby: two more columns of the info grid (the
// outcome of each server's step of the last pass; the lag beside the main server's, the last
// good load beside the reserve's, or, with one row, in the lag's tooltip), a line of the tray
// hint with the lag, the tray's warning and critical images, and a status panel of its own
// that names an alert. A broken log chain is critical: the status panel names its reason, the
// steps' cells turn the critical colour with the alert as their tooltip, and the tray's line
// says "chain broken" beside the critical image. The watch columns fit the window's default width: the folder column
// gives them the room they need. GUI thread only.
#include "engine/PassWatch.h"

#include <QString>

#include <memory>
#include <optional>

class QLabel;
class QStatusBar;
class QTableWidget;
class QTimer;

namespace tvr::ui {

class TTrayIcon;

class TWatchPanel {
public:
    // The first of the grid's watch columns; the grid's own four come before.
    static constexpr int kFirstColumn = 4;
    static constexpr int kColumns = 2;

    // Adds the status panel "PanelWatch" to `bar`; nothing is owned.
    TWatchPanel(QTableWidget* grid, TTrayIcon* tray, QStatusBar* bar);
    ~TWatchPanel();

    // The tray hint of a state ("Travenor\r\nSleeping..."), followed, once the watch has been
    // shown, by its lag line.
    void setStateHint(const QString& hint);
    // The watch as a tick shows it: the lag cell says its level in words and in its colour,
    // a change of level is a notification of the tray icon, and the status panel is as wide
    // as its text (the whole of it in its tooltip too).
    void show(const engine::TWatchView& view);
    // Once a second: while no tick shows the watch (processing stopped, or not yet started
    // since the program began), the lag goes on counting from where it counts; and a log file
    // that cannot be written (LogBacklog.h) is named in the status panel, and told by the
    // tray, while it lasts.
    void keepCounting(engine::WatchClock::time_point now);

private:
    // `critical`: the text in the critical colour.
    void setCell(int row, int column, const QString& text, const QString& tip = {},
                 bool critical = false);
    void fitColumns();
    void showHint();

    QTableWidget* grid_;
    TTrayIcon* tray_;
    QLabel* panel_;
    QString stateHint_;
    QString lagLine_;
    std::unique_ptr<QTimer> counting_;
    std::optional<engine::TWatchView> last_;
    std::optional<engine::WatchClock::time_point> lastShown_;
    int lastLevel_ = 0;
    std::optional<std::string> logFault_;
    // The status panel: the alert, and a log that cannot be written.
    void showPanel(const QString& alert, int level);
};

}  // namespace tvr::ui
