#include "FolderBrowser.h"

#include "AppNotifications.h"
#include "RemoteTaskPool.h"
#include "model/RemotePath.h"
#include "model/ServerText.h"

#include <QStringList>

#include <algorithm>

namespace {

// The typed path in server form, from the login folder, with a trailing "/"; or why it cannot be one.
std::optional<QString> typedFolderPath(const QString& typed, const servertext::Encoding& encoding,
                                       QString& problem) {
    QStringList segments;
    for (const QString& segment : typed.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u".")
            continue;
        if (segment == u"..") {
            if (!segments.isEmpty())
                segments.removeLast();
            continue;
        }
        if (std::any_of(segment.cbegin(), segment.cend(),
                        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; })) {
            problem = QStringLiteral("a path cannot contain line breaks or other control characters.");
            return std::nullopt;
        }
        const std::optional<QString> server = servertext::fromUserText(segment, encoding);
        if (!server) {
            problem = QStringLiteral("\u201c%1\u201d cannot be written in the server's text encoding (%2).")
                          .arg(segment, servertext::encodingLabel(encoding));
            return std::nullopt;
        }
        segments << *server;
    }
    return segments.isEmpty() ? QStringLiteral("/") : u'/' + segments.join(u'/') + u'/';
}

} // namespace

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
    m_visiting.reset();
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
    if (entry.isLink && m_connection) {
        const auto shown = [encoding = m_connection->textEncoding](const QString& text) {
            return servertext::forDisplay(text, encoding);
        };
        visit(remotepath::withTrailingSlash(entry.path),
              [name = shown(entry.name), target = shown(entry.linkTarget)](const QString& error) {
                  return QStringLiteral(
                             "\u201c%1\u201d links to \u201c%2\u201d, which is not a folder that can "
                             "be opened. %3")
                      .arg(name, target, error);
              });
        return;
    }
    setCurrentPath(remotepath::withTrailingSlash(entry.path));
    loadFiles();
}

void FolderBrowser::navigateUp() {
    setCurrentPath(remotepath::parentFolder(m_currentPath));
    loadFiles();
}

void FolderBrowser::goTo(const QString& typedPath) {
    if (!m_connection)
        return;
    QString problem;
    const std::optional<QString> folder = typedFolderPath(typedPath, m_connection->textEncoding, problem);
    if (!folder) {
        setErrorMessage(QStringLiteral("Could not open \u201c%1\u201d: %2").arg(typedPath, problem));
        return;
    }
    visit(*folder);
}

void FolderBrowser::visit(const QString& folder, std::function<QString(const QString&)> explain) {
    setErrorMessage(std::nullopt);
    setLoading(true);
    m_visiting = folder;
    const QUuid connectionId = m_connection->id;
    const auto stillWanted = [this, connectionId, folder] {
        if (isOpen(connectionId) && m_visiting == folder) {
            m_visiting.reset();
            return true;
        }
        Q_EMIT listingDropped(folder);
        return false;
    };
    m_context.pool.run(
        this, RemoteTaskPool::Kind::reads, nullptr,
        [client = m_context.pool.client(*m_connection), folder] { return client.listDirectory(folder); },
        [this, stillWanted, folder](const QList<RemoteFile>& entries) {
            if (!stillWanted())
                return;
            setCurrentPath(folder);
            m_files = entries;
            m_listingFailed = false;
            Q_EMIT filesChanged();
            setLoading(false);
        },
        [this, stillWanted, explain](const QString& error) {
            if (!stillWanted())
                return;
            setErrorMessage(explain ? explain(error) : error);
            setLoading(false);
        });
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
            m_listingFailed = false;
            m_isListed = true;
            Q_EMIT filesChanged();
            setLoading(false);
        },
        [this, stillCurrent](const QString& error) {
            if (!stillCurrent())
                return;
            m_files.clear();
            m_listingFailed = true;
            m_isListed = false;
            Q_EMIT filesChanged();
            setErrorMessage(error);
            setLoading(false);
        });
}
