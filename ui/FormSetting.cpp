#include "ui/FormSetting.h"

#include "client/LogWriter.h"
#include "config/ApplySettings.h"
#include "config/InstallProcedure.h"
#include "config/ProcedureMarker.h"
#include "platform/CommandError.h"
#include "platform/Prompts.h"
#include "ui/SettingControls.h"
#include "ui/SettingsPages.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <vector>

namespace tvr::ui {

using namespace config;
namespace {

constexpr const char* kRestartText = "Parameters will take effect after restart application";

QString qs(const std::string& text) { return QString::fromStdString(text); }

// "hh:mm", the label for hours and minutes, unless the text has a second separator: then the seconds that
// the worker reads after the minutes are named too.
QString intervalLabel(const QString& text) {
    qsizetype separators = 0;
    for (const QChar c : text.trimmed())
        if (!c.isDigit()) ++separators;
    return separators >= 2 ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm");
}

template <class Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QPushButton* boldButton(const char* caption, const char* name, QWidget* parent) {
    auto* button = named(new QPushButton(caption, parent), name);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

QToolButton* pickerButton(const char* name, QWidget* parent) {
    auto* button = named(new QToolButton(parent), name);
    button->setText("...");
    return button;
}

}  // namespace

TFormSetting::TFormSetting(engine::TConnections& connections, engine::TRunFlags& flags,
                           engine::TProcessDisplay& display, LiveSettings& live,
                           platform::Registry& registry, TLogons& logons,
                           const LogFileNames& logFiles, QWidget* parent)
    : QDialog(parent),
      connections_(connections),
      flags_(flags),
      display_(display),
      live_(live),
      registry_(registry),
      logons_(logons),
      logFiles_(logFiles),
      picker_([](QWidget* owner, const QString& title, const QString& start) {
          return QFileDialog::getExistingDirectory(owner, title, start);
      }) {
    setObjectName("FormSetting");
    setWindowTitle("Settings");
    buildControls();
    logons_.SetSettingsForm(this);

    // FormCreate: the settings from the registry.
    syncing_ = true;
    try {
        LoadSettings(registry_, live_, *this);
    } catch (const std::exception& e) {
        platform::reportCommandError(e.what());
    }
    syncing_ = false;
    showLiveSettings();
}

TFormSetting::~TFormSetting() { logons_.SetSettingsForm(nullptr); }

void TFormSetting::buildControls() {
    auto* startUp = new QGroupBox("Start up", this);
    CheckBoxDumpLoadDB = named(
        new QCheckBox("Create full database from Main Server and load to Reserve Server", startUp),
        "CheckBoxDumpLoadDB");
    CheckBoxInterval =
        named(new QCheckBox("Interval 'dump' and 'load' ", startUp), "CheckBoxInterval");
    EditInterval = named(new QLineEdit(startUp), "EditInterval");
    LabelInterval = named(new QLabel("hh:mm", startUp), "LabelInterval");
    CheckBoxClearLog =
        named(new QCheckBox("Delete log transactions after load on reserve server", startUp),
              "CheckBoxClearLog");
    CheckBoxUseReserv = named(new QCheckBox("Use Reserve Server", startUp), "CheckBoxUseReserv");
    auto* interval = new QHBoxLayout;
    interval->addWidget(CheckBoxInterval);
    interval->addWidget(EditInterval);
    interval->addWidget(LabelInterval);
    interval->addStretch();
    auto* startUpLayout = new QVBoxLayout(startUp);
    startUpLayout->addWidget(CheckBoxDumpLoadDB);
    startUpLayout->addLayout(interval);
    startUpLayout->addWidget(CheckBoxClearLog);
    startUpLayout->addWidget(CheckBoxUseReserv);

    // The two server groups are alike: server, Connect, database, folder and its picker.
    auto serverGroup = [this](QGroupBox* group, QLineEdit*& server, QPushButton*& connectButton,
                              const char* connectName, QComboBox*& database,
                              const char* databaseName, QLineEdit*& path, const char* pathName,
                              QToolButton*& picker, const char* pickerName) {
        server = new QLineEdit(group);
        server->setReadOnly(true);
        connectButton = boldButton("Connect", connectName, group);
        database = named(new QComboBox(group), databaseName);
        database->setEditable(true);
        database->setInsertPolicy(QComboBox::NoInsert);
        path = named(new QLineEdit(group), pathName);
        // Room for a whole path of a usual depth, in characters of the font in use.
        path->setMinimumWidth(30 * fontMetrics().averageCharWidth());
        picker = pickerButton(pickerName, group);
        auto* grid = new QGridLayout(group);
        grid->addWidget(new QLabel("Server:", group), 0, 0);
        grid->addWidget(server, 0, 1);
        grid->addWidget(connectButton, 0, 2);
        grid->addWidget(new QLabel("DB Name:", group), 1, 0);
        grid->addWidget(database, 1, 1, 1, 2);
        grid->addWidget(new QLabel("Path:", group), 2, 0);
        grid->addWidget(path, 2, 1);
        grid->addWidget(picker, 2, 2);
    };
    auto* mainGroup = new QGroupBox("Main Server(Dump)", this);
    serverGroup(mainGroup, MainServerName, ButtonMainConnect, "ButtonMainConnect", ComboDump,
                "ComboDump", EditPathDump, "EditPathDump", SpeedButtonDump, "SpeedButtonDump");
    MainServerName->setObjectName("MainServerName");
    GroupBoxReserv = named(new QGroupBox("Reserve Server(Load)", this), "GroupBoxReserv");
    serverGroup(GroupBoxReserv, ReservServerName, ButtonReserveConnect, "ButtonReserveConnect",
                ComboLoad, "ComboLoad", EditPathLoad, "EditPathLoad", SpeedButtonLoad,
                "SpeedButtonLoad");
    ReservServerName->setObjectName("ReservServerName");

    auto* folders = new QGroupBox("Directories", this);
    EditLogPath = named(new QLineEdit(folders), "EditLogPath");
    SpeedButtonLogPath = pickerButton("SpeedButtonLogPath", folders);
    EditErrorLogPath = named(new QLineEdit(folders), "EditErrorLogPath");
    SpeedButtonErrorLogPath = pickerButton("SpeedButtonErrorLogPath", folders);
    for (QLineEdit* path : {EditLogPath, EditErrorLogPath})
        path->setMinimumWidth(50 * fontMetrics().averageCharWidth());
    auto* folderGrid = new QGridLayout(folders);
    folderGrid->addWidget(new QLabel("Log path:", folders), 0, 0);
    folderGrid->addWidget(EditLogPath, 0, 1);
    folderGrid->addWidget(SpeedButtonLogPath, 0, 2);
    folderGrid->addWidget(new QLabel("Error log path:", folders), 1, 0);
    folderGrid->addWidget(EditErrorLogPath, 1, 1);
    folderGrid->addWidget(SpeedButtonErrorLogPath, 1, 2);

    ButtonSave = boldButton("Save", "ButtonSave", this);
    ButtonSave->setDefault(true);
    Cancel = boldButton("Cancel", "Cancel", this);

    auto* servers = new QHBoxLayout;
    servers->addWidget(mainGroup);
    servers->addWidget(GroupBoxReserv);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonSave);
    buttons->addWidget(Cancel);
    // The settings every pass needs on the first page; watching and the views on pages of their own.
    auto* general = named(new QWidget(this), "TabSheetGeneral");
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(startUp);
    generalLayout->addLayout(servers);
    generalLayout->addWidget(folders);
    auto* pages = named(new QTabWidget(this), "PageControlSetting");
    pages->addTab(general, "General");
    pages->addTab(makeWatchSettingsPage(this), "Watch");
    pages->addTab(makeLogViewsSettingsPage(this), "Views");
    pages->addTab(makeHistorySettingsPage(this), "History");
    LabelReadOnly = named(new QLabel(this), "LabelReadOnly");
    LabelReadOnly->setWordWrap(true);
    LabelReadOnly->setStyleSheet(QStringLiteral("font-weight: bold;"));
    LabelReadOnly->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelReadOnly);
    layout->addWidget(pages);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The design-time state, before anything is loaded.
    CheckBoxDumpLoadDB->setChecked(true);
    CheckBoxUseReserv->setChecked(true);
    EditInterval->setText("00:00");
    EditInterval->setVisible(false);
    LabelInterval->setVisible(false);

    // Every edit goes into the live settings at once: the start of processing and the
    // worker read them from there.
    connectSettingControls(*this, live_, [this] { return syncing_; });
    // A path longer than its field shows only in part; its tip shows it whole.
    for (QLineEdit* path : {EditPathDump, EditPathLoad, EditLogPath, EditErrorLogPath})
        connect(path, &QLineEdit::textChanged, path, &QLineEdit::setToolTip);

    // The worker takes seconds after the minutes too; the label names the form the field
    // holds, so that "00:00:10" does not stand under "hh:mm".
    EditInterval->setToolTip(
        "Hours and minutes between passes (hh:mm); seconds may follow "
        "(hh:mm:ss)");
    connect(EditInterval, &QLineEdit::textChanged, this,
            [this](const QString& text) { LabelInterval->setText(intervalLabel(text)); });
    connect(CheckBoxInterval, &QCheckBox::toggled, this, [this](bool) {
        if (syncing_) return;
        const bool visible = EditInterval->isHidden();
        EditInterval->setVisible(visible);
        LabelInterval->setVisible(visible);
    });
    connect(CheckBoxUseReserv, &QCheckBox::toggled, this, [this](bool checked) {
        if (!syncing_) CheckBoxUseReservClick(checked);
    });
    connect(SpeedButtonDump, &QToolButton::clicked, this,
            [this] { pickFolder(EditPathDump, "Dump path of main server database ", dumpStart_); });
    connect(SpeedButtonLoad, &QToolButton::clicked, this, [this] {
        pickFolder(EditPathLoad, "Load path of reserv server database", loadStart_);
    });
    connect(SpeedButtonLogPath, &QToolButton::clicked, this,
            [this] { pickFolder(EditLogPath, "Log path", logStart_); });
    connect(SpeedButtonErrorLogPath, &QToolButton::clicked, this,
            [this] { pickFolder(EditErrorLogPath, "Error log path", errorLogStart_); });
    connect(ButtonMainConnect, &QPushButton::clicked, this, &TFormSetting::ButtonMainConnectClick);
    connect(ButtonReserveConnect, &QPushButton::clicked, this,
            &TFormSetting::ButtonReserveConnectClick);
    connect(ButtonSave, &QPushButton::clicked, this, &TFormSetting::ButtonSaveClick);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormSetting::showLiveSettings() {
    const TDumpLoadSettings s = live_.snapshot();
    syncing_ = true;
    showSettingControls(*this, s);
    // The server names are the logons' and only shown here.
    MainServerName->setText(qs(s.MainServerName));
    ReservServerName->setText(qs(s.ReservServerName));
    syncing_ = false;
}

void TFormSetting::setLogClearing(std::function<void()> clearErrorLog,
                                  std::function<void()> clearLog) {
    clearErrorLog_ = std::move(clearErrorLog);
    clearLog_ = std::move(clearLog);
}

void TFormSetting::setUseReserve(bool useReserve) {
    flags_.UseReserve = useReserve;
    GroupBoxReserv->setVisible(useReserve);
}

void TFormSetting::showIntervalField(bool visible) {
    EditInterval->setVisible(visible);
    LabelInterval->setVisible(visible);
}

void TFormSetting::ApplySettings() { config::ApplySettings(live_, flags_.UseReserve, display_); }

void TFormSetting::setFolderPickerStarts(const FolderPickerStarts& starts) {
    logStart_ = qs(starts.logPath);
    errorLogStart_ = qs(starts.errorLogPath);
    dumpStart_ = qs(starts.dumpPath);
    loadStart_ = qs(starts.loadPath);
}

void TFormSetting::SetDatabaseList(ServerRole role, const std::vector<std::string>& names) {
    QComboBox* box = role == ServerRole::Main ? ComboDump : ComboLoad;
    const QString typed = box->currentText();
    syncing_ = true;
    box->clear();
    for (const std::string& name : names) box->addItem(qs(name));
    box->setEditText(typed);
    syncing_ = false;
}

void TFormSetting::ShowServerName(ServerRole role, const std::string& name) {
    (role == ServerRole::Main ? MainServerName : ReservServerName)->setText(qs(name));
}

void TFormSetting::showEvent(QShowEvent* event) {
    display_.EnableTrayMain(false);
    QDialog::showEvent(event);
    QRect frame = frameGeometry();
    if (centredOn_ != nullptr && centredOn_->isVisible() && !centredOn_->isMinimized())
        frame.moveCenter(centredOn_->frameGeometry().center());
    else if (const QScreen* screen = this->screen())
        frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TFormSetting::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    display_.EnableTrayMain(true);
}

void TFormSetting::execReadOnly(const QString& why) {
    // What each control was, to be given back; fields stay selectable and keep their tips.
    std::vector<QLineEdit*> fields;
    std::vector<QAbstractSpinBox*> spins;
    std::vector<QWidget*> switched;
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        if (field->isReadOnly() || qobject_cast<QAbstractSpinBox*>(field->parentWidget()) ||
            qobject_cast<QComboBox*>(field->parentWidget()))
            continue;
        field->setReadOnly(true);
        fields.push_back(field);
    }
    for (QAbstractSpinBox* spin : findChildren<QAbstractSpinBox*>()) {
        if (spin->isReadOnly()) continue;
        spin->setReadOnly(true);
        spins.push_back(spin);
    }
    for (QWidget* control : findChildren<QWidget*>()) {
        const bool edits =
            qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control);
        if (!edits || control == Cancel || !control->isEnabled()) continue;
        control->setEnabled(false);
        switched.push_back(control);
    }
    ButtonSave->hide();
    Cancel->setDefault(true);
    LabelReadOnly->setText(why);
    LabelReadOnly->show();
    readOnly_ = true;
    exec();
    readOnly_ = false;
    LabelReadOnly->hide();
    Cancel->setDefault(false);
    ButtonSave->show();
    ButtonSave->setDefault(true);
    for (QWidget* control : switched) control->setEnabled(true);
    for (QAbstractSpinBox* spin : spins) spin->setReadOnly(false);
    for (QLineEdit* field : fields) field->setReadOnly(false);
}

void TFormSetting::CheckBoxUseReservClick(bool checked) {
    flags_.UseReserve = checked;
    GroupBoxReserv->setVisible(checked);
}

void TFormSetting::pickFolder(QLineEdit* field, const QString& title, QString& start) {
    const QString chosen = picker_(this, title, start);
    if (chosen.isEmpty()) return;
    field->setText(chosen);
    start = chosen;
}

void TFormSetting::ButtonMainConnectClick() {
    connections_.AutoLogon = false;
    try {
        logons_.LogonMain();
    } catch (const std::exception& e) {
        platform::reportCommandError(e.what());
    }
}

void TFormSetting::ButtonReserveConnectClick() {
    connections_.AutoLogon = false;
    try {
        logons_.LogonReserve();
    } catch (const std::exception& e) {
        platform::reportCommandError(e.what());
    }
}

void TFormSetting::clearLogs() {
    try {
        if (clearErrorLog_)
            clearErrorLog_();
        else
            client::emptyLogFile(logFiles_.error);
        if (clearLog_)
            clearLog_();
        else
            client::emptyLogFile(logFiles_.activity);
    } catch (const std::exception& e) {
        platform::reportCommandError(e.what());
    }
}

void TFormSetting::ButtonSaveClick() {
    try {
        SaveSettings(registry_, live_);
    } catch (const std::exception& e) {
        // Nothing is applied and the dialog stays with the user's values, so that the cause
        // can be put right and Save pressed again; closing would drop them unapplied.
        platform::reportCommandError(e.what());
        return;
    }
    ApplySettings();
    auto restartMessage = [this] {
        platform::prompts().messageBox(this, kRestartText, "Message", platform::PromptButtons::Ok,
                                       platform::PromptIcon::None);
    };
    if (!flags_.SetupPending) {
        restartMessage();
        accept();
        return;
    }
    // A failed installation keeps the logs that say why and leaves the marker unset, so
    // the next start is a first setup again.
    if (InstallProcedure(connections_, flags_.UseReserve)) return;
    try {
        writeProcedureInstalled(registry_);
    } catch (const std::exception& e) {
        platform::reportCommandError(e.what());
    }
    restartMessage();
    clearLogs();
    accept();
}

}  // namespace tvr::ui
