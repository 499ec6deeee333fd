#include "ui/SettingControls.h"

#include "config/SettingsKeys.h"
#include "config/ViewSettings.h"
#include "engine/WatchRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace tvr::ui {

using config::SettingControl;
using config::SettingField;
using config::TDumpLoadSettings;

namespace {

template <class Control>
Control& controlOf(QWidget& form, const SettingField& field) {
    const QString name = QString::fromUtf8(field.control.data(), qsizetype(field.control.size()));
    auto* control = form.findChild<Control*>(name);
    if (control == nullptr)
        throw std::logic_error("the settings dialog has no control " + name.toStdString() +
                               " for " + std::string(field.entry));
    return *control;
}

// The number a count or lines box shows for a stored text: the one its readers take.
int shownNumber(const SettingField& field, const std::string& text) {
    if (field.kind == SettingControl::LinesBox) return int(config::logViewLines(text));
    const TDumpLoadSettings defaults;
    return engine::minutesSetting(text, engine::minutesSetting(defaults.*field.text, 0));
}

}  // namespace

void connectSettingControls(QWidget& form, config::LiveSettings& live,
                            std::function<bool()> filling) {
    for (const SettingField& field : config::kSettingFields) {
        const auto store = [&live, filling, &field](auto value) {
            if (filling()) return;
            live.edit([&](TDumpLoadSettings& s) {
                if constexpr (std::is_same_v<decltype(value), bool>)
                    s.*field.flag = value;
                else
                    s.*field.text = std::move(value);
            });
        };
        switch (field.kind) {
            case SettingControl::CheckBox:
                QObject::connect(&controlOf<QCheckBox>(form, field), &QCheckBox::toggled, &form,
                                 [store](bool checked) { store(checked); });
                break;
            case SettingControl::LineEdit:
                QObject::connect(&controlOf<QLineEdit>(form, field), &QLineEdit::textChanged, &form,
                                 [store](const QString& text) { store(text.toStdString()); });
                break;
            case SettingControl::ComboBox:
                QObject::connect(&controlOf<QComboBox>(form, field), &QComboBox::currentTextChanged,
                                 &form,
                                 [store](const QString& text) { store(text.toStdString()); });
                break;
            case SettingControl::CountBox:
            case SettingControl::LinesBox:
                QObject::connect(&controlOf<QSpinBox>(form, field), &QSpinBox::valueChanged, &form,
                                 [store](int value) { store(std::to_string(value)); });
                break;
        }
    }
}

void showSettingControls(QWidget& form, const TDumpLoadSettings& settings) {
    for (const SettingField& field : config::kSettingFields) {
        switch (field.kind) {
            case SettingControl::CheckBox:
                controlOf<QCheckBox>(form, field).setChecked(settings.*field.flag);
                break;
            case SettingControl::LineEdit:
                controlOf<QLineEdit>(form, field)
                    .setText(QString::fromStdString(settings.*field.text));
                break;
            case SettingControl::ComboBox:
                controlOf<QComboBox>(form, field)
                    .setEditText(QString::fromStdString(settings.*field.text));
                break;
            case SettingControl::CountBox:
            case SettingControl::LinesBox:
                controlOf<QSpinBox>(form, field).setValue(shownNumber(field, settings.*field.text));
                break;
        }
    }
}

}  // namespace tvr::ui
