#include "ui/GridStretch.h"

#include <QEvent>
#include <QHeaderView>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>

namespace tvr::ui {
namespace {

class ColumnStretcher final : public QObject {
public:
    ColumnStretcher(QTableWidget& grid, int column) : QObject(&grid), grid_(grid), column_(column) {
        grid.viewport()->installEventFilter(this);
        connect(grid.horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
            if (section != column_) fill();
        });
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) fill();
        return QObject::eventFilter(watched, event);
    }

private:
    // Once the layout has settled: a window's resize reaches the grid and its viewport in
    // steps.
    void fillSoon() {
        if (pending_) return;
        pending_ = true;
        QTimer::singleShot(0, this, [this] {
            pending_ = false;
            fill();
        });
    }

    void fill() {
        // Resize events reach a grid only once it is on screen (the first as it is shown), so
        // the columns keep their starting widths until then.
        if (filling_) return;
        filling_ = true;
        int others = 0;
        for (int c = 0; c < grid_.columnCount(); ++c)
            if (c != column_) others += grid_.columnWidth(c);
        const int floor = grid_.horizontalHeader()->defaultSectionSize();
        // The grid's own width: its viewport follows it only once its layout has run again.
        const int room =
            grid_.contentsRect().width() -
            (grid_.verticalHeader()->isVisible() ? grid_.verticalHeader()->width() : 0);
        grid_.setColumnWidth(column_, std::max(floor, room - others));
        filling_ = false;
    }

    QTableWidget& grid_;
    int column_;
    bool filling_ = false;
    bool pending_ = false;
};

}  // namespace

void stretchColumn(QTableWidget& grid, int column) { new ColumnStretcher(grid, column); }

}  // namespace tvr::ui
