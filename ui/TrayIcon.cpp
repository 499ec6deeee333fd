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

QIcon TTrayIcon::alertImage(int level) {
    return QIcon(level >= 2 ? QStringLiteral(":/images/tray-critical.png")
                            : QStringLiteral(":/images/tray-warning.png"));
}

void TTrayIcon::setImageIndex(int index) {
    if (index == imageIndex_ || index < 0 || index >= kImageCount) return;
    imageIndex_ = index;
    showImage();
}

void TTrayIcon::setAlertLevel(int level) {
    alertLevel_ = level < 0 ? 0 : (level > 2 ? 2 : level);
    showImage();
}

void TTrayIcon::showImage() {
    const int wanted = alertLevel_ > 0 ? 10 + alertLevel_ : imageIndex_;
    if (wanted == shownImage_ || wanted < 0) return;
    shownImage_ = wanted;
    ++imageLoads_;
    setIcon(alertLevel_ > 0 ? alertImage(alertLevel_) : image(imageIndex_));
}

void TTrayIcon::notify(const QString& title, const QString& text, MessageIcon icon) {
    lastNotification_ = title + ": " + text;
    showMessage(title, text, icon);
}

void TTrayIcon::setHint(const QString& hint) { setToolTip(hint.left(kHintLimit)); }

}  // namespace tvr::ui
