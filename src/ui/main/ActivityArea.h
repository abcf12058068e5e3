#pragma once

#include <QStackedWidget>

class QLabel;
class QProgressBar;

// The header's right end: the upload bar with its line and a stop button, or a small spinner with
// "Uploading…"/"Deleting…", or nothing. Object names: "uploadProgressBar", "uploadProgressText",
// "uploadStopButton", "busySpinner", "busyText".
class ActivityArea : public QStackedWidget {
    Q_OBJECT

public:
    explicit ActivityArea(QWidget* parent = nullptr);

    void showNothing();
    void showProgress(double value, double total, const QString& line);
    void showBusy(const QString& text);

Q_SIGNALS:
    void stopRequested();

private:
    QWidget* m_empty;
    QWidget* m_progressPage;
    QWidget* m_busyPage;
    QProgressBar* m_bar;
    QLabel* m_line;
    QLabel* m_busyText;
};
