#include "FolderBrowser.h"

#include "AppNotifications.h"
#include "RemoteTaskPool.h"
#include "model/RemotePath.h"

FolderBrowser::FolderBrowser(SessionContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context) {
    connect(&context.notifications, &AppNotifications::folderChanged, this,
            [this](const QUuid& connectionId, const QString& folder) {
                if (isOpen(connectionId) && remotepath::sameFolder(folder, m_currentPath))
                    loadFiles();
            });
    connect(&context.notifications, &AppNotifications::connectionDeleted, this,
            [this](const QUuid& connectionId) {
                if (isOpen(connectionId))
                    close();
            });
}

void FolderBrowser::setErrorMessage(std::optional<QString> message) {
    m_errorMessage = std::move(message);
    Q_EMIT errorMessageChanged();
}

void FolderBrowser::setLoading(bool loading) {
    m_isLoading = loading;
    Q_EMIT loadingChanged();
}

void FolderBrowser::setCurrentPath(const QString& path) {
    m_currentPath = path;
    Q_EMIT currentPathChanged();
}

void FolderBrowser::open(const Connection& connection, const QString& folder) {
    m_connection = connection;
    Q_EMIT connectionChanged();
    setCurrentPath(remotepath::withTrailingSlash(folder));
    loadFiles();
}

void FolderBrowser::close() {
    m_connection.reset();
    Q_EMIT connectionChanged();
}

void FolderBrowser::enterFolder(const RemoteFile& entry) {
    setCurrentPath(remotepath::withTrailingSlash(entry.path));
    loadFiles();
}

void FolderBrowser::navigateUp() {
    setCurrentPath(remotepath::parentFolder(m_currentPath));
    loadFiles();
}

void FolderBrowser::loadFiles() {
    if (!m_connection)
        return;
    setErrorMessage(std::nullopt);
    setLoading(true);
    const QUuid connectionId = m_connection->id;
    const QString requested = m_currentPath;
    const auto stillCurrent = [this, connectionId, requested] {
        if (isOpen(connectionId) && m_currentPath == requested)
            return true;
        Q_EMIT listingDropped(requested);
        return false;
    };
    m_context.pool.run(
        this, RemoteTaskPool::Kind::reads, nullptr,
        [client = m_context.pool.client(*m_connection), requested] {
            return client.listDirectory(requested);
        },
        [this, stillCurrent](const QList<RemoteFile>& entries) {
            if (!stillCurrent())
                return;
            m_files = entries;
            m_isListed = true;
            Q_EMIT filesChanged();
            setLoading(false);
        },
        [this, stillCurrent](const QString& error) {
            if (!stillCurrent())
                return;
            m_files.clear();
            m_isListed = false;
            Q_EMIT filesChanged();
            setErrorMessage(error);
            setLoading(false);
        });
}
