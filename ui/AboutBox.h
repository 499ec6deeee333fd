#pragma once
// The About box: the product, its version, a legal notice and a link to the home page.
#include "product/ProductVersion.h"

#include <QDialog>
#include <QLabel>
#include <QUrl>

#include <functional>

namespace tvr::ui {

inline constexpr const char* kHomePage = kProductHomePage;

// A link label: the hand pointer over it, blue and underlined while the mouse is over it,
// and a click hands its address to the platform's default handler.
class THotLink : public QLabel {
    Q_OBJECT
public:
    THotLink(const QString& url, QWidget* parent = nullptr);
    // Replaces the platform's opener (tests record the address instead).
    void setOpener(std::function<void(const QUrl&)> opener) { opener_ = std::move(opener); }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QUrl url_;
    QFont normal_;
    std::function<void(const QUrl&)> opener_;
};

class TfmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfmAbout(QWidget* parent = nullptr);
    THotLink* link() const { return link_; }
    // Shows the box modally, in the middle of `over`.
    int showOver(QWidget* over);

private:
    THotLink* link_;
};

}  // namespace tvr::ui
