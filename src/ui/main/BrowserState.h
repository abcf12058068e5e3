#pragma once

#include "PendingUpload.h"
#include "model/Connection.h"
#include "model/Favorite.h"
#include "model/RemoteFile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <optional>

class FavoritesManager;

// Everything one main window knows and does, without a widget: the open connection, the current folder
// and its listing, the connection form's working copy, and the upload, delete and new-folder flows. The
// window's widgets show these fields and forward clicks to these operations; every remote operation runs
// on the remote pool and its result is applied here, on the GUI thread.
class BrowserState : public QObject {
    Q_OBJECT

public:
    enum class DetailMode { form, browsing, empty };

    // Asks the user for local files and answers with them (an empty list when cancelled).
    using FileChooser = std::function<void(std::function<void(const QList<QUrl>&)> answer)>;

    explicit BrowserState(FavoritesManager& favoritesManager, QObject* parent = nullptr);

    void setCurlPath(const QString& path) { m_curlPath = path; }
    const QString& curlPath() const { return m_curlPath; }
    void setFileChooser(FileChooser chooser) { m_fileChooser = std::move(chooser); }

    FavoritesManager& favoritesManager() const { return m_favoritesManager; }
    const std::optional<Connection>& currentConnection() const { return m_currentConnection; }
    const QString& currentPath() const { return m_currentPath; }
    const QList<RemoteFile>& files() const { return m_files; }
    bool isLoading() const { return m_isLoading; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool showConnectionFormInDetail() const { return m_showConnectionFormInDetail; }
    const std::optional<Connection>& editingConnection() const { return m_editingConnection; }
    const std::optional<PendingUpload>& pendingUploadURLs() const { return m_pendingUploadURLs; }
    const std::optional<RemoteFile>& fileToDelete() const { return m_fileToDelete; }
    bool isDeleting() const { return m_deletesRunning > 0; }
    bool isUploading() const { return m_isUploading; }
    bool showNewFolderSheet() const { return m_showNewFolderSheet; }
    const QString& newFolderName() const { return m_newFolderName; }
    bool isCreatingFolder() const { return m_isCreatingFolder; }
    double mainUploadProgressValue() const { return m_mainUploadProgressValue; }
    double mainUploadProgressTotal() const { return m_mainUploadProgressTotal; }
    const std::optional<QString>& mainUploadProgressText() const { return m_mainUploadProgressText; }
    bool showMainOverwriteAlert() const { return m_showMainOverwriteAlert; }
    qint64 mainOverwriteConflictCount() const { return m_mainOverwriteConflictCount; }
    const std::optional<QList<QUrl>>& pendingMainUploadURLs() const { return m_pendingMainUploadURLs; }
    const std::optional<QString>& pendingMainUploadPath() const { return m_pendingMainUploadPath; }
    const std::optional<Connection>& pendingMainUploadConn() const { return m_pendingMainUploadConn; }

    DetailMode detailMode() const;
    bool canNavigateUp() const { return m_currentPath != u"/"; }
    bool canChooseUploadFiles() const { return !m_isUploading && !m_isLoading; }
    bool canOpenNewFolderSheet() const { return !m_isUploading && !m_isLoading && !m_isCreatingFolder; }
    bool canCreateFolder() const {
        return !trimmedFolderName(m_newFolderName).isEmpty() && !m_isCreatingFolder;
    }

    // The connection form's binding: the working copy, or a brand-new connection when there is none.
    Connection formConnection() const;
    void setFormConnection(const Connection& connection);

    // Texts of the questions the window asks.
    static QString overwriteMessage(qint64 conflictCount);
    static QString deleteMessage(const RemoteFile& entry);
    static QString deleteButtonLabel(const RemoteFile& entry);

    static QString withTrailingSlash(const QString& path);
    static QString parentPath(const QString& path);
    static QString trimmedFolderName(const QString& name);

    // Navigation and the connection form.
    void loadFiles();
    void openConnection(const Connection& connection);
    void openFavorite(const Favorite& favorite);
    void showNewConnectionForm();
    void showEditConnectionForm(const QVariant& object);
    void saveConnectionForm();
    void cancelConnectionForm();
    void enterFolder(const RemoteFile& entry);
    void navigateUp();
    void addToFavorites(const QString& name, const QString& path);
    void dismissError();

    // Files handed in from outside.
    void takeHandedInFiles(const QVariant& object); // the upload-files notification
    void takePendingServiceFiles();                 // the window's content came on screen
    // Closes the upload-to-favorite sheet, but only the presentation it was opened for: a late call from
    // an older sheet's transfer leaves a newer hand-in alone.
    void dismissPendingUpload(const QUuid& id);

    // Upload into the current folder.
    void chooseUploadFiles();
    void checkConflictsAndUpload(const QList<QUrl>& files, const QString& target,
                                 const Connection& connection);
    void performUpload(const QList<QUrl>& files, const Connection& connection, const QString& target);
    void confirmOverwrite();
    void cancelOverwrite();

    // Delete and new folder.
    void requestDelete(const RemoteFile& entry);
    void performDelete(const RemoteFile& entry, const Connection& connection);
    void confirmDelete(); // the destructive button: the entry awaiting confirmation, on the open connection
    void cancelDelete();
    void openNewFolderSheet();
    void setNewFolderName(const QString& name);
    void createFolder(const Connection& connection);
    void createFolderInCurrentConnection();
    void cancelNewFolder();

Q_SIGNALS:
    void detailChanged(); // mode, open connection, form working copy
    void currentPathChanged();
    void filesChanged();
    void loadingChanged();
    void errorMessageChanged();
    void activityChanged(); // uploading, deleting, creating, progress bar and line
    void overwriteQuestionChanged();
    void deleteConfirmationChanged();
    void newFolderSheetChanged();
    void pendingUploadChanged();
    // A listing result that arrived for a connection or folder no longer open, and was dropped.
    void listingDropped(const QString& requestedPath);

private:
    void setErrorMessage(std::optional<QString> message);
    void setLoading(bool loading);
    void setCurrentPath(const QString& path);
    void setPendingUpload(std::optional<PendingUpload> pending);
    void setFileToDelete(std::optional<RemoteFile> entry);
    void finishMainUpload();

    FavoritesManager& m_favoritesManager;
    QString m_curlPath;
    FileChooser m_fileChooser;

    std::optional<Connection> m_currentConnection;
    QString m_currentPath = QStringLiteral("/");
    QList<RemoteFile> m_files;
    bool m_isLoading = false;
    std::optional<QString> m_errorMessage;
    bool m_showConnectionFormInDetail = false;
    std::optional<Connection> m_editingConnection;
    std::optional<PendingUpload> m_pendingUploadURLs;
    std::optional<RemoteFile> m_fileToDelete;
    int m_deletesRunning = 0; // a stuck delete keeps its busy sign while others come and go
    bool m_isUploading = false;
    bool m_showNewFolderSheet = false;
    QString m_newFolderName;
    bool m_isCreatingFolder = false;
    double m_mainUploadProgressValue = 0;
    double m_mainUploadProgressTotal = 1.0;
    std::optional<QString> m_mainUploadProgressText;
    bool m_showMainOverwriteAlert = false;
    qint64 m_mainOverwriteConflictCount = 0;
    std::optional<QList<QUrl>> m_pendingMainUploadURLs;
    std::optional<QString> m_pendingMainUploadPath;
    std::optional<Connection> m_pendingMainUploadConn;
};
