// Deleting an entry after confirmation, and creating a folder in the current one.
#include "BrowserState.h"

#include "ftp/FTPClient.h"
#include "ftp/RemoteTasks.h"

void BrowserState::setFileToDelete(std::optional<RemoteFile> entry) {
    m_fileToDelete = std::move(entry);
    Q_EMIT deleteConfirmationChanged();
}

void BrowserState::requestDelete(const RemoteFile& entry) {
    setFileToDelete(entry);
}

void BrowserState::cancelDelete() {
    setFileToDelete(std::nullopt);
}

void BrowserState::confirmDelete() {
    const std::optional<RemoteFile> entry = m_fileToDelete;
    if (!entry || !m_currentConnection) {
        cancelDelete();
        return;
    }
    performDelete(*entry, *m_currentConnection);
}

void BrowserState::performDelete(const RemoteFile& entry, const Connection& connection) {
    setFileToDelete(std::nullopt);
    ++m_deletesRunning;
    Q_EMIT activityChanged();
    setErrorMessage(std::nullopt);
    runRemote(
        this,
        [client = FTPClient(connection, m_curlPath), entry] {
            if (entry.isDirectory)
                client.deleteDirectory(entry.path);
            else
                client.deleteFile(entry.path);
        },
        [this] {
            --m_deletesRunning;
            Q_EMIT activityChanged();
            loadFiles();
        },
        [this](const QString& error) {
            --m_deletesRunning;
            Q_EMIT activityChanged();
            setErrorMessage(error);
        });
}

void BrowserState::openNewFolderSheet() {
    m_newFolderName.clear();
    m_showNewFolderSheet = true;
    Q_EMIT newFolderSheetChanged();
}

void BrowserState::setNewFolderName(const QString& name) {
    m_newFolderName = name;
    Q_EMIT newFolderSheetChanged();
}

void BrowserState::cancelNewFolder() {
    m_showNewFolderSheet = false;
    Q_EMIT newFolderSheetChanged();
}

void BrowserState::createFolderInCurrentConnection() {
    if (m_currentConnection)
        createFolder(*m_currentConnection);
}

void BrowserState::createFolder(const Connection& connection) {
    const QString name = trimmedFolderName(m_newFolderName);
    if (name.isEmpty())
        return;
    m_isCreatingFolder = true;
    Q_EMIT activityChanged();
    Q_EMIT newFolderSheetChanged();
    setErrorMessage(std::nullopt);
    const QString path = withTrailingSlash(m_currentPath) + name;
    runRemote(
        this, [client = FTPClient(connection, m_curlPath), path] { client.createDirectory(path); },
        [this] {
            m_isCreatingFolder = false;
            m_showNewFolderSheet = false;
            m_newFolderName.clear();
            Q_EMIT activityChanged();
            Q_EMIT newFolderSheetChanged();
            loadFiles();
        },
        [this](const QString& error) {
            m_isCreatingFolder = false;
            Q_EMIT activityChanged();
            Q_EMIT newFolderSheetChanged();
            setErrorMessage(error);
        });
}
