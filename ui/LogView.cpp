#include "ui/LogView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace tvr::ui {
namespace {

constexpr int kMargin = 2;
constexpr int kRefreshMs = 25;

QColor colourOf(client::LogColour colour, const QPalette& palette) {
    switch (colour) {
        case client::LogColour::Red:
            return QColor(255, 0, 0);
        case client::LogColour::Green:
            return QColor(0, 128, 0);
        case client::LogColour::Default:
            break;
    }
    return palette.color(QPalette::Text);
}

int toInt(std::size_t value) { return static_cast<int>(std::min<std::size_t>(value, INT_MAX)); }

}  // namespace

TLogView::TLogView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    changeEvent(nullptr);
}

void TLogView::changeEvent(QEvent* event) {
    if (!event || event->type() == QEvent::FontChange) {
        for (int i = 0; i < 4; ++i) {
            fonts_[i] = font();
            fonts_[i].setBold(i & 1);
            fonts_[i].setUnderline(i & 2);
        }
        updateScrollRanges();
        viewport()->update();
    }
    if (event) QAbstractScrollArea::changeEvent(event);
}

QString TLogView::lineText(std::size_t line) const {
    const std::string_view text = lines_.text(line);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const QFont& TLogView::fontFor(std::size_t line) const {
    return fonts_[(lines_.bold(line) ? 1 : 0) + (lines_.underline(line) ? 2 : 0)];
}

int TLogView::lineHeight() const { return std::max(QFontMetrics(fonts_[1]).height(), 1); }

int TLogView::visibleLines() const { return std::max(viewport()->height() / lineHeight(), 1); }

std::size_t TLogView::firstVisibleLine() const {
    refresh();
    return static_cast<std::size_t>(verticalScrollBar()->value());
}

bool TLogView::atEnd() const {
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

std::string TLogView::text() const {
    std::string out;
    for (std::size_t i = 0; i < lines_.count(); ++i) {
        if (i) out += '\n';
        out += lines_.text(i);
    }
    return out;
}

void TLogView::updateScrollRanges() {
    const int visible = visibleLines();
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setRange(0, std::max(toInt(lines_.count()) - visible, 0));
    const int widest =
        toInt(lines_.longest()) * QFontMetrics(fonts_[1]).averageCharWidth() + 2 * kMargin;
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(QFontMetrics(fonts_[0]).averageCharWidth() * 4);
    horizontalScrollBar()->setRange(
        0, std::max(std::max(widest, horizontalScrollBar()->maximum() + viewport()->width()) -
                        viewport()->width(),
                    0));
}

void TLogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    refresh();
    const bool wasAtEnd = atEnd();
    updateScrollRanges();
    if (wasAtEnd) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TLogView::appendLines(const std::vector<client::LogLine>& lines) {
    // Lines may come one by one, thousands a second: the scroll bars and the screen follow
    // them a few dozen times a second, not at every line, so the GUI thread stays free.
    if (!refreshPending_) {
        followTail_ = atEnd();
        refreshPending_ = true;
        QTimer::singleShot(kRefreshMs, this, [this] { refresh(); });
    }
    for (const client::LogLine& line : lines) lines_.append(line);
    caret_ = anchor_ = endOfText();
}

void TLogView::refresh() const {
    if (!refreshPending_) return;
    refreshPending_ = false;
    auto* self = const_cast<TLogView*>(this);
    self->updateScrollRanges();
    if (followTail_) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

void TLogView::appendFileBytes(std::string bytes) {
    refresh();
    lines_.appendFile(std::move(bytes));
    caret_ = anchor_ = endOfText();
    updateScrollRanges();
    viewport()->update();
}

void TLogView::clear() {
    refreshPending_ = false;
    lines_.clear();
    caret_ = anchor_ = Position{};
    horizontalScrollBar()->setRange(0, 0);
    updateScrollRanges();
    viewport()->update();
}

TLogView::Position TLogView::endOfText() const {
    if (lines_.count() == 0) return {};
    const std::size_t last = lines_.count() - 1;
    return {last, toInt(lineText(last).size())};
}

void TLogView::paintEvent(QPaintEvent*) {
    refresh();
    QPainter painter(viewport());
    const int height = lineHeight();
    const int x0 = kMargin - horizontalScrollBar()->value();
    const std::size_t first = firstVisibleLine();
    const std::size_t last = std::min(lines_.count(), first + std::size_t(visibleLines()) + 1);
    const Position from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    int widest = 0;
    for (std::size_t i = first; i < last; ++i) {
        const QString text = lineText(i);
        const QFont& font = fontFor(i);
        const QFontMetrics metrics(font);
        const int top = toInt(i - first) * height;
        painter.setFont(font);
        if (hasSelection() && i >= from.line && i <= to.line) {
            const int begin = i == from.line ? from.column : 0;
            const int end = i == to.line ? to.column : toInt(text.size());
            const int left = x0 + metrics.horizontalAdvance(text.left(begin));
            int right = x0 + metrics.horizontalAdvance(text.left(end));
            if (i != to.line) right += metrics.averageCharWidth();
            painter.fillRect(QRect(left, top, right - left, height),
                             palette().color(QPalette::Highlight));
        }
        painter.setPen(colourOf(lines_.colour(i), palette()));
        painter.drawText(x0, top + metrics.ascent(), text);
        widest = std::max(widest, metrics.horizontalAdvance(text) + 2 * kMargin);
        if (caretShown_ && i == caret_.line) {
            const int x = x0 + metrics.horizontalAdvance(text.left(caret_.column));
            painter.fillRect(QRect(x, top, 1, height), palette().color(QPalette::Text));
        }
    }
    if (caretShown_ && lines_.count() == 0) {
        painter.fillRect(QRect(x0, 0, 1, height), palette().color(QPalette::Text));
    }
    // A proportional font can make a line wider than the estimate: widen the range.
    const int needed = widest - viewport()->width();
    if (needed > horizontalScrollBar()->maximum()) horizontalScrollBar()->setMaximum(needed);
}

void TLogView::ensureCaretVisible() {
    refresh();
    const int line = toInt(caret_.line);
    QScrollBar* vertical = verticalScrollBar();
    if (line < vertical->value()) vertical->setValue(line);
    if (line >= vertical->value() + visibleLines()) vertical->setValue(line - visibleLines() + 1);
    if (lines_.count() == 0) return;
    const QFontMetrics metrics(fontFor(caret_.line));
    const int x = kMargin + metrics.horizontalAdvance(lineText(caret_.line).left(caret_.column));
    QScrollBar* horizontal = horizontalScrollBar();
    if (x < horizontal->value()) horizontal->setValue(std::max(x - kMargin, 0));
    if (x >= horizontal->value() + viewport()->width()) {
        if (x > horizontal->maximum() + viewport()->width() - kMargin)
            horizontal->setMaximum(x - viewport()->width() + 4 * kMargin);
        horizontal->setValue(x - viewport()->width() + 4 * kMargin);
    }
}

TLogView::Position TLogView::positionAt(const QPoint& point) const {
    if (lines_.count() == 0) return {};
    const int row = std::max(point.y(), 0) / lineHeight();
    const std::size_t line = std::min(firstVisibleLine() + std::size_t(row), lines_.count() - 1);
    const QString text = lineText(line);
    const QFontMetrics metrics(fontFor(line));
    const int x = point.x() + horizontalScrollBar()->value() - kMargin;
    int advance = 0;
    for (int column = 0; column < text.size(); ++column) {
        const int width = metrics.horizontalAdvance(text.at(column));
        if (x < advance + width / 2) return {line, column};
        advance += width;
    }
    return {line, toInt(text.size())};
}

void TLogView::moveCaret(Position to, bool select) {
    if (lines_.count() == 0) to = {};
    to.line = std::min(to.line, lines_.count() ? lines_.count() - 1 : 0);
    if (lines_.count()) to.column = std::clamp(to.column, 0, toInt(lineText(to.line).size()));
    caret_ = to;
    if (!select) anchor_ = caret_;
    ensureCaretVisible();
    viewport()->update();
}

QString TLogView::selectedText() const {
    const Position from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    QString out;
    for (std::size_t i = from.line; i <= to.line && i < lines_.count(); ++i) {
        const QString text = lineText(i);
        const int begin = i == from.line ? from.column : 0;
        const int end = i == to.line ? to.column : toInt(text.size());
        out += text.mid(begin, end - begin);
        if (i != to.line) out += QLatin1Char('\n');
    }
    return out;
}

void TLogView::setLineText(std::size_t line, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    lines_.setText(line, std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

void TLogView::removeSelection() {
    if (!hasSelection()) return;
    const Position from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    const QString joined = lineText(from.line).left(from.column) + lineText(to.line).mid(to.column);
    setLineText(from.line, joined);
    lines_.erase(from.line + 1, to.line + 1);
    caret_ = anchor_ = from;
}

void TLogView::insertText(const QString& typed) {
    removeSelection();
    if (lines_.count() == 0) lines_.append(client::LogLine{});
    QString text = typed;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), '\n');
    const QStringList parts = text.split(QLatin1Char('\n'));
    const QString current = lineText(caret_.line);
    const QString before = current.left(caret_.column), after = current.mid(caret_.column);
    client::LogLine style = lines_.line(caret_.line);
    if (parts.size() == 1) {
        setLineText(caret_.line, before + parts[0] + after);
        caret_.column += toInt(parts[0].size());
    } else {
        setLineText(caret_.line, before + parts[0]);
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QString piece = i + 1 == parts.size() ? parts[i] + after : parts[i];
            const QByteArray bytes = piece.toUtf8();
            style.text.assign(bytes.constData(), std::size_t(bytes.size()));
            lines_.insert(caret_.line + std::size_t(i), style);
        }
        caret_.line += std::size_t(parts.size() - 1);
        caret_.column = toInt(parts.last().size());
    }
    anchor_ = caret_;
    updateScrollRanges();
    ensureCaretVisible();
    viewport()->update();
}

void TLogView::keyPressEvent(QKeyEvent* event) {
    const bool select = event->modifiers() & Qt::ShiftModifier;
    const int column = caret_.column;
    const std::size_t line = caret_.line;
    const std::size_t count = lines_.count();
    if (event == QKeySequence::Copy) {
        if (hasSelection()) QApplication::clipboard()->setText(selectedText());
        return;
    }
    if (event == QKeySequence::SelectAll) {
        anchor_ = {};
        moveCaret(endOfText(), true);
        return;
    }
    switch (event->key()) {
        case Qt::Key_Left:
            if (column > 0)
                moveCaret({line, column - 1}, select);
            else if (line > 0)
                moveCaret({line - 1, toInt(lineText(line - 1).size())}, select);
            return;
        case Qt::Key_Right:
            if (count && column < toInt(lineText(line).size()))
                moveCaret({line, column + 1}, select);
            else if (line + 1 < count)
                moveCaret({line + 1, 0}, select);
            return;
        case Qt::Key_Up:
            if (line > 0) moveCaret({line - 1, column}, select);
            return;
        case Qt::Key_Down:
            moveCaret({line + 1, column}, select);
            return;
        case Qt::Key_PageUp:
            moveCaret({line - std::min(line, std::size_t(visibleLines())), column}, select);
            return;
        case Qt::Key_PageDown:
            moveCaret({line + std::size_t(visibleLines()), column}, select);
            return;
        case Qt::Key_Home:
            moveCaret(event->modifiers() & Qt::ControlModifier ? Position{} : Position{line, 0},
                      select);
            return;
        case Qt::Key_End:
            // Appending leaves the caret at the end of the text, so End there brings the
            // newest lines into view.
            moveCaret(event->modifiers() & Qt::ControlModifier
                          ? endOfText()
                          : Position{line, count ? toInt(lineText(line).size()) : 0},
                      select);
            return;
        default:
            break;
    }
    if (readOnly_) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (event == QKeySequence::Paste) {
        insertText(QApplication::clipboard()->text());
        return;
    }
    if (event == QKeySequence::Cut) {
        if (hasSelection()) QApplication::clipboard()->setText(selectedText());
        removeSelection();
        insertText(QString());
        return;
    }
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            insertText(QStringLiteral("\n"));
            return;
        case Qt::Key_Backspace:
            if (!hasSelection() && count) {
                if (column > 0)
                    anchor_ = {line, column - 1};
                else if (line > 0)
                    anchor_ = {line - 1, toInt(lineText(line - 1).size())};
            }
            insertText(QString());
            return;
        case Qt::Key_Delete:
            if (!hasSelection() && count) {
                if (column < toInt(lineText(line).size()))
                    anchor_ = {line, column + 1};
                else if (line + 1 < count)
                    anchor_ = {line + 1, 0};
            }
            insertText(QString());
            return;
        default:
            break;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && typed.at(0).isPrint()) {
        insertText(typed);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void TLogView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    moveCaret(positionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void TLogView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) moveCaret(positionAt(event->position().toPoint()), true);
}

void TLogView::contextMenuEvent(QContextMenuEvent* event) {
    if (popup_) popup_->exec(event->globalPos());
}

void TLogView::focusInEvent(QFocusEvent* event) {
    caretShown_ = true;
    viewport()->update();
    QAbstractScrollArea::focusInEvent(event);
}

void TLogView::focusOutEvent(QFocusEvent* event) {
    caretShown_ = false;
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(event);
}

}  // namespace tvr::ui
