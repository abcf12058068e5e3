#pragma once

#include <QTimer>
#include <QWidget>

// Spokes around a centre, the brightest one stepping round; it only ticks while it is on screen.
class BusySpinner : public QWidget {
public:
    // side: the drawn size in device-independent pixels.
    BusySpinner(int side, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent*) override { m_timer.start(); }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }
    void paintEvent(QPaintEvent*) override;

private:
    QTimer m_timer;
    int m_step = 0;
};
