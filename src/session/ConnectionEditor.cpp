#include "ConnectionEditor.h"

#include "WhenDone.h"
#include "model/FavoritesManager.h"
#include "model/TypedText.h"
#include "security/PasswordVault.h"

#include <QPointer>

#include <algorithm>

ConnectionEditor::ConnectionEditor(FavoritesManager& store, PasswordVault* vault, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_vault(vault) {}

bool ConnectionEditor::isSavable(const Connection& connection) {
    return !typedtext::trimmed(connection.host).isEmpty() && connection.port >= 1 && connection.port <= 65535;
}

QString ConnectionEditor::passwordNote() const {
    if (!m_editing)
        return {};
    if (m_editing->passwordInKeyring)
        return QStringLiteral("The password is kept in the system keyring.");
    switch (m_vault ? m_keyring : Keyring::unavailable) {
    case Keyring::available:
        return QStringLiteral("The password will be kept in the system keyring.");
    case Keyring::unavailable:
        return QStringLiteral("No system keyring is available, so the password is saved in clear text in the "
                              "connections file.");
    case Keyring::unknown:
        break;
    }
    return {};
}

void ConnectionEditor::showNew() {
    showEdit(Connection::makeNew());
}

void ConnectionEditor::showEdit(const Connection& connection) {
    m_editing = connection;
    m_saving = false;
    Q_EMIT changed();
    // A keyring may start or stop while Kalvor runs: ask each time the form opens.
    if (m_vault)
        whenDone(m_vault->checkAvailable(), this, [this](const PasswordVault::Result& result) {
            m_keyring = result.ok() ? Keyring::available : Keyring::unavailable;
            Q_EMIT changed();
        });
}

void ConnectionEditor::edit(const Connection& connection) {
    if (!m_editing)
        return;
    m_editing = connection;
    Q_EMIT changed();
}

void ConnectionEditor::save() {
    if (!canSave())
        return;
    Connection record = *m_editing;
    if (record.passwordInKeyring) {
        record.password.clear(); // untouched since it was stored: the keyring still holds it
        store(record);
        return;
    }
    if (!m_vault) {
        store(record);
        return;
    }
    m_saving = true;
    Q_EMIT changed();
    // The save completes even when the form's window closes meanwhile: the store outlives the editor.
    whenDone(placePassword(*m_vault, record), &m_store,
             [editor = QPointer(this), vault = m_vault, &manager = m_store](const PlacedPassword& placed) {
                 // A password now in clear text (or none) must not leave an older copy in the keyring.
                 if (!placed.record.passwordInKeyring)
                     (void)vault->remove(placed.record.id);
                 if (!editor) {
                     storeIn(manager, placed.record);
                     return;
                 }
                 editor->m_saving = false;
                 editor->store(placed.record);
             });
}

void ConnectionEditor::storeIn(FavoritesManager& manager, const Connection& record) {
    const QList<Connection>& stored = manager.connections();
    if (std::any_of(stored.cbegin(), stored.cend(), [&](const Connection& c) { return c.id == record.id; }))
        manager.updateConnection(record);
    else
        manager.addConnection(record);
}

void ConnectionEditor::store(const Connection& record) {
    storeIn(m_store, record);
    // A save placed in the keyring ends a moment later: by then the user may have opened another form.
    if (m_editing && m_editing->id == record.id)
        cancel();
    else
        Q_EMIT changed();
}

void ConnectionEditor::cancel() {
    m_editing.reset();
    m_saving = false;
    Q_EMIT changed();
}
