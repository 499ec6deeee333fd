#include "ui/WatchPanel.h"

#include "client/LogBacklog.h"
#include "ui/TrayIcon.h"

#include <QBrush>
#include <QColor>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>

namespace tvr::ui {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

// The grid's column of the dump and load folders, the widest of the design's.
constexpr int kFolderColumn = 3;

// The colours of the alert levels, as the status panel and the grid show them.
const QColor kCriticalColour(0xc0, 0x00, 0x00);
const QColor kWarningColour(0x8a, 0x6d, 0x00);

}  // namespace

TWatchPanel::TWatchPanel(QTableWidget* grid, TTrayIcon* tray, QStatusBar* bar)
    : grid_(grid), tray_(tray), panel_(new QLabel(bar)) {
    panel_->setObjectName(QStringLiteral("PanelWatch"));
    panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addPermanentWidget(panel_, 1);
    counting_ = std::make_unique<QTimer>();
    QObject::connect(counting_.get(), &QTimer::timeout,
                     [this] { keepCounting(engine::WatchClock::now()); });
    counting_->start(1000);
}

TWatchPanel::~TWatchPanel() = default;

void TWatchPanel::setStateHint(const QString& hint) {
    stateHint_ = hint;
    showHint();
}

void TWatchPanel::keepCounting(engine::WatchClock::time_point now) {
    if (const auto fault = client::logWriteFault(); fault != logFault_) {
        logFault_ = fault;
        tray_->notify(QStringLiteral("Travenor"),
                      fault ? qs(*fault) : QStringLiteral("The logs can be written again"),
                      fault ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
        showPanel(last_ ? qs(last_->alert) : QString(), lastLevel_);
    }
    if (!last_ || !last_->lagFrom || !lastShown_) return;
    // A tick shows the watch every second while a run goes on.
    if (now - *lastShown_ < std::chrono::seconds(3)) return;
    engine::TWatchView view = *last_;
    const auto lag = std::chrono::duration_cast<std::chrono::seconds>(now - *view.lagFrom);
    view.lag = "lag " + engine::lagText(std::max(lag, std::chrono::seconds(0)));
    const auto shown = lastShown_;
    show(view);
    lastShown_ = shown;
}

void TWatchPanel::show(const engine::TWatchView& view) {
    last_ = view;
    lastShown_ = engine::WatchClock::now();
    if (grid_->columnCount() < kFirstColumn + kColumns)
        grid_->setColumnCount(kFirstColumn + kColumns);
    const bool reserve = grid_->rowCount() > 1;
    // A broken chain is named on the steps' cells too: the failed one says which error.
    const bool broken = !view.chainBreak.empty();
    const QString stepTip = broken ? qs(view.alert) : QString();
    setCell(0, kFirstColumn, qs(view.mainOutcome), stepTip, broken);
    setCell(1, kFirstColumn, qs(view.reserveOutcome), stepTip, broken);
    // The level in words too, for whoever cannot tell the colours apart.
    const int level = static_cast<int>(view.level);
    const QString levelWords =
        level > 0 ? QStringLiteral(" (") + engine::alertLevelName(view.level) + ")" : QString();
    setCell(0, kFirstColumn + 1, qs(view.lag) + levelWords, qs(view.lastGood), level >= 2);
    if (level == 1) grid_->item(0, kFirstColumn + 1)->setForeground(QBrush(kWarningColour));
    setCell(1, kFirstColumn + 1, reserve ? qs(view.lastGood) : QString());
    fitColumns();

    tray_->setAlertLevel(level);
    if (level != lastLevel_) {
        // Each change of level, up or down, is told where the desktop tells such things.
        tray_->notify(
            QStringLiteral("Travenor"),
            level > 0 ? qs(view.alert) : QStringLiteral("Reserve caught up: ") + qs(view.lag),
            level >= 2   ? QSystemTrayIcon::Critical
            : level == 1 ? QSystemTrayIcon::Warning
                         : QSystemTrayIcon::Information);
        lastLevel_ = level;
    }
    // The tray's critical image says how grave; the line says why (it must fit the hint).
    lagLine_ =
        qs(view.lag) + (broken      ? QStringLiteral(" chain broken")
                        : level > 0 ? QStringLiteral(" ") + engine::alertLevelName(view.level)
                                    : QString());
    showHint();
    showPanel(qs(view.alert), level);
}

void TWatchPanel::showPanel(const QString& alert, int level) {
    QString text = alert;
    if (logFault_) text += (text.isEmpty() ? QString() : QStringLiteral("; ")) + qs(*logFault_);
    panel_->setText(text);
    panel_->setToolTip(text);
    panel_->setStyleSheet(level >= 2 ? QStringLiteral("color: #c00000; font-weight: bold;")
                          : level == 1 || logFault_
                              ? QStringLiteral("color: #8a6d00; font-weight: bold;")
                              : QString());
    // Never cut: the status bar, and so the window, is at least as wide as the alert (in the
    // bold its style gives it).
    panel_->ensurePolished();
    QFont bold = panel_->font();
    bold.setBold(true);
    panel_->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(panel_->text()) +
                            2 * panel_->frameWidth() + 8);
}

void TWatchPanel::setCell(int row, int column, const QString& text, const QString& tip,
                          bool critical) {
    if (row < 0 || row >= grid_->rowCount()) return;
    QTableWidgetItem* item = grid_->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        grid_->setItem(row, column, item);
    }
    item->setText(text);
    item->setToolTip(tip);
    item->setForeground(critical ? QBrush(kCriticalColour) : QBrush());
}

void TWatchPanel::fitColumns() {
    // A watch column grows to its longest text and never shrinks back, so that it does not
    // jump as the texts change every second.
    const QFontMetrics metrics(grid_->font());
    const int margins =
        2 * (grid_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid_) + 1) +
        metrics.averageCharWidth();
    for (int column = kFirstColumn; column < kFirstColumn + kColumns; ++column) {
        int need = 0;
        for (int row = 0; row < grid_->rowCount(); ++row)
            if (const QTableWidgetItem* item = grid_->item(row, column))
                need = std::max(need, metrics.horizontalAdvance(item->text()) + margins);
        if (need > grid_->columnWidth(column)) grid_->setColumnWidth(column, need);
    }
    // Beyond the grid's width, the folder column gives up the difference, down to the width
    // of the other columns. A window never shown yet has not laid out its grid.
    const int room = grid_->isVisible() ? grid_->viewport()->width() : grid_->window()->width();
    int used = 0;
    for (int column = 0; column < grid_->columnCount(); ++column)
        used += grid_->columnWidth(column);
    if (used <= room) return;
    const int floor = grid_->horizontalHeader()->defaultSectionSize();
    const int folder = grid_->columnWidth(kFolderColumn);
    if (folder > floor)
        grid_->setColumnWidth(kFolderColumn, std::max(floor, folder - (used - room)));
}

void TWatchPanel::showHint() {
    tray_->setHint(lagLine_.isEmpty() ? stateHint_
                                      : stateHint_ + QStringLiteral("\r\n") + lagLine_);
}

}  // namespace tvr::ui
