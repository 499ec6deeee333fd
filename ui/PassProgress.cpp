#include "ui/PassProgress.h"

#include <QLabel>
#include <QStatusBar>

#include <regex>

namespace tvr::ui {
namespace {

QString leftText(std::chrono::seconds left) {
    const long long seconds = left.count();
    return seconds >= 3600 ? QStringLiteral("%1:%2:%3")
                                 .arg(seconds / 3600)
                                 .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                 .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                           : QStringLiteral("%1:%2")
                                 .arg(seconds / 60)
                                 .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

std::optional<TProgressReport> parseProgressLine(std::string_view text) {
    static const std::regex report(
        R"(Database (\S+): (\d+) kilobytes \((\d+)%\) (DUMPED|LOADED)\.)");
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_search(text.begin(), text.end(), match, report)) return std::nullopt;
    TProgressReport out;
    out.database = match[1].str();
    out.kilobytes = std::stoull(match[2].str());
    out.percent = std::min(std::stoi(match[3].str()), 100);
    out.load = match[4].str() == "LOADED";
    return out;
}

TPassProgress::TPassProgress(QStatusBar* bar) : panel_(new QLabel(bar)) {
    panel_->setObjectName(QStringLiteral("PanelProgress"));
    panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Beside the state panel, the first, so that it stays in sight in a narrow window.
    bar->insertWidget(1, panel_);
    panel_->hide();
}

void TPassProgress::stateChanged(int state, Clock::time_point now) {
    const bool processing = state == 1;
    if (processing && !processing_) stepStart_ = now;
    processing_ = processing;
    if (!processing) {
        last_.reset();
        left_.reset();
    }
    show();
}

bool TPassProgress::line(std::string_view text, Clock::time_point now) {
    if (!processing_) return false;
    const auto report = parseProgressLine(text);
    if (!report) return false;
    // A step after the first (the load after the dump) began about when the one before it
    // last reported.
    if (last_ && (last_->load != report->load || report->percent < last_->percent))
        stepStart_ = lastAt_;
    last_ = report;
    lastAt_ = now;
    const auto spent = std::chrono::duration_cast<std::chrono::seconds>(now - stepStart_);
    left_ = report->percent <= 0 ? std::nullopt
                                 : std::optional(spent * (100 - report->percent) / report->percent);
    show();
    return true;
}

QString TPassProgress::panelText() const {
    if (!last_) return {};
    QString text = QStringLiteral("%1 %2%: %3 KB")
                       .arg(last_->load ? QStringLiteral("load") : QStringLiteral("dump"))
                       .arg(last_->percent)
                       .arg(last_->kilobytes);
    if (left_) text += QStringLiteral(", about %1 left").arg(leftText(*left_));
    return text;
}

QString TPassProgress::hintText() const {
    if (!last_) return {};
    QString text = QStringLiteral("%1 %2%")
                       .arg(last_->load ? QStringLiteral("load") : QStringLiteral("dump"))
                       .arg(last_->percent);
    if (left_) text += QStringLiteral(", %1 left").arg(leftText(*left_));
    return text;
}

void TPassProgress::show() {
    panel_->setText(panelText());
    panel_->setVisible(!panelText().isEmpty());
}

}  // namespace tvr::ui
