#pragma once
// The settings dialog: the live copy of the settings, the Connect buttons of both servers,
// the folder pickers, and Save, which on the first setup of a workstation also installs
// sp_TVR on the servers. Created once at program start, when it loads the settings, and kept
// until the program ends; every edit of a control goes into the live settings at once.
#include "config/LiveSettings.h"
#include "config/Logons.h"
#include "config/SettingsStore.h"
#include "engine/Connections.h"
#include "engine/ProcessDisplay.h"
#include "engine/RunFlags.h"
#include "platform/Registry.h"

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tvr::ui {

class TFormSetting final : public QDialog,
                           public config::SettingsHost,
                           public config::SettingsFormView {
    Q_OBJECT
public:
    // Asks for a folder: (owner, title, start folder) -> the chosen folder, or empty when
    // the user cancels. QFileDialog::getExistingDirectory unless a test replaces it.
    using FolderPicker = std::function<QString(QWidget*, const QString&, const QString&)>;

    // Builds the dialog, registers it with `logons` and loads the settings (FormCreate). A
    // setting that cannot be loaded is reported in a box; the dialog is made all the same.
    TFormSetting(engine::TConnections& connections, engine::TRunFlags& flags,
                 engine::TProcessDisplay& display, config::LiveSettings& live,
                 platform::Registry& registry, config::TLogons& logons,
                 const config::LogFileNames& logFiles, QWidget* parent = nullptr);
    ~TFormSetting() override;

    void setFolderPicker(FolderPicker picker) { picker_ = std::move(picker); }
    // The main window's ClearErrorLog and ClearLog, run after a first-setup Save. Without
    // them the two log files are emptied.
    void setLogClearing(std::function<void()> clearErrorLog, std::function<void()> clearLog);

    void RefreshMainDatabases() { logons_.RefreshMainDatabases(); }
    // The window the dialog is centred on when it opens while that window is shown (the main
    // window; it is not the dialog's parent, since each lives as long as the program). Without
    // one, or while it is hidden (first setup, or from the tray), the dialog opens centred on
    // the screen.
    void setCentredOn(QWidget* window) { centredOn_ = window; }

    // Shows the settings modally without letting them change, for a look while processing
    // runs and reads them: a line at the top says `why`, every field is read-only, every box,
    // list and button that would edit, connect or pick is off and Save is hidden; Cancel
    // closes. The dialog is as before once it closes.
    void execReadOnly(const QString& why);
    bool isReadOnly() const { return readOnly_; }

    // SettingsHost (loading).
    void setUseReserve(bool useReserve) override;
    void showIntervalField(bool visible) override;
    void ApplySettings() override;
    void setFolderPickerStarts(const config::FolderPickerStarts& starts) override;

    // SettingsFormView (logons).
    void SetDatabaseList(config::ServerRole role, const std::vector<std::string>& names) override;
    void ShowServerName(config::ServerRole role, const std::string& name) override;

    // The controls take the live settings' values without writing them back (also after
    // Reverse has changed them behind the dialog).
    void showLiveSettings();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildControls();
    void ButtonSaveClick();
    void ButtonMainConnectClick();
    void ButtonReserveConnectClick();
    void CheckBoxUseReservClick(bool checked);
    void pickFolder(QLineEdit* field, const QString& title, QString& start);
    void clearLogs();

    engine::TConnections& connections_;
    engine::TRunFlags& flags_;
    engine::TProcessDisplay& display_;
    QWidget* centredOn_ = nullptr;
    config::LiveSettings& live_;
    platform::Registry& registry_;
    config::TLogons& logons_;
    const config::LogFileNames& logFiles_;
    FolderPicker picker_;
    std::function<void()> clearErrorLog_;
    std::function<void()> clearLog_;
    QString dumpStart_, loadStart_, logStart_, errorLogStart_;
    bool syncing_ = false;  // controls being set from the live settings
    bool readOnly_ = false;
    QLabel* LabelReadOnly = nullptr;

    QCheckBox* CheckBoxDumpLoadDB = nullptr;
    QCheckBox* CheckBoxInterval = nullptr;
    QLineEdit* EditInterval = nullptr;
    QLabel* LabelInterval = nullptr;
    QCheckBox* CheckBoxClearLog = nullptr;
    QCheckBox* CheckBoxUseReserv = nullptr;
    QLineEdit* MainServerName = nullptr;
    QPushButton* ButtonMainConnect = nullptr;
    QComboBox* ComboDump = nullptr;
    QLineEdit* EditPathDump = nullptr;
    QToolButton* SpeedButtonDump = nullptr;
    QGroupBox* GroupBoxReserv = nullptr;
    QLineEdit* ReservServerName = nullptr;
    QPushButton* ButtonReserveConnect = nullptr;
    QComboBox* ComboLoad = nullptr;
    QLineEdit* EditPathLoad = nullptr;
    QToolButton* SpeedButtonLoad = nullptr;
    QLineEdit* EditLogPath = nullptr;
    QToolButton* SpeedButtonLogPath = nullptr;
    QLineEdit* EditErrorLogPath = nullptr;
    QToolButton* SpeedButtonErrorLogPath = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* Cancel = nullptr;
};

}  // namespace tvr::ui
