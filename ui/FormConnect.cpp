#include "ui/FormConnect.h"

#include "config/ServerList.h"
#include "platform/CommandError.h"
#include "ui/FontFit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <initializer_list>

namespace tvr::ui {

using namespace config;

TFormConnect::TFormConnect(ConnectForm& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName("FormConnect");
    setWindowTitle(QString::fromStdString(form.Caption()));

    ComboBoxServer = new QComboBox(this);
    ComboBoxServer->setObjectName("ComboBoxServer");
    ComboBoxServer->setEditable(true);
    ComboBoxServer->setInsertPolicy(QComboBox::NoInsert);
    EditUser = new QLineEdit(this);
    EditUser->setObjectName("EditUser");
    EditPassword = new QLineEdit(this);
    EditPassword->setObjectName("EditPassword");
    EditPassword->setEchoMode(QLineEdit::Password);
    EditPassword->setStyleSheet("lineedit-password-character: 42;");  // '*'

    BtnEnter = new QPushButton("Ok", this);
    BtnEnter->setObjectName("BtnEnter");
    BtnEnter->setDefault(true);
    BtnEscape = new QPushButton("Cancel", this);
    BtnEscape->setObjectName("BtnEscape");

    // Wide enough for a server name, in characters of the font in use.
    const std::initializer_list<QWidget*> entries{ComboBoxServer, EditUser, EditPassword};
    for (QWidget* field : entries) field->setMinimumWidth(24 * fontMetrics().averageCharWidth());
    auto* fields = new QFormLayout;
    fields->addRow("Server:", ComboBoxServer);
    fields->addRow("Login:", EditUser);
    fields->addRow("Password:", EditPassword);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnEnter);
    buttons->addWidget(BtnEscape);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // And for the whole caption in the title bar: the fields take what the caption lacks.
    const int lack = titleRoom(*this, windowTitle()) - layout->sizeHint().width();
    if (lack > 0)
        for (QWidget* field : entries) field->setMinimumWidth(field->minimumWidth() + lack);

    connect(BtnEnter, &QPushButton::clicked, this, &TFormConnect::BtnEnterClick);
    connect(BtnEscape, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFormConnect::ShowModal() { return exec() == QDialog::Accepted; }

void TFormConnect::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormActivate();
    EditPassword->setFocus();
}

void TFormConnect::FormActivate() {
    try {
        form_.FormActivate();
    } catch (const ServerListError& e) {
        platform::reportCommandError(e.what());
        return;
    }
    // Filled afresh at every activation, so a dialog shown again lists each server once.
    ComboBoxServer->clear();
    for (const std::string& server : form_.Servers)
        ComboBoxServer->addItem(QString::fromStdString(server));
    ComboBoxServer->setEditText(QString::fromStdString(form_.Server));
    EditUser->setText(QString::fromStdString(form_.User));
}

void TFormConnect::BtnEnterClick() {
    try {
        form_.BtnEnterClick(ComboBoxServer->currentText().toStdString(),
                            EditUser->text().toStdString(), EditPassword->text().toStdString());
    } catch (const std::exception& e) {
        // The names are not remembered this time; the logon goes on with them.
        platform::reportCommandError(e.what());
    }
    accept();
}

std::unique_ptr<LogonDialog> QtLogonDialogs::MakeLogonDialog(ConnectForm& form) {
    return std::make_unique<TFormConnect>(form, parent_);
}

}  // namespace tvr::ui
