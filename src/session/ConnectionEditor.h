#pragma once

#include "model/Connection.h"

#include <QObject>

#include <optional>

class FavoritesManager;

// The connection form's working copy: a new connection or a copy of a stored one, edited field by field and
// written to the store only on save. The store is not touched by a cancel.
class ConnectionEditor : public QObject {
    Q_OBJECT

public:
    explicit ConnectionEditor(FavoritesManager& store, QObject* parent = nullptr);

    // A server is reachable only by its host and a port that exists.
    static bool isSavable(const Connection& connection);

    bool isShown() const { return m_editing.has_value(); }
    // The working copy while the form is shown.
    const std::optional<Connection>& editing() const { return m_editing; }
    bool canSave() const { return m_editing && isSavable(*m_editing); }

    void showNew();
    void showEdit(const Connection& connection);
    void edit(const Connection& connection);
    // Updates the stored connection of the same id, or adds it when the store has none (also when it was
    // deleted while the form was open), then closes the form. Does nothing when the copy cannot be saved.
    void save();
    void cancel();

Q_SIGNALS:
    void changed();

private:
    FavoritesManager& m_store;
    std::optional<Connection> m_editing;
};
