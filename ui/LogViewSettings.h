#pragma once
// The "Views" page of the settings dialog: how many of their newest lines the Activity and
// ErrorLog pages keep. Like the rest of the dialog, an edit goes into the live settings at
// once; the main window applies the stored number when the dialog closes.
#include "config/LiveSettings.h"

#include <QWidget>

class QSpinBox;

namespace tvr::ui {

class TLogViewsSettingsPage final : public QWidget {
    Q_OBJECT
public:
    TLogViewsSettingsPage(config::LiveSettings& live, QWidget* parent = nullptr);
    // The control takes the live setting's value without writing it back; a value that is not
    // a number of lines shows the default.
    void showLiveSettings();

private:
    config::LiveSettings& live_;
    bool syncing_ = false;
    QSpinBox* EditLogViewLines = nullptr;
};

}  // namespace tvr::ui
