#include "ui/LogView.h"

#include "ui/QueuedCall.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <QtMath>

#include <algorithm>

namespace tvr::ui {
namespace {

constexpr int kMargin = 2;
constexpr int kFrameMs = 16;

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
    frame_.setSingleShot(true);
    frame_.setInterval(kFrameMs);
    connect(&frame_, &QTimer::timeout, this, [this] { catchUpNow(); });
    changeEvent(nullptr);
}

void TLogView::changeEvent(QEvent* event) {
    if (!event || event->type() == QEvent::FontChange) {
        for (int i = 0; i < 4; ++i) {
            fonts_[i] = font();
            fonts_[i].setBold(i & 1);
            fonts_[i].setUnderline(i & 2);
        }
        shaped_.clear();
        updateScrollRanges(count());
        viewport()->update();
    }
    if (event) QAbstractScrollArea::changeEvent(event);
}

void TLogView::setLineLimit(std::size_t limit) {
    limit_ = limit;
    {
        std::lock_guard lock(store_->mutex);
        store_->appended = true;  // the next catch-up applies the limit
    }
    catchUpNow();
}

void TLogView::setHistoryFile(std::function<std::string()> historyFile) {
    historyFile_ = std::move(historyFile);
}

std::size_t TLogView::count() const {
    std::lock_guard lock(store_->mutex);
    return store_->lines.count();
}

std::size_t TLogView::lineCount() const {
    catchUpOnGuiThread();
    return count();
}

client::LogLine TLogView::line(std::size_t index) const {
    catchUpOnGuiThread();
    std::lock_guard lock(store_->mutex);
    return store_->lines.line(index);
}

QString TLogView::lineText(std::size_t line) const {
    std::lock_guard lock(store_->mutex);
    const std::string_view text = store_->lines.text(line);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const QFont& TLogView::fontFor(std::size_t line) const {
    std::lock_guard lock(store_->mutex);
    return fonts_[(store_->lines.bold(line) ? 1 : 0) + (store_->lines.underline(line) ? 2 : 0)];
}

const TLogView::Shaped& TLogView::shapedLine(std::size_t line) {
    const auto found = shaped_.find(line + moved_);
    if (found != shaped_.end()) return found->second;
    Shaped shaped;
    {
        std::lock_guard lock(store_->mutex);
        const TLogLines& lines = store_->lines;
        const std::string_view text = lines.text(line);
        shaped.text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        shaped.font = std::uint8_t((lines.bold(line) ? 1 : 0) + (lines.underline(line) ? 2 : 0));
        shaped.colour = lines.colour(line);
    }
    if (wrap_) {
        layOut(shaped);
    } else {
        shaped.shaped.setText(shaped.text);
        shaped.shaped.setTextFormat(Qt::PlainText);
        shaped.shaped.setPerformanceHint(QStaticText::AggressiveCaching);
        shaped.shaped.prepare(QTransform(), fonts_[shaped.font]);
        shaped.width = qCeil(shaped.shaped.size().width());
    }
    return shaped_.emplace(line + moved_, std::move(shaped)).first->second;
}

QColor TLogView::penFor(const Shaped& line) const { return colourOf(line.colour, palette()); }

void TLogView::forgetShapedOutside(std::size_t first, std::size_t last) {
    if (shaped_.size() <= 4 * (last - first) + 64) return;
    std::erase_if(shaped_, [&](const auto& entry) {
        return entry.first < first + moved_ || entry.first >= last + moved_;
    });
}

void TLogView::setWrapLines(bool wrap) {
    if (wrap == wrap_) return;
    catchUp();
    const bool wasAtEnd = atEnd();
    const std::size_t top = topLine();
    wrap_ = wrap;
    shaped_.clear();
    horizontalScrollBar()->setRange(0, 0);
    setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
    updateScrollRanges(count());
    QScrollBar* vertical = verticalScrollBar();
    vertical->setValue(wasAtEnd ? vertical->maximum() : toInt(top));
    viewport()->update();
}

int TLogView::lineHeight() const { return std::max(QFontMetrics(fonts_[1]).height(), 1); }

int TLogView::visibleLines() const { return std::max(viewport()->height() / lineHeight(), 1); }

std::size_t TLogView::caretLine() const {
    catchUp();
    return caret_.line;
}

int TLogView::caretColumn() const {
    catchUp();
    return caret_.column;
}

std::size_t TLogView::firstVisibleLine() const {
    catchUp();
    return topLine();
}

std::size_t TLogView::topLine() const {
    return static_cast<std::size_t>(verticalScrollBar()->value());
}

bool TLogView::atEnd() const {
    catchUp();
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

std::string TLogView::text() const {
    catchUpOnGuiThread();
    std::lock_guard lock(store_->mutex);
    std::string out;
    for (std::size_t i = 0; i < store_->lines.count(); ++i) {
        if (i) out += '\n';
        out += store_->lines.text(i);
    }
    return out;
}

void TLogView::updateScrollRanges(std::size_t lines) {
    std::size_t longest = 0;
    {
        std::lock_guard lock(store_->mutex);
        longest = store_->lines.longest();
    }
    const int visible = visibleLines();
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    if (wrap_) {
        // The end is where the last lines, as wrapped, fill the view.
        verticalScrollBar()->setRange(0, lines ? toInt(topShowing(lines - 1)) : 0);
        horizontalScrollBar()->setRange(0, 0);
        return;
    }
    verticalScrollBar()->setRange(0, std::max(toInt(lines) - visible, 0));
    const int widest = toInt(longest) * QFontMetrics(fonts_[1]).averageCharWidth() + 2 * kMargin;
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(QFontMetrics(fonts_[0]).averageCharWidth() * 4);
    horizontalScrollBar()->setRange(
        0, std::max(std::max(widest, horizontalScrollBar()->maximum() + viewport()->width()) -
                        viewport()->width(),
                    0));
}

void TLogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    catchUp();
    if (wrap_ && event->oldSize().width() != event->size().width()) shaped_.clear();
    const bool wasAtEnd = atEnd();
    updateScrollRanges(count());
    if (wasAtEnd) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TLogView::linesAppended() {
    // Lines may come one by one, thousands a second: the widget follows them once a frame,
    // not at every line, so the GUI thread stays free.
    if (!frame_.isActive()) frame_.start();
}

void TLogView::appendLines(const std::vector<client::LogLine>& lines) {
    {
        std::lock_guard lock(store_->mutex);
        for (const client::LogLine& line : lines) store_->lines.append(line);
        store_->appended = true;
    }
    linesAppended();
}

void TLogView::catchUp() const { const_cast<TLogView*>(this)->catchUpNow(); }

void TLogView::catchUpOnGuiThread() const {
    if (QThread::currentThread() == thread()) catchUp();
}

void TLogView::catchUpNow() {
    std::size_t moved = 0, lines = 0;
    std::vector<std::string> freshLines;
    {
        std::lock_guard lock(store_->mutex);
        if (!store_->appended) return;
        store_->appended = false;
        TLogLines& held = store_->lines;
        if (limit_ && held.count() - (held.noted() ? 1 : 0) > limit_) {
            const std::string file = historyFile_ ? historyFile_() : std::string();
            const std::string note =
                "Earlier lines are in " + (file.empty() ? std::string("the log file") : file) + ".";
            moved = held.keepNewest(limit_, note);
        }
        lines = held.count();
        if (watcher_) {
            const std::size_t fresh = static_cast<std::size_t>(
                std::min<std::uint64_t>(held.appended() - watched_, lines));
            for (std::size_t i = lines - fresh; i < lines; ++i)
                freshLines.emplace_back(held.text(i));
        }
        watched_ = held.appended();
    }
    if (!freshLines.empty()) watcher_(freshLines);
    frame_.stop();
    QScrollBar* vertical = verticalScrollBar();
    const bool follow = vertical->value() >= vertical->maximum();
    const int value = vertical->value() + toInt(inserted_);
    inserted_ = 0;
    moved_ += moved;
    loadAt_ -= std::min(loadAt_, moved);
    // Appending leaves the caret at the end of the text.
    caret_ = anchor_ = endOfText();
    updateScrollRanges(lines);
    vertical->setValue(follow ? vertical->maximum() : std::max(value - toInt(moved), 0));
    viewport()->update();
}

void TLogView::appendFileBytes(std::string bytes) {
    {
        std::lock_guard lock(store_->mutex);
        store_->lines.appendFile(std::move(bytes));
        store_->appended = true;
    }
    catchUpNow();
}

void TLogView::loadOlderLines(std::size_t at,
                              std::function<TLogLines(const std::stop_token&)> load) {
    const unsigned current = ++load_;
    loading_ = true;
    loadAt_ = at;
    loader_ = std::jthread([this, current, load = std::move(load)](std::stop_token stop) {
        auto older = std::make_shared<TLogLines>(load(stop));
        if (stop.stop_requested()) return;
        // The view waits for this thread before it goes, so it is still there to post to.
        queueCall(this, [this, current, older] { takeOlderLines(std::move(*older), current); });
    });
}

void TLogView::takeOlderLines(TLogLines&& older, unsigned load) {
    if (load != load_ || !loading_) return;
    loading_ = false;
    {
        std::lock_guard lock(store_->mutex);
        TLogLines& lines = store_->lines;
        // Lines already let go were newer than these: these go too.
        if (lines.noted()) return;
        const std::size_t at = std::min(loadAt_, lines.count());
        if (at <= static_cast<std::size_t>(verticalScrollBar()->value()))
            inserted_ += older.count();
        lines.insertOlder(at, std::move(older));
        store_->appended = true;
    }
    shaped_.clear();
    catchUpNow();
}

void TLogView::clear() {
    ++load_;
    loading_ = false;
    loader_.request_stop();
    {
        std::lock_guard lock(store_->mutex);
        store_->lines.clear();
        store_->appended = false;
    }
    frame_.stop();
    shaped_.clear();
    caret_ = anchor_ = Position{};
    horizontalScrollBar()->setRange(0, 0);
    updateScrollRanges(0);
    viewport()->update();
}

void TLogView::edited() {
    shaped_.clear();
    updateScrollRanges(count());
}

TLogView::Position TLogView::endOfText() const {
    const std::size_t lines = count();
    if (lines == 0) return {};
    return {lines - 1, toInt(lineText(lines - 1).size())};
}

void TLogView::paintEvent(QPaintEvent*) {
    catchUp();
    QPainter painter(viewport());
    if (wrap_) {
        paintWrapped(painter);
        return;
    }
    const int height = lineHeight();
    const int x0 = kMargin - horizontalScrollBar()->value();
    const std::size_t lines = count();
    // No catch-up from here on: the lines counted above stay as they are while painting.
    const std::size_t first = std::min(topLine(), lines);
    const std::size_t last = std::min(lines, first + std::size_t(visibleLines()) + 1);
    // Lines shaped for earlier frames but now out of sight go; those in sight stay shaped.
    forgetShapedOutside(first, last);
    const Position from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    int widest = 0;
    for (std::size_t i = first; i < last; ++i) {
        const Shaped& line = shapedLine(i);
        const QFont& font = fonts_[line.font];
        const int top = toInt(i - first) * height;
        painter.setFont(font);
        if (hasSelection() && i >= from.line && i <= to.line) {
            const QFontMetrics metrics(font);
            const int begin = i == from.line ? from.column : 0;
            const int end = i == to.line ? to.column : toInt(line.text.size());
            const int left = x0 + metrics.horizontalAdvance(line.text.left(begin));
            int right = x0 + metrics.horizontalAdvance(line.text.left(end));
            if (i != to.line) right += metrics.averageCharWidth();
            painter.fillRect(QRect(left, top, right - left, height),
                             palette().color(QPalette::Highlight));
        }
        painter.setPen(penFor(line));
        painter.drawStaticText(x0, top, line.shaped);
        widest = std::max(widest, line.width + 2 * kMargin);
        if (caretShown_ && i == caret_.line) {
            const QFontMetrics metrics(font);
            const int x = x0 + metrics.horizontalAdvance(line.text.left(caret_.column));
            painter.fillRect(QRect(x, top, 1, height), palette().color(QPalette::Text));
        }
    }
    if (caretShown_ && lines == 0) {
        painter.fillRect(QRect(x0, 0, 1, height), palette().color(QPalette::Text));
    }
    // A proportional font can make a line wider than the estimate: widen the range.
    const int needed = widest - viewport()->width();
    if (needed > horizontalScrollBar()->maximum()) horizontalScrollBar()->setMaximum(needed);
}

void TLogView::ensureCaretVisible() {
    const int line = toInt(caret_.line);
    QScrollBar* vertical = verticalScrollBar();
    if (line < vertical->value()) vertical->setValue(line);
    if (wrap_) {
        if (count() == 0) return;
        vertical->setValue(std::max(vertical->value(), toInt(topShowing(caret_.line))));
        return;
    }
    if (line >= vertical->value() + visibleLines()) vertical->setValue(line - visibleLines() + 1);
    if (count() == 0) return;
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

TLogView::Position TLogView::positionAt(const QPoint& point) {
    if (wrap_) return wrappedPositionAt(point);
    const std::size_t lines = count();
    if (lines == 0) return {};
    const int row = std::max(point.y(), 0) / lineHeight();
    const std::size_t line = std::min(topLine() + std::size_t(row), lines - 1);
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
    const std::size_t lines = count();
    if (lines == 0) to = {};
    to.line = std::min(to.line, lines ? lines - 1 : 0);
    if (lines) to.column = std::clamp(to.column, 0, toInt(lineText(to.line).size()));
    caret_ = to;
    if (!select) anchor_ = caret_;
    ensureCaretVisible();
    viewport()->update();
}

QString TLogView::selectedText() const {
    const Position from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    QString out;
    const std::size_t lines = count();
    for (std::size_t i = from.line; i <= to.line && i < lines; ++i) {
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
    std::lock_guard lock(store_->mutex);
    store_->lines.setText(line, std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

void TLogView::removeSelection() {
    if (!hasSelection()) return;
    const Position from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    const QString joined = lineText(from.line).left(from.column) + lineText(to.line).mid(to.column);
    setLineText(from.line, joined);
    {
        std::lock_guard lock(store_->mutex);
        store_->lines.erase(from.line + 1, to.line + 1);
    }
    caret_ = anchor_ = from;
    edited();
}

void TLogView::insertText(const QString& typed) {
    catchUp();
    removeSelection();
    if (count() == 0) {
        std::lock_guard lock(store_->mutex);
        store_->lines.append(client::LogLine{});
    }
    QString text = typed;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), '\n');
    const QStringList parts = text.split(QLatin1Char('\n'));
    const QString current = lineText(caret_.line);
    const QString before = current.left(caret_.column), after = current.mid(caret_.column);
    client::LogLine style;
    {
        std::lock_guard lock(store_->mutex);
        style = store_->lines.line(caret_.line);
    }
    if (parts.size() == 1) {
        setLineText(caret_.line, before + parts[0] + after);
        caret_.column += toInt(parts[0].size());
    } else {
        setLineText(caret_.line, before + parts[0]);
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QString piece = i + 1 == parts.size() ? parts[i] + after : parts[i];
            const QByteArray bytes = piece.toUtf8();
            style.text.assign(bytes.constData(), std::size_t(bytes.size()));
            std::lock_guard lock(store_->mutex);
            store_->lines.insert(caret_.line + std::size_t(i), style);
        }
        caret_.line += std::size_t(parts.size() - 1);
        caret_.column = toInt(parts.last().size());
    }
    anchor_ = caret_;
    edited();
    ensureCaretVisible();
    viewport()->update();
}

void TLogView::keyPressEvent(QKeyEvent* event) {
    catchUp();
    const bool select = event->modifiers() & Qt::ShiftModifier;
    const int column = caret_.column;
    const std::size_t line = caret_.line;
    const std::size_t count = this->count();
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
    catchUp();
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
