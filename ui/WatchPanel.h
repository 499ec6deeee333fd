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

class QLabel;
class QStatusBar;
class QTableWidget;

namespace tvr::ui {

class TTrayIcon;

class TWatchPanel {
public:
    // The first of the grid's watch columns; the grid's own four come before.
    static constexpr int kFirstColumn = 4;
    static constexpr int kColumns = 2;

    // Adds the status panel "PanelWatch" to `bar`; nothing is owned.
    TWatchPanel(QTableWidget* grid, TTrayIcon* tray, QStatusBar* bar);

    // The tray hint of a state ("Travenor\r\nSleeping..."), followed, once the watch has been
    // shown, by its lag line.
    void setStateHint(const QString& hint);
    void show(const engine::TWatchView& view);

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
};

}  // namespace tvr::ui
