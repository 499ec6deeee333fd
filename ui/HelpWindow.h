#pragma once
// The program's help window: the installed HTML help file, opened at its first topic. A file
// that cannot be found is reported in the window itself.
#include <QTextBrowser>
#include <QWidget>

namespace tvr::ui {

// Where the help file is installed: share/travenor/tvr.html beside the program's bin folder.
QString helpFilePath();

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);
    // Shows `file` at its first topic, without waiting.
    void showTopic(const QString& file);
    QTextBrowser* browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

}  // namespace tvr::ui
