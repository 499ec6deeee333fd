// The About box and the help window: the help's contents list, back and forward, find.
#include "WindowFixture.h"

#include "ui/AboutBox.h"
#include "ui/FontFit.h"
#include "ui/HelpContents.h"
#include "ui/HelpWindow.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>

using namespace tvr;

using AboutAndHelp = tvr::testing::WindowFixture;

TEST_F(AboutAndHelp, AboutShowsTheProductAndItsLinkAndOkClosesIt) {
    window->show();
    std::vector<QUrl> opened;
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* box = window->findChild<ui::TfmAbout*>("fmAbout");
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isModal() && box->isVisible());
        EXPECT_EQ(box->windowTitle(), "About Travenor");
        // The design's 252 x 191 box in this font, or larger where the text needs it.
        EXPECT_GE(box->width(), ui::scaled(*box, 252));
        EXPECT_GE(box->height(), ui::scaled(*box, 191));
        const auto* text = box->findChild<QLabel*>("Label1");
        const QStringList lines = text->text().split('\n');
        ASSERT_EQ(lines.size(), 6);
        EXPECT_EQ(lines[0], "Travenor");
        EXPECT_EQ(lines[1], "Version 1.0");
        EXPECT_EQ(lines[4], "");
        EXPECT_EQ(lines[5], "Travenor home page");
        EXPECT_EQ(text->pos(), QPoint(ui::scaled(*box, 48), ui::scaled(*box, 16)));
        ui::THotLink* link = box->link();
        EXPECT_EQ(link->objectName(), "JvHotLink1");
        EXPECT_EQ(link->x(), text->x());
        EXPECT_GT(link->y(), text->geometry().bottom());
        EXPECT_EQ(link->text(), ui::kHomePage);
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        link->setOpener([&](const QUrl& url) { opened.push_back(url); });
        QTest::mouseClick(link, Qt::LeftButton);
        EXPECT_TRUE(box->isVisible());  // the box stays open
        auto* ok = box->findChild<QPushButton*>("Ok");
        EXPECT_GT(ok->y(), link->geometry().bottom());
        EXPECT_LE(std::abs(ok->geometry().center().x() - box->rect().center().x()), 1);
        EXPECT_TRUE(ok->isDefault());
        checked = true;
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    action("N_About")->trigger();  // returns when the box closes
    EXPECT_TRUE(checked);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(ui::kHomePage));
    EXPECT_FALSE(window->aboutBox()->isVisible());
}

TEST_F(AboutAndHelp, HelpOpensTheInstalledFileAtItsFirstTopic) {
    const QString installed = ui::helpFilePath();
    ASSERT_TRUE(QFileInfo(installed).isFile()) << installed.toStdString();
    action("N_Help")->trigger();
    ui::THelpWindow* help = window->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    QTextBrowser* browser = help->findChild<QTextBrowser*>("HelpBrowser");
    EXPECT_EQ(browser->source().fragment(), "topic1");
    EXPECT_EQ(QFileInfo(browser->source().toLocalFile()).canonicalFilePath(),
              QFileInfo(installed).canonicalFilePath());
    const QString text = browser->toPlainText();
    for (const char* topic : {"Setting up", "Starting, passes and stopping", "The activity log",
                              "Error records", "The command line"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(topic))) << topic;
}

TEST_F(AboutAndHelp, AMissingHelpFileIsReportedInTheHelpWindow) {
    window->setHelpFile(QString::fromStdString((dir / "tvr.html").string()));
    window->show();
    QTest::mouseClick(header(), Qt::LeftButton, Qt::NoModifier, header()->sectionRect(3).center());
    ASSERT_NE(window->helpWindow(), nullptr);
    EXPECT_TRUE(window->helpWindow()->browser()->toPlainText().contains("cannot be found"));
    EXPECT_TRUE(prompts.calls().empty());
}

TEST_F(AboutAndHelp, HelpOpensOverTheMainWindowWithContentsBackForwardAndFind) {
    window->show();
    window->move(70, 50);
    action("N_Help")->trigger();
    ui::THelpWindow* help = window->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->frameGeometry().center(), window->frameGeometry().center());
    QTextBrowser* browser = help->browser();

    // A section picked in the contents list is shown; Back and Forward retrace the way.
    auto* contents = help->findChild<QTreeWidget*>("HelpContents");
    ASSERT_NE(contents, nullptr);
    EXPECT_LE(contents->width(), help->width() / 3);
    help->resize(help->width() / 2, help->height());
    QCoreApplication::processEvents();
    EXPECT_LE(contents->width(), help->width() / 3);
    const auto items = contents->findItems("The interval", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(items.size(), 1);
    emit contents->itemActivated(items[0], 0);
    EXPECT_EQ(browser->source().fragment(), "interval");
    help->findChild<QAction*>("HelpBack")->trigger();
    EXPECT_EQ(browser->source().fragment(), "topic1");
    help->findChild<QAction*>("HelpForward")->trigger();
    EXPECT_EQ(browser->source().fragment(), "interval");
    EXPECT_EQ(contents->currentItem(), items[0]);

    // Ctrl+F opens the find bar; Enter selects the next place, going round the end.
    QApplication::setActiveWindow(help);
    ASSERT_TRUE(QTest::qWaitForWindowActive(help, 10000));
    QTest::keyClick(browser, Qt::Key_F, Qt::ControlModifier);
    auto* find = help->findChild<QLineEdit*>("HelpFind");
    ASSERT_TRUE(find && find->isVisible());
    QTest::keyClicks(find, "TVR_REGISTRY");
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(browser->textCursor().selectedText(), "TVR_REGISTRY");
    // The count covers the whole help, and the sections that hold the text are marked.
    const QString status = help->findChild<QLabel*>("HelpFindStatus")->text();
    EXPECT_TRUE(status.startsWith("1 of ")) << status.toStdString();
    EXPECT_GT(status.mid(5).toInt(), 1);
    const auto marked =
        contents->findItems("Where the settings are kept", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(marked.size(), 1);
    EXPECT_TRUE(marked[0]->font(0).bold());
    EXPECT_FALSE(items[0]->font(0).bold());
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_TRUE(help->findChild<QLabel*>("HelpFindStatus")->text().startsWith("2 of "));
    find->setText("no such words in the help");
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(help->findChild<QLabel*>("HelpFindStatus")->text(), "Not found");
    QTest::keyClick(find, Qt::Key_Escape);
    EXPECT_FALSE(find->isVisible());
}

TEST_F(AboutAndHelp, EveryLinkInsideTheHelpLeadsToASectionOfTheContents) {
    QFile file(ui::helpFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QStringList anchors;
    for (const ui::HelpSection& section : ui::helpSections(html)) anchors << section.anchor;
    ASSERT_FALSE(anchors.isEmpty());
    static const QRegularExpression link(QStringLiteral(R"re(href="#([^"]+)")re"));
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1);
        EXPECT_TRUE(anchors.contains(target)) << target.toStdString();
    }
}
