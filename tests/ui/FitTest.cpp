// Every text of every window, dialog and panel fits its room at the platform's font and at
// 125 % and 150 % of it: labels, buttons, check boxes, group titles, toolbar captions, status
// panels (inside the window too), contents lists, fields (or their tips) and window titles,
// walked on the offscreen platform.
#include "config/ConnectForm.h"
#include "config/SettingsKeys.h"
#include "platform/Registry.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"
#include "ui/AboutBox.h"
#include "ui/FontFit.h"
#include "ui/FormConnect.h"
#include "ui/FormDumpLoad.h"
#include "ui/FormSetting.h"
#include "ui/HeaderToolbar.h"
#include "ui/HelpWindow.h"
#include "ui/ProgramStart.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTreeView>

#include <fstream>

namespace fs = std::filesystem;
using namespace tvr;

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = qobject_cast<QApplication*>(QCoreApplication::instance())
                                        ? qobject_cast<QApplication*>(QCoreApplication::instance())
                                        : new QApplication(argc, argv);
    return *instance;
}

// What of `window` does not show its whole text, one line each.
std::vector<std::string> cutTexts(QWidget* window) {
    std::vector<std::string> cut;
    const auto report = [&](QWidget* w, const QString& text, int need, int room) {
        if (need > room)
            cut.push_back(window->objectName().toStdString() + "/" + w->objectName().toStdString() +
                          " \"" + text.toStdString() + "\" needs " + std::to_string(need) +
                          " px, has " + std::to_string(room));
    };
    report(window, window->windowTitle(), ui::titleRoom(*window, window->windowTitle()),
           window->width());
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window)) continue;
        // A text inside the window's room, unless it scrolls into view.
        const bool scrolls = w->parentWidget() && w->parentWidget()->parentWidget() &&
                             qobject_cast<QAbstractScrollArea*>(w->parentWidget()->parentWidget());
        if (!scrolls && (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)))
            report(w, "right edge", w->mapTo(window, QPoint(w->width(), 0)).x(), window->width());
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap()) {
            const QRect room = label->contentsRect();
            const QStringList lines = label->text().split('\n');
            for (const QString& line : lines)
                report(w, line, label->fontMetrics().horizontalAdvance(line), room.width());
            report(w, label->text(), int(lines.size()) * label->fontMetrics().height(),
                   room.height());
        } else if (auto* button = qobject_cast<QAbstractButton*>(w);
                   button && !button->text().isEmpty()) {
            report(w, button->text(), button->sizeHint().width(), button->width());
            report(w, button->text(), button->sizeHint().height(), button->height());
        } else if (auto* tree = qobject_cast<QTreeView*>(w); tree && tree->wordWrap()) {
            // A list that wraps its items: each item as tall as its lines at the list's width.
            const QStyle::PixelMetric margin = QStyle::PM_FocusFrameHMargin;
            const int pad = 2 * (tree->style()->pixelMetric(margin, nullptr, tree) + 1);
            for (QModelIndex at = tree->model()->index(0, 0); at.isValid();
                 at = tree->indexBelow(at)) {
                const QRect room = tree->visualRect(at);
                const QString text = at.data().toString();
                const QFont font = at.data(Qt::FontRole).value<QFont>();
                const QRect need =
                    QFontMetrics(at.data(Qt::FontRole).isValid() ? font : tree->font())
                        .boundingRect(QRect(0, 0, room.width() - pad, 100000), Qt::TextWordWrap,
                                      text);
                report(w, text, need.height(), room.height());
                report(w, text, need.width(), room.width() - pad);
            }
        } else if (auto* list = qobject_cast<QAbstractItemView*>(w); list && list->model()) {
            report(w, "its longest item", list->sizeHintForColumn(0), list->viewport()->width());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w);
                   edit && edit->toolTip() != edit->text()) {
            // A field may scroll its text, but then its tip shows it whole.
            report(w, edit->text(), edit->fontMetrics().horizontalAdvance(edit->text()),
                   edit->contentsRect().width() - 8);
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            report(w, group->title(), group->minimumSizeHint().width(), group->width());
        } else if (auto* header = qobject_cast<ui::THeaderToolbar*>(w)) {
            for (int i = 0; i < ui::THeaderToolbar::kSectionCount; ++i)
                report(w, header->sectionCaption(i),
                       header->fontMetrics().horizontalAdvance(header->sectionCaption(i)),
                       header->sectionRect(i).width());
        }
    }
    return cut;
}

class FitTest : public ::testing::TestWithParam<double> {
protected:
    void SetUp() override {
        application();
        fs::create_directories(sybase / "ini");
        std::ofstream(sybase / "ini" / "sql.ini") << "[MAIN_PRODUCTION]\n[RESERVE_STANDBY]\n";
        env.set("SYBASE", sybase.string());
        env.set("TVR_REGISTRY", (dir / "registry.reg").string());
        base = QApplication::font();
        QFont font = base;
        font.setPointSizeF(base.pointSizeF() * GetParam());
        QApplication::setFont(font);
    }
    void TearDown() override { QApplication::setFont(base); }

    // Shows `window`, expects all its texts to fit, hides it again.
    void expectFits(QWidget* window) {
        window->show();
        // The posted status texts, then the layout requests they raise.
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        for (const std::string& line : cutTexts(window)) ADD_FAILURE() << line;
        window->hide();
    }

    tvr::testing::ScopedEnvironment env;
    tvr::testing::TempFolder dir;
    fs::path sybase = dir / "sybase";
    platform::RecordingPrompts prompts;
    QFont base;
};

}  // namespace

TEST_P(FitTest, EveryWindowDialogAndPanelShowsItsWholeText) {
    ui::ProgramStart start({}, dir / "DumpLoadDBSync");
    ASSERT_EQ(start.begin(), ui::ProgramStart::Outcome::Ready);
    ui::TFormDumpLoad* window = start.formDumpLoad();
    // The status bar with the longest names a user is likely to have, set once the window is
    // on screen: showing it empties the reserve server's panels while no reserve is connected.
    window->show();
    QCoreApplication::processEvents();
    for (const auto& [panel, text] : {std::pair{0, "Processing..."},
                                      {2, "MAIN_PRODUCTION"},
                                      {3, "sales_history"},
                                      {4, "tvr_operator"},
                                      {6, "RESERVE_STANDBY"},
                                      {7, "sales_copy"},
                                      {8, "tvr_operator"}})
        window->SetStatusText(panel, text);
    expectFits(window);
    window->N_HistoryClick();
    expectFits(window);
    expectFits(window->aboutBox());
    window->N_HelpClick();
    expectFits(window->helpWindow());
    auto* pages = start.settingsDialog()->findChild<QTabWidget*>();
    for (int page = 0; page < (pages ? pages->count() : 1); ++page) {
        if (pages) pages->setCurrentIndex(page);
        expectFits(start.settingsDialog());
    }
    platform::Registry registry;
    for (const char* caption : {"Main Server Logon", "Reserve Server Logon"}) {
        config::ConnectForm form(registry, std::string(config::kSettingsBaseKey), caption);
        ui::TFormConnect logon(form);
        expectFits(&logon);
    }
}

INSTANTIATE_TEST_SUITE_P(AtEachScale, FitTest, ::testing::Values(1.0, 1.25, 1.5),
                         [](const auto& scale) {
                             return "Percent" + std::to_string(int(scale.param * 100));
                         });
