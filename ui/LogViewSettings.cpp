#include "ui/LogViewSettings.h"

#include "config/CommandError.h"
#include "config/ViewSettings.h"
#include "platform/Registry.h"
#include "platform/RegistryError.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tvr::ui {

TLogViewSettings::TLogViewSettings(QWidget* parent, std::function<void()> applied)
    : QDialog(parent), applied_(std::move(applied)) {
    setObjectName(QStringLiteral("LogViewSettings"));
    setWindowTitle(QStringLiteral("Log Views"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    lines_ = new QSpinBox(this);
    lines_->setObjectName(QStringLiteral("EditLogViewLines"));
    lines_->setRange(int(config::kFewestLogViewLines), int(config::kMostLogViewLines));
    lines_->setSingleStep(1000);
    lines_->setGroupSeparatorShown(true);
    std::size_t stored = config::kDefaultLogViewLines;
    try {
        stored = config::readLogViewLines(platform::Registry());
    } catch (const platform::RegistryError&) {
        // Shown with the default; OK reports a registry that cannot be written.
    }
    lines_->setValue(int(stored));
    form->addRow(QStringLiteral("Lines each log page keeps:"), lines_);
    layout->addLayout(form);
    auto* note = new QLabel(
        QStringLiteral("The log files keep every line. A page that has let older lines go "
                       "names the file that holds them on its first line."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ButtonOk"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ButtonCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TLogViewSettings::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TLogViewSettings::reject);
    layout->addWidget(buttons);
}

void TLogViewSettings::accept() {
    try {
        platform::Registry registry;
        config::writeLogViewLines(registry, std::size_t(lines_->value()));
    } catch (const platform::RegistryError& error) {
        config::reportCommandError(error.what());
        return;
    }
    if (applied_) applied_();
    QDialog::accept();
}

}  // namespace tvr::ui
