#pragma once
// The header toolbar: six owner-drawn sections of 64 x 64 pixels (more in a larger font), each an image from the
// toolbar's image list and a caption. A section whose clicks are off ignores the mouse; that
// is how the toolbar enables and disables its commands. A pressed section's caption is red.
#include <QPixmap>
#include <QWidget>

#include <array>

namespace tvr::ui {

class THeaderToolbar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSectionCount = 6;
    static constexpr int kSectionWidth = 64;
    static constexpr int kHeight = 64;
    static constexpr int kImageCount = 12;

    explicit THeaderToolbar(QWidget* parent = nullptr);

    void setSection(int index, int image, bool clickable);
    int sectionImage(int index) const { return sections_.at(std::size_t(index)).image; }
    bool sectionClickable(int index) const { return sections_.at(std::size_t(index)).clickable; }
    QString sectionCaption(int index) const;
    QRect sectionRect(int index) const;
    // The pressed section, or -1.
    int pressedSection() const { return pressed_; }
    // The toolbar's image list: image `index`, 24 x 24.
    static QPixmap image(int index);

signals:
    void sectionClick(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Section {
        int image = 0;
        bool clickable = true;
    };
    int sectionAt(const QPoint& point) const;
    // The section size for the font in use: the design's, or more where a caption needs it.
    void fitToFont();
    void drawSection(class QPainter& painter, int index, const QRect& rect, bool pressed);

    std::array<Section, kSectionCount> sections_{};
    int pressed_ = -1;
    int sectionWidth_ = kSectionWidth;
};

}  // namespace tvr::ui
