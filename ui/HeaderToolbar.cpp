#include "ui/HeaderToolbar.h"

#include <QFontInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>

#include <algorithm>

namespace tvr::ui {
namespace {

struct SectionSpec {
    const char* caption;
    int image;  // at creation
};
constexpr SectionSpec kSections[THeaderToolbar::kSectionCount] = {
    {"Start", 1}, {"Stop", 8}, {"Settings", 3}, {"Help", 4}, {"About", 5}, {"Exit", 6},
};

}  // namespace

THeaderToolbar::THeaderToolbar(QWidget* parent) : QWidget(parent) {
    for (int i = 0; i < kSectionCount; ++i) sections_[std::size_t(i)].image = kSections[i].image;
    fitToFont();
}

void THeaderToolbar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) fitToFont();
}

void THeaderToolbar::fitToFont() {
    // 64 x 64 sections, wider where a caption needs it and taller where the image and a
    // caption in this font need it, all alike.
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const SectionSpec& section : kSections)
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromLatin1(section.caption)));
    sectionWidth_ = std::max(kSectionWidth, widest + 8);
    setFixedHeight(std::max(kHeight, 36 + metrics.height() + 8));
    setMinimumWidth(kSectionCount * sectionWidth_);
    update();
}

QPixmap THeaderToolbar::image(int index) {
    return QPixmap(QStringLiteral(":/images/tool%1.png").arg(index, 2, 10, QLatin1Char('0')));
}

QString THeaderToolbar::sectionCaption(int index) const {
    return QString::fromLatin1(
        kSections[sections_.size() > std::size_t(index) ? index : 0].caption);
}

QRect THeaderToolbar::sectionRect(int index) const {
    return QRect(index * sectionWidth_, 0, sectionWidth_, height());
}

void THeaderToolbar::setSection(int index, int image, bool clickable) {
    Section& section = sections_.at(std::size_t(index));
    section.image = image;
    section.clickable = clickable;
    if (!clickable && pressed_ == index) pressed_ = -1;
    update(sectionRect(index));
}

int THeaderToolbar::sectionAt(const QPoint& point) const {
    for (int i = 0; i < kSectionCount; ++i)
        if (sectionRect(i).contains(point)) return i;
    return -1;
}

void THeaderToolbar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionHeader rest;
    rest.initFrom(this);
    rest.rect = QRect(kSectionCount * sectionWidth_, 0,
                      std::max(width() - kSectionCount * sectionWidth_, 0), height());
    rest.section = kSectionCount;
    style()->drawControl(QStyle::CE_HeaderSection, &rest, &painter, this);
    for (int i = 0; i < kSectionCount; ++i) drawSection(painter, i, sectionRect(i), pressed_ == i);
}

void THeaderToolbar::drawSection(QPainter& painter, int index, const QRect& rect, bool pressed) {
    QStyleOptionHeader frame;
    frame.initFrom(this);
    frame.rect = rect;
    frame.section = index;
    if (pressed) frame.state |= QStyle::State_Sunken;
    style()->drawControl(QStyle::CE_HeaderSection, &frame, &painter, this);

    // 1. The caption's colour: red while pressed, black otherwise.
    painter.setPen(pressed ? QColor(255, 0, 0) : QColor(0, 0, 0));
    // 2. The image, centred across the section, half its width from the top, laid over the
    // header's background through its transparency.
    const QPixmap picture = image(sections_[std::size_t(index)].image);
    const int imageWidth = picture.isNull() ? 24 : picture.width();
    painter.drawPixmap(rect.left() + (rect.width() - imageWidth) / 2, imageWidth / 2, picture);
    // 3. The caption, centred, its top the font's height above the bottom less 8 pixels
    // (the height counted as negative, as the font's character height is: -11 at 8 pt).
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const QString caption = sectionCaption(index);
    const int fontHeight = -QFontInfo(font()).pixelSize();
    const int top = rect.bottom() + 1 + fontHeight - 8;
    painter.drawText(rect.left() + (rect.width() - metrics.horizontalAdvance(caption)) / 2,
                     top + metrics.ascent(), caption);
}

void THeaderToolbar::mousePressEvent(QMouseEvent* event) {
    const int index = sectionAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || index < 0 || !sections_[std::size_t(index)].clickable)
        return;
    pressed_ = index;
    update(sectionRect(index));
}

void THeaderToolbar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || pressed_ < 0) return;
    const int index = pressed_;
    pressed_ = -1;
    update(sectionRect(index));
    if (sectionAt(event->position().toPoint()) == index && sections_[std::size_t(index)].clickable)
        emit sectionClick(index);
}

}  // namespace tvr::ui
