#pragma once
// The notification-area icon: one image per processing state, a hint of at most 63
// characters, and its menu. The image is loaded again only when its index changes.
#include <QSystemTrayIcon>

namespace tvr::ui {

class TTrayIcon : public QSystemTrayIcon {
    Q_OBJECT
public:
    static constexpr int kHintLimit = 63;
    static constexpr int kImageCount = 3;

    explicit TTrayIcon(QObject* parent = nullptr);

    // Loads image `index` of the tray's image list unless it is the one shown.
    void setImageIndex(int index);
    int imageIndex() const { return imageIndex_; }
    // How many times an image was loaded.
    int imageLoads() const { return imageLoads_; }
    // The alert level of the standby's lag, 0 none, 1 warning, 2 critical: above 0 its own
    // image stands in for the state's until the level falls again.
    void setAlertLevel(int level);
    int alertLevel() const { return alertLevel_; }
    static QIcon alertImage(int level);
    // Longer hints are cut to kHintLimit characters.
    void setHint(const QString& hint);
    QString hint() const { return toolTip(); }

    static QIcon image(int index);

    // A desktop notification beside the icon (where the desktop shows them): what an
    // unattended run would otherwise have said in a box, or a change of the alert level.
    // The last one is kept for whoever asks what the icon said.
    void notify(const QString& title, const QString& text, MessageIcon icon = Warning);
    QString lastNotification() const { return lastNotification_; }

signals:
    // A left click (press and release on the icon); double clicks do nothing.
    void click();

private:
    void showImage();

    int imageIndex_ = -1;
    int alertLevel_ = 0;
    int shownImage_ = -1;  // the state's index, or 10 + the alert level
    int imageLoads_ = 0;
    QString lastNotification_;
};

}  // namespace tvr::ui
