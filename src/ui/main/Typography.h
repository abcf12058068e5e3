#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

// The few text styles the window uses, taken from the platform's fonts and palette.
namespace typography {

inline QFont headline(const QWidget* widget) {
    QFont font = widget->font();
    font.setBold(true);
    return font;
}

inline QFont caption(const QWidget* widget) {
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 0.85 : 9);
    return font;
}

inline QColor secondary(const QWidget* widget) {
    return widget->palette().color(QPalette::PlaceholderText);
}

inline void makeSecondary(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, secondary(widget));
    palette.setColor(QPalette::Text, secondary(widget));
    widget->setPalette(palette);
}

} // namespace typography
