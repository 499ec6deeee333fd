#pragma once
// The program's help window: the installed HTML help file, opened at its first topic, with its
// contents list beside the text, back and forward through the places visited, and a find bar
// (Ctrl+F) that counts the places found in the whole help and marks the sections that hold
// them in the contents list. The list takes at most a third of the window's width. A file
// that cannot be found is reported in the window itself.
#include <QTextBrowser>
#include <QWidget>

class QLabel;
class QLineEdit;
class QSplitter;
class QTreeWidget;

namespace tvr::ui {

// Where the help file is installed: share/travenor/tvr.html beside the program's bin folder.
QString helpFilePath();

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);
    // Shows `file` at its first topic, without waiting. A window not yet shown opens in the
    // middle of its parent (the main window).
    void showTopic(const QString& file);
    QTextBrowser* browser() const { return browser_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeFindBar();
    void keepContentsToAThird();
    // Counts the places of `text` in the help, marks their sections and says which of them
    // is selected (`current`, the selection's start; -1 for none).
    void markMatches(const QString& text, int current);
    void fillContents(const QString& file);
    void markSection(const QUrl& url);
    void openFind();
    // Finds the find field's text after the selection (or before it), going round the end.
    void findNext(bool backward);

    QTextBrowser* browser_;
    QTreeWidget* contents_;
    QSplitter* split_ = nullptr;
    QWidget* findBar_ = nullptr;
    QLineEdit* findText_ = nullptr;
    QLabel* findStatus_ = nullptr;
};

}  // namespace tvr::ui
