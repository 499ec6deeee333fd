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
    // Longer hints are cut to kHintLimit characters.
    void setHint(const QString& hint);
    QString hint() const { return toolTip(); }

    static QIcon image(int index);

signals:
    // A left click (press and release on the icon); double clicks do nothing.
    void click();

private:
    int imageIndex_ = -1;
    int imageLoads_ = 0;
};

}  // namespace tvr::ui
