#include "ui/HistorySettingsPage.h"

#include "engine/WatchRules.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tvr::ui {

using config::TDumpLoadSettings;

namespace {

// Ten years: more is "for ever", which 0 says.
constexpr int kMostDays = 3650;

QSpinBox* daysBox(const char* name, const char* off, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, kMostDays);
    box->setSuffix(" days");
    box->setSpecialValueText(off);
    return box;
}

}  // namespace

THistorySettingsPage::THistorySettingsPage(config::LiveSettings& live, QWidget* parent)
    : QWidget(parent), live_(live) {
    setObjectName("TabSheetHistory");
    EditKeepDumpDays = daysBox("EditKeepDumpDays", "off (kept)", this);
    EditKeepHistoryDays = daysBox("EditKeepHistoryDays", "for ever", this);
    EditAlertCommand = new QLineEdit(this);
    EditAlertCommand->setObjectName("EditAlertCommand");
    EditAlertCommand->setPlaceholderText("none");

    auto* form = new QFormLayout;
    form->addRow("Delete dump files older than:", EditKeepDumpDays);
    form->addRow("Keep the pass history for:", EditKeepHistoryDays);
    form->addRow("Command at a change of alert:", EditAlertCommand);
    auto* note = new QLabel(
        "Only files named as this program names its dumps are deleted, in the dump and the "
        "load folder. The alert command runs without a shell, with TVR_ALERT_LEVEL (ok, "
        "warning, critical) and TVR_LAG_SECONDS in its environment.",
        this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addStretch();

    const auto days = [this](QSpinBox* box, std::string TDumpLoadSettings::*field) {
        connect(box, &QSpinBox::valueChanged, this, [this, field](int value) {
            if (!syncing_)
                live_.edit([&](TDumpLoadSettings& s) { s.*field = std::to_string(value); });
        });
    };
    days(EditKeepDumpDays, &TDumpLoadSettings::EditKeepDumpDays);
    days(EditKeepHistoryDays, &TDumpLoadSettings::EditKeepHistoryDays);
    connect(EditAlertCommand, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!syncing_)
            live_.edit([&](TDumpLoadSettings& s) { s.EditAlertCommand = text.toStdString(); });
    });
    showLiveSettings();
}

void THistorySettingsPage::showLiveSettings() {
    const TDumpLoadSettings s = live_.snapshot();
    const TDumpLoadSettings defaults;
    const auto days = [&](std::string TDumpLoadSettings::*field) {
        return engine::MinutesSetting(s.*field, engine::MinutesSetting(defaults.*field, 0));
    };
    syncing_ = true;
    EditKeepDumpDays->setValue(days(&TDumpLoadSettings::EditKeepDumpDays));
    EditKeepHistoryDays->setValue(days(&TDumpLoadSettings::EditKeepHistoryDays));
    EditAlertCommand->setText(QString::fromStdString(s.EditAlertCommand));
    syncing_ = false;
}

}  // namespace tvr::ui
