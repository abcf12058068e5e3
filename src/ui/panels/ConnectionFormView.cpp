#include "ConnectionFormView.h"

#include "model/ServerText.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int hostFieldMaxWidth = 220;
constexpr int portFieldWidth = 70;

// The entries of the security choice, in order.
enum SecurityChoice { plainFtp, explicitTls, implicitTls };

int securityChoiceOf(const Connection& connection) {
    return !connection.useTLS ? plainFtp : connection.usesExplicitTLS() ? explicitTls : implicitTls;
}

qint64 usualPort(const Connection& connection) {
    return connection.usesImplicitTLS() ? 990 : 21;
}

QColor secondaryTextColor(const QPalette& palette) {
    return palette.color(QPalette::PlaceholderText);
}

QLabel* makeSectionHeader(const QString& text, const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setContentsMargins(4, 0, 4, 0);
    return label;
}

QLabel* makeSectionFooter(const QString& text, const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor(palette));
    label->setPalette(palette);
    label->setContentsMargins(4, 0, 4, 0);
    return label;
}

// The rounded box that holds one section's rows, as in a grouped settings form.
QFrame* makeSectionGroup(const QString& objectName, QWidget* parent, QVBoxLayout*& rows) {
    auto* group = new QFrame(parent);
    group->setObjectName(objectName);
    group->setFrameShape(QFrame::StyledPanel);
    group->setFrameShadow(QFrame::Plain);
    rows = new QVBoxLayout(group);
    rows->setContentsMargins(12, 8, 12, 8);
    rows->setSpacing(8);
    return group;
}

// Label at the left edge, field at the right edge, flexible space between them. The field takes the room
// first, up to its own maximum width; the space takes what is left.
QHBoxLayout* makeLabeledRow(QLabel* label, QWidget* field) {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(label, 0, Qt::AlignVCenter);
    row->addStretch(0);
    row->addWidget(field, 1, Qt::AlignVCenter);
    return row;
}

QLineEdit* makeTextField(const QString& title, const QString& objectName, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setPlaceholderText(title);
    field->setFrame(true);
    return field;
}

} // namespace

ConnectionFormView::ConnectionFormView(QWidget* parent)
    : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* sections = new QWidget(this);
    sections->setObjectName(QStringLiteral("sections"));
    auto* sectionsLayout = new QVBoxLayout(sections);
    sectionsLayout->setContentsMargins(0, 0, 0, 16);
    sectionsLayout->setSpacing(6);

    // General
    QVBoxLayout* rows = nullptr;
    sectionsLayout->addWidget(makeSectionHeader(tr("General"), QStringLiteral("generalHeader"), sections));
    QFrame* general = makeSectionGroup(QStringLiteral("generalGroup"), sections, rows);
    m_nameField = makeTextField(tr("Connection name"), QStringLiteral("nameField"), general);
    rows->addLayout(makeLabeledRow(new QLabel(tr("Connection name"), general), m_nameField));
    sectionsLayout->addWidget(general);
    sectionsLayout->addWidget(
        makeSectionFooter(tr("e.g. Work server, Backup server"), QStringLiteral("generalFooter"), sections));
    sectionsLayout->addSpacing(12);

    // Server
    sectionsLayout->addWidget(makeSectionHeader(tr("Server"), QStringLiteral("serverHeader"), sections));
    QFrame* server = makeSectionGroup(QStringLiteral("serverGroup"), sections, rows);
    m_hostField = makeTextField(QStringLiteral("ftp.example.com"), QStringLiteral("hostField"), server);
    m_hostField->setMaximumWidth(hostFieldMaxWidth);
    m_hostField->setMinimumWidth(0);
    m_hostField->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_hostField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* serverLabel = new QLabel(tr("Server"), server);
    serverLabel->setObjectName(QStringLiteral("serverLabel"));
    rows->addLayout(makeLabeledRow(serverLabel, m_hostField));

    // A line edit rather than a spin box: a spin box clamps to a range, and every whole number is a port
    // the user may mean.
    m_portField = makeTextField(QStringLiteral("21"), QStringLiteral("portField"), server);
    m_portField->setFixedWidth(portFieldWidth);
    m_portField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* portLabel = new QLabel(tr("Port"), server);
    portLabel->setObjectName(QStringLiteral("portLabel"));
    rows->addLayout(makeLabeledRow(portLabel, m_portField));

    m_securityChoice = new QComboBox(server);
    m_securityChoice->setObjectName(QStringLiteral("securityChoice"));
    m_securityChoice->addItems(
        {tr("None (plain FTP)"), tr("TLS, explicit (port 21)"), tr("TLS, implicit (port 990)")});
    rows->addLayout(makeLabeledRow(new QLabel(tr("Security"), server), m_securityChoice));

    m_encodingChoice = new QComboBox(server);
    m_encodingChoice->setObjectName(QStringLiteral("encodingChoice"));
    for (const servertext::Encoding& encoding : servertext::offeredEncodings())
        m_encodingChoice->addItem(servertext::encodingLabel(encoding), encoding.id);
    rows->addLayout(makeLabeledRow(new QLabel(tr("Server text encoding"), server), m_encodingChoice));
    sectionsLayout->addWidget(server);
    sectionsLayout->addWidget(
        makeSectionFooter(tr("Explicit TLS secures the usual FTP port before the login; implicit TLS has a "
                             "port of its own. Plain FTP sends the password readable by anyone on the way."),
                          QStringLiteral("serverFooter"), sections));
    sectionsLayout->addSpacing(12);

    // Authentication
    sectionsLayout->addWidget(
        makeSectionHeader(tr("Authentication"), QStringLiteral("authenticationHeader"), sections));
    QFrame* authentication = makeSectionGroup(QStringLiteral("authenticationGroup"), sections, rows);
    auto* usernameLabel = new QLabel(tr("Username"), authentication);
    auto* passwordLabel = new QLabel(tr("Password"), authentication);
    // One label column, so the two login fields start at the same place.
    const int labelWidth = std::max(usernameLabel->sizeHint().width(), passwordLabel->sizeHint().width());
    usernameLabel->setMinimumWidth(labelWidth);
    passwordLabel->setMinimumWidth(labelWidth);
    m_usernameField = makeTextField(tr("Username"), QStringLiteral("usernameField"), authentication);
    rows->addLayout(makeLabeledRow(usernameLabel, m_usernameField));
    m_passwordField = makeTextField(tr("Password"), QStringLiteral("passwordField"), authentication);
    m_passwordField->setEchoMode(QLineEdit::Password);
    rows->addLayout(makeLabeledRow(passwordLabel, m_passwordField));
    sectionsLayout->addWidget(authentication);
    m_passwordNote = makeSectionFooter(QString(), QStringLiteral("passwordNote"), sections);
    m_passwordNote->hide();
    sectionsLayout->addWidget(m_passwordNote);
    sectionsLayout->addStretch(1);

    outer->addWidget(sections, 1);

    auto* divider = new QFrame(this);
    divider->setObjectName(QStringLiteral("divider"));
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    outer->addWidget(divider);

    auto* buttonBar = new QWidget(this);
    buttonBar->setObjectName(QStringLiteral("buttonBar"));
    buttonBar->setAutoFillBackground(true);
    buttonBar->setBackgroundRole(QPalette::Window);
    auto* buttons = new QHBoxLayout(buttonBar);
    buttons->setContentsMargins(16, 16, 16, 16);
    buttons->setSpacing(12);
    m_cancelButton = new QPushButton(tr("Cancel"), buttonBar);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setAutoDefault(false);
    m_saveButton = new QPushButton(tr("Save"), buttonBar);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setAutoDefault(false);
    m_saveButton->setDefault(true);
    buttons->addWidget(m_cancelButton, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    buttons->addWidget(m_saveButton, 0, Qt::AlignVCenter);
    outer->addWidget(buttonBar);
    applyProminentStyle();

    connect(m_nameField, &QLineEdit::textEdited, this,
            [this](const QString& text) { edit([&](Connection& c) { c.name = text; }); });
    connect(m_hostField, &QLineEdit::textEdited, this,
            [this](const QString& text) { edit([&](Connection& c) { c.host = text; }); });
    connect(m_portField, &QLineEdit::textEdited, this, &ConnectionFormView::portTextEdited);
    connect(m_portField, &QLineEdit::editingFinished, this, &ConnectionFormView::showPort);
    connect(m_securityChoice, &QComboBox::activated, this, &ConnectionFormView::securityChosen);
    connect(m_encodingChoice, &QComboBox::activated, this, [this](int index) {
        const QString id = m_encodingChoice->itemData(index).toString();
        edit([&](Connection& c) { c.textEncoding.id = id; });
    });
    connect(m_usernameField, &QLineEdit::textEdited, this,
            [this](const QString& text) { edit([&](Connection& c) { c.username = text; }); });
    // A typed password replaces one kept in the keyring; saving decides where the new one goes.
    connect(m_passwordField, &QLineEdit::textEdited, this, [this](const QString& text) {
        edit([&](Connection& c) {
            c.password = text;
            c.passwordInKeyring = false;
        });
    });
    connect(m_saveButton, &QPushButton::clicked, this, &ConnectionFormView::save);
    connect(m_cancelButton, &QPushButton::clicked, this, &ConnectionFormView::cancel);

    // The form lives in a main window, where a default button gets no Return of its own; shortcuts scoped
    // to the form reach it from whichever field has focus, and leave other parts of the window alone.
    const auto addShortcut = [this](const QKeySequence& keys, void (ConnectionFormView::*action)()) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    addShortcut(QKeySequence(Qt::Key_Return), &ConnectionFormView::save);
    addShortcut(QKeySequence(Qt::Key_Enter), &ConnectionFormView::save);
    addShortcut(QKeySequence(Qt::Key_Escape), &ConnectionFormView::cancel);

    setConnection(m_connection);
}

void ConnectionFormView::setConnection(const Connection& connection) {
    m_connection = connection;

    const auto show = [](QLineEdit* field, const QString& text) {
        if (field->text() != text)
            field->setText(text);
    };
    show(m_nameField, connection.name);
    show(m_hostField, connection.host);
    show(m_usernameField, connection.username);
    show(m_passwordField, connection.password);
    m_securityChoice->setCurrentIndex(securityChoiceOf(connection));
    showEncoding();

    // While the user types a port, the record agrees with the text (port 0 for text that is not a number);
    // rewriting the text then would regroup digits under the cursor.
    if (m_portField->hasFocus()) {
        bool ok = false;
        const qint64 typed = QLocale().toLongLong(m_portField->text(), &ok);
        if ((ok ? typed : 0) == connection.port)
            return;
    }
    showPort();
}

void ConnectionFormView::setSaveEnabled(bool enabled) {
    m_saveButton->setEnabled(enabled);
}

void ConnectionFormView::setPasswordNote(const QString& note) {
    m_passwordNote->setText(note);
    m_passwordNote->setVisible(!note.isEmpty());
}

void ConnectionFormView::securityChosen(int index) {
    edit([index](Connection& c) {
        const qint64 previousUsualPort = usualPort(c);
        c.useTLS = index != plainFtp;
        if (c.useTLS)
            c.tlsMode =
                index == explicitTls ? Connection::TlsMode::explicitTLS : Connection::TlsMode::implicit;
        if (c.port == previousUsualPort)
            c.port = usualPort(c);
    });
    showPort();
}

void ConnectionFormView::showEncoding() {
    int index = m_encodingChoice->findData(m_connection.textEncoding.id);
    if (index < 0) {
        // An encoding this build does not offer (from a newer one) stays as it is, shown by its name.
        m_encodingChoice->addItem(m_connection.textEncoding.id, m_connection.textEncoding.id);
        index = m_encodingChoice->count() - 1;
    }
    m_encodingChoice->setCurrentIndex(index);
}

void ConnectionFormView::focusFirstField() {
    m_nameField->setFocus(Qt::OtherFocusReason);
}

void ConnectionFormView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyProminentStyle();
}

void ConnectionFormView::edit(const std::function<void(Connection&)>& change) {
    change(m_connection);
    // A copy: the owner may hand the record straight back through setConnection.
    const Connection edited = m_connection;
    Q_EMIT connectionEdited(edited);
}

void ConnectionFormView::portTextEdited(const QString& text) {
    bool ok = false;
    qint64 port = QLocale().toLongLong(text, &ok);
    if (!ok)
        port = 0; // no port at all, so nothing can be saved until it is one
    if (port == m_connection.port)
        return;
    edit([port](Connection& c) { c.port = port; });
}

void ConnectionFormView::showPort() {
    const QString text = QLocale().toString(m_connection.port);
    if (m_portField->text() != text)
        m_portField->setText(text);
}

void ConnectionFormView::save() {
    if (!m_saveButton->isEnabled())
        return;
    // Return does not reach the field, so its text would otherwise stay ungrouped or unparsed.
    showPort();
    Q_EMIT saveRequested();
}

void ConnectionFormView::cancel() {
    Q_EMIT cancelRequested();
}

void ConnectionFormView::applyProminentStyle() {
    // Accent-filled: the styles we run on paint a push button from its Button and ButtonText roles.
    QPalette palette = m_saveButton->palette();
    palette.setColor(QPalette::Button, this->palette().color(QPalette::Highlight));
    palette.setColor(QPalette::ButtonText, this->palette().color(QPalette::HighlightedText));
    m_saveButton->setPalette(palette);
}
