#include "BrowserState.h"

#include "AppNotifications.h"
#include "Prompter.h"
#include "RemoteTaskPool.h"
#include "model/FavoritesManager.h"
#include "model/RemotePath.h"
#include "model/ServerText.h"
#include "security/PasswordVault.h"

#include <QFileInfo>

#include <algorithm>

BrowserState::BrowserState(SessionContext& context, Prompter& prompter, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_prompter(prompter)
    , m_browser(context)
    , m_editor(context.store, context.pool.security().vault)
    , m_upload(context)
    , m_download(context)
    , m_deletes(context, m_browser, prompter)
    , m_renames(context, m_browser)
    , m_newFolder(context, m_browser) {
    connect(&m_browser, &FolderBrowser::connectionChanged, this, &BrowserState::detailChanged);
    connect(&m_editor, &ConnectionEditor::changed, this, &BrowserState::detailChanged);
    connect(&context.notifications, &AppNotifications::newConnection, this,
            &BrowserState::showNewConnectionForm);
    connect(&m_upload, &TransferJob::announced, this, &BrowserState::announced);
    connect(&m_download, &TransferJob::announced, this, &BrowserState::announced);
}

BrowserState::DetailMode BrowserState::detailMode() const {
    if (m_editor.isShown())
        return DetailMode::form;
    return m_browser.connection() ? DetailMode::browsing : DetailMode::empty;
}

bool BrowserState::canBecomeFavorite(const RemoteFile& entry) {
    return entry.isDirectory && !entry.path.isEmpty() && !entry.isAmbiguous;
}

void BrowserState::openConnection(const Connection& connection) {
    m_editor.cancel();
    m_browser.open(connection, QStringLiteral("/"));
}

void BrowserState::openFavorite(const Favorite& favorite) {
    const std::optional<Connection> connection = m_context.store.connectionFor(favorite);
    if (!connection)
        return;
    m_editor.cancel();
    m_browser.open(*connection, favorite.remotePath);
}

void BrowserState::showNewConnectionForm() {
    m_editor.showNew();
    m_browser.close();
}

void BrowserState::showEditConnectionForm(const Connection& connection) {
    m_editor.showEdit(connection);
    m_browser.close();
}

void BrowserState::addToFavorites(const RemoteFile& entry) {
    if (m_browser.connection() && canBecomeFavorite(entry))
        m_context.store.addFavorite(m_browser.connection()->id,
                                    servertext::forDisplay(entry.name, m_browser.connection()->textEncoding),
                                    entry.path);
}

bool BrowserState::isFavorite(const RemoteFile& entry) const {
    const QList<Favorite>& favorites = m_context.store.favorites();
    return m_browser.connection() &&
           std::any_of(favorites.cbegin(), favorites.cend(), [&](const Favorite& f) {
               return f.connectionId == m_browser.connection()->id &&
                      remotepath::sameFolder(f.remotePath, entry.path);
           });
}

void BrowserState::removeFromFavorites(const RemoteFile& entry) {
    if (!m_browser.connection())
        return;
    // Every spelling of the folder goes, so the list never offers to remove one that is still there.
    for (const Favorite& favorite : QList<Favorite>(m_context.store.favorites())) {
        if (favorite.connectionId == m_browser.connection()->id &&
            remotepath::sameFolder(favorite.remotePath, entry.path))
            m_context.store.removeFavorite(favorite);
    }
}

void BrowserState::deleteConnection(const Connection& connection) {
    const QList<Favorite>& favorites = m_context.store.favorites();
    const qsizetype favoriteCount =
        std::count_if(favorites.cbegin(), favorites.cend(),
                      [&](const Favorite& f) { return f.connectionId == connection.id; });
    m_prompter.ask(questions::deleteConnection(connection.displayName(), favoriteCount),
                   [self = QPointer<BrowserState>(this), connection](int choice) {
                       if (!self || choice != questions::deleteIt)
                           return;
                       self->m_context.store.deleteConnection(connection);
                       if (PasswordVault* vault = self->m_context.pool.security().vault)
                           (void)vault->remove(connection.id);
                       Q_EMIT self->m_context.notifications.connectionDeleted(connection.id);
                   });
}

void BrowserState::chooseUploadFiles() {
    if (!canChooseUploadFiles() || !m_browser.connection())
        return;
    m_prompter.chooseLocalFiles([self = QPointer<BrowserState>(this)](const QList<QUrl>& files) {
        if (self)
            self->uploadIntoCurrentFolder(files);
    });
}

void BrowserState::uploadDropped(const QList<QUrl>& urls) {
    if (!m_browser.connection())
        return;
    QList<QUrl> files;
    QStringList folders;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        if (QFileInfo(url.toLocalFile()).isDir())
            folders << QFileInfo(url.toLocalFile()).fileName();
        else
            files << url;
    }
    QString leftOut;
    if (!folders.isEmpty()) {
        const QString names = u'\u201c' + folders.join(QStringLiteral("\u201d, \u201c")) + u'\u201d';
        leftOut = folders.size() == 1
                      ? QStringLiteral("Kalvor uploads files, not folders: %1 was left out. Drop the "
                                       "files inside it instead.")
                            .arg(names)
                      : QStringLiteral("Kalvor uploads files, not folders: %1 were left out. Drop "
                                       "the files inside them instead.")
                            .arg(names);
    }
    if (!files.isEmpty() && !canChooseUploadFiles()) {
        m_browser.showError(
            QStringLiteral("Another upload is still running. Drop the files again once it is done."));
        return;
    }
    uploadIntoCurrentFolder(files, leftOut);
}

void BrowserState::uploadIntoCurrentFolder(const QList<QUrl>& files, const QString& leftOut) {
    if (files.isEmpty() || !m_browser.connection()) {
        if (!leftOut.isEmpty())
            m_browser.showError(leftOut);
        return;
    }
    m_browser.dismissError();
    // What was left out is said once the upload is over, so the listing after it does not wipe it away.
    m_upload.start(*m_browser.connection(), remotepath::withTrailingSlash(m_browser.currentPath()), files,
                   &m_prompter, this,
                   [self = QPointer<BrowserState>(this), leftOut](const TransferResult& result) {
                       QStringList said;
                       if (result.outcome == TransferResult::Outcome::failed)
                           said << result.error;
                       if (!leftOut.isEmpty())
                           said << leftOut;
                       if (!said.isEmpty())
                           self->m_browser.showError(said.join(u' '));
                   });
}

void BrowserState::downloadEntries(const QList<RemoteFile>& entries) {
    if (!canDownload(entries))
        return;
    const Connection connection = *m_browser.connection();
    m_prompter.chooseLocalFolder(
        [self = QPointer<BrowserState>(this), connection, entries](const QString& folder) {
            if (!self || folder.isEmpty())
                return;
            self->m_browser.dismissError();
            self->m_download.start(connection, entries, folder, &self->m_prompter, self,
                                   [self](const TransferResult& result) {
                                       if (result.outcome == TransferResult::Outcome::failed)
                                           self->m_browser.showError(result.error);
                                   });
        });
}

void BrowserState::takeHandIn() {
    const std::optional<QList<QUrl>> urls = m_context.handIns.take();
    if (!urls || urls->isEmpty())
        return;
    m_pendingUpload = PendingUpload::make(*urls);
    Q_EMIT pendingUploadChanged();
}

void BrowserState::dismissPendingUpload(const QUuid& id) {
    if (!m_pendingUpload || m_pendingUpload->id != id)
        return;
    m_pendingUpload.reset();
    Q_EMIT pendingUploadChanged();
}
