#include "ui/WatchSettingsPage.h"

#include "engine/WatchRules.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tvr::ui {

using config::TDumpLoadSettings;

namespace {

// The largest number of minutes a threshold setting takes (MinutesSetting).
constexpr int kMostMinutes = 100000;

QSpinBox* minutesBox(const char* name, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, kMostMinutes);
    box->setSuffix(" min");
    box->setSpecialValueText("off");
    return box;
}

}  // namespace

TWatchSettingsPage::TWatchSettingsPage(config::LiveSettings& live, QWidget* parent)
    : QWidget(parent), live_(live) {
    setObjectName("TabSheetWatch");
    CheckBoxFullOnBreak = new QCheckBox("Start again with a full pass when the chain breaks", this);
    CheckBoxFullOnBreak->setObjectName("CheckBoxFullOnBreak");
    EditLagWarning = minutesBox("EditLagWarning", this);
    EditLagCritical = minutesBox("EditLagCritical", this);
    EditStallLimit = minutesBox("EditStallLimit", this);

    auto* thresholds = new QFormLayout;
    thresholds->addRow("Warning when the reserve is behind by:", EditLagWarning);
    thresholds->addRow("Critical when the reserve is behind by:", EditLagCritical);
    thresholds->addRow("A pass is stalled after:", EditStallLimit);
    auto* note = new QLabel(
        "The lag is the time since the dump of the last good load began. Past a threshold "
        "the tray icon and the status bar change and the error log says so.",
        this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CheckBoxFullOnBreak);
    layout->addLayout(thresholds);
    layout->addWidget(note);
    layout->addStretch();

    connect(CheckBoxFullOnBreak, &QCheckBox::toggled, this, [this](bool checked) {
        if (!syncing_) live_.edit([&](TDumpLoadSettings& s) { s.IsFullOnBreak = checked; });
    });
    const auto minutes = [this](QSpinBox* box, std::string TDumpLoadSettings::*field) {
        connect(box, &QSpinBox::valueChanged, this, [this, field](int value) {
            if (!syncing_)
                live_.edit([&](TDumpLoadSettings& s) { s.*field = std::to_string(value); });
        });
    };
    minutes(EditLagWarning, &TDumpLoadSettings::EditLagWarning);
    minutes(EditLagCritical, &TDumpLoadSettings::EditLagCritical);
    minutes(EditStallLimit, &TDumpLoadSettings::EditStallLimit);
    showLiveSettings();
}

void TWatchSettingsPage::showLiveSettings() {
    const TDumpLoadSettings s = live_.snapshot();
    const TDumpLoadSettings defaults;
    const auto minutes = [&](std::string TDumpLoadSettings::*field) {
        return engine::MinutesSetting(s.*field, engine::MinutesSetting(defaults.*field, 0));
    };
    syncing_ = true;
    CheckBoxFullOnBreak->setChecked(s.IsFullOnBreak);
    EditLagWarning->setValue(minutes(&TDumpLoadSettings::EditLagWarning));
    EditLagCritical->setValue(minutes(&TDumpLoadSettings::EditLagCritical));
    EditStallLimit->setValue(minutes(&TDumpLoadSettings::EditStallLimit));
    syncing_ = false;
}

}  // namespace tvr::ui
