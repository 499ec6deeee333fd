#include "ui/SettingsPages.h"

#include "config/ViewSettings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

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

// A page: its controls in a form, under `first` where there is one, and a note below them
// saying what the settings do.
QWidget* settingsPage(QWidget* page, QWidget* first, QFormLayout* form, const char* note) {
    auto* noteLabel = new QLabel(note, page);
    noteLabel->setWordWrap(true);
    auto* layout = new QVBoxLayout(page);
    if (first != nullptr) layout->addWidget(first);
    layout->addLayout(form);
    layout->addWidget(noteLabel);
    layout->addStretch();
    return page;
}

QWidget* namedPage(const char* name, QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(name);
    return page;
}

}  // namespace

QWidget* makeWatchSettingsPage(QWidget* parent) {
    QWidget* page = namedPage("TabSheetWatch", parent);
    auto* fullOnBreak = new QCheckBox("Start again with a full pass when the chain breaks", page);
    fullOnBreak->setObjectName("CheckBoxFullOnBreak");
    auto* form = new QFormLayout;
    form->addRow("Warning when the reserve is behind by:",
                 numberBox("EditLagWarning", kMostMinutes, " min", "off", page));
    form->addRow("Critical when the reserve is behind by:",
                 numberBox("EditLagCritical", kMostMinutes, " min", "off", page));
    form->addRow("A pass is stalled after:",
                 numberBox("EditStallLimit", kMostMinutes, " min", "off", page));
    return settingsPage(
        page, fullOnBreak, form,
        "The lag is the time since the dump of the last good load began. Past a threshold "
        "the tray icon and the status bar change and the error log says so.");
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
    return settingsPage(page, nullptr, form,
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
        page, nullptr, form,
        "Only files named as this program names its dumps are deleted, in the dump and the "
        "load folder. The alert command runs without a shell, with TVR_ALERT_LEVEL (ok, "
        "warning, critical) and TVR_LAG_SECONDS in its environment.");
}

}  // namespace tvr::ui
