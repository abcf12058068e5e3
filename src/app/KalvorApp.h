#pragma once

#include "session/AppNotifications.h"
#include "session/HandInSlot.h"
#include "session/RemoteTaskPool.h"
#include "session/SessionContext.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <optional>

class AppDelegate;
class ContentView;
class DefaultsStore;
class FavoritesManager;
class PasswordVault;
class QMainWindow;

// The application: it owns what every window shares (the store, the remote pool, the notifications and the
// hand-in slot) and hands it to each window; and the windows themselves, each with the File menu ("New
// Window", "New connection" on Ctrl+N / Command-N, "Close Window", "Quit"). Quitting, by the menu or by
// closing the last window, asks first while an upload or a delete runs.
class KalvorApp : public QObject {
    Q_OBJECT

public:
    KalvorApp();
    ~KalvorApp() override;

    // The whole run after the QApplication exists: hand files to a running instance, or become the
    // instance and open the first window. Returns the process's exit code.
    int run(const QStringList& arguments);
    // Everything before the event loop. An exit code when the process is done already (files handed to the
    // running instance, or nothing to hand in); none when the first window is open.
    std::optional<int> start(const QStringList& arguments);
    AppDelegate& appDelegate() { return *m_appDelegate; }
    RemoteTaskPool& pool() { return m_pool; }
    HandInSlot& handIns() { return m_handIns; }

    ContentView* newWindow();
    // Quits now when nothing changes the server, otherwise once the user agrees.
    void requestQuit();

    static void applyIdentity(); // application name and icon, before anything reads settings

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addFileMenu(QMainWindow* window);
    QList<ContentView*> openWindows() const;
    // The window the user works in: the active one, else the newest.
    ContentView* frontWindow() const;
    void presentHandIn();

    AppNotifications m_notifications;
    HandInSlot m_handIns;
    RemoteTaskPool m_pool;
    std::unique_ptr<AppDelegate> m_appDelegate;
    std::unique_ptr<DefaultsStore> m_store;
    std::unique_ptr<PasswordVault> m_vault;
    std::unique_ptr<FavoritesManager> m_favoritesManager;
    std::unique_ptr<SessionContext> m_context;
    QList<QPointer<ContentView>> m_windows; // closed ones delete themselves; the rest go with the app
    bool m_quitting = false;
};
