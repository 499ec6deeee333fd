#pragma once
// The "Watch" page of the settings dialog: how the program watches the standby it keeps. A
// broken log chain healed by a full pass, the lag's warning and critical thresholds and the
// time after which a running pass counts as stalled. Like the rest of the dialog, every edit
// goes into the live settings at once.
#include "config/LiveSettings.h"

#include <QWidget>

class QCheckBox;
class QSpinBox;

namespace tvr::ui {

class TWatchSettingsPage final : public QWidget {
    Q_OBJECT
public:
    TWatchSettingsPage(config::LiveSettings& live, QWidget* parent = nullptr);
    // The controls take the live settings' values without writing them back; a threshold
    // stored as something other than minutes shows its default.
    void showLiveSettings();

private:
    config::LiveSettings& live_;
    bool syncing_ = false;
    QCheckBox* CheckBoxFullOnBreak = nullptr;
    QSpinBox* EditLagWarning = nullptr;
    QSpinBox* EditLagCritical = nullptr;
    QSpinBox* EditStallLimit = nullptr;
};

}  // namespace tvr::ui
