#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

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

    ContentView* newWindow();
    FavoritesManager& favoritesManager() { return *m_favoritesManager; }

    static void applyIdentity(); // application name and icon, before anything reads settings

private:
    void addFileMenu(QMainWindow* window);

    std::unique_ptr<AppDelegate> m_appDelegate;
    std::unique_ptr<DefaultsStore> m_store;
    std::unique_ptr<FavoritesManager> m_favoritesManager;
};
