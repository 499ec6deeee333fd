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
#include <QStyledItemDelegate>
#include <QTextBlock>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <vector>

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

// Items as tall as their text wrapped at the list's width: the tree asks its items for their
// height without telling them the width they get.
class WrappedItems : public QStyledItemDelegate {
public:
    explicit WrappedItems(QTreeView* tree) : QStyledItemDelegate(tree), tree_(tree) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        int depth = 0;
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) ++depth;
        const int pad =
            2 * (tree_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree_) + 1);
        const int width =
            std::max(tree_->viewport()->width() - depth * tree_->indentation(), 4 * pad);
        const QRect text = item.fontMetrics.boundingRect(QRect(0, 0, width - pad, 1 << 20),
                                                         Qt::TextWordWrap, item.text);
        return {width,
                std::max(text.height() + 2, QStyledItemDelegate::sizeHint(option, index).height())};
    }

private:
    QTreeView* tree_;
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
    // The list takes at most a third of the window; a long title wraps rather than widening
    // it or hiding its end.
    contents_->setWordWrap(true);
    contents_->setTextElideMode(Qt::ElideNone);
    contents_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    contents_->setItemDelegate(new WrappedItems(contents_));
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

    split_ = new QSplitter(this);
    split_->addWidget(contents_);
    split_->addWidget(browser_);
    split_->setStretchFactor(1, 1);
    split_->setChildrenCollapsible(false);
    connect(split_, &QSplitter::splitterMoved, this, [this] { keepContentsToAThird(); });
    // Sizes in characters of the window's font, so the window grows with a larger font.
    const QFontMetrics metrics(font());
    const int character = metrics.averageCharWidth();
    split_->setSizes({32 * character, 80 * character});
    resize(116 * character, 42 * metrics.lineSpacing());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addWidget(split_, 1);
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
    // Room for lines of some 80 characters of the text beside the list, where the screen
    // allows, and no taller than the screen.
    if (!isVisible()) {
        int wide = 120 * browser_->fontMetrics().averageCharWidth();
        int high = height();
        if (const QScreen* screen = this->screen()) {
            wide = std::min(wide, screen->availableGeometry().width() * 9 / 10);
            high = std::min(high, screen->availableGeometry().height() * 9 / 10);
        }
        resize(std::max(width(), wide), high);
    }
    keepContentsToAThird();
}

void THelpWindow::keepContentsToAThird() {
    // A splitter not yet laid out knows no sizes of its own: the window's width stands for it.
    const QList<int> sizes = split_->sizes();
    const int whole = split_->isVisible() ? sizes.value(0) + sizes.value(1) : width();
    const int third = whole / 3;
    if (!split_->isVisible() || sizes.value(0) > third) split_->setSizes({third, whole - third});
    // The items' heights follow the list's new width.
    contents_->doItemsLayout();
}

void THelpWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    keepContentsToAThird();
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
    markMatches(text, found ? browser_->textCursor().selectionStart() : -1);
}

void THelpWindow::markMatches(const QString& text, int current) {
    // Every place of the text in the whole help, and the sections that hold them, so that
    // the reader sees how many there are and where, not only the next one.
    const QTextDocument* document = browser_->document();
    std::vector<int> places;
    for (QTextCursor at = document->find(text); !at.isNull(); at = document->find(text, at))
        places.push_back(at.selectionStart());
    // Where each section begins: the heading of the contents' title (the document keeps
    // no place for an empty anchor).
    QMap<QString, QString> anchorOf;
    for (QTreeWidgetItemIterator it(contents_); *it; ++it)
        anchorOf.insert((*it)->text(0), (*it)->data(0, kAnchorRole).toString());
    QMap<int, QString> starts;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0) continue;
        const auto anchor = anchorOf.constFind(block.text().simplified());
        if (anchor != anchorOf.constEnd()) starts.insert(block.position(), anchor.value());
    }
    QMap<QString, int> perSection;
    for (const int place : places) {
        auto section = starts.upperBound(place);
        if (section != starts.begin()) ++perSection[std::prev(section).value()];
    }
    for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
        const int count = perSection.value((*it)->data(0, kAnchorRole).toString());
        QFont font = contents_->font();
        font.setBold(count > 0);
        (*it)->setFont(0, font);
        (*it)->setToolTip(0, count > 0 ? QStringLiteral("%1 found here").arg(count) : QString());
    }
    const auto index = std::find(places.begin(), places.end(), current);
    findStatus_->setText(
        places.empty() ? QStringLiteral("Not found")
        : index == places.end()
            ? QStringLiteral("%1 found").arg(places.size())
            : QStringLiteral("%1 of %2").arg(index - places.begin() + 1).arg(places.size()));
}

}  // namespace tvr::ui
