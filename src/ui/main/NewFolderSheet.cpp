#include "NewFolderSheet.h"

#include "Typography.h"
#include "session/FolderChanges.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

NewFolderSheet::NewFolderSheet(NewFolderFlow& flow, QWidget* parent)
    : QDialog(parent)
    , m_flow(flow)
    , m_name(new QLineEdit(this))
    , m_progress(new QProgressBar(this))
    , m_create(new QPushButton(QStringLiteral("Create"), this)) {
    setObjectName(QStringLiteral("newFolderSheet"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(320);

    auto* title = new QLabel(QStringLiteral("New folder"), this);
    title->setFont(typography::headline(this));
    title->setAlignment(Qt::AlignCenter);
    m_name->setObjectName(QStringLiteral("newFolderName"));
    m_name->setPlaceholderText(QStringLiteral("Folder name"));
    m_progress->setObjectName(QStringLiteral("newFolderProgress"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
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
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) { m_flow.setName(text); });
    connect(cancel, &QPushButton::clicked, this, &NewFolderSheet::reject);
    connect(m_create, &QPushButton::clicked, &m_flow, &NewFolderFlow::create);
    sync();
}

void NewFolderSheet::sync() {
    if (m_name->text() != m_flow.name())
        m_name->setText(m_flow.name());
    m_progress->setVisible(m_flow.isCreating());
    m_create->setEnabled(m_flow.canCreate());
}

void NewFolderSheet::reject() {
    m_flow.cancel();
    QDialog::reject();
}
