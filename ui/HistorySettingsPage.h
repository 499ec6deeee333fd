#pragma once
// The "History" page of the settings dialog: how long dump files and the pass history are
// kept, and the command told of each change of the alert level. Like the rest of the dialog,
// every edit goes into the live settings at once.
#include "config/LiveSettings.h"

#include <QWidget>

class QLineEdit;
class QSpinBox;

namespace tvr::ui {

class THistorySettingsPage final : public QWidget {
    Q_OBJECT
public:
    THistorySettingsPage(config::LiveSettings& live, QWidget* parent = nullptr);
    // The controls take the live settings' values without writing them back; a number of
    // days stored as something else shows its default.
    void showLiveSettings();

private:
    config::LiveSettings& live_;
    bool syncing_ = false;
    QSpinBox* EditKeepDumpDays = nullptr;
    QSpinBox* EditKeepHistoryDays = nullptr;
    QLineEdit* EditAlertCommand = nullptr;
};

}  // namespace tvr::ui
