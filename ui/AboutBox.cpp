#include "ui/AboutBox.h"

#include "product/ProductVersion.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPushButton>

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
    setFixedSize(252, 191);

    auto* text = new QLabel(QStringLiteral("Travenor\n"
                                           "Version %1\n"
                                           "Copyright (c) 2026 the Travenor developers.\n"
                                           "Free software under the MIT License.\n"
                                           "\n"
                                           "Travenor home page")
                                .arg(QString::fromLatin1(kProductVersion)),
                            this);
    text->setObjectName(QStringLiteral("Label1"));
    text->move(48, 16);
    text->adjustSize();

    link_ = new THotLink(QString::fromLatin1(kHomePage), this);
    link_->move(48, 104);
    link_->adjustSize();

    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("Ok"));
    ok->setGeometry(88, 144, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

int TfmAbout::showOver(QWidget* over) {
    if (over) move(over->geometry().center() - rect().center());
    return exec();
}

}  // namespace tvr::ui
