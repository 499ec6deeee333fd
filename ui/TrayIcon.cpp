#include "ui/TrayIcon.h"

namespace tvr::ui {

TTrayIcon::TTrayIcon(QObject* parent) : QSystemTrayIcon(parent) {
    connect(this, &QSystemTrayIcon::activated, this, [this](ActivationReason reason) {
        if (reason == Trigger) emit click();
    });
}

QIcon TTrayIcon::image(int index) {
    return QIcon(QStringLiteral(":/images/tray%1.png").arg(index));
}

void TTrayIcon::setImageIndex(int index) {
    if (index == imageIndex_ || index < 0 || index >= kImageCount) return;
    imageIndex_ = index;
    ++imageLoads_;
    setIcon(image(index));
}

void TTrayIcon::setHint(const QString& hint) { setToolTip(hint.left(kHintLimit)); }

}  // namespace tvr::ui
