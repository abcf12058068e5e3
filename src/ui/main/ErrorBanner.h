#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

// The inline error row above the header: warning icon, the message verbatim, "Dismiss".
// Object names: "errorBanner", "errorBannerText", "errorBannerDismiss".
class ErrorBanner : public QFrame {
    Q_OBJECT

public:
    // `name` names the banner and, with "Text" and "Dismiss" appended, its parts.
    explicit ErrorBanner(const QString& name = QStringLiteral("errorBanner"), QWidget* parent = nullptr);

    void setMessage(const QString& message);
    QString message() const;

Q_SIGNALS:
    void dismissRequested();

private:
    QLabel* m_text;
};
