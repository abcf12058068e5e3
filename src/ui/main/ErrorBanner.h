#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

// The inline error row above the header: warning icon, the message verbatim, "Dismiss".
// Object names: "errorBanner", "errorBannerText", "errorBannerDismiss".
class ErrorBanner : public QFrame {
    Q_OBJECT

public:
    explicit ErrorBanner(QWidget* parent = nullptr);

    void setMessage(const QString& message);
    QString message() const;

Q_SIGNALS:
    void dismissRequested();

private:
    QLabel* m_text;
};
