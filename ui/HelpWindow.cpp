#include "ui/HelpWindow.h"

#include "ui/HelpContents.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace tvr::ui {

namespace {

constexpr int kAnchorRole = Qt::UserRole;

// The find field: Enter finds the next place, Shift+Enter the one before, Escape closes the bar.
class FindField : public QLineEdit {
public:
    FindField(std::function<void(bool)> find, std::function<void()> close, QWidget* parent)
        : QLineEdit(parent), find_(std::move(find)), close_(std::move(close)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            find_(event->modifiers().testFlag(Qt::ShiftModifier));
        else if (event->key() == Qt::Key_Escape)
            close_();
        else
            QLineEdit::keyPressEvent(event);
    }

private:
    std::function<void(bool)> find_;
    std::function<void()> close_;
};

}  // namespace

QString helpFilePath() {
    return QDir(QCoreApplication::applicationDirPath())
        .absoluteFilePath(QStringLiteral("../share/travenor/tvr.html"));
}

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Travenor Help"));
    setWindowIcon(QIcon(QStringLiteral(":/images/tvr-32.png")));

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(true);
    contents_ = new QTreeWidget(this);
    contents_->setObjectName(QStringLiteral("HelpContents"));
    contents_->setHeaderHidden(true);
    contents_->setRootIsDecorated(false);
    connect(contents_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        QUrl url = browser_->source();
        url.setFragment(item->data(0, kAnchorRole).toString());
        browser_->setSource(url);
    });
    connect(contents_, &QTreeWidget::itemClicked, contents_, &QTreeWidget::itemActivated);
    connect(browser_, &QTextBrowser::sourceChanged, this, &THelpWindow::markSection);

    auto* tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("HelpTools"));
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* back = tools->addAction(QStringLiteral("Back"), browser_, &QTextBrowser::backward);
    back->setObjectName(QStringLiteral("HelpBack"));
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    QAction* forward =
        tools->addAction(QStringLiteral("Forward"), browser_, &QTextBrowser::forward);
    forward->setObjectName(QStringLiteral("HelpForward"));
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    QAction* find = tools->addAction(QStringLiteral("Find"), this, &THelpWindow::openFind);
    find->setObjectName(QStringLiteral("HelpFindAction"));
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);

    auto* split = new QSplitter(this);
    split->addWidget(contents_);
    split->addWidget(browser_);
    split->setStretchFactor(1, 1);
    // Sizes in characters of the window's font, so the window grows with a larger font.
    const QFontMetrics metrics(font());
    const int character = metrics.averageCharWidth();
    split->setSizes({32 * character, 80 * character});
    resize(116 * character, 42 * metrics.lineSpacing());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addWidget(split, 1);
    layout->addWidget(makeFindBar());
}

QWidget* THelpWindow::makeFindBar() {
    findBar_ = new QWidget(this);
    findBar_->setObjectName(QStringLiteral("HelpFindBar"));
    findText_ = new FindField([this](bool backward) { findNext(backward); },
                              [this] { findBar_->hide(); }, findBar_);
    findText_->setObjectName(QStringLiteral("HelpFind"));
    findText_->setPlaceholderText(QStringLiteral("Find in the help"));
    auto* next = new QToolButton(findBar_);
    next->setText(QStringLiteral("Next"));
    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    auto* previous = new QToolButton(findBar_);
    previous->setText(QStringLiteral("Previous"));
    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    findStatus_ = new QLabel(findBar_);
    findStatus_->setObjectName(QStringLiteral("HelpFindStatus"));
    auto* row = new QHBoxLayout(findBar_);
    row->addWidget(findText_, 1);
    row->addWidget(next);
    row->addWidget(previous);
    row->addWidget(findStatus_);
    findBar_->hide();
    return findBar_;
}

void THelpWindow::showTopic(const QString& file) {
    const QString path = QFileInfo(file).absoluteFilePath();
    if (QFileInfo(path).isFile()) {
        fillContents(path);
        QUrl url = QUrl::fromLocalFile(path);
        url.setFragment(QStringLiteral("topic1"));
        browser_->setSource(url);
    } else {
        contents_->clear();
        browser_->setHtml(QStringLiteral("<p>The help file <b>%1</b> cannot be found.</p>")
                              .arg(path.toHtmlEscaped()));
    }
    const bool opening = !isVisible();
    show();
    if (opening && parentWidget()) {
        // Placed once shown, when the layout has settled the window's size.
        QRect frame = frameGeometry();
        frame.moveCenter(parentWidget()->frameGeometry().center());
        move(frame.topLeft());
    }
    raise();
    activateWindow();
}

void THelpWindow::fillContents(const QString& file) {
    contents_->clear();
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return;
    // The sections under the title above them.
    QTreeWidgetItem* title = nullptr;
    for (const HelpSection& section : helpSections(QString::fromUtf8(in.readAll()))) {
        auto* item = section.level > 1 && title ? new QTreeWidgetItem(title, {section.title})
                                                : new QTreeWidgetItem(contents_, {section.title});
        item->setData(0, kAnchorRole, section.anchor);
        if (section.level == 1) title = item;
    }
    contents_->expandAll();
    // The list never narrower than its longest title: an elided title hides what the section
    // is about.
    const QAbstractItemView& view = *contents_;
    contents_->setMinimumWidth(view.sizeHintForColumn(0) + 2 * contents_->frameWidth() +
                               contents_->verticalScrollBar()->sizeHint().width());
    // Beside it, room for lines of some 80 characters of the text, where the screen allows.
    if (!isVisible()) {
        int wide = contents_->minimumWidth() + 80 * browser_->fontMetrics().averageCharWidth();
        if (const QScreen* screen = this->screen())
            wide = std::min(wide, screen->availableGeometry().width() * 9 / 10);
        resize(std::max(width(), wide), height());
    }
}

void THelpWindow::markSection(const QUrl& url) {
    for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
        if ((*it)->data(0, kAnchorRole).toString() == url.fragment()) {
            contents_->setCurrentItem(*it);
            return;
        }
    }
}

void THelpWindow::openFind() {
    findBar_->show();
    findText_->setFocus();
    findText_->selectAll();
}

void THelpWindow::findNext(bool backward) {
    const QString text = findText_->text();
    if (text.isEmpty()) return;
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    bool found = browser_->find(text, flags);
    if (!found) {
        // Round the end: from the other end of the text once more.
        QTextCursor cursor = browser_->textCursor();
        cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        browser_->setTextCursor(cursor);
        found = browser_->find(text, flags);
    }
    findStatus_->setText(found ? QString() : QStringLiteral("Not found"));
}

}  // namespace tvr::ui
