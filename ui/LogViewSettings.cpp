#include "ui/LogViewSettings.h"

#include "config/ViewSettings.h"

#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tvr::ui {

using config::TDumpLoadSettings;

TLogViewsSettingsPage::TLogViewsSettingsPage(config::LiveSettings& live, QWidget* parent)
    : QWidget(parent), live_(live) {
    setObjectName("TabSheetViews");
    EditLogViewLines = new QSpinBox(this);
    EditLogViewLines->setObjectName("EditLogViewLines");
    EditLogViewLines->setRange(int(config::kFewestLogViewLines), int(config::kMostLogViewLines));
    EditLogViewLines->setSingleStep(1000);
    EditLogViewLines->setGroupSeparatorShown(true);
    auto* form = new QFormLayout;
    form->addRow("Lines each log page keeps:", EditLogViewLines);
    auto* note = new QLabel(
        "The log files keep every line. A page that has let older lines go names the file "
        "that holds them on its first line.",
        this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addStretch();
    connect(EditLogViewLines, &QSpinBox::valueChanged, this, [this](int value) {
        if (!syncing_)
            live_.edit([&](TDumpLoadSettings& s) { s.EditLogViewLines = std::to_string(value); });
    });
    showLiveSettings();
}

void TLogViewsSettingsPage::showLiveSettings() {
    syncing_ = true;
    EditLogViewLines->setValue(
        int(config::logViewLines(live_.read(&TDumpLoadSettings::EditLogViewLines))));
    syncing_ = false;
}

}  // namespace tvr::ui
