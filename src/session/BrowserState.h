#pragma once

#include "ConnectionEditor.h"
#include "DownloadJob.h"
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
    DownloadJob& download() { return m_download; }
    DeleteFlow& deletes() { return m_deletes; }
    RenameFlow& renames() { return m_renames; }
    NewFolderFlow& newFolder() { return m_newFolder; }

    DetailMode detailMode() const;
    // The window moves one batch of files at a time, so its header shows one transfer, and works only in a
    // folder whose listing worked.
    bool isTransferBusy() const { return m_upload.isBusy() || m_download.isBusy(); }
    bool canChooseUploadFiles() const { return !isTransferBusy() && isWorkable(); }
    bool canOpenNewFolderSheet() const {
        return !m_upload.isTransferring() && isWorkable() && !m_newFolder.isCreating();
    }
    bool canDownload(const QList<RemoteFile>& entries) const {
        return !isTransferBusy() && isWorkable() && DownloadJob::canDownload(entries);
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
    // Asks for a local folder and downloads the entries (of the current folder) into it.
    void downloadEntries(const QList<RemoteFile>& entries);

    // Files handed in from outside, shown in the upload-to-favorite sheet while present.
    const std::optional<PendingUpload>& pendingUpload() const { return m_pendingUpload; }
    // Takes what waits in the hand-in slot, if anything (the window came on screen, or files arrived).
    void takeHandIn();
    // The sheet for this hand-in is done; a late call for an older hand-in leaves a newer one alone.
    void dismissPendingUpload(const QUuid& id);

Q_SIGNALS:
    void detailChanged();
    // A transfer of this window has ended: the words to show for a few seconds.
    void announced(const QString& words);
    void pendingUploadChanged();

private:
    // leftOut: what was not taken, said once the upload is over.
    void uploadIntoCurrentFolder(const QList<QUrl>& files, const QString& leftOut = {});
    bool isWorkable() const {
        return m_browser.connection() && m_browser.isListed() && !m_browser.isLoading();
    }

    SessionContext& m_context;
    Prompter& m_prompter;
    FolderBrowser m_browser;
    ConnectionEditor m_editor;
    UploadJob m_upload;
    DownloadJob m_download;
    DeleteFlow m_deletes;
    RenameFlow m_renames;
    NewFolderFlow m_newFolder;
    std::optional<PendingUpload> m_pendingUpload;
};
