#include "ui/FontFit.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace tvr::ui {

namespace {

constexpr double kDesignCharWidth = 6.0;
constexpr double kDesignLineHeight = 13.0;

}  // namespace

double designScale(const QWidget& widget) {
    const QFontMetricsF metrics(widget.font());
    return std::max(
        {1.0, metrics.averageCharWidth() / kDesignCharWidth, metrics.height() / kDesignLineHeight});
}

int scaled(const QWidget& widget, int pixels) {
    return static_cast<int>(std::ceil(pixels * designScale(widget)));
}

int titleRoom(const QWidget& window, const QString& title) {
    const QFontMetricsF metrics(window.font());
    // The icon and the minimise, maximise and close buttons: a square of about two lines each.
    return static_cast<int>(std::ceil(metrics.horizontalAdvance(title) + 8 * metrics.height()));
}

}  // namespace tvr::ui
