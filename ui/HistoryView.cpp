#include "ui/HistoryView.h"

#include "engine/WatchRules.h"
#include "ui/LagPlot.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

namespace tvr::ui {
namespace {

using engine::HistoryClock;
using engine::TPassRecord;

constexpr int kRefreshMs = 30000;

// The outcome filter's choices: caption, and the outcome word it keeps (none: every pass).
constexpr struct {
    const char* caption;
    const char* outcome;
} kOutcomes[] = {
    {"All passes", nullptr},
    {"ok", "ok"},
    {"dump failed", "dump failed"},
    {"load failed", "load failed"},
};

constexpr struct {
    const char* caption;
    int hours;
} kSpans[] = {{"Last 24 hours", 24}, {"Last 7 days", 24 * 7}};

constexpr const char* kColumns[] = {"Time", "Kind", "File",    "Size",
                                    "Dump", "Load", "Outcome", "Lag"};

QDateTime localTime(HistoryClock::time_point when) {
    return QDateTime::fromSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count());
}

// When the pass's load (or, without one, its dump) ended.
HistoryClock::time_point endOf(const TPassRecord& record) {
    const double seconds = record.dumpSeconds + record.loadSeconds.value_or(0.0);
    return record.start + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

QString secondsText(double seconds) { return QString::number(seconds, 'f', 1) + " s"; }

QString bytesText(std::uintmax_t bytes) {
    constexpr const char* kUnits[] = {"B", "KB", "MB", "GB", "TB"};
    double size = double(bytes);
    int unit = 0;
    while (size >= 1024 && unit < 4) {
        size /= 1024;
        ++unit;
    }
    return unit == 0 ? QStringLiteral("%1 B").arg(bytes)
                     : QString::number(size, 'f', 1) + ' ' + kUnits[unit];
}

}  // namespace

// The shown passes, newest first.
class THistoryModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRecords(std::vector<TPassRecord> records) {
        beginResetModel();
        records_ = std::move(records);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(records_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(std::size(kColumns));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return QString::fromLatin1(kColumns[section]);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const TPassRecord& record = records_[std::size_t(index.row())];
        if (role == Qt::ForegroundRole && !record.good()) return QColor(255, 0, 0);
        if (role == Qt::TextAlignmentRole && index.column() >= 3 && index.column() != 6)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole) return {};
        switch (index.column()) {
            case 0:
                return localTime(record.start).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            case 1:
                return QString::fromLatin1(engine::passKindText(record.kind));
            case 2:
                return QString::fromStdString(record.file);
            case 3:
                return record.bytes ? bytesText(*record.bytes) : QString();
            case 4:
                return secondsText(record.dumpSeconds);
            case 5:
                return record.loadSeconds ? secondsText(*record.loadSeconds) : QString();
            case 6:
                return QString::fromStdString(record.outcome) +
                       (record.error ? QStringLiteral(" (%1)").arg(record.error) : QString());
            case 7:
                return QString::fromStdString(engine::lagText(record.lag));
            default:
                return {};
        }
    }

private:
    std::vector<TPassRecord> records_;
};

QString historyHeadline(const std::vector<TPassRecord>& records, HistoryClock::time_point now) {
    const auto good = std::find_if(records.rbegin(), records.rend(),
                                   [](const TPassRecord& record) { return record.good(); });
    if (good == records.rend()) return QStringLiteral("No good load in the last 7 days");
    const auto behind = std::chrono::duration_cast<std::chrono::minutes>(now - good->start);
    const QDateTime loaded = localTime(endOf(*good));
    const QString when = loaded.date() == localTime(now).date()
                             ? loaded.toString(QStringLiteral("HH:mm"))
                             : loaded.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    return QStringLiteral("Reserve is %1 min behind (last good load %2)")
        .arg(std::max<long long>(behind.count(), 0))
        .arg(when);
}

THistoryView::THistoryView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    headline_ = new QLabel(this);
    headline_->setObjectName(QStringLiteral("LabelHistoryHeadline"));
    QFont bold = headline_->font();
    bold.setBold(true);
    headline_->setFont(bold);
    layout->addWidget(headline_);

    auto* choices = new QHBoxLayout;
    outcome_ = new QComboBox(this);
    outcome_->setObjectName(QStringLiteral("ComboHistoryOutcome"));
    for (const auto& choice : kOutcomes) outcome_->addItem(QString::fromLatin1(choice.caption));
    span_ = new QComboBox(this);
    span_->setObjectName(QStringLiteral("ComboLagSpan"));
    for (const auto& choice : kSpans) span_->addItem(QString::fromLatin1(choice.caption));
    auto* outcomeLabel = new QLabel(QStringLiteral("Outcome:"), this);
    outcomeLabel->setBuddy(outcome_);
    auto* spanLabel = new QLabel(QStringLiteral("Lag over:"), this);
    spanLabel->setBuddy(span_);
    choices->addWidget(outcomeLabel);
    choices->addWidget(outcome_);
    choices->addStretch(1);
    choices->addWidget(spanLabel);
    choices->addWidget(span_);
    layout->addLayout(choices);

    auto* split = new QSplitter(Qt::Vertical, this);
    model_ = new THistoryModel(this);
    table_ = new QTableView(split);
    table_->setObjectName(QStringLiteral("GridHistory"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    plot_ = new TLagPlot(split);
    plot_->setObjectName(QStringLiteral("PlotLag"));
    split->addWidget(table_);
    split->addWidget(plot_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setChildrenCollapsible(false);
    layout->addWidget(split, 1);

    connect(outcome_, &QComboBox::currentIndexChanged, this, [this] { showRecords(); });
    connect(span_, &QComboBox::currentIndexChanged, this, [this] { showRecords(); });
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &THistoryView::refresh);
}

THistoryView::~THistoryView() = default;

void THistoryView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    timer_->start();
}

void THistoryView::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

void THistoryView::refresh() {
    readAt_ = HistoryClock::now();
    records_.clear();
    readError_.clear();
    const std::string folder = folder_ ? folder_() : std::string();
    if (!folder.empty()) {
        try {
            records_ = engine::readPassHistory(folder, readAt_ - kDays);
        } catch (const std::system_error& error) {
            readError_ = QStringLiteral("The pass history cannot be read: ") +
                         QString::fromLocal8Bit(error.what());
        }
    }
    std::erase_if(records_, [&](const TPassRecord& r) { return r.start < readAt_ - kDays; });
    showRecords();
}

void THistoryView::showRecords() {
    headline_->setText(readError_.isEmpty() ? historyHeadline(records_, readAt_) : readError_);
    const char* kept = kOutcomes[std::max(outcome_->currentIndex(), 0)].outcome;
    std::vector<TPassRecord> shown;
    std::vector<TLagPoint> points;
    for (auto record = records_.rbegin(); record != records_.rend(); ++record) {
        if (!kept || record->outcome == kept) shown.push_back(*record);
        points.push_back({endOf(*record), record->lag, record->good()});
    }
    // The line ends at this moment, with the lag that has grown since the last good pass.
    const auto good = std::find_if(records_.rbegin(), records_.rend(),
                                   [](const TPassRecord& record) { return record.good(); });
    if (good != records_.rend())
        points.push_back(
            {readAt_, std::chrono::duration_cast<std::chrono::seconds>(readAt_ - good->start)});
    model_->setRecords(std::move(shown));
    table_->resizeColumnsToContents();
    plot_->setPoints(std::move(points), readAt_,
                     std::chrono::hours(kSpans[std::max(span_->currentIndex(), 0)].hours));
}

}  // namespace tvr::ui
