#include "ui/AboutBox.h"

#include "product/ProductVersion.h"
#include "ui/FontFit.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>

namespace tvr::ui {

THotLink::THotLink(const QString& url, QWidget* parent)
    : QLabel(url, parent), url_(url), opener_([](const QUrl& u) { QDesktopServices::openUrl(u); }) {
    setObjectName(QStringLiteral("JvHotLink1"));
    setCursor(Qt::PointingHandCursor);
}

void THotLink::enterEvent(QEnterEvent* event) {
    normal_ = font();
    QFont hot = font();
    hot.setUnderline(true);
    setFont(hot);
    QPalette blue = palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(blue);
    QLabel::enterEvent(event);
}

void THotLink::leaveEvent(QEvent* event) {
    setFont(normal_);
    setPalette(QPalette());
    QLabel::leaveEvent(event);
}

void THotLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        opener_(url_);  // the result is ignored; the box stays open
    QLabel::mouseReleaseEvent(event);
}

TfmAbout::TfmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint) {
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About Travenor"));
    setWindowIcon(QIcon(QStringLiteral(":/images/tvr-32.png")));

    auto* text = new QLabel(QStringLiteral("Travenor\n"
                                           "Version %1\n"
                                           "Copyright (c) 2026 the Travenor developers.\n"
                                           "Free software under the MIT License.\n"
                                           "\n"
                                           "Travenor home page")
                                .arg(QString::fromLatin1(kProductVersion)),
                            this);
    text->setObjectName(QStringLiteral("Label1"));
    text->adjustSize();
    link_ = new THotLink(QString::fromLatin1(kHomePage), this);
    link_->adjustSize();
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("Ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // The design's places (text at 48, 16; link at 48, 104; Ok 75 x 25 at 88, 144 of a
    // 252 x 191 box) in this font, each pushed down or out where the text needs more room.
    const auto px = [this](int pixels) { return scaled(*this, pixels); };
    text->move(px(48), px(16));
    link_->move(px(48), std::max(px(104), text->geometry().bottom() + px(4)));
    const QSize button(std::max(px(75), ok->sizeHint().width()),
                       std::max(px(25), ok->sizeHint().height()));
    const int buttonTop = std::max(px(144), link_->geometry().bottom() + px(14));
    const int width = std::max({px(252), px(48) + std::max(text->width(), link_->width()) + px(16),
                                titleRoom(*this, windowTitle())});
    setFixedSize(width, std::max(px(191), buttonTop + button.height() + px(22)));
    ok->setGeometry((width - button.width()) / 2, buttonTop, button.width(), button.height());
}

int TfmAbout::showOver(QWidget* over) {
    if (over) move(over->geometry().center() - rect().center());
    return exec();
}

}  // namespace tvr::ui
