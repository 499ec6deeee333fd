#include "ui/WindowPlace.h"

#include "config/WindowSettings.h"
#include "platform/RegistryError.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace tvr::ui {
namespace {

// The frame around a window's client area as the window system reports it once the window is
// shown; nothing while it is not known.
std::optional<QMargins> knownFrame(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    if (!window.isVisible() || frame == client) return std::nullopt;
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

// Room for a title bar in the window's font and a border, before the window system has said.
QMargins likelyFrame(const QWidget& window) {
    const int border = 4;
    const int title = std::max(window.style()->pixelMetric(QStyle::PM_TitleBarHeight),
                               window.fontMetrics().height() + 10);
    return {border, title + border, border, border};
}

QScreen* screenOf(const QWidget& window) {
    if (QScreen* screen = QGuiApplication::screenAt(window.pos() + QPoint(1, 1))) return screen;
    return QGuiApplication::primaryScreen();
}

// `window` and its frame `frame` within the screen it is on.
void fitWithFrame(QWidget& window, const QMargins& frame) {
    const QScreen* screen = screenOf(window);
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize room = area.size().shrunkBy(frame);
    const QSize minimum = window.minimumSize().boundedTo(room);
    if (minimum != window.minimumSize()) window.setMinimumSize(minimum);
    const QSize size = window.size().boundedTo(room).expandedTo(minimum);
    if (size != window.size()) window.resize(size);
    // pos() is the frame's top left corner, shown or not.
    const QSize outer = size.grownBy(frame);
    const QPoint at(std::clamp(window.pos().x(), area.left(),
                               std::max(area.left(), area.right() + 1 - outer.width())),
                    std::clamp(window.pos().y(), area.top(),
                               std::max(area.top(), area.bottom() + 1 - outer.height())));
    if (at != window.pos()) window.move(at);
}

}  // namespace

void fitOnScreen(QWidget& window) {
    fitWithFrame(window, knownFrame(window).value_or(likelyFrame(window)));
}

void fitShownOnScreen(QWidget& window) {
    if (const auto frame = knownFrame(window)) fitWithFrame(window, *frame);
}

void restoreWindowPlace(QWidget& window) {
    std::optional<config::TWindowPlace> place;
    try {
        place = config::readWindowPlace(platform::Registry());
    } catch (const platform::RegistryError&) {
        // The settings' own load reports an unreadable registry file.
    }
    bool restored = false;
    if (place) {
        const QRect saved(place->x, place->y, place->width, place->height);
        for (const QScreen* screen : QGuiApplication::screens())
            restored = restored || screen->availableGeometry().intersects(saved);
        if (restored) {
            window.resize(saved.size().expandedTo(window.minimumSize()));
            window.move(saved.topLeft());
            if (place->maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
        }
    }
    // A saved place was where a real frame stood; the standard size and place guess the frame.
    if (restored)
        fitWithFrame(window, {});
    else
        fitOnScreen(window);
}

void saveWindowPlace(const QWidget& window) {
    const bool maximized = window.isMaximized();
    const QRect normal = maximized ? window.normalGeometry() : window.geometry();
    const QPoint frameTopLeft = maximized ? normal.topLeft() : window.frameGeometry().topLeft();
    platform::Registry registry;
    config::writeWindowPlace(
        registry, {frameTopLeft.x(), frameTopLeft.y(), normal.width(), normal.height(), maximized});
}

}  // namespace tvr::ui
