#pragma once

#include "ConnectionEditor.h"
#include "FolderBrowser.h"
#include "FolderChanges.h"
#include "HandInSlot.h"
#include "SessionContext.h"
#include "UploadJob.h"
#include "model/Favorite.h"

#include <QObject>

#include <optional>

class Prompter;

// Everything one main window knows and does, without a widget. Its parts each have a life of their own (the
// browsed folder, the connection form, the upload, deletes, the new-folder sheet); this object decides what
// the detail area shows and runs what spans several of them. Questions go through the window's prompter.
class BrowserState : public QObject {
    Q_OBJECT

public:
    enum class DetailMode { form, browsing, empty };

    BrowserState(SessionContext& context, Prompter& prompter, QObject* parent = nullptr);

    SessionContext& context() const { return m_context; }
    Prompter& prompter() const { return m_prompter; }
    FolderBrowser& browser() { return m_browser; }
    ConnectionEditor& editor() { return m_editor; }
    UploadJob& upload() { return m_upload; }
    DeleteFlow& deletes() { return m_deletes; }
    RenameFlow& renames() { return m_renames; }
    NewFolderFlow& newFolder() { return m_newFolder; }

    DetailMode detailMode() const;
    bool canChooseUploadFiles() const { return !m_upload.isBusy() && !m_browser.isLoading(); }
    bool canOpenNewFolderSheet() const {
        return !m_upload.isTransferring() && !m_browser.isLoading() && !m_newFolder.isCreating();
    }
    // Only a folder can be opened again from the sidebar.
    static bool canBecomeFavorite(const RemoteFile& entry);

    // Opening a connection or a favorite closes the form without saving.
    void openConnection(const Connection& connection);
    // Nothing happens when the favorite's connection is gone.
    void openFavorite(const Favorite& favorite);
    // The form leaves the open connection.
    void showNewConnectionForm();
    void showEditConnectionForm(const Connection& connection);
    void addToFavorites(const RemoteFile& entry);
    // Whether the open connection has a favorite for this folder: the file list then offers to remove it.
    bool isFavorite(const RemoteFile& entry) const;
    void removeFromFavorites(const RemoteFile& entry);
    // Asks, naming how many favorites go with it; then every window browsing it leaves it.
    void deleteConnection(const Connection& connection);
    // Asks for local files and uploads them into the current folder.
    void chooseUploadFiles();
    // Local files dropped on the list go into the current folder; folders are refused, saying so.
    void uploadDropped(const QList<QUrl>& urls);

    // Files handed in from outside, shown in the upload-to-favorite sheet while present.
    const std::optional<PendingUpload>& pendingUpload() const { return m_pendingUpload; }
    // Takes what waits in the hand-in slot, if anything (the window came on screen, or files arrived).
    void takeHandIn();
    // The sheet for this hand-in is done; a late call for an older hand-in leaves a newer one alone.
    void dismissPendingUpload(const QUuid& id);

Q_SIGNALS:
    void detailChanged();
    void pendingUploadChanged();

private:
    // leftOut: what was not taken, said once the upload is over.
    void uploadIntoCurrentFolder(const QList<QUrl>& files, const QString& leftOut = {});

    SessionContext& m_context;
    Prompter& m_prompter;
    FolderBrowser m_browser;
    ConnectionEditor m_editor;
    UploadJob m_upload;
    DeleteFlow m_deletes;
    RenameFlow m_renames;
    NewFolderFlow m_newFolder;
    std::optional<PendingUpload> m_pendingUpload;
};
