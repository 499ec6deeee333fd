#include "ui/WatchPanel.h"

#include "ui/TrayIcon.h"

#include <QLabel>
#include <QStatusBar>
#include <QTableWidget>

namespace tvr::ui {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

constexpr int kColumnWidths[TWatchPanel::kColumns] = {150, 120, 96};

}  // namespace

TWatchPanel::TWatchPanel(QTableWidget* grid, TTrayIcon* tray, QStatusBar* bar)
    : grid_(grid), tray_(tray), panel_(new QLabel(bar)) {
    panel_->setObjectName(QStringLiteral("PanelWatch"));
    panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addPermanentWidget(panel_, 1);
}

void TWatchPanel::setStateHint(const QString& hint) {
    stateHint_ = hint;
    showHint();
}

void TWatchPanel::show(const engine::TWatchView& view) {
    if (grid_->columnCount() < kFirstColumn + kColumns) {
        grid_->setColumnCount(kFirstColumn + kColumns);
        for (int i = 0; i < kColumns; ++i)
            grid_->setColumnWidth(kFirstColumn + i, kColumnWidths[i]);
    }
    const bool reserve = !view.reserveOutcome.empty() && grid_->rowCount() > 1;
    const int last = reserve ? 1 : 0;
    setCell(0, kFirstColumn, qs(view.mainOutcome));
    if (reserve) setCell(1, kFirstColumn, qs(view.reserveOutcome));
    setCell(last, kFirstColumn + 1, qs(view.lastGood));
    setCell(last, kFirstColumn + 2, qs(view.lag));
    setCell(1 - last, kFirstColumn + 1, QString());
    setCell(1 - last, kFirstColumn + 2, QString());

    const int level = static_cast<int>(view.level);
    tray_->setAlertLevel(level);
    lagLine_ = qs(view.lag) +
               (level > 0 ? QStringLiteral(" ") + engine::AlertLevelName(view.level) : QString());
    showHint();
    panel_->setText(qs(view.alert));
    panel_->setStyleSheet(level >= 2   ? QStringLiteral("color: #c00000; font-weight: bold;")
                          : level == 1 ? QStringLiteral("color: #8a6d00; font-weight: bold;")
                                       : QString());
}

void TWatchPanel::setCell(int row, int column, const QString& text) {
    if (row < 0 || row >= grid_->rowCount()) return;
    QTableWidgetItem* item = grid_->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        grid_->setItem(row, column, item);
    }
    item->setText(text);
}

void TWatchPanel::showHint() {
    tray_->setHint(lagLine_.isEmpty() ? stateHint_
                                      : stateHint_ + QStringLiteral("\r\n") + lagLine_);
}

}  // namespace tvr::ui
