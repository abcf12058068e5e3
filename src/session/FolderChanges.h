#pragma once

#include "SessionContext.h"
#include "model/RemoteFile.h"
#include "model/ServerText.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class FolderBrowser;
class Prompter;

// A name the user typed for an entry of a folder, in the server form of the connection's encoding; or, when
// it cannot be one, why (the entry would leave the folder, carry a control character that could smuggle a
// command to the server, or not be writable in the encoding).
struct TypedEntryName {
    std::optional<QString> name;
    QString problem;
};
[[nodiscard]] TypedEntryName typedEntryName(const QString& typed, const servertext::Encoding& encoding);

// Deleting entries of the browsed folder after the user confirms it. Deletes may overlap; the window shows
// its busy sign while any runs, so a stuck one keeps it while others come and go.
class DeleteFlow : public QObject {
    Q_OBJECT

public:
    DeleteFlow(SessionContext& context, FolderBrowser& browser, Prompter& prompter,
               QObject* parent = nullptr);

    bool isDeleting() const { return m_running > 0; }

    // Asks once for all of them; on "Delete" removes them in order (a folder with everything in it) on the
    // open connection, stopping at the first refusal. Nothing happens for an entry whose exact name the
    // listing does not tell.
    void requestDelete(const QList<RemoteFile>& entries);

Q_SIGNALS:
    void deletingChanged();

private:
    void perform(const QList<RemoteFile>& entries);

    SessionContext& m_context;
    FolderBrowser& m_browser;
    Prompter& m_prompter;
    int m_running = 0;
};

// Renaming one entry of the browsed folder in place. The new name stays in the entry's folder and must not
// be another entry's there: some servers would silently replace that one.
class RenameFlow : public QObject {
    Q_OBJECT

public:
    RenameFlow(SessionContext& context, FolderBrowser& browser, QObject* parent = nullptr);

    bool isRenaming() const { return m_running > 0; }

    // A typed name that is the entry's own changes nothing; one that cannot be a name is refused in the
    // window's banner and nothing is sent.
    void rename(const RemoteFile& entry, const QString& typed);

Q_SIGNALS:
    void renamingChanged();

private:
    SessionContext& m_context;
    FolderBrowser& m_browser;
    int m_running = 0;
};

// The new-folder sheet's state: its name field, whether a creation runs, and whether the sheet is up. The
// sheet stays open with the typed name and the error when the server refuses, so the name can be changed and
// tried again.
class NewFolderFlow : public QObject {
    Q_OBJECT

public:
    NewFolderFlow(SessionContext& context, FolderBrowser& browser, QObject* parent = nullptr);

    bool isSheetShown() const { return m_sheetShown; }
    const QString& name() const { return m_name; }
    bool isCreating() const { return m_creating; }
    // Why the last try failed; cleared by typing and by the next try.
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    // A name that is blanks only is no name.
    bool canCreate() const;

    void openSheet();
    void setName(const QString& name);
    // Creates the trimmed name in the browsed folder; a "/" inside the name is sent unchanged.
    void create();
    void cancel();

Q_SIGNALS:
    void changed();

private:
    SessionContext& m_context;
    FolderBrowser& m_browser;
    bool m_sheetShown = false;
    QString m_name;
    bool m_creating = false;
    std::optional<QString> m_errorMessage;
};
