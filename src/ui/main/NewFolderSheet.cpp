#include "NewFolderSheet.h"

#include "Typography.h"
#include "session/FolderChanges.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

NewFolderSheet::NewFolderSheet(NewFolderFlow& flow, QWidget* parent)
    : QDialog(parent)
    , m_flow(flow)
    , m_name(new QLineEdit(this))
    , m_status(new QStackedWidget(this))
    , m_progress(new QProgressBar)
    , m_error(new QLabel)
    , m_create(new QPushButton(QStringLiteral("Create"), this)) {
    setObjectName(QStringLiteral("newFolderSheet"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("New folder"));

    auto* title = new QLabel(QStringLiteral("New folder"), this);
    title->setFont(typography::headline(this));
    title->setAlignment(Qt::AlignCenter);
    m_name->setObjectName(QStringLiteral("newFolderName"));
    m_name->setPlaceholderText(QStringLiteral("Folder name"));
    m_progress->setObjectName(QStringLiteral("newFolderProgress"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_error->setObjectName(QStringLiteral("newFolderError"));
    m_error->setTextFormat(Qt::PlainText);
    m_error->setWordWrap(true);
    m_error->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->setFont(typography::caption(this));
    QPalette red = m_error->palette();
    red.setColor(QPalette::WindowText, QColor(215, 0, 21));
    m_error->setPalette(red);
    auto* idle = new QWidget;
    auto* busy = new QWidget;
    auto* busyLayout = new QVBoxLayout(busy);
    busyLayout->setContentsMargins(0, 0, 0, 0);
    busyLayout->addWidget(m_progress, 0, Qt::AlignVCenter);
    m_status->addWidget(idle);
    m_status->addWidget(busy);
    m_status->addWidget(m_error);
    // Room for a few lines of the longest error: the server, the folder and what to do.
    m_status->setFixedHeight(QFontMetrics(m_error->font()).lineSpacing() * 4);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("newFolderCancel"));
    cancel->setAutoDefault(false);
    m_create->setObjectName(QStringLiteral("newFolderCreate"));
    m_create->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_create);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(20);
    layout->addWidget(title);
    layout->addWidget(m_name);
    layout->addWidget(m_status);
    layout->addLayout(buttons);
    setFixedSize(360, sizeHint().height());

    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) { m_flow.setName(text); });
    connect(cancel, &QPushButton::clicked, this, &NewFolderSheet::reject);
    connect(m_create, &QPushButton::clicked, &m_flow, &NewFolderFlow::create);
    sync();
}

void NewFolderSheet::sync() {
    if (m_name->text() != m_flow.name())
        m_name->setText(m_flow.name());
    m_error->setText(m_flow.errorMessage().value_or(QString()));
    m_error->setToolTip(m_error->text()); // the whole of a text longer than its place
    m_status->setCurrentIndex(m_flow.isCreating() ? 1 : m_flow.errorMessage() ? 2 : 0);
    m_create->setEnabled(m_flow.canCreate());
}

void NewFolderSheet::reject() {
    m_flow.cancel();
    QDialog::reject();
}
