// The History page: the passes of the history files beside the activity log, newest first and
// filtered by outcome, the headline of the lag, and the plot over 24 hours and 7 days.
#include "WindowFixture.h"

#include "engine/PassHistory.h"
#include "ui/HistoryView.h"
#include "ui/LagPlot.h"
#include "ui/PassProgress.h"

#include <QComboBox>
#include <QDateTime>
#include <QTabWidget>
#include <QTableView>

using namespace tvr;
using namespace std::chrono_literals;

namespace {

class HistoryPage : public tvr::testing::WindowFixture {
protected:
    engine::TPassRecord pass(std::chrono::minutes ago, const char* outcome, int error,
                             std::chrono::seconds lag) {
        engine::TPassRecord record;
        record.start = std::chrono::time_point_cast<std::chrono::seconds>(now - ago);
        record.kind = ago > 24h ? engine::PassKind::Full : engine::PassKind::Transaction;
        record.file = "pubs2_" + std::to_string(ago.count()) + ".tr";
        record.bytes = 81920;
        record.dumpSeconds = 1.5;
        record.loadSeconds =
            std::string(outcome) == "dump failed" ? std::nullopt : std::optional(2.5);
        record.outcome = outcome;
        record.error = error;
        record.lag = lag;
        engine::appendPassRecord(dir.string(), record);
        return record;
    }
    QStringList column(int index) const {
        QStringList out;
        auto* model = find<QTableView>("GridHistory")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            out << model->index(row, index).data().toString();
        return out;
    }

    engine::HistoryClock::time_point now = engine::HistoryClock::now();
};

}  // namespace

TEST_F(HistoryPage, ShowsThePassesNewestFirstFilteredByOutcomeUnderTheLagAndItsPlot) {
    pass(3 * 24h, "ok", 0, 5s);
    pass(120min, "load failed", 4305, 600s);
    const engine::TPassRecord good = pass(30min, "ok", 0, 60s);
    pass(10min, "dump failed", 911, 1200s);
    window->show();
    action("N_History")->trigger();
    EXPECT_EQ(find<QTabWidget>("PageControlDB")->currentWidget()->objectName(), "TabSheetHistory");

    const QDateTime loaded = QDateTime::fromSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::seconds>(good.start.time_since_epoch()).count() +
        4);
    const QString at =
        loaded.toString(loaded.date() == QDate::currentDate() ? "HH:mm" : "yyyy-MM-dd HH:mm");
    EXPECT_EQ(find<QLabel>("LabelHistoryHeadline")->text(),
              "Reserve is 30 min behind (last good load " + at + ")");
    EXPECT_EQ(column(6), QStringList({"dump failed (911)", "ok", "load failed (4305)", "ok"}));
    EXPECT_EQ(column(2),
              QStringList({"pubs2_10.tr", "pubs2_30.tr", "pubs2_120.tr", "pubs2_4320.tr"}));
    EXPECT_EQ(column(5).first(), "");  // a failed dump sent no load

    auto* outcome = find<QComboBox>("ComboHistoryOutcome");
    outcome->setCurrentIndex(outcome->findText("load failed"));
    EXPECT_EQ(column(2), QStringList({"pubs2_120.tr"}));

    // The plot: the passes of the span at the lag they left, then now at the lag since the
    // last good pass.
    auto* plot = find<ui::TLagPlot>("PlotLag");
    ASSERT_EQ(plot->points().size(), 4u);
    EXPECT_EQ(plot->points()[0].lag, 600s);
    EXPECT_FALSE(plot->points()[0].good);
    EXPECT_NEAR(double(plot->points().back().lag.count()), 1800.0, 5.0);
    auto* span = find<QComboBox>("ComboLagSpan");
    span->setCurrentIndex(span->findText("Last 7 days"));
    EXPECT_EQ(plot->span(), 24h * 7);
    EXPECT_EQ(plot->points().size(), 5u);
    EXPECT_FALSE(plot->grab().isNull());
}

TEST(HistoryHeadline, SaysWhenNoPassWasGood) {
    engine::TPassRecord failed;
    failed.outcome = "load failed";
    EXPECT_EQ(ui::historyHeadline({failed}, engine::HistoryClock::now()),
              "No good load in the last 7 days");
}

// The progress of a pass, from the Backup Server's lines as they reach the Activity view.
TEST_F(HistoryPage, ADumpAndItsLoadShowTheirProgressBesideTheStateUpToAHundred) {
    window->SetProcessState(1);
    settle();
    const auto report = [&](int percent, const char* verb) {
        window->activitySink().addLines(
            {{"Backup Server: 4.188.1.1: Database pubs2: " + std::to_string(percent * 20) +
              " kilobytes (" + std::to_string(percent) + "%) " + verb + "."}});
        activity()->lineCount();  // the view catches up, as it does within a frame
    };
    auto* progress = find<QLabel>("PanelProgress");
    report(50, "DUMPED");
    EXPECT_TRUE(progress->text().startsWith("dump 50%: 1000 KB, about "))
        << progress->text().toStdString();
    EXPECT_TRUE(tray()->hint().startsWith("Travenor\r\nProcessing... dump 50%, "));
    report(100, "DUMPED");
    report(100, "LOADED");
    EXPECT_EQ(progress->text(), "load 100%: 2000 KB, about 0:00 left");
    EXPECT_EQ(panel(0), "Processing...");  // the state text stays as it is
    window->SetProcessState(2);
    settle();
    EXPECT_FALSE(progress->isVisibleTo(window.get()));
    EXPECT_EQ(tray()->hint(), "Travenor\r\nSleeping...");
}

TEST(ProgressLine, ReadsTheBackupServersReportsAndNothingElse) {
    EXPECT_EQ(ui::parseProgressLine("Backup Server: 4.188.1.1: Database sales: 5124 kilobytes "
                                    "(27%) LOADED."),
              (ui::TProgressReport{"sales", 5124, 27, true}));
    EXPECT_FALSE(ui::parseProgressLine("Database sales: 5124 kilobytes DUMPED."));
}
