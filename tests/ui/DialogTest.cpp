// The logon dialog and the settings dialog as windows, on the offscreen platform, against
// the two emulators.
#include "ReadOnlyFile.h"
#include "WindowFixture.h"
#include "tests/support/LogonTestSupport.h"

#include "config/InstallProcedure.h"
#include "config/ProcedureMarker.h"
#include "config/SettingsKeys.h"
#include "config/ViewSettings.h"
#include "engine/ProcedureScript.h"
#include "platform/CommandError.h"
#include "tests/support/ScriptedProcessingHost.h"
#include "ui/FormConnect.h"
#include "ui/FormSetting.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <functional>

using tvr::testing::kMainPassword;
using tvr::testing::kReservePassword;
using tvr::ui::TFormSetting;

namespace {

// The one application of the binary, shared with the window tests beside these: a second
// QApplication in the same process leaks what the first one set up.
QApplication& app() { return tvr::testing::application(); }

// Runs the next scripted step on each modal dialog as it is shown, once the event loop of
// its exec() runs.
class ModalDriver final : public QObject {
public:
    using Step = std::function<void(QDialog&)>;
    ModalDriver() { app().installEventFilter(this); }
    ~ModalDriver() override { app().removeEventFilter(this); }
    void then(Step step) { steps_.push_back(std::move(step)); }
    bool done() const { return steps_.empty() && pending_ == 0; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* dialog = qobject_cast<QDialog*>(object);
        if (event->type() == QEvent::Show && dialog && dialog->isModal() && !steps_.empty()) {
            Step step = std::move(steps_.front());
            steps_.pop_front();
            ++pending_;
            QPointer<QDialog> target(dialog);
            QTimer::singleShot(0, dialog, [this, step, target] {
                --pending_;
                if (target) step(*target);
            });
        }
        return false;
    }

private:
    std::deque<Step> steps_;
    int pending_ = 0;
};

template <class W>
W& child(QWidget& parent, const char* name) {
    W* w = parent.findChild<W*>(name);
    if (!w) throw std::runtime_error(std::string("no widget ") + name);
    return *w;
}

// Fills the logon dialog and presses Ok.
ModalDriver::Step enter(std::string server, std::string user, std::string password) {
    return [=](QDialog& d) {
        child<QComboBox>(d, "ComboBoxServer").setEditText(QString::fromStdString(server));
        child<QLineEdit>(d, "EditUser").setText(QString::fromStdString(user));
        child<QLineEdit>(d, "EditPassword").setText(QString::fromStdString(password));
        child<QPushButton>(d, "BtnEnter").click();
    };
}

class Dialogs : public tvr::testing::TwoServers {
protected:
    void SetUp() override {
        app();
        TwoServers::SetUp();
    }
    void TearDown() override {
        form.reset();
        TwoServers::TearDown();
    }
    // The settings dialog as program start creates it: loading the settings.
    TFormSetting& makeForm() {
        form = std::make_unique<TFormSetting>(window.connections, window.flags, display, live,
                                              registry, logons, logFiles);
        form->setFolderPicker([this](QWidget*, const QString& title, const QString& start) {
            pickerCalls.push_back(title.toStdString() + "@" + start.toStdString());
            return pickerAnswer;
        });
        return *form;
    }
    template <class W>
    W& widget(const char* name) {
        return child<W>(*form, name);
    }
    void logOnToBoth() {
        scripted.answer({true, "TVRMAIN", "sa", kMainPassword});
        scripted.answer({true, "TVRRES", "sa", kReservePassword});
        widget<QPushButton>("ButtonMainConnect").click();
        widget<QPushButton>("ButtonReserveConnect").click();
        ASSERT_TRUE(window.connections.MainConnected);
        ASSERT_TRUE(window.connections.ReserveConnected);
    }
    // The procedure text as the server keeps it.
    static std::string installedText(tvr::client::TSybaseConnect& c) {
        c.Execute("use sybsystemprocs");
        c.Execute("sp_helptext sp_TVR");
        if (c.ColCount() != 1) return {};
        std::string column = c.ColTexts()[0];
        column.erase(0, column.find('\n') + 1);
        std::string text;
        for (int row = 0; row < c.RowCount(); ++row) {
            const std::size_t piece = row + 1 < c.RowCount() ? std::size_t{255} : column.size() - 1;
            text += column.substr(0, piece);
            column.erase(0, piece + 1);
        }
        c.Execute("use master");
        return text;
    }
    static std::string procedureBatch() {
        const std::string_view script = tvr::engine::SpTvrInstallScript;
        const std::size_t go = script.rfind("\r\ngo\r\n");
        std::string batch(script.substr(go + 4));
        return batch.substr(0, batch.size() - 4);  // without the final CR LF "go"
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : prompts.boxes()) texts.push_back(box.caption + ": " + box.text);
        return texts;
    }

    tvr::testing::ScriptedDialogs scripted;
    tvr::config::TLogons logons{window.connections, window.flags, window.worker, display, live,
                                registry,           scripted,     logFiles};
    std::unique_ptr<TFormSetting> form;
    std::vector<std::string> pickerCalls;
    QString pickerAnswer;
};

TEST_F(Dialogs, WrongPasswordBringsTheLogonDialogBackWithNamesKeptAndFocusOnThePassword) {
    tvr::ui::QtLogonDialogs windows;
    tvr::config::TLogons windowLogons{
        window.connections, window.flags, window.worker, display, live,
        registry,           windows,      logFiles};
    ModalDriver driver;
    QStringList listed;
    QString focus;
    driver.then([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Main Server Logon");
        auto& servers = child<QComboBox>(d, "ComboBoxServer");
        for (int i = 0; i < servers.count(); ++i) listed << servers.itemText(i);
        focus = d.focusWidget() ? d.focusWidget()->objectName() : QString();
        enter("TVRMAIN", "sa", "wrong")(d);
    });
    QString serverAgain, userAgain, passwordAgain;
    driver.then([&](QDialog& d) {
        serverAgain = child<QComboBox>(d, "ComboBoxServer").currentText();
        userAgain = child<QLineEdit>(d, "EditUser").text();
        passwordAgain = child<QLineEdit>(d, "EditPassword").text();
        enter("TVRMAIN", "sa", kMainPassword)(d);
    });
    windowLogons.LogonMain();

    EXPECT_TRUE(driver.done());
    EXPECT_EQ(listed, (QStringList{"TVRMAIN", "TVRRES"}));
    EXPECT_EQ(focus, "EditPassword");
    EXPECT_EQ(serverAgain, "TVRMAIN");
    EXPECT_EQ(userAgain, "sa");
    EXPECT_EQ(passwordAgain, "wrong");
    EXPECT_TRUE(window.connections.MainConnected);
    EXPECT_NE(errors().find("Login failed"), std::string::npos);
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Error: Unable establish connection"}));
}

TEST_F(Dialogs, LogonDialogReportsAnUnreadableServerListAndCancelLeavesNoConnection) {
    std::filesystem::remove_all(sybase);
    tvr::ui::QtLogonDialogs windows;
    tvr::config::TLogons windowLogons{
        window.connections, window.flags, window.worker, display, live,
        registry,           windows,      logFiles};
    ModalDriver driver;
    driver.then([](QDialog& d) { child<QPushButton>(d, "BtnEscape").click(); });
    window.flags.UseReserve = true;
    windowLogons.LogonReserve();
    EXPECT_TRUE(driver.done());
    EXPECT_FALSE(window.connections.ReserveConnection);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes()[0].caption, tvr::platform::kApplicationTitle);
    EXPECT_EQ(prompts.boxes()[0].text, "Cannot open file \"" + (sybase / "ini/sql.ini").string() +
                                           "\". No such file or directory.");
}

TEST_F(Dialogs, SettingsDialogHoldsItsControlsAndLoadsTheSettings) {
    registry.writeDefaultText(tvr::config::settingKeyPath("IsInterval"), "-1");
    registry.writeDefaultText(tvr::config::settingKeyPath("EditInterval"), "01:30");
    registry.writeDefaultText(tvr::config::settingKeyPath("ComboDump"), "sales");
    makeForm();
    EXPECT_EQ(form->windowTitle(), "Settings");
    for (const char* name :
         {"CheckBoxDumpLoadDB", "CheckBoxClearLog", "ComboLoad", "EditPathLoad", "EditLogPath",
          "EditErrorLogPath", "MainServerName", "ReservServerName", "SpeedButtonLoad",
          "SpeedButtonLogPath", "SpeedButtonErrorLogPath", "Cancel"})
        EXPECT_NE(form->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(widget<QCheckBox>("CheckBoxInterval").text(), "Interval 'dump' and 'load' ");
    EXPECT_TRUE(widget<QPushButton>("ButtonSave").isDefault());
    EXPECT_TRUE(widget<QPushButton>("ButtonMainConnect").font().bold());
    EXPECT_TRUE(widget<QLineEdit>("MainServerName").isReadOnly());
    // A stored interval shows because the box is stored ticked; unticking hides it.
    EXPECT_FALSE(widget<QLineEdit>("EditInterval").isHidden());
    EXPECT_EQ(widget<QLineEdit>("EditInterval").text(), "01:30");
    // The label names the form the field holds.
    for (const auto& [text, label] : {std::pair{"00:00:10", "hh:mm:ss"}, {"00:15", "hh:mm"}}) {
        widget<QLineEdit>("EditInterval").setText(text);
        EXPECT_EQ(widget<QLabel>("LabelInterval").text(), label);
    }
    widget<QLineEdit>("EditInterval").setText("01:30");
    EXPECT_EQ(widget<QComboBox>("ComboDump").currentText(), "sales");
    widget<QCheckBox>("CheckBoxInterval").click();
    EXPECT_TRUE(widget<QLineEdit>("EditInterval").isHidden());
    EXPECT_FALSE(live.read(&tvr::config::TDumpLoadSettings::IsInterval));
    widget<QCheckBox>("CheckBoxInterval").click();
    EXPECT_FALSE(widget<QLineEdit>("EditInterval").isHidden());
    // Applied at creation: panel 3 and both rows of the grid.
    EXPECT_EQ(display.panelText(3), "sales");
    EXPECT_EQ(display.count("SetInfoRowCount(2)"), 1);
    // Showing disables tray "Main", closing enables it again.
    form->show();
    form->reject();
    const auto calls = display.calls();
    EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
              (std::vector<std::string>{"EnableTrayMain(false)", "EnableTrayMain(true)"}));
}

TEST_F(Dialogs, TheReadOnlyDialogShowsTheSettingsSaysWhyAndTakesNoEdit) {
    registry.writeDefaultText(tvr::config::settingKeyPath("EditPathDump"), "/srv/dumps");
    makeForm();
    ModalDriver driver;
    driver.then([&](QDialog& d) {
        EXPECT_EQ(child<QLabel>(d, "LabelReadOnly").text(), "processing runs");
        EXPECT_FALSE(child<QPushButton>(d, "ButtonSave").isVisible());
        for (const char* name : {"CheckBoxInterval", "ComboDump", "ButtonMainConnect",
                                 "SpeedButtonDump", "CheckBoxUseReserv"})
            EXPECT_FALSE(child<QWidget>(d, name).isEnabled()) << name;
        auto& path = child<QLineEdit>(d, "EditPathDump");
        path.setFocus();
        QTest::keyClicks(&path, "x");
        EXPECT_EQ(path.text(), "/srv/dumps");
        child<QPushButton>(d, "Cancel").click();
    });
    form->execReadOnly("processing runs");
    EXPECT_TRUE(driver.done());
    // Afterwards the dialog edits as before.
    EXPECT_FALSE(widget<QLineEdit>("EditPathDump").isReadOnly());
    EXPECT_TRUE(widget<QComboBox>("ComboDump").isEnabled());
    EXPECT_FALSE(widget<QLabel>("LabelReadOnly").isVisibleTo(form.get()));
    EXPECT_EQ(live.read(&tvr::config::TDumpLoadSettings::EditPathDump), "/srv/dumps");
}

TEST_F(Dialogs, TheWatchPageShowsItsStoredSettingsAndEditsGoLive) {
    registry.writeDefaultText(tvr::config::settingKeyPath("IsFullOnBreak"), "-1");
    registry.writeDefaultText(tvr::config::settingKeyPath("EditLagWarning"), "5");
    registry.writeDefaultText(tvr::config::settingKeyPath("EditLagCritical"), "an hour");
    makeForm();
    auto& pages = widget<QTabWidget>("PageControlSetting");
    ASSERT_GE(pages.count(), 2);
    EXPECT_EQ(pages.tabText(1), "Watch");
    EXPECT_TRUE(widget<QCheckBox>("CheckBoxFullOnBreak").isChecked());
    EXPECT_EQ(widget<QSpinBox>("EditLagWarning").value(), 5);
    // Not a number of minutes: the default shows, and the worker reads the same.
    EXPECT_EQ(widget<QSpinBox>("EditLagCritical").value(), 60);
    EXPECT_EQ(widget<QSpinBox>("EditStallLimit").value(), 30);
    widget<QSpinBox>("EditStallLimit").setValue(0);
    widget<QCheckBox>("CheckBoxFullOnBreak").click();
    EXPECT_EQ(live.read(&tvr::config::TDumpLoadSettings::EditStallLimit), "0");
    EXPECT_FALSE(live.read(&tvr::config::TDumpLoadSettings::IsFullOnBreak));
}

TEST_F(Dialogs, TheViewsPageShowsTheLinesKeptAndEditsGoLive) {
    registry.writeDefaultText(tvr::config::settingKeyPath("EditLogViewLines"), "many");
    makeForm();
    auto& pages = widget<QTabWidget>("PageControlSetting");
    EXPECT_EQ(pages.tabText(pages.indexOf(&widget<QWidget>("TabSheetViews"))), "Views");
    auto& lines = widget<QSpinBox>("EditLogViewLines");
    // Not a number of lines: the default shows, as the views take it.
    EXPECT_EQ(lines.value(), int(tvr::config::kDefaultLogViewLines));
    lines.setValue(4000);
    EXPECT_EQ(live.read(&tvr::config::TDumpLoadSettings::EditLogViewLines), "4000");
}

// Every setting of the table has its control of its kind: the live value shows in it without
// being written back, and an edit of it goes into its own field of the live settings.
TEST_F(Dialogs, EverySettingShowsInItsControlAndItsEditsGoIntoItsOwnField) {
    using tvr::config::SettingControl;
    using tvr::config::SettingField;
    using tvr::config::TDumpLoadSettings;
    makeForm();
    const auto shown = [this](const SettingField& field) -> std::string {
        const std::string name(field.control);
        switch (field.kind) {
            case SettingControl::CheckBox:
                return child<QCheckBox>(*form, name.c_str()).isChecked() ? "ticked" : "unticked";
            case SettingControl::LineEdit:
                return child<QLineEdit>(*form, name.c_str()).text().toStdString();
            case SettingControl::ComboBox:
                return child<QComboBox>(*form, name.c_str()).currentText().toStdString();
            default:
                return std::to_string(child<QSpinBox>(*form, name.c_str()).value());
        }
    };
    const auto edit = [this](const SettingField& field, const std::string& value) {
        const std::string name(field.control);
        switch (field.kind) {
            case SettingControl::CheckBox:
                child<QCheckBox>(*form, name.c_str()).setChecked(value == "ticked");
                break;
            case SettingControl::LineEdit:
                child<QLineEdit>(*form, name.c_str()).setText(QString::fromStdString(value));
                break;
            case SettingControl::ComboBox:
                child<QComboBox>(*form, name.c_str()).setEditText(QString::fromStdString(value));
                break;
            default:
                child<QSpinBox>(*form, name.c_str()).setValue(std::stoi(value));
        }
    };
    const auto stored = [this](const SettingField& field) -> std::string {
        const TDumpLoadSettings s = live.snapshot();
        if (field.flag) return s.*field.flag ? "ticked" : "unticked";
        return s.*field.text;
    };
    // A value of its kind for each setting, told apart by its place in the table.
    const auto valueFor = [](const SettingField& field, std::size_t place, bool second) {
        switch (field.kind) {
            case SettingControl::CheckBox:
                return std::string(second ? "unticked" : "ticked");
            case SettingControl::LinesBox:
                return std::to_string((second ? 3000 : 2000) + place);
            case SettingControl::CountBox:
                return std::to_string((second ? 200 : 100) + place);
            default:
                return (second ? "edited" : "shown") + std::to_string(place);
        }
    };

    const auto& fields = tvr::config::kSettingFields;
    live.edit([&](TDumpLoadSettings& s) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].flag)
                s.*fields[i].flag = true;
            else
                s.*fields[i].text = valueFor(fields[i], i, false);
        }
        s.EditLagWarning = "soon";  // not minutes: its default shows, the text stays
    });
    form->showLiveSettings();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string entry(fields[i].entry);
        if (entry == "EditLagWarning") {
            EXPECT_EQ(shown(fields[i]), TDumpLoadSettings{}.EditLagWarning);
            EXPECT_EQ(stored(fields[i]), "soon");
            continue;
        }
        EXPECT_EQ(shown(fields[i]), valueFor(fields[i], i, false)) << entry;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        edit(fields[i], valueFor(fields[i], i, true));
        EXPECT_EQ(stored(fields[i]), valueFor(fields[i], i, true)) << fields[i].entry;
    }
}

TEST_F(Dialogs, UntickingReserveHidesItsGroupAndSaveCutsTheGridAndShowsTheRestartMessage) {
    makeForm();
    form->show();
    widget<QCheckBox>("CheckBoxUseReserv").click();
    EXPECT_FALSE(window.flags.UseReserve);
    EXPECT_TRUE(widget<QGroupBox>("GroupBoxReserv").isHidden());
    display.SetStatusText(6, "TVRRES");
    widget<QPushButton>("ButtonSave").click();

    EXPECT_EQ(display.callsFrom(display.callCount() - 7),
              (std::vector<std::string>{
                  "SetStatusText(3, )",
                  "SetInfoRow(0, Main server|||" +
                      live.read(&tvr::config::TDumpLoadSettings::EditPathDump) + ")",
                  "SetStatusText(6, )", "SetStatusText(7, )", "SetStatusText(8, )",
                  "SetInfoRowCount(1)", "EnableTrayMain(true)"}));
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{
                              "Message: Parameters will take effect after restart application"}));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    std::string stored;
    registry.readDefaultText(tvr::config::settingKeyPath("IsReserv"), stored);
    EXPECT_EQ(stored, "0");
}

TEST_F(Dialogs, ConnectUseReserveAndSaveDuringARunLeaveTheWorkerItsOwnConnections) {
    makeForm();
    form->show();
    logOnToBoth();
    tvr::client::TSybaseConnect* runMain = window.connections.MainConnection.get();
    tvr::client::TSybaseConnect* runReserve = window.connections.ReserveConnection.get();
    tvr::testing::ScriptedProcessingHost host(window.connections);
    host.holdPasses();
    auto worker = std::make_unique<tvr::engine::TDumpLoadThread>(window.flags, display, host,
                                                                 tvr::client::LogViews{});
    worker->MainConnection = window.connections.MainConnection;
    worker->ReserveConnection = window.connections.ReserveConnection;
    window.worker.Take(std::move(worker));
    window.worker->Resume();
    host.waitUntilHeld();  // inside its pass, before it has sent anything

    scripted.answer({true, "TVRMAIN", "sa", kMainPassword});
    widget<QPushButton>("ButtonMainConnect").click();
    widget<QPushButton>("ButtonReserveConnect").click();  // cancelled: the slot is emptied
    widget<QCheckBox>("CheckBoxUseReserv").click();
    widget<QPushButton>("ButtonSave").click();

    ASSERT_TRUE(window.connections.MainConnection);
    EXPECT_NE(window.connections.MainConnection.get(), runMain);
    EXPECT_FALSE(window.connections.ReserveConnection);
    EXPECT_EQ(window.worker->MainConnection.get(), runMain);
    EXPECT_EQ(window.worker->ReserveConnection.get(), runReserve);
    EXPECT_TRUE(window.worker->UseReserve);  // the run goes on as it was started
    for (tvr::client::TSybaseConnect* held : {runMain, runReserve}) {
        EXPECT_NE(held->Connection(), nullptr);
        EXPECT_FALSE(held->ConnectionDead());
    }

    window.worker->StopRequested = true;
    host.release();
    EXPECT_TRUE(display.waitFor([&] { return window.worker.Ended(); }));
    EXPECT_TRUE(window.worker.ReleaseEnded());
}

TEST_F(Dialogs, CancelKeepsTheEditsInTheControlsAndTheLiveSettingsButStoresNothing) {
    makeForm();
    form->show();
    const QString before = widget<QLineEdit>("EditPathDump").text();
    widget<QLineEdit>("EditPathDump").setText("/edited/dumps");
    widget<QComboBox>("ComboDump").setEditText("typed_db");
    widget<QPushButton>("Cancel").click();
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(widget<QLineEdit>("EditPathDump").text(), "/edited/dumps");
    EXPECT_EQ(live.read(&tvr::config::TDumpLoadSettings::EditPathDump), "/edited/dumps");
    EXPECT_EQ(live.read(&tvr::config::TDumpLoadSettings::ComboDump), "typed_db");
    EXPECT_FALSE(registry.keyExists(tvr::config::settingKeyPath("EditPathDump")));
    EXPECT_FALSE(before.isEmpty());
}

TEST_F(Dialogs, FolderPickersUseTheirTitlesAndStartWhereTheyLastChose) {
    makeForm();
    const std::string dumpStart = live.read(&tvr::config::TDumpLoadSettings::EditPathDump);
    widget<QLineEdit>("EditPathDump").setText("/typed");  // typing does not move the picker
    pickerAnswer = "/chosen";
    widget<QToolButton>("SpeedButtonDump").click();
    EXPECT_EQ(widget<QLineEdit>("EditPathDump").text(), "/chosen");
    pickerAnswer.clear();  // cancelled: the field stays
    widget<QToolButton>("SpeedButtonDump").click();
    widget<QToolButton>("SpeedButtonLoad").click();
    widget<QToolButton>("SpeedButtonLogPath").click();
    widget<QToolButton>("SpeedButtonErrorLogPath").click();
    EXPECT_EQ(widget<QLineEdit>("EditPathDump").text(), "/chosen");
    const auto s = live.snapshot();
    EXPECT_EQ(pickerCalls,
              (std::vector<std::string>{"Dump path of main server database @" + dumpStart,
                                        "Dump path of main server database @/chosen",
                                        "Load path of reserv server database@" + s.EditPathLoad,
                                        "Log path@" + s.EditLogPath,
                                        "Error log path@" + s.EditErrorLogPath}));
}

TEST_F(Dialogs, FirstSetupSaveWithOnlyTheMainServerNamesTheMissingReserveAndStaysOpen) {
    window.flags.SetupPending = true;
    makeForm();
    form->show();
    scripted.answer({true, "TVRMAIN", "sa", kMainPassword});
    widget<QPushButton>("ButtonMainConnect").click();
    ASSERT_TRUE(window.connections.MainConnected);
    const std::string traceBefore = mainServer->traceText();
    widget<QPushButton>("ButtonSave").click();

    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes()[0].caption, "Error");
    EXPECT_EQ(prompts.boxes()[0].text, "\r\nunable to establish connection with Reserve Server");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(mainServer->traceText(), traceBefore);  // nothing installed
    EXPECT_FALSE(tvr::config::readProcedureInstalled(registry));
    EXPECT_TRUE(registry.keyExists(tvr::config::settingKeyPath("IsReserv")));  // stored
}

TEST_F(Dialogs, FirstSetupSaveInstallsTheProcedureOnBothServersMarksItAndEmptiesTheLogs) {
    window.flags.SetupPending = true;
    makeForm();
    form->show();
    logOnToBoth();
    widget<QComboBox>("ComboDump").setEditText("sales");
    widget<QComboBox>("ComboLoad").setEditText("sales_copy");
    writeFile(logFiles.activity, "earlier activity\r\n");
    writeFile(logFiles.error, "earlier error\r\n");
    widget<QPushButton>("ButtonSave").click();

    EXPECT_EQ(boxTexts(), (std::vector<std::string>{
                              "Message: Parameters will take effect after restart application"}));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_TRUE(tvr::config::readProcedureInstalled(registry));
    EXPECT_EQ(activity(), "");
    EXPECT_EQ(errors(), "");
    EXPECT_EQ(installedText(*window.connections.MainConnection), procedureBatch());
    EXPECT_EQ(installedText(*window.connections.ReserveConnection), procedureBatch());
    EXPECT_EQ(display.panelText(7), "sales_copy");
}

TEST_F(Dialogs, FirstSetupSaveKeepsTheLogsAndTheDialogWhenTheInstallationFailsOnAServer) {
    window.flags.SetupPending = true;
    makeForm();
    form->show();
    logOnToBoth();
    // A transaction left open refuses the script's "use sybsystemprocs" on the reserve.
    window.connections.ReserveConnection->Execute("begin tran");
    widget<QPushButton>("ButtonSave").click();

    EXPECT_EQ(boxTexts(),
              (std::vector<std::string>{"Error: " + tvr::config::installFailedText("TVRRES")}));
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(tvr::config::readProcedureInstalled(registry));
    EXPECT_NE(activity().find("Ошибка: Процедура не установилась"), std::string::npos);
    EXPECT_NE(errors().find("USE DATABASE command not allowed"), std::string::npos);
    window.connections.ReserveConnection->Execute("rollback tran");
}

}  // namespace

// The first setup as the administrator does it: both logons through the logon dialog from
// the Connect buttons, the databases picked from the servers' lists, Save.
TEST_F(Dialogs, FirstSetupThroughTheLogonDialogsListsBothServersDatabasesAndInstalls) {
    window.flags.SetupPending = true;
    tvr::ui::QtLogonDialogs windows;
    tvr::config::TLogons windowLogons{
        window.connections, window.flags, window.worker, display, live,
        registry,           windows,      logFiles};
    TFormSetting setting(window.connections, window.flags, display, live, registry, windowLogons,
                         logFiles);
    setting.show();
    ModalDriver driver;
    driver.then(enter("TVRMAIN", "sa", kMainPassword));
    driver.then(enter("TVRRES", "sa", kReservePassword));
    child<QPushButton>(setting, "ButtonMainConnect").click();
    child<QPushButton>(setting, "ButtonReserveConnect").click();
    EXPECT_TRUE(driver.done());

    auto items = [&](const char* name) {
        QStringList list;
        auto& box = child<QComboBox>(setting, name);
        for (int i = 0; i < box.count(); ++i) list << box.itemText(i);
        return list;
    };
    EXPECT_EQ(items("ComboDump"),
              (QStringList{"master", "model", "sales", "sybsystemdb", "sybsystemprocs", "tempdb"}));
    EXPECT_TRUE(items("ComboLoad").contains("sales_copy"));
    EXPECT_EQ(child<QLineEdit>(setting, "MainServerName").text(), "TVRMAIN");
    EXPECT_EQ(child<QLineEdit>(setting, "ReservServerName").text(), "TVRRES");
    child<QComboBox>(setting, "ComboDump").setCurrentIndex(2);
    child<QComboBox>(setting, "ComboLoad").setEditText("sales_copy");
    child<QPushButton>(setting, "ButtonSave").click();

    EXPECT_EQ(setting.result(), QDialog::Accepted);
    EXPECT_TRUE(tvr::config::readProcedureInstalled(registry));
    EXPECT_EQ(installedText(*window.connections.MainConnection), procedureBatch());
    EXPECT_EQ(installedText(*window.connections.ReserveConnection), procedureBatch());
    std::string stored;
    registry.readDefaultText(tvr::config::settingKeyPath("ComboDump"), stored);
    EXPECT_EQ(stored, "sales");
    registry.readText(tvr::config::reserveKeyPath(), "ServerName", stored);
    EXPECT_EQ(stored, "TVRRES");
}

TEST_F(Dialogs, ASaveThatCannotWriteTheRegistryKeepsTheDialogOpenWithItsValues) {
    for (const bool firstSetup : {false, true}) {
        SCOPED_TRACE(firstSetup);
        window.flags.SetupPending = firstSetup;
        makeForm();
        form->show();
        const QString edited = QString::fromStdString((dir.path() / "edited").string());
        widget<QLineEdit>("EditPathDump").setText(edited);
        prompts.clear();
        {
            const tvr::testing::ReadOnlyFile readOnly(registry.file(), "");
            widget<QPushButton>("ButtonSave").click();
        }
        ASSERT_EQ(prompts.boxes().size(), 1u);
        EXPECT_EQ(prompts.boxes()[0].caption, tvr::platform::kApplicationTitle);
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(widget<QLineEdit>("EditPathDump").text(), edited);
        EXPECT_FALSE(tvr::config::readProcedureInstalled(registry));
        form->reject();
        form.reset();
    }
}
