#pragma once

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
class QMainWindow;

// The application: one delegate, one store shared by every window, and the windows themselves, each with
// the File menu ("New Window", "New connection" on Ctrl+N / Command-N).
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

    ContentView* newWindow();
    FavoritesManager& favoritesManager() { return *m_favoritesManager; }

    static void applyIdentity(); // application name and icon, before anything reads settings

private:
    void addFileMenu(QMainWindow* window);

    std::unique_ptr<AppDelegate> m_appDelegate;
    std::unique_ptr<DefaultsStore> m_store;
    std::unique_ptr<FavoritesManager> m_favoritesManager;
    QList<QPointer<QMainWindow>> m_windows; // closed ones delete themselves; the rest go with the app
};
