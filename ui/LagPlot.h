#pragma once
// A plot of how far the reserve was behind over a span of time that ends now: one point per
// pass at the moment it ended, at the lag it left, and a last point at now with the lag of
// this moment. Painted by hand: a line, a grid of four rows and the times and minutes at its
// edges are all it needs. GUI thread only.
#include <QWidget>

#include <chrono>
#include <vector>

namespace tvr::ui {

using PlotClock = std::chrono::system_clock;

struct TLagPoint {
    PlotClock::time_point when;
    std::chrono::seconds lag{0};
    bool good = true;  // a failed pass is marked in the critical colour
    bool operator==(const TLagPoint&) const = default;
};

class TLagPlot : public QWidget {
    Q_OBJECT
public:
    explicit TLagPlot(QWidget* parent = nullptr);

    // The points within [now - span, now], in time order; those outside are left out.
    void setPoints(std::vector<TLagPoint> points, PlotClock::time_point now,
                   std::chrono::hours span);
    const std::vector<TLagPoint>& points() const { return points_; }
    std::chrono::hours span() const { return span_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<TLagPoint> points_;
    PlotClock::time_point now_;
    std::chrono::hours span_{24};
};

}  // namespace tvr::ui
