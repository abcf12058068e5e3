#pragma once

#include <QStackedWidget>

class QLabel;
class QProgressBar;

// The header's right end: a transfer's bar with its line and a "Cancel" button, or a small spinner with
// "Uploading…"/"Deleting…", or the words that say a transfer has ended, or nothing. Object names:
// "transferProgressBar", "transferProgressText", "transferCancelButton", "busySpinner", "busyText",
// "transferNotice".
class ActivityArea : public QStackedWidget {
    Q_OBJECT

public:
    explicit ActivityArea(QWidget* parent = nullptr);

    void showNothing();
    void showProgress(double value, double total, const QString& line);
    void showBusy(const QString& text);
    void showNotice(const QString& words);

Q_SIGNALS:
    void cancelRequested();

private:
    QWidget* m_empty;
    QWidget* m_progressPage;
    QWidget* m_busyPage;
    QProgressBar* m_bar;
    QLabel* m_line;
    QLabel* m_busyText;
    QLabel* m_notice;
};
