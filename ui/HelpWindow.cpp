#include "ui/HelpWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QVBoxLayout>

namespace tvr::ui {

QString helpFilePath() {
    return QDir(QCoreApplication::applicationDirPath())
        .absoluteFilePath(QStringLiteral("../share/travenor/tvr.html"));
}

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Travenor Help"));
    setWindowIcon(QIcon(QStringLiteral(":/images/tvr-32.png")));
    resize(640, 560);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
}

void THelpWindow::showTopic(const QString& file) {
    const QString path = QFileInfo(file).absoluteFilePath();
    if (QFileInfo(path).isFile()) {
        QUrl url = QUrl::fromLocalFile(path);
        url.setFragment(QStringLiteral("topic1"));
        browser_->setSource(url);
    } else {
        browser_->setHtml(QStringLiteral("<p>The help file <b>%1</b> cannot be found.</p>")
                              .arg(path.toHtmlEscaped()));
    }
    show();
    raise();
    activateWindow();
}

}  // namespace tvr::ui
