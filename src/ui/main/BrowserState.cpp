#include "BrowserState.h"

#include "app/PendingUploadSlot.h"
#include "ftp/FTPClient.h"
#include "ftp/RemoteTasks.h"
#include "ftp/UploadBatch.h"
#include "model/FavoritesManager.h"

namespace {

bool isFolderNameBlank(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

} // namespace

BrowserState::BrowserState(FavoritesManager& favoritesManager, QObject* parent)
    : QObject(parent)
    , m_favoritesManager(favoritesManager)
    , m_curlPath(defaultCurlPath()) {
    initGuiDispatcher();
}

BrowserState::DetailMode BrowserState::detailMode() const {
    if (m_showConnectionFormInDetail)
        return DetailMode::form;
    return m_currentConnection ? DetailMode::browsing : DetailMode::empty;
}

Connection BrowserState::formConnection() const {
    return m_editingConnection ? *m_editingConnection : Connection::makeNew();
}

void BrowserState::setFormConnection(const Connection& connection) {
    m_editingConnection = connection;
    Q_EMIT detailChanged();
}

QString BrowserState::overwriteMessage(qint64 conflictCount) {
    return overwriteQuestionMessage(conflictCount);
}

QString BrowserState::deleteMessage(const RemoteFile& entry) {
    return entry.isDirectory ? QStringLiteral("The folder and all its contents will be deleted.")
                             : QStringLiteral("This file will be permanently deleted.");
}

QString BrowserState::deleteButtonLabel(const RemoteFile& entry) {
    return QStringLiteral("Delete ") +
           (entry.isDirectory ? QStringLiteral("folder") : QStringLiteral("file")) + QStringLiteral(": ") +
           entry.name;
}

QString BrowserState::withTrailingSlash(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

QString BrowserState::parentPath(const QString& path) {
    QStringList pieces = path.split(u'/', Qt::SkipEmptyParts);
    if (pieces.size() < 2)
        return QStringLiteral("/");
    pieces.removeLast();
    return u'/' + pieces.join(u'/') + u'/';
}

QString BrowserState::trimmedFolderName(const QString& name) {
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && isFolderNameBlank(name[begin]))
        ++begin;
    while (end > begin && isFolderNameBlank(name[end - 1]))
        --end;
    return name.mid(begin, end - begin);
}

void BrowserState::setErrorMessage(std::optional<QString> message) {
    m_errorMessage = std::move(message);
    Q_EMIT errorMessageChanged();
}

void BrowserState::setLoading(bool loading) {
    m_isLoading = loading;
    Q_EMIT loadingChanged();
}

void BrowserState::setCurrentPath(const QString& path) {
    m_currentPath = path;
    Q_EMIT currentPathChanged();
}

void BrowserState::setPendingUpload(std::optional<PendingUpload> pending) {
    m_pendingUploadURLs = std::move(pending);
    Q_EMIT pendingUploadChanged();
}

void BrowserState::dismissError() {
    setErrorMessage(std::nullopt);
}

void BrowserState::loadFiles() {
    if (!m_currentConnection)
        return;
    setErrorMessage(std::nullopt);
    setLoading(true);
    const Connection connection = *m_currentConnection;
    const QString requestedPath = m_currentPath;
    // A result is applied only while the same connection and folder are still open: a slow listing of
    // another server must never land under this one's header.
    const auto stillCurrent = [this, id = connection.id, requestedPath] {
        return m_currentConnection && m_currentConnection->id == id && m_currentPath == requestedPath;
    };
    runRemote(
        this,
        [client = FTPClient(connection, m_curlPath), requestedPath] {
            return client.listDirectory(requestedPath);
        },
        [this, stillCurrent, requestedPath](const QList<RemoteFile>& entries) {
            if (!stillCurrent()) {
                Q_EMIT listingDropped(requestedPath);
                return;
            }
            m_files = entries;
            Q_EMIT filesChanged();
            setLoading(false);
        },
        [this, stillCurrent, requestedPath](const QString& error) {
            if (!stillCurrent()) {
                Q_EMIT listingDropped(requestedPath);
                return;
            }
            m_files.clear();
            Q_EMIT filesChanged();
            setErrorMessage(error);
            setLoading(false);
        });
}

void BrowserState::openConnection(const Connection& connection) {
    m_showConnectionFormInDetail = false;
    m_currentConnection = connection;
    Q_EMIT detailChanged();
    setCurrentPath(QStringLiteral("/"));
    loadFiles();
}

void BrowserState::openFavorite(const Favorite& favorite) {
    const std::optional<Connection> connection = m_favoritesManager.connectionFor(favorite);
    if (!connection)
        return;
    m_showConnectionFormInDetail = false;
    m_currentConnection = *connection;
    Q_EMIT detailChanged();
    setCurrentPath(withTrailingSlash(favorite.remotePath));
    loadFiles();
}

void BrowserState::showNewConnectionForm() {
    m_editingConnection = Connection::makeNew();
    m_showConnectionFormInDetail = true;
    m_currentConnection.reset();
    Q_EMIT detailChanged();
}

void BrowserState::showEditConnectionForm(const QVariant& object) {
    if (object.metaType() != QMetaType::fromType<Connection>())
        return;
    m_editingConnection = object.value<Connection>();
    m_showConnectionFormInDetail = true;
    m_currentConnection.reset();
    Q_EMIT detailChanged();
}

void BrowserState::saveConnectionForm() {
    if (m_editingConnection) {
        const auto& stored = m_favoritesManager.connections();
        const bool known = std::any_of(stored.cbegin(), stored.cend(),
                                       [&](const Connection& c) { return c.id == m_editingConnection->id; });
        if (known)
            m_favoritesManager.updateConnection(*m_editingConnection);
        else
            m_favoritesManager.addConnection(*m_editingConnection);
    }
    cancelConnectionForm();
}

void BrowserState::cancelConnectionForm() {
    m_showConnectionFormInDetail = false;
    m_editingConnection.reset();
    Q_EMIT detailChanged();
}

void BrowserState::enterFolder(const RemoteFile& entry) {
    setCurrentPath(withTrailingSlash(entry.path));
    loadFiles();
}

void BrowserState::navigateUp() {
    setCurrentPath(parentPath(m_currentPath));
    loadFiles();
}

void BrowserState::addToFavorites(const QString& name, const QString& path) {
    if (m_currentConnection)
        m_favoritesManager.addFavorite(m_currentConnection->id, name, path);
}

void BrowserState::takeHandedInFiles(const QVariant& object) {
    if (object.metaType() != QMetaType::fromType<QList<QUrl>>())
        return;
    const auto urls = object.value<QList<QUrl>>();
    if (!urls.isEmpty())
        setPendingUpload(PendingUpload::make(urls));
}

void BrowserState::takePendingServiceFiles() {
    const std::optional<QList<QUrl>> urls = takePendingServiceURLs();
    if (urls && !urls->isEmpty())
        setPendingUpload(PendingUpload::make(*urls));
}

void BrowserState::dismissPendingUpload(const QUuid& id) {
    if (m_pendingUploadURLs && m_pendingUploadURLs->id == id)
        setPendingUpload(std::nullopt);
}
