#include "ui/SettingsPages.h"

#include "config/ViewSettings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <initializer_list>

namespace tvr::ui {

namespace {

// The largest number of minutes a threshold setting takes (minutesSetting).
constexpr int kMostMinutes = 100000;
// Ten years: more is "for ever", which 0 says.
constexpr int kMostDays = 3650;

QSpinBox* numberBox(const char* name, int most, const char* unit, const char* off,
                    QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, most);
    box->setSuffix(unit);
    box->setSpecialValueText(off);
    return box;
}

// A page: its controls in a form, under the widgets of `above`, and a note below them saying
// what the settings do.
QWidget* settingsPage(QWidget* page, std::initializer_list<QWidget*> above, QFormLayout* form,
                      const char* note) {
    auto* noteLabel = new QLabel(note, page);
    noteLabel->setWordWrap(true);
    auto* layout = new QVBoxLayout(page);
    for (QWidget* widget : above) layout->addWidget(widget);
    layout->addLayout(form);
    layout->addWidget(noteLabel);
    layout->addStretch();
    return page;
}

QCheckBox* checkBox(const char* name, const char* caption, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QWidget* namedPage(const char* name, QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(name);
    return page;
}

}  // namespace

QWidget* makeWatchSettingsPage(QWidget* parent) {
    QWidget* page = namedPage("TabSheetWatch", parent);
    auto* form = new QFormLayout;
    form->addRow("Warning when the reserve is behind by:",
                 numberBox("EditLagWarning", kMostMinutes, " min", "off", page));
    form->addRow("Critical when the reserve is behind by:",
                 numberBox("EditLagCritical", kMostMinutes, " min", "off", page));
    form->addRow("A pass is stalled after:",
                 numberBox("EditStallLimit", kMostMinutes, " min", "off", page));
    auto* refusals = numberBox("EditLogonRefusals", 1000, " refused logons", "", page);
    refusals->setMinimum(1);
    form->addRow("Stop processing after:", refusals);
    return settingsPage(
        page,
        {checkBox("CheckBoxFullOnBreak", "Start again with a full pass when the chain breaks",
                  page),
         checkBox("CheckBoxResumeChain", "Resume the log chain at start", page),
         checkBox("CheckBoxCheckHeader", "Check each dump's header before its load", page)},
        form,
        "The lag is the time since the dump of the last good load began. Past a threshold "
        "the tray icon and the status bar change and the error log says so. A start that "
        "resumes the chain ships only the transaction log when the reserve is still loading "
        "and has every dump made so far.");
}

QWidget* makeLogViewsSettingsPage(QWidget* parent) {
    QWidget* page = namedPage("TabSheetViews", parent);
    auto* lines = new QSpinBox(page);
    lines->setObjectName("EditLogViewLines");
    lines->setRange(int(config::kFewestLogViewLines), int(config::kMostLogViewLines));
    lines->setSingleStep(1000);
    lines->setGroupSeparatorShown(true);
    auto* form = new QFormLayout;
    form->addRow("Lines each log page keeps:", lines);
    return settingsPage(page, {}, form,
                        "The log files keep every line. A page that has let older lines go "
                        "names the file that holds them on its first line.");
}

QWidget* makeHistorySettingsPage(QWidget* parent) {
    QWidget* page = namedPage("TabSheetHistory", parent);
    auto* alertCommand = new QLineEdit(page);
    alertCommand->setObjectName("EditAlertCommand");
    alertCommand->setPlaceholderText("none");
    auto* form = new QFormLayout;
    form->addRow("Delete dump files older than:",
                 numberBox("EditKeepDumpDays", kMostDays, " days", "off (kept)", page));
    form->addRow("Keep the pass history for:",
                 numberBox("EditKeepHistoryDays", kMostDays, " days", "for ever", page));
    form->addRow("Command at a change of alert:", alertCommand);
    return settingsPage(
        page, {}, form,
        "Only files named as this program names its dumps are deleted, in the dump and the "
        "load folder. The alert command runs without a shell, with TVR_ALERT_LEVEL (ok, "
        "warning, critical) and TVR_LAG_SECONDS in its environment.");
}

}  // namespace tvr::ui
