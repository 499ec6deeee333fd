#pragma once
// The controls of the settings dialog that show the settings of the one settings table: each
// found below the dialog by its object name, filled from the settings, and writing an edit
// into the live settings at once, where the start of processing and the worker read it.
#include "config/LiveSettings.h"

#include <functional>

class QWidget;

namespace tvr::ui {

// Connects the control of every setting below `form`, so that an edit goes into `live` at
// once unless `filling()` says the controls are being filled. A setting whose control is
// missing or of another kind throws std::logic_error: the dialog and the table have parted.
void connectSettingControls(QWidget& form, config::LiveSettings& live,
                            std::function<bool()> filling);

// Sets the control of every setting below `form` to its value in `settings`. The controls'
// change signals go out as for an edit, so call it while `filling()` holds.
void showSettingControls(QWidget& form, const config::TDumpLoadSettings& settings);

}  // namespace tvr::ui
