// The window's upload into its current folder: choose files, one listing to find those that exist,
// one question, then a strictly sequential transfer with a progress line per file.
#include "BrowserState.h"

#include "ftp/FTPClient.h"
#include "ftp/RemoteTasks.h"
#include "ftp/UploadBatch.h"

void BrowserState::chooseUploadFiles() {
    if (!m_fileChooser || !m_currentConnection)
        return;
    m_fileChooser([this, guard = QPointer<BrowserState>(this)](const QList<QUrl>& files) {
        if (!guard || files.isEmpty() || !m_currentConnection)
            return;
        setErrorMessage(std::nullopt);
        checkConflictsAndUpload(files, withTrailingSlash(m_currentPath), *m_currentConnection);
    });
}

void BrowserState::checkConflictsAndUpload(const QList<QUrl>& files, const QString& target,
                                           const Connection& connection) {
    runRemote(
        this, [client = FTPClient(connection, m_curlPath), target] { return client.listDirectory(target); },
        [this, files, target, connection](const QList<RemoteFile>& entries) {
            const qint64 conflicts = countUploadConflicts(files, entries);
            if (conflicts == 0) {
                performUpload(files, connection, target);
                return;
            }
            m_mainOverwriteConflictCount = conflicts;
            m_showMainOverwriteAlert = true;
            m_pendingMainUploadURLs = files;
            m_pendingMainUploadPath = target;
            m_pendingMainUploadConn = connection;
            Q_EMIT overwriteQuestionChanged();
        },
        [this](const QString& error) { setErrorMessage(error); });
}

void BrowserState::cancelOverwrite() {
    m_showMainOverwriteAlert = false;
    m_pendingMainUploadURLs.reset();
    m_pendingMainUploadPath.reset();
    m_pendingMainUploadConn.reset();
    Q_EMIT overwriteQuestionChanged();
}

void BrowserState::confirmOverwrite() {
    m_showMainOverwriteAlert = false;
    if (!m_pendingMainUploadURLs || !m_pendingMainUploadPath || !m_pendingMainUploadConn) {
        Q_EMIT overwriteQuestionChanged();
        return;
    }
    const QList<QUrl> files = *m_pendingMainUploadURLs;
    const QString target = *m_pendingMainUploadPath;
    const Connection connection = *m_pendingMainUploadConn;
    m_pendingMainUploadURLs.reset();
    m_pendingMainUploadPath.reset();
    m_pendingMainUploadConn.reset();
    Q_EMIT overwriteQuestionChanged();
    performUpload(files, connection, target);
}

void BrowserState::performUpload(const QList<QUrl>& files, const Connection& connection,
                                 const QString& target) {
    const UploadBatchPlan plan = planUploadBatch(files);
    m_isUploading = true;
    m_errorMessage.reset();
    m_mainUploadProgressValue = 0;
    m_mainUploadProgressTotal = plan.barTotal();
    m_mainUploadProgressText = QStringLiteral("Preparing\u2026");
    Q_EMIT errorMessageChanged();
    Q_EMIT activityChanged();

    UploadBatchCallbacks callbacks;
    callbacks.progress = [this](double value, const QString& line) {
        m_mainUploadProgressValue = value;
        if (!line.isEmpty())
            m_mainUploadProgressText = line;
        Q_EMIT activityChanged();
    };
    callbacks.failed = [this](const QString& error) {
        m_isUploading = false;
        m_mainUploadProgressText.reset();
        Q_EMIT activityChanged();
        setErrorMessage(error);
    };
    callbacks.finished = [this] {
        m_isUploading = false;
        m_mainUploadProgressText.reset();
        Q_EMIT activityChanged();
        loadFiles();
    };
    startUploadBatch(this, plan, connection, target, m_curlPath, std::move(callbacks));
}
