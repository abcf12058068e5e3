#include "UploadToFavoriteFlow.h"

#include "ftp/FTPClient.h"
#include "ftp/RemoteTasks.h"
#include "ftp/UploadBatch.h"
#include "model/FavoritesManager.h"

UploadToFavoriteFlow::UploadToFavoriteFlow(QList<QUrl> fileURLs, FavoritesManager& favoritesManager,
                                           std::function<void()> onDismiss, QString curlPath, QObject* parent)
    : QObject(parent)
    , m_fileURLs(std::move(fileURLs))
    , m_favoritesManager(favoritesManager)
    , m_onDismiss(std::move(onDismiss))
    , m_curlPath(std::move(curlPath)) {
    initGuiDispatcher();
}

QString UploadToFavoriteFlow::fileCountText(qsizetype fileCount) {
    return QString::number(fileCount) + QStringLiteral(" file(s) selected");
}

QString UploadToFavoriteFlow::overwriteMessage(qint64 conflictCount) {
    return overwriteQuestionMessage(conflictCount);
}

QList<Favorite> UploadToFavoriteFlow::listedFavorites() const {
    QList<Favorite> listed;
    for (const Favorite& favorite : m_favoritesManager.favorites()) {
        if (m_favoritesManager.connectionFor(favorite))
            listed.append(favorite);
    }
    return listed;
}

bool UploadToFavoriteFlow::isSelected(const Favorite& favorite) const {
    return m_selectedFavorite && m_selectedFavorite->id == favorite.id;
}

void UploadToFavoriteFlow::selectFavorite(const Favorite& favorite) {
    m_selectedFavorite = favorite;
    Q_EMIT changed();
}

void UploadToFavoriteFlow::upload() {
    if (!m_selectedFavorite)
        return;
    const Favorite favorite = *m_selectedFavorite;
    // Deleted while the sheet was open: the user sees the row vanish, so no message, and an earlier one
    // stays.
    const std::optional<Connection> connection = m_favoritesManager.connectionFor(favorite);
    if (!connection)
        return;
    m_errorMessage.reset();
    Q_EMIT changed();

    QString folder = favorite.remotePath;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    taskStarted();
    runRemote(
        this, [client = FTPClient(*connection, m_curlPath), folder] { return client.listDirectory(folder); },
        [this, favorite, connection = *connection](const QList<RemoteFile>& entries) {
            const qint64 conflicts = countUploadConflicts(m_fileURLs, entries);
            if (conflicts > 0) {
                // Only the user's answer goes on from here.
                m_overwriteConflictCount = conflicts;
                m_showOverwriteAlert = true;
                m_pendingUploadFav = favorite;
                m_pendingUploadConn = connection;
                Q_EMIT changed();
            } else {
                transfer(favorite, connection);
            }
            taskEnded();
        },
        [this](const QString& error) {
            m_errorMessage = error;
            Q_EMIT changed();
            taskEnded();
        });
}

void UploadToFavoriteFlow::cancelOverwrite() {
    m_showOverwriteAlert = false;
    m_pendingUploadFav.reset();
    m_pendingUploadConn.reset();
    Q_EMIT changed();
}

void UploadToFavoriteFlow::confirmOverwrite() {
    m_showOverwriteAlert = false;
    if (!m_pendingUploadFav || !m_pendingUploadConn) {
        Q_EMIT changed();
        return;
    }
    const Favorite favorite = *m_pendingUploadFav;
    const Connection connection = *m_pendingUploadConn;
    m_pendingUploadFav.reset();
    m_pendingUploadConn.reset();
    Q_EMIT changed();
    // The folder was listed for the question; it is not listed again.
    transfer(favorite, connection);
}

void UploadToFavoriteFlow::transfer(const Favorite& favorite, const Connection& connection) {
    const UploadBatchPlan plan = planUploadBatch(m_fileURLs);
    m_isUploading = true;
    m_errorMessage.reset();
    m_uploadProgressValue = 0;
    m_uploadProgressTotal = plan.barTotal();
    m_uploadProgress = QStringLiteral("Preparing\u2026");
    Q_EMIT changed();

    UploadBatchCallbacks callbacks;
    callbacks.progress = [this](double value, const QString& line) {
        m_uploadProgressValue = value;
        if (!line.isEmpty())
            m_uploadProgress = line;
        Q_EMIT changed();
    };
    callbacks.failed = [this](const QString& error) {
        // The selection stays, so "Upload" can be pressed again; what was uploaded then counts as existing.
        m_isUploading = false;
        m_uploadProgress.reset();
        m_uploadProgressValue = 0;
        m_errorMessage = error;
        Q_EMIT changed();
        taskEnded();
    };
    callbacks.finished = [this] {
        m_isUploading = false;
        m_uploadProgress.reset();
        m_uploadProgressValue = 0;
        Q_EMIT changed();
        dismiss();
        taskEnded();
    };
    taskStarted();
    // Into the folder exactly as the favorite stores it: the operation joins folder and file name itself.
    startUploadBatch(this, plan, connection, favorite.remotePath, m_curlPath, std::move(callbacks));
}

void UploadToFavoriteFlow::cancel() {
    dismiss();
}

void UploadToFavoriteFlow::dismiss() {
    if (m_onDismiss)
        m_onDismiss();
    Q_EMIT dismissed();
}

void UploadToFavoriteFlow::release() {
    m_released = true;
    // Later, not now: release() may be reached from inside one of this flow's own callbacks.
    if (m_runningTasks == 0)
        deleteLater();
}

void UploadToFavoriteFlow::taskEnded() {
    --m_runningTasks;
    if (m_released && m_runningTasks == 0)
        deleteLater();
}
