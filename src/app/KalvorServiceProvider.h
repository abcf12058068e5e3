#pragma once

#include <QLatin1StringView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class HandInSlot;
class QLocalServer;
class QLocalSocket;

// The single-instance entry point for files that other programs hand to Kalvor (`kalvor FILE...`, the
// desktop file, file manager actions).
//
// The first Kalvor process of a user listens on a local socket; a later one sends its items and its working
// folder there and exits with the answer. The running instance reads the items (HandInArguments.h), leaves
// the files in the hand-in slot (which announces them to the application on a later turn of the GUI loop)
// and then brings its window to the front. Items that hold no local file are answered "No file selected."
// and change nothing.
//
// The socket lives in $XDG_RUNTIME_DIR, or in a folder of our own (mode 0700) under the temporary folder,
// both private to the user, so no other user can receive the paths we send. Create the provider on the GUI
// thread, after the QApplication.
class KalvorServiceProvider : public QObject {
    Q_OBJECT

public:
    static constexpr QLatin1StringView noFileSelectedText{"No file selected."};
    // How long a sender waits for the running instance to answer before giving up on it.
    static constexpr int defaultTimeoutMs = 5000;

    enum class SendResult {
        sent,       // the running instance took the files (or, for an activation, raised its window)
        noInstance, // nothing listens: this process may become the instance
        refused,    // an instance answered with an error, or did not answer in time; see answer
    };

    enum class Startup {
        showWindow, // go on and show the window; this process's own files, if any, wait in the pending slot.
                    // Normally it is the instance now; when it could not listen, message says why and
                    // later hand-ins will not reach it.
        handedOver, // the running instance has the files (or was raised); exit 0
        failed,     // message says why (for example "No file selected."); exit non-zero
    };

    // instanceName: an absolute socket path, or a plain name placed in the user's private runtime folder;
    // empty means defaultInstanceName(). Files handed in go to handIns, which must outlive the provider.
    explicit KalvorServiceProvider(HandInSlot& handIns, const QString& instanceName = {},
                                   QObject* parent = nullptr);
    ~KalvorServiceProvider() override;

    // $KALVOR_INSTANCE_NAME when set (so tests and the demo run beside a real instance), otherwise a name
    // holding the user id.
    static QString defaultInstanceName();
    // The socket path this provider listens on or sends to.
    QString serverPath() const { return m_serverPath; }

    // What main() does with its command line before any window exists. With items: hand them to the
    // running instance, or, when none runs, become the instance and keep the files in the hand-in slot,
    // where the first window finds them. Items that hold no file
    // fail with "No file selected." and start nothing. Without items: raise the running instance's window,
    // or become the instance.
    Startup startUp(const QStringList& items, const QString& workingFolder, QString* message);

    // Starts answering hand-ins unless another instance already does. A socket left behind by an instance
    // that died is taken over. False when another instance answers or listening failed (errorString()).
    bool listen();
    bool isListening() const;
    QString errorString() const { return m_errorString; }

    // The upload service: reads the files from items (relative paths against workingFolder). No file:
    // *error becomes "No file selected." and nothing else happens. Otherwise *error is left untouched, the
    // files replace what waits in the hand-in slot, and a later turn of the GUI loop announces them and then
    // calls onActivate. Safe from any thread.
    void uploadFiles(const QStringList& items, const QString& workingFolder, QString* error);

    // Sends items to the instance listening at instanceName (empty: the default), waiting at most timeoutMs
    // for its answer, which lands in *answer ("ok" when sent). Blocks; never call it on the thread of the
    // provider that would answer.
    static SendResult sendToRunningInstance(const QStringList& items, const QString& workingFolder,
                                            QString* answer, const QString& instanceName = {},
                                            int timeoutMs = defaultTimeoutMs);
    // Asks the running instance to bring its window to the front (a start without files).
    static SendResult activateRunningInstance(QString* answer, const QString& instanceName = {},
                                              int timeoutMs = defaultTimeoutMs);

    // The default activation: shows, raises and activates every visible top-level window.
    static void activateTopLevelWindows();

    // Brings the application to the front after files arrived; empty: nothing is activated.
    std::function<void()> onActivate = &KalvorServiceProvider::activateTopLevelWindows;

private:
    enum class ListenResult { listening, otherInstance, failed };

    ListenResult tryListen();
    void acceptConnections();
    void readRequest(QLocalSocket* socket);
    void serve(const QStringList& items, const QString& workingFolder, const QString& activationToken,
               QString* error);
    void deliver(const QList<QUrl>& files, const QString& activationToken);
    void activate(const QString& activationToken);

    HandInSlot& m_handIns;
    QString m_serverPath;
    QLocalServer* m_server = nullptr;
    QString m_errorString;
};
