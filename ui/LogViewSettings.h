#pragma once
// The settings page of the log views (Tools > Log Views): how many of their newest lines the
// Activity and ErrorLog pages keep. OK stores the number and applies it to both views at once;
// a registry that cannot be written keeps the page open with what the user typed.
#include <QDialog>

#include <functional>

class QSpinBox;

namespace tvr::ui {

class TLogViewSettings : public QDialog {
    Q_OBJECT
public:
    // `applied` runs once the number is stored.
    TLogViewSettings(QWidget* parent, std::function<void()> applied);

    void accept() override;

private:
    QSpinBox* lines_;
    std::function<void()> applied_;
};

}  // namespace tvr::ui
