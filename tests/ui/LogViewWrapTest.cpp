// "Wrap lines": long lines wrap at the view's width, and the choice is kept across starts.
#include "WindowFixture.h"

#include "config/SettingsKeys.h"
#include "config/ViewSettings.h"
#include "platform/Registry.h"

#include <QImage>
#include <QScrollBar>

using namespace tvr;

namespace {

class WrappedViews : public tvr::testing::WindowFixture {
protected:
    // Lines on screen in a view at its end.
    static std::size_t onScreen(const ui::TLogView& view) {
        return view.lineCount() - view.firstVisibleLine();
    }
    void restart() {
        window.reset();
        window = std::make_unique<ui::TFormDumpLoad>();
    }
};

}  // namespace

TEST_F(WrappedViews, ALongLineTakesTheRowsItNeedsAtTheViewsWidthWithNoHorizontalScrolling) {
    ui::TLogView view;
    view.resize(320, 240);
    view.show();
    std::vector<client::LogLine> lines;
    std::string words;
    for (int i = 0; i < 40; ++i) words += "word" + std::to_string(i) + " ";
    for (int i = 0; i < 30; ++i) lines.push_back({"entry " + std::to_string(i) + " " + words});
    view.appendLines(lines);
    ASSERT_TRUE(view.atEnd());
    const std::size_t unwrapped = onScreen(view);
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);

    view.setWrapLines(true);
    EXPECT_TRUE(view.atEnd());
    const std::size_t narrow = onScreen(view);
    EXPECT_GE(narrow, 1u);
    EXPECT_LT(narrow, unwrapped);
    EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);

    // The second row of the top line is that line, further on.
    QFont bold = view.font();
    bold.setBold(true);
    const int row = QFontMetrics(bold).height();
    const std::size_t top = view.firstVisibleLine();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(4, row * 3 / 2));
    EXPECT_EQ(view.caretLine(), top);
    EXPECT_GT(view.caretColumn(), 4);

    // A wrapped error keeps its colour.
    view.appendLines({{"Error: " + words, client::LogColour::Red, true, true}});
    const QImage shown = view.viewport()->grab().toImage();
    int red = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) red += shown.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_GT(red, 0);

    // A wider view lays its lines out again: fewer rows each, more lines in sight.
    view.resize(960, 240);
    QCoreApplication::processEvents();
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    EXPECT_GT(onScreen(view), narrow);

    // Unwrapped again, the lines run past the edge as before.
    view.setWrapLines(false);
    view.resize(320, 240);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.horizontalScrollBar()->isVisible());
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);
}

TEST_F(WrappedViews, WrapLinesIsOffUntilChosenAndTheChoiceOutlivesARestart) {
    QAction* wrap = action("N_WrapLines");
    ASSERT_TRUE(wrap->isCheckable());
    EXPECT_FALSE(wrap->isChecked());
    EXPECT_FALSE(activity()->wrapLines());

    wrap->trigger();
    EXPECT_TRUE(activity()->wrapLines());
    EXPECT_TRUE(errors()->wrapLines());
    restart();
    EXPECT_TRUE(action("N_WrapLines")->isChecked());
    EXPECT_TRUE(activity()->wrapLines());
    EXPECT_TRUE(errors()->wrapLines());

    action("N_WrapLines")->trigger();
    restart();
    EXPECT_FALSE(action("N_WrapLines")->isChecked());
    EXPECT_FALSE(errors()->wrapLines());

    // A stored text that is no boolean leaves the views as they are by default.
    platform::Registry().writeDefaultText(config::settingKeyPath(config::kWrapLinesEntry), "maybe");
    restart();
    EXPECT_FALSE(activity()->wrapLines());
    EXPECT_TRUE(prompts.boxes().empty());
}
