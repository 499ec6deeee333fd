#include "ui/LagPlot.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tvr::ui {
namespace {

constexpr int kRows = 4;

// The top of the minutes axis: a round number of minutes at or above the largest lag, so
// that the grid's rows fall on whole minutes.
long long axisMinutes(const std::vector<TLagPoint>& points) {
    long long most = 0;
    for (const TLagPoint& point : points) most = std::max<long long>(most, point.lag.count());
    const long long minutes = (most + 59) / 60;
    for (long long step : {1, 2, 5, 10, 15, 30, 60, 120, 240, 480, 1440})
        if (minutes <= step * kRows) return step * kRows;
    return (minutes / 1440 + 1) * 1440;
}

QString timeLabel(PlotClock::time_point when, std::chrono::hours span) {
    const QDateTime time = QDateTime::fromSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count());
    return time.toString(span > std::chrono::hours(24) ? QStringLiteral("MM-dd HH:mm")
                                                       : QStringLiteral("HH:mm"));
}

}  // namespace

TLagPlot::TLagPlot(QWidget* parent) : QWidget(parent) {
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void TLagPlot::setPoints(std::vector<TLagPoint> points, PlotClock::time_point now,
                         std::chrono::hours span) {
    std::erase_if(points, [&](const TLagPoint& p) { return p.when < now - span || p.when > now; });
    std::stable_sort(points.begin(), points.end(),
                     [](const TLagPoint& a, const TLagPoint& b) { return a.when < b.when; });
    points_ = std::move(points);
    now_ = now;
    span_ = span;
    update();
}

QSize TLagPlot::sizeHint() const {
    return {fontMetrics().averageCharWidth() * 60, fontMetrics().height() * 9};
}

QSize TLagPlot::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 30, fontMetrics().height() * 5};
}

void TLagPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = fontMetrics();
    const long long top = axisMinutes(points_);
    const QString topLabel = QStringLiteral("%1 min").arg(top);
    const int left = metrics.horizontalAdvance(topLabel) + 8;
    const QRect area(left, metrics.height() / 2, std::max(width() - left - 8, 1),
                     std::max(height() - 2 * metrics.height() - 4, 1));

    const QColor text = palette().color(QPalette::Text);
    QColor grid = text;
    grid.setAlpha(50);
    painter.setPen(grid);
    for (int row = 0; row <= kRows; ++row) {
        const int y = area.top() + area.height() * row / kRows;
        painter.drawLine(area.left(), y, area.right(), y);
    }
    painter.setPen(text);
    painter.drawText(QRect(0, area.top() - metrics.height() / 2, left - 4, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, topLabel);
    painter.drawText(QRect(0, area.bottom() - metrics.height() / 2, left - 4, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    const int labelTop = area.bottom() + 4;
    painter.drawText(QRect(area.left(), labelTop, area.width(), metrics.height()), Qt::AlignLeft,
                     timeLabel(now_ - span_, span_));
    painter.drawText(QRect(area.left(), labelTop, area.width(), metrics.height()), Qt::AlignRight,
                     timeLabel(now_, span_));
    if (points_.empty()) {
        painter.drawText(area, Qt::AlignCenter, QStringLiteral("No passes in this time"));
        return;
    }

    const double spanSeconds = double(std::chrono::seconds(span_).count());
    const auto at = [&](const TLagPoint& point) {
        const double sinceStart = double(
            std::chrono::duration_cast<std::chrono::seconds>(point.when - (now_ - span_)).count());
        return QPointF(
            area.left() + area.width() * sinceStart / spanSeconds,
            area.bottom() - area.height() * double(point.lag.count()) / (double(top) * 60.0));
    };
    QPainterPath line;
    line.moveTo(at(points_.front()));
    for (const TLagPoint& point : points_) line.lineTo(at(point));
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawPath(line);
    painter.setPen(Qt::NoPen);
    for (const TLagPoint& point : points_) {
        if (point.good) continue;
        painter.setBrush(QColor(255, 0, 0));
        painter.drawEllipse(at(point), 3, 3);
    }
}

}  // namespace tvr::ui
