#pragma once

#include <QStackedWidget>

class QLabel;
class QProgressBar;

// The header's right end: the upload bar with its line, or a small spinner with "Uploading…"/"Deleting…",
// or nothing. Object names: "uploadProgressBar", "uploadProgressText", "busySpinner", "busyText".
class ActivityArea : public QStackedWidget {
    Q_OBJECT

public:
    explicit ActivityArea(QWidget* parent = nullptr);

    void showNothing();
    void showProgress(double value, double total, const QString& line);
    void showBusy(const QString& text);

private:
    QWidget* m_empty;
    QWidget* m_progressPage;
    QWidget* m_busyPage;
    QProgressBar* m_bar;
    QLabel* m_line;
    QLabel* m_busyText;
};
