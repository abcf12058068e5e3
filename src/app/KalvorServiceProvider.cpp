#include "KalvorServiceProvider.h"

#include "HandInArguments.h"
#include "session/HandInSlot.h"

#include <QApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

namespace {

// Bumped whenever the request layout changes, so an older sender is turned away instead of misread.
constexpr quint16 protocolVersion = 1;
constexpr QDataStream::Version streamVersion = QDataStream::Qt_6_4;
// No real request comes near this (the kernel caps a command line at a few MiB); more is not a sender of
// ours.
constexpr qint64 largestRequest = 16 * 1024 * 1024;

QByteArray requestMagic() {
    return QByteArrayLiteral("KalvorHandIn");
}

enum class RequestKind : quint8 { handIn = 1, activate = 2 };

struct Request {
    RequestKind kind = RequestKind::handIn;
    QString workingFolder;
    QStringList items;
    // Lets the instance's window take the focus on Wayland, where only the launched process holds a token.
    QString activationToken;
};

QString didNotAnswerText() {
    return QStringLiteral("Kalvor is running but did not answer.");
}

QString uidText() {
    return QString::number(::getuid());
}

QString runtimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return runtime;
    // A bare ssh session or a container may have no runtime folder: one of our own in the shared temporary
    // folder, which only we may enter (checked before every use).
    return QDir::tempPath() + QStringLiteral("/kalvor-") + uidText();
}

QString resolveServerPath(const QString& name) {
    const QString chosen = name.isEmpty() ? KalvorServiceProvider::defaultInstanceName() : name;
    if (QDir::isAbsolutePath(chosen))
        return QDir::cleanPath(chosen);
    return runtimeFolder() + u'/' + chosen;
}

// The socket's folder must be ours and closed to others: in a shared folder someone else could put a
// socket at our name first and receive the paths we send.
bool isPrivateFolder(const QString& folder, QString* why) {
    const QFileInfo info(folder);
    if (!info.exists()) {
        *why = QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    if (info.isSymLink() || !info.isDir() || info.ownerId() != ::getuid() ||
        (info.permissions() & (QFile::WriteGroup | QFile::WriteOther))) {
        *why = QStringLiteral("The folder %1 is not private to this user, so Kalvor will not exchange files "
                              "through it.")
                   .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    return true;
}

bool preparePrivateFolder(const QString& folder, QString* why) {
    if (!QFileInfo::exists(folder) &&
        !QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
        !QFileInfo(folder).isDir()) {
        *why = QStringLiteral("Could not create the folder %1.").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    return isPrivateFolder(folder, why);
}

bool someoneAnswers(const QString& serverPath, int timeoutMs) {
    QLocalSocket probe;
    probe.connectToServer(serverPath);
    const bool connected = probe.waitForConnected(timeoutMs);
    probe.abort();
    return connected;
}

KalvorServiceProvider::SendResult send(const Request& request, QString* answer, const QString& instanceName,
                                       int timeoutMs) {
    using SendResult = KalvorServiceProvider::SendResult;
    QString ignored;
    QString& text = answer ? *answer : ignored;
    const QString serverPath = resolveServerPath(instanceName);
    QString why;
    // A folder someone else controls holds no instance of ours; listen() then reports why.
    if (!isPrivateFolder(QFileInfo(serverPath).path(), &why)) {
        text = why;
        return SendResult::noInstance;
    }

    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(serverPath);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        const QLocalSocket::LocalSocketError error = socket.error();
        text = error == QLocalSocket::SocketTimeoutError ? didNotAnswerText() : socket.errorString();
        // No socket file, or one left behind by an instance that died.
        if (error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError)
            return SendResult::noInstance;
        return SendResult::refused;
    }

    QDataStream out(&socket);
    out.setVersion(streamVersion);
    out << requestMagic() << protocolVersion << quint8(request.kind) << request.workingFolder << request.items
        << request.activationToken;
    socket.flush();

    QDataStream in(&socket);
    in.setVersion(streamVersion);
    while (true) {
        in.startTransaction();
        bool accepted = false;
        QString reply;
        in >> accepted >> reply;
        if (in.commitTransaction()) {
            text = reply;
            return accepted ? SendResult::sent : SendResult::refused;
        }
        if (in.status() == QDataStream::ReadCorruptData || deadline.hasExpired() ||
            !socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    text = didNotAnswerText();
    return SendResult::refused;
}

QString ownActivationToken() {
    return qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
}

} // namespace

KalvorServiceProvider::KalvorServiceProvider(HandInSlot& handIns, const QString& instanceName,
                                             QObject* parent)
    : QObject(parent)
    , m_handIns(handIns)
    , m_serverPath(resolveServerPath(instanceName)) {}

KalvorServiceProvider::~KalvorServiceProvider() = default;

QString KalvorServiceProvider::defaultInstanceName() {
    const QString overridden = qEnvironmentVariable("KALVOR_INSTANCE_NAME");
    if (!overridden.isEmpty())
        return overridden;
    return QStringLiteral("kalvor-") + uidText();
}

bool KalvorServiceProvider::isListening() const {
    return m_server && m_server->isListening();
}

KalvorServiceProvider::ListenResult KalvorServiceProvider::tryListen() {
    if (isListening())
        return ListenResult::listening;
    QString why;
    if (!preparePrivateFolder(QFileInfo(m_serverPath).path(), &why)) {
        m_errorString = why;
        return ListenResult::failed;
    }
    // Two processes starting together must not both find the socket dead and remove each other's.
    QLockFile lock(m_serverPath + QStringLiteral(".lock"));
    if (!lock.tryLock(defaultTimeoutMs)) {
        m_errorString = QStringLiteral("Could not lock %1.").arg(QDir::toNativeSeparators(lock.fileName()));
        return ListenResult::failed;
    }
    if (someoneAnswers(m_serverPath, defaultTimeoutMs)) {
        m_errorString = QStringLiteral("Another Kalvor is already running.");
        return ListenResult::otherInstance;
    }
    // Whatever is left at the path belongs to an instance that died.
    QLocalServer::removeServer(m_serverPath);

    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_serverPath)) {
        m_errorString = QStringLiteral("Could not listen on %1: %2")
                            .arg(QDir::toNativeSeparators(m_serverPath), server->errorString());
        delete server;
        return ListenResult::failed;
    }
    connect(server, &QLocalServer::newConnection, this, &KalvorServiceProvider::acceptConnections);
    m_server = server;
    m_errorString.clear();
    return ListenResult::listening;
}

bool KalvorServiceProvider::listen() {
    return tryListen() == ListenResult::listening;
}

KalvorServiceProvider::Startup
KalvorServiceProvider::startUp(const QStringList& items, const QString& workingFolder, QString* message) {
    QString ignored;
    QString& text = message ? *message : ignored;
    text.clear();
    if (isListening()) {
        // Already the instance (a second call): sending to ourselves would wait for our own loop.
        if (!items.isEmpty())
            serve(items, workingFolder, ownActivationToken(), &text);
        return text.isEmpty() ? Startup::showWindow : Startup::failed;
    }
    // Two rounds: an instance may appear between our finding none and our listening; the files go to it.
    for (int round = 0; round < 2; ++round) {
        const SendResult sent = items.isEmpty()
                                    ? activateRunningInstance(&text, m_serverPath)
                                    : sendToRunningInstance(items, workingFolder, &text, m_serverPath);
        if (sent == SendResult::sent) {
            text.clear();
            return Startup::handedOver;
        }
        if (sent == SendResult::refused)
            return Startup::failed;
        text.clear();

        const QList<QUrl> files = readHandInFiles(items, workingFolder);
        if (!items.isEmpty() && files.isEmpty()) {
            text = noFileSelectedText;
            return Startup::failed;
        }
        const ListenResult listening = tryListen();
        if (listening == ListenResult::otherInstance)
            continue;
        if (listening == ListenResult::failed)
            text =
                QStringLiteral("Files handed to Kalvor later will not reach this window. ") + m_errorString;
        // No window exists yet to raise: the first one takes the files from the slot when it comes on screen.
        if (!files.isEmpty())
            m_handIns.store(files);
        return Startup::showWindow;
    }
    text = didNotAnswerText();
    return Startup::failed;
}

void KalvorServiceProvider::uploadFiles(const QStringList& items, const QString& workingFolder,
                                        QString* error) {
    serve(items, workingFolder, QString(), error);
}

void KalvorServiceProvider::serve(const QStringList& items, const QString& workingFolder,
                                  const QString& activationToken, QString* error) {
    const QList<QUrl> files = readHandInFiles(items, workingFolder);
    if (files.isEmpty()) {
        if (error)
            *error = noFileSelectedText;
        return;
    }
    deliver(files, activationToken);
}

void KalvorServiceProvider::deliver(const QList<QUrl>& files, const QString& activationToken) {
    // The slot announces the files on a later turn of the GUI loop; the activation is queued behind that,
    // never run from here: the caller may be on any thread.
    m_handIns.store(files);
    const QPointer<KalvorServiceProvider> self(this);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, activationToken] {
            if (self)
                self->activate(activationToken);
        },
        Qt::QueuedConnection);
}

void KalvorServiceProvider::activate(const QString& activationToken) {
    if (!onActivate)
        return;
    // Qt's Wayland backend spends this token on the next window activation.
    if (!activationToken.isEmpty() && QGuiApplication::platformName() == u"wayland")
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    onActivate();
}

void KalvorServiceProvider::activateTopLevelWindows() {
    QWidget* first = nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        const Qt::WindowType type = window->windowType();
        if (!window->isVisible() || (type != Qt::Window && type != Qt::Dialog && type != Qt::Sheet))
            continue;
        if (window->isMinimized())
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
        if (!first && type == Qt::Window)
            first = window;
    }
    // A sheet or dialog that blocks the window is what the user has to answer first.
    QWidget* target = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : first;
    if (target)
        target->activateWindow();
}

KalvorServiceProvider::SendResult
KalvorServiceProvider::sendToRunningInstance(const QStringList& items, const QString& workingFolder,
                                             QString* answer, const QString& instanceName, int timeoutMs) {
    Request request;
    request.kind = RequestKind::handIn;
    request.workingFolder = workingFolder;
    request.items = items;
    request.activationToken = ownActivationToken();
    return send(request, answer, instanceName, timeoutMs);
}

KalvorServiceProvider::SendResult
KalvorServiceProvider::activateRunningInstance(QString* answer, const QString& instanceName, int timeoutMs) {
    Request request;
    request.kind = RequestKind::activate;
    request.activationToken = ownActivationToken();
    return send(request, answer, instanceName, timeoutMs);
}

void KalvorServiceProvider::acceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A sender that stops half-way must not hold its connection open for ever.
        QTimer::singleShot(defaultTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
}

void KalvorServiceProvider::readRequest(QLocalSocket* socket) {
    const auto drop = [socket] {
        socket->abort();
        socket->deleteLater();
    };
    QDataStream in(socket);
    in.setVersion(streamVersion);
    in.startTransaction();
    QByteArray magic;
    quint16 version = 0;
    quint8 kind = 0;
    Request request;
    in >> magic >> version >> kind >> request.workingFolder >> request.items >> request.activationToken;
    if (!in.commitTransaction()) {
        if (in.status() == QDataStream::ReadCorruptData || socket->bytesAvailable() > largestRequest)
            drop();
        return; // the rest of the request is still on its way
    }
    if (magic != requestMagic() || version != protocolVersion ||
        (kind != quint8(RequestKind::handIn) && kind != quint8(RequestKind::activate))) {
        drop();
        return;
    }
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);

    bool accepted = true;
    QString reply = QStringLiteral("ok");
    if (RequestKind(kind) == RequestKind::handIn) {
        QString error;
        serve(request.items, request.workingFolder, request.activationToken, &error);
        if (!error.isEmpty()) {
            accepted = false;
            reply = error;
        }
    } else {
        QMetaObject::invokeMethod(
            this, [this, token = request.activationToken] { activate(token); }, Qt::QueuedConnection);
    }
    QDataStream out(socket);
    out.setVersion(streamVersion);
    out << accepted << reply;
    // Leaves once the answer is written; the socket is deleted when the sender has gone.
    socket->disconnectFromServer();
}
