#include "ErrorBanner.h"

#include "Typography.h"
#include "ui/panels/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

ErrorBanner::ErrorBanner(const QString& name, QWidget* parent)
    : QFrame(parent)
    , m_text(new QLabel(this)) {
    setObjectName(name);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    QColor orange(255, 149, 0);
    orange.setAlphaF(0.15f);
    // Blend over the window colour: a translucent fill would show whatever was painted before.
    const QColor window = palette.color(QPalette::Window);
    const QColor blended = QColor::fromRgbF(window.redF() * 0.85f + orange.redF() * 0.15f,
                                            window.greenF() * 0.85f + orange.greenF() * 0.15f,
                                            window.blueF() * 0.85f + orange.blueF() * 0.15f);
    palette.setColor(QPalette::Window, blended);
    setPalette(palette);

    auto* icon = new QLabel(this);
    icon->setPixmap(symbolIcon(u"exclamationmark.triangle.fill").pixmap(16, 16));
    m_text->setObjectName(name + QStringLiteral("Text"));
    m_text->setTextFormat(Qt::PlainText); // shown exactly as the operation reported it
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    typography::makeSecondary(m_text);
    auto* dismiss = new QPushButton(QStringLiteral("Dismiss"), this);
    dismiss->setObjectName(name + QStringLiteral("Dismiss"));

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon);
    layout->addWidget(m_text, 1);
    layout->addWidget(dismiss);
    connect(dismiss, &QPushButton::clicked, this, &ErrorBanner::dismissRequested);
}

void ErrorBanner::setMessage(const QString& message) {
    m_text->setText(message);
}

QString ErrorBanner::message() const {
    return m_text->text();
}
