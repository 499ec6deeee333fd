#pragma once
// A log view: a scrolling view of coloured lines that paints only the lines on screen, so a
// log of a million lines opens at once and stays responsive while lines keep arriving. The
// Activity view lets the user type into it (a caret, selection, typing, Enter, Backspace,
// Delete, copy and paste); what is typed stays in the view and is never written to a file.
// The ErrorLog view is read-only.
//
// The lines live in a store shared with the threads that append to it (TLogStore): an
// appending thread puts its lines there under the store's lock and goes on, so a line costs
// it no more than a copy. The widget catches up with the store at most once a frame (scroll
// bars, caret, the lines beyond the limit), then paints the lines on screen, each shaped once
// and kept while it stays in sight. GUI thread only, but for the store.
//
// Lines run past the right edge (a horizontal scroll bar reaches them) unless the view wraps
// them at its width; a wrapped line takes as many rows as it needs and the view scrolls by
// lines. Wrapping, too, lays out only the lines on screen, each once for the view's width.
#include "client/LogSink.h"
#include "ui/LogLines.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QStaticText>
#include <QTextLayout>
#include <QTimer>

#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <unordered_map>

class QPainter;

namespace tvr::ui {

// The lines of one view and what the view has not yet caught up with.
struct TLogStore {
    std::mutex mutex;
    TLogLines lines;
    bool appended = false;  // lines came since the view last caught up
};

class TLogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // How many of the newest lines a view keeps unless told otherwise.
    static constexpr std::size_t kDefaultLineLimit = 200000;

    explicit TLogView(QWidget* parent = nullptr);

    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool isReadOnly() const { return readOnly_; }

    // Long lines wrap at the view's width instead of running past its right edge. The line
    // at the top stays at the top; a view at its end stays there.
    void setWrapLines(bool wrap);
    bool wrapLines() const { return wrap_; }

    // The view keeps its newest `limit` lines (0: all). Once it has let older ones go, its
    // first line says that they are in the file `historyFile` names at that moment.
    void setLineLimit(std::size_t limit);
    std::size_t lineLimit() const { return limit_; }
    void setHistoryFile(std::function<std::string()> historyFile);

    // For the threads that append: put lines into the store, then call linesAppended() on the
    // GUI thread when the store's `appended` was false before.
    const std::shared_ptr<TLogStore>& store() const { return store_; }
    // Catches up with the store within a frame.
    void linesAppended();

    // Adds lines at the end; the caret goes to the end of the text, as it does after an
    // append. A view scrolled to its end stays there, so the newest lines stay in sight.
    void appendLines(const std::vector<client::LogLine>& lines);
    // The lines of a log file's bytes, each styled by its own markers, after those held.
    void appendFileBytes(std::string bytes);
    // Runs `load` on a thread of its own and puts the lines it gives before the line now at
    // `at`, unless the view is cleared first; the GUI thread only takes them over. The view
    // asks a running load to stop when it goes, and waits for it.
    void loadOlderLines(std::size_t at, std::function<TLogLines(const std::stop_token&)> load);
    void clear();

    // The lines held (any thread may ask; the GUI thread sees the limit applied first).
    std::size_t lineCount() const;
    client::LogLine line(std::size_t index) const;
    // The whole text, lines joined by LF.
    std::string text() const;

    // Where the caret is: line and character (UTF-16 unit) within it.
    std::size_t caretLine() const;
    int caretColumn() const;
    // The first line on screen.
    std::size_t firstVisibleLine() const;
    bool atEnd() const;

    // Called on the GUI thread, as the view catches up, with the texts of the lines appended
    // since it last did (lines loaded from a file or typed are not among them).
    void setLineWatcher(std::function<void(const std::vector<std::string>&)> watcher) {
        watcher_ = std::move(watcher);
    }

    // The context menu shown on a right click (the view does not own it).
    void setPopupMenu(class QMenu* menu) { popup_ = menu; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Position {
        std::size_t line = 0;
        int column = 0;
        bool operator==(const Position&) const = default;
        auto operator<=>(const Position&) const = default;
    };
    // A line as painted: its text, style and shaping.
    struct Shaped {
        QString text;
        std::uint8_t font = 0;
        client::LogColour colour = client::LogColour::Default;
        QStaticText shaped;  // unwrapped
        int width = 0;
        std::unique_ptr<QTextLayout> layout;  // wrapped, at the view's width
        int rows = 1;
    };

    // Brings the widget up to date with the store: the limit, the caret, the scroll bars. It
    // may drop lines, so it runs only where no line number is held: at the start of an event
    // and in the public accessors; the helpers below never call it.
    void catchUp() const;
    // The same for the accessors, which other threads may use too (they read the store).
    void catchUpOnGuiThread() const;
    void catchUpNow();
    std::size_t count() const;
    QString lineText(std::size_t line) const;
    const QFont& fontFor(std::size_t line) const;
    const Shaped& shapedLine(std::size_t line);
    QColor penFor(const Shaped& line) const;
    // Shaped lines out of sight go once there are many; those in [first, last) stay.
    void forgetShapedOutside(std::size_t first, std::size_t last);
    // Wrapped mode (LogViewWrap.cpp): the layout of a line at the view's width, the painting,
    // the first line from which the lines up to `last` fit on screen, and the hit test.
    void layOut(Shaped& line) const;
    void paintWrapped(QPainter& painter);
    std::size_t topShowing(std::size_t last);
    Position wrappedPositionAt(const QPoint& point);
    std::size_t topLine() const;  // the first line on screen, without a catch-up
    int lineHeight() const;
    int visibleLines() const;
    void updateScrollRanges(std::size_t lines);
    void ensureCaretVisible();
    Position positionAt(const QPoint& point);
    void moveCaret(Position to, bool select);
    bool hasSelection() const { return anchor_ != caret_; }
    QString selectedText() const;
    void removeSelection();
    void insertText(const QString& text);
    void setLineText(std::size_t line, const QString& text);
    Position endOfText() const;
    void edited();
    void takeOlderLines(TLogLines&& older, unsigned load);

    std::shared_ptr<TLogStore> store_ = std::make_shared<TLogStore>();
    std::size_t limit_ = kDefaultLineLimit;
    std::function<std::string()> historyFile_;
    std::function<void(const std::vector<std::string>&)> watcher_;
    std::uint64_t watched_ = 0;  // the store's appended() when the watcher last saw it
    bool readOnly_ = false;
    bool wrap_ = false;
    Position caret_;
    Position anchor_;
    QFont fonts_[4];  // plain, bold, underlined, bold and underlined
    QMenu* popup_ = nullptr;
    bool caretShown_ = false;
    QTimer frame_;
    // Shaped lines on screen, by their number since the view began (index + moved_).
    std::unordered_map<std::size_t, Shaped> shaped_;
    std::size_t moved_ = 0;
    // A load of older lines: which one, whether it is still wanted, and where its lines go.
    unsigned load_ = 0;
    bool loading_ = false;
    std::size_t loadAt_ = 0;
    std::size_t inserted_ = 0;  // older lines put above those in sight since the last catch-up
    std::jthread loader_;       // last: stopped and joined before anything else goes
};

}  // namespace tvr::ui
