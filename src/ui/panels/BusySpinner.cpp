#include "BusySpinner.h"

#include <QPainter>

namespace {

constexpr int spinnerSpokes = 12;

} // namespace

BusySpinner::BusySpinner(int side, QWidget* parent)
    : QWidget(parent) {
    setFixedSize(side, side);
    m_timer.setInterval(1000 / spinnerSpokes);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % spinnerSpokes;
        update();
    });
}

void BusySpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const double radius = width() / 2.0;
    QColor colour = palette().color(QPalette::WindowText);
    QPen pen(colour, radius * 0.18, Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < spinnerSpokes; ++i) {
        const int age = (m_step - i + spinnerSpokes) % spinnerSpokes;
        colour.setAlphaF(float(1.0 - 0.75 * age / (spinnerSpokes - 1)));
        pen.setColor(colour);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * i / spinnerSpokes);
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
        painter.restore();
    }
}
