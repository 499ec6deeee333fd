// The log view's wrapped mode: each line on screen laid out at the view's width, as many rows
// as it needs, kept while it stays in sight and laid out again when the width changes.
#include "ui/LogView.h"

#include <QPainter>
#include <QScrollBar>
#include <QTextOption>

#include <algorithm>

namespace tvr::ui {
namespace {

constexpr int kMargin = 2;

}  // namespace

void TLogView::layOut(Shaped& line) const {
    const int height = lineHeight();
    // At least a few characters a row, so a view squeezed to nothing still ends its rows.
    const int width =
        std::max(viewport()->width() - 2 * kMargin, 4 * QFontMetrics(fonts_[0]).averageCharWidth());
    line.layout = std::make_unique<QTextLayout>(line.text, fonts_[line.font]);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    line.layout->setTextOption(option);
    line.layout->setCacheEnabled(true);
    line.layout->beginLayout();
    int rows = 0;
    for (QTextLine row = line.layout->createLine(); row.isValid();
         row = line.layout->createLine()) {
        row.setLineWidth(width);
        row.setPosition(QPointF(0, rows * height));
        ++rows;
    }
    line.layout->endLayout();
    line.rows = std::max(rows, 1);
}

std::size_t TLogView::topShowing(std::size_t last) {
    const int room = viewport()->height();
    const int height = lineHeight();
    int used = shapedLine(last).rows * height;
    std::size_t first = last;
    while (first > 0) {
        const int next = shapedLine(first - 1).rows * height;
        if (used + next > room) break;
        used += next;
        --first;
    }
    return first;
}

void TLogView::paintWrapped(QPainter& painter) {
    const int height = lineHeight();
    const std::size_t lines = count();
    const std::size_t first = std::min(topLine(), lines);
    forgetShapedOutside(first, std::min(lines, first + std::size_t(visibleLines()) + 1));
    const Position from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    const QPointF origin(kMargin, 0);
    int top = 0;
    for (std::size_t i = first; i < lines && top < viewport()->height(); ++i) {
        const Shaped& line = shapedLine(i);
        QList<QTextLayout::FormatRange> selection;
        if (hasSelection() && i >= from.line && i <= to.line) {
            QTextLayout::FormatRange range;
            range.start = i == from.line ? from.column : 0;
            range.length = (i == to.line ? to.column : int(line.text.size())) - range.start;
            range.format.setBackground(palette().highlight());
            range.format.setForeground(palette().highlightedText());
            // A line break inside the selection shows as the rest of the row selected.
            if (i != to.line) range.format.setProperty(QTextFormat::FullWidthSelection, true);
            selection.append(range);
        }
        painter.setPen(penFor(line));
        line.layout->draw(&painter, origin + QPointF(0, top), selection);
        if (caretShown_ && i == caret_.line)
            line.layout->drawCursor(&painter, origin + QPointF(0, top), caret_.column);
        top += line.rows * height;
    }
    if (caretShown_ && lines == 0) {
        painter.fillRect(QRect(kMargin, 0, 1, height), palette().color(QPalette::Text));
    }
}

TLogView::Position TLogView::wrappedPositionAt(const QPoint& point) {
    const std::size_t lines = count();
    if (lines == 0) return {};
    const int height = lineHeight();
    int top = 0;
    for (std::size_t i = std::min(topLine(), lines - 1);; ++i) {
        const Shaped& line = shapedLine(i);
        const int bottom = top + line.rows * height;
        if (point.y() < bottom || i + 1 == lines) {
            const int row = std::clamp((point.y() - top) / height, 0, line.rows - 1);
            const QTextLine hit = line.layout->lineAt(row);
            if (!hit.isValid()) return {i, 0};
            return {i, hit.xToCursor(point.x() - kMargin)};
        }
        top = bottom;
    }
}

}  // namespace tvr::ui
