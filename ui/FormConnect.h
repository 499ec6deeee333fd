#pragma once
// The logon dialog: server list, login name and password, Ok and Cancel. Each showing
// activates the form (server list and remembered names) and puts the focus in the password
// field; Ok hands the three values to the form, which remembers server and login name.
#include "config/ConnectForm.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tvr::ui {

class TFormConnect final : public QDialog, public config::LogonDialog {
    Q_OBJECT
public:
    explicit TFormConnect(config::ConnectForm& form, QWidget* parent = nullptr);

    bool ShowModal() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // FormActivate and the controls filled from the form; an unreadable server list is
    // reported and leaves the controls as they are.
    void FormActivate();
    void BtnEnterClick();

    config::ConnectForm& form_;
    QComboBox* ComboBoxServer = nullptr;
    QLineEdit* EditUser = nullptr;
    QLineEdit* EditPassword = nullptr;
    QPushButton* BtnEnter = nullptr;
    QPushButton* BtnEscape = nullptr;
};

// Makes a TFormConnect for each logon call.
class QtLogonDialogs final : public config::LogonDialogs {
public:
    explicit QtLogonDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    std::unique_ptr<config::LogonDialog> MakeLogonDialog(config::ConnectForm& form) override;

private:
    QWidget* parent_;
};

}  // namespace tvr::ui
