#pragma once
// The settings dialog's pages beside "General". Each holds controls named as the settings
// table names them; the dialog fills them and takes their edits, as for the rest of its
// settings.
class QWidget;

namespace tvr::ui {

// "Watch": how the program watches the standby it keeps. A broken log chain healed by a full
// pass, a start that resumes the chain, each dump's header checked before its load, the lag's
// warning and critical thresholds and the time after which a running pass counts as stalled.
QWidget* makeWatchSettingsPage(QWidget* parent);

// "Views": how many of their newest lines the Activity and ErrorLog pages keep; the main
// window applies the stored number when the dialog closes.
QWidget* makeLogViewsSettingsPage(QWidget* parent);

// "History": how long dump files and the pass history are kept, and the command told of each
// change of the alert level.
QWidget* makeHistorySettingsPage(QWidget* parent);

}  // namespace tvr::ui
