#pragma once

#include "SessionContext.h"
#include "model/RemoteFile.h"

#include <QObject>
#include <QString>

#include <optional>

class FolderBrowser;
class Prompter;

// Deleting an entry of the browsed folder after the user confirms it. Deletes may overlap; the window shows
// its busy sign while any runs, so a stuck one keeps it while others come and go.
class DeleteFlow : public QObject {
    Q_OBJECT

public:
    DeleteFlow(SessionContext& context, FolderBrowser& browser, Prompter& prompter,
               QObject* parent = nullptr);

    bool isDeleting() const { return m_running > 0; }

    // Asks first; on "Delete" removes the entry (a folder with everything in it) on the open connection.
    void requestDelete(const RemoteFile& entry);

Q_SIGNALS:
    void deletingChanged();

private:
    void perform(const RemoteFile& entry);

    SessionContext& m_context;
    FolderBrowser& m_browser;
    Prompter& m_prompter;
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
