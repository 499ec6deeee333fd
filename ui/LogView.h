#pragma once
// A log view: a scrolling view of coloured lines that paints only the lines on screen, so a
// log of a million lines opens at once and stays responsive while lines keep arriving. The
// Activity view lets the user type into it (a caret, selection, typing, Enter, Backspace,
// Delete, copy and paste); what is typed stays in the view and is never written to a file.
// The ErrorLog view is read-only. GUI thread only; client/LogSink.h's side is TViewSink.
#include "client/LogSink.h"
#include "ui/LogLines.h"

#include <QAbstractScrollArea>
#include <QFont>

namespace tvr::ui {

class TLogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TLogView(QWidget* parent = nullptr);

    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool isReadOnly() const { return readOnly_; }

    // Adds lines at the end; the caret goes to the end of the text, as it does after an
    // append. A view scrolled to its end stays there, so the newest lines stay in sight.
    void appendLines(const std::vector<client::LogLine>& lines);
    // The lines of a log file's bytes, each styled by its own markers, after those held.
    void appendFileBytes(std::string bytes);
    void clear();

    std::size_t lineCount() const { return lines_.count(); }
    client::LogLine line(std::size_t index) const { return lines_.line(index); }
    // The whole text, lines joined by LF.
    std::string text() const;

    // Where the caret is: line and character (UTF-16 unit) within it.
    std::size_t caretLine() const { return caret_.line; }
    int caretColumn() const { return caret_.column; }
    // The first line on screen.
    std::size_t firstVisibleLine() const;
    bool atEnd() const;

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

    QString lineText(std::size_t line) const;
    const QFont& fontFor(std::size_t line) const;
    int lineHeight() const;
    int visibleLines() const;
    void updateScrollRanges();
    void ensureCaretVisible();
    Position positionAt(const QPoint& point) const;
    void moveCaret(Position to, bool select);
    bool hasSelection() const { return anchor_ != caret_; }
    QString selectedText() const;
    void removeSelection();
    void insertText(const QString& text);
    void setLineText(std::size_t line, const QString& text);
    Position endOfText() const;
    // Brings the scroll bars and the screen up to date with appended lines.
    void refresh() const;

    TLogLines lines_;
    bool readOnly_ = false;
    Position caret_;
    Position anchor_;
    QFont fonts_[4];  // plain, bold, underlined, bold and underlined
    QMenu* popup_ = nullptr;
    bool caretShown_ = false;
    mutable bool refreshPending_ = false;
    mutable bool followTail_ = false;
};

}  // namespace tvr::ui
