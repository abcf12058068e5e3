#pragma once

#include "SessionContext.h"
#include "model/Connection.h"
#include "model/RemoteFile.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// One window's view of a server: the open connection, its current folder and the entries of the last listing
// applied, the loading mark and the error the window shows. Listings run on the remote pool; a result is
// applied only while the same connection and folder are still open, so a slow listing never lands under
// another folder's header.
class FolderBrowser : public QObject {
    Q_OBJECT

public:
    explicit FolderBrowser(SessionContext& context, QObject* parent = nullptr);

    const std::optional<Connection>& connection() const { return m_connection; }
    const QString& currentPath() const { return m_currentPath; }
    const QList<RemoteFile>& files() const { return m_files; }
    bool isLoading() const { return m_isLoading; }
    // The current folder's last listing worked: it is there to work in. False after a failed one (the server
    // could not be reached, or the folder is gone) until a listing works again.
    bool isListed() const { return m_isListed; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    // The last listing of the current folder failed: no entries, but not an empty folder either.
    bool listingFailed() const { return m_listingFailed; }
    bool canNavigateUp() const { return m_currentPath != u"/"; }

    // Opens the folder (with a trailing "/") of the connection and lists it. The entries shown so far stay
    // until the new listing arrives.
    void open(const Connection& connection, const QString& folder);
    // Leaves the connection; the current folder and entries stay as they were.
    void close();
    // A link is tried first: the list moves into it only once it lists as a folder, and a failure says it
    // is not one.
    void enterFolder(const RemoteFile& entry);
    void navigateUp();
    // A folder path the user typed, from the login folder, in the connection's encoding; "." and ".." are
    // resolved. The list moves there once it lists; a path that fails leaves it where it is.
    void goTo(const QString& typedPath);
    // Lists the current folder again; nothing when no connection is open.
    void loadFiles();

    void showError(const QString& message) { setErrorMessage(message); }
    void dismissError() { setErrorMessage(std::nullopt); }

Q_SIGNALS:
    void connectionChanged();
    void currentPathChanged();
    void filesChanged();
    void loadingChanged();
    void errorMessageChanged();
    // A listing result arrived for a connection or folder no longer open, and was dropped.
    void listingDropped(const QString& requestedPath);

private:
    // Lists the folder and only then makes it current; a failure is shown (through explain, when given)
    // and the current folder stays. Any other move drops the result.
    void visit(const QString& folder, std::function<QString(const QString&)> explain = {});
    void setErrorMessage(std::optional<QString> message);
    void setLoading(bool loading);
    void setCurrentPath(const QString& path);
    bool isOpen(const QUuid& connectionId) const { return m_connection && m_connection->id == connectionId; }

    SessionContext& m_context;
    std::optional<Connection> m_connection;
    QString m_currentPath = QStringLiteral("/");
    QList<RemoteFile> m_files;
    bool m_isLoading = false;
    bool m_listingFailed = false;
    bool m_isListed = false;
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_visiting;
};
