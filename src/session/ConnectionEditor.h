#pragma once

#include "model/Connection.h"

#include <QObject>

#include <optional>

class FavoritesManager;
class PasswordVault;

// The connection form's working copy: a new connection or a copy of a stored one, edited field by field and
// written to the store only on save. The store is not touched by a cancel.
//
// With a vault, a saved password goes to the system keyring and the stored record keeps an empty password
// and the mark; where the keyring refuses or none runs, the password stays in clear text, as the form's
// note says before the user saves. A record whose password is already in the keyring keeps it there until
// the user types another.
class ConnectionEditor : public QObject {
    Q_OBJECT

public:
    explicit ConnectionEditor(FavoritesManager& store, PasswordVault* vault = nullptr,
                              QObject* parent = nullptr);

    // A server is reachable only by its host and a port that exists.
    static bool isSavable(const Connection& connection);

    bool isShown() const { return m_editing.has_value(); }
    // The working copy while the form is shown.
    const std::optional<Connection>& editing() const { return m_editing; }
    bool canSave() const { return m_editing && !m_saving && isSavable(*m_editing); }
    // Where the password goes on save, in a few words for under the password field; empty while unknown.
    QString passwordNote() const;

    void showNew();
    void showEdit(const Connection& connection);
    void edit(const Connection& connection);
    // Updates the stored connection of the same id, or adds it when the store has none (also when it was
    // deleted while the form was open), then closes the form. Does nothing when the copy cannot be saved.
    // With a vault the password is placed first, so the store changes a moment later.
    void save();
    void cancel();

Q_SIGNALS:
    void changed();

private:
    static void storeIn(FavoritesManager& manager, const Connection& record);
    void store(const Connection& record);

    FavoritesManager& m_store;
    PasswordVault* m_vault;
    std::optional<Connection> m_editing;
    bool m_saving = false;
    enum class Keyring { unknown, available, unavailable };
    Keyring m_keyring = Keyring::unknown;
};
