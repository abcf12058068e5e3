#include "ConnectionEditor.h"

#include "model/FavoritesManager.h"
#include "model/TypedText.h"

#include <algorithm>

ConnectionEditor::ConnectionEditor(FavoritesManager& store, QObject* parent)
    : QObject(parent)
    , m_store(store) {}

bool ConnectionEditor::isSavable(const Connection& connection) {
    return !typedtext::trimmed(connection.host).isEmpty() && connection.port >= 1 && connection.port <= 65535;
}

void ConnectionEditor::showNew() {
    showEdit(Connection::makeNew());
}

void ConnectionEditor::showEdit(const Connection& connection) {
    m_editing = connection;
    Q_EMIT changed();
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
    const QList<Connection>& stored = m_store.connections();
    const QUuid id = m_editing->id;
    if (std::any_of(stored.cbegin(), stored.cend(), [&](const Connection& c) { return c.id == id; }))
        m_store.updateConnection(*m_editing);
    else
        m_store.addConnection(*m_editing);
    cancel();
}

void ConnectionEditor::cancel() {
    m_editing.reset();
    Q_EMIT changed();
}
