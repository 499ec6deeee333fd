#pragma once
// The History page of the main window: the passes of the last seven days as the pass history
// files beside the activity log record them, newest first and filtered by outcome, under a
// headline that says how far the reserve is behind, above a plot of the lag over the last 24
// hours or 7 days. The files are the record: the page reads them again when it is shown and
// every half minute while it stays on screen, so it shows what the worker wrote, whoever's run
// it was. GUI thread only.
#include "engine/PassHistory.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QTableView;
class QTimer;

namespace tvr::ui {

class TLagPlot;
class THistoryModel;

// "Reserve is N min behind (last good load HH:MM)": the lag as the watch counts it (now minus
// the start of the last good pass), the time the load of that pass ended; the day in front of
// the time when it was not today. Another sentence when the records hold no good pass.
QString historyHeadline(const std::vector<engine::TPassRecord>& records,
                        engine::HistoryClock::time_point now);

class THistoryView : public QWidget {
    Q_OBJECT
public:
    // How far back the page reads.
    static constexpr std::chrono::hours kDays{24 * 7};

    explicit THistoryView(QWidget* parent = nullptr);
    ~THistoryView() override;

    // Where the history files are, asked at each reading (the activity log's folder).
    void setFolder(std::function<std::string()> folder) { folder_ = std::move(folder); }
    // Reads the files again and shows them.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showRecords();

    std::function<std::string()> folder_;
    std::vector<engine::TPassRecord> records_;  // oldest first, as read
    engine::HistoryClock::time_point readAt_;
    QString readError_;
    QLabel* headline_ = nullptr;
    QComboBox* outcome_ = nullptr;
    QComboBox* span_ = nullptr;
    QTableView* table_ = nullptr;
    THistoryModel* model_ = nullptr;
    TLagPlot* plot_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace tvr::ui
