#include "PathBar.h"

#include "Icons.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/Typography.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStackedWidget>
#include <QToolButton>

PathBar::PathBar(QWidget* parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_stack(new QStackedWidget(this))
    , m_label(new ElidedLabel(m_stack))
    , m_field(new QLineEdit(m_stack)) {
    m_up->setObjectName(QStringLiteral("parentFolderButton"));
    m_up->setIcon(symbolIcon(u"arrow.up.circle.fill"));
    m_up->setToolTip(QStringLiteral("Parent folder (Backspace)"));
    m_up->setAutoRaise(true);
    m_up->setFocusPolicy(Qt::TabFocus);
    connect(m_up, &QToolButton::clicked, this, &PathBar::navigateUpRequested);

    m_label->setObjectName(QStringLiteral("headerPath"));
    m_label->setFont(typography::caption(m_label));
    typography::makeSecondary(m_label);
    m_label->setCursor(Qt::IBeamCursor);
    m_label->installEventFilter(this);
    m_field->setObjectName(QStringLiteral("headerPathField"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        const QString typed = m_field->text();
        stopEditing();
        Q_EMIT pathEntered(typed);
    });
    m_stack->addWidget(m_label);
    m_stack->addWidget(m_field);
    // As tall as the field, so the header does not jump when the path turns into one.
    m_stack->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_stack->setFixedHeight(m_field->sizeHint().height());

    auto* edit = new QAction(QStringLiteral("Go to Folder\u2026"), this);
    edit->setObjectName(QStringLiteral("editPathAction"));
    edit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    edit->setShortcutContext(Qt::WindowShortcut);
    connect(edit, &QAction::triggered, this, &PathBar::startEditing);
    addAction(edit);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_up);
    layout->addWidget(m_stack, 1);
}

void PathBar::setPath(const QString& path, const servertext::Encoding& encoding) {
    const QString shown = servertext::forDisplay(path, encoding);
    m_shown = shown.startsWith(u'/') ? shown : u'/' + shown;
    m_label->setFullText(m_shown);
    if (!isEditing())
        m_field->setText(m_shown);
}

void PathBar::setCanNavigateUp(bool canNavigateUp) {
    m_up->setEnabled(canNavigateUp);
}

bool PathBar::isEditing() const {
    return m_stack->currentWidget() == m_field;
}

void PathBar::startEditing() {
    if (!isEditing()) {
        m_focusBefore = QApplication::focusWidget();
        m_field->setText(m_shown);
        m_stack->setCurrentWidget(m_field);
    }
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void PathBar::stopEditing() {
    if (!isEditing())
        return;
    m_stack->setCurrentWidget(m_label);
    m_field->setText(m_shown);
    if (m_focusBefore && m_focusBefore != m_field)
        m_focusBefore->setFocus(Qt::OtherFocusReason);
}

bool PathBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_label && event->type() == QEvent::MouseButtonPress) {
        startEditing();
        return true;
    }
    if (watched == m_field && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        stopEditing();
        return true;
    }
    // Leaving the field gives up the edit; the window losing focus, or the field's own menu, does not.
    if (watched == m_field && event->type() == QEvent::FocusOut && isEditing()) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            stopEditing();
    }
    return QWidget::eventFilter(watched, event);
}
