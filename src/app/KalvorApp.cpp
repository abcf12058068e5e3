#include "KalvorApp.h"

#include "AppDelegate.h"
#include "AppNotifications.h"
#include "model/DefaultsStore.h"
#include "model/FavoritesManager.h"
#include "ui/main/ContentView.h"
#include "ui/panels/Icons.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenuBar>

#include <cstdio>

KalvorApp::KalvorApp()
    : m_appDelegate(std::make_unique<AppDelegate>()) {}

KalvorApp::~KalvorApp() {
    // Windows hold the store by reference: they must not outlive it.
    for (const QPointer<QMainWindow>& window : std::as_const(m_windows))
        delete window.data();
}

void KalvorApp::applyIdentity() {
    // The settings folder is $XDG_CONFIG_HOME/kalvor: no organisation name on purpose.
    QApplication::setApplicationName(QStringLiteral("kalvor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kalvor"));
    QApplication::setDesktopFileName(QStringLiteral("kalvor"));
    setUpIconTheme();
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("kalvor"), QIcon(QStringLiteral(":/kalvor.svg"))));
}

int KalvorApp::run(const QStringList& arguments) {
    if (const std::optional<int> status = start(arguments))
        return *status;
    const int status = QApplication::exec();
    m_appDelegate->applicationWillTerminate();
    return status;
}

std::optional<int> KalvorApp::start(const QStringList& arguments) {
    QString message;
    switch (m_appDelegate->serviceProvider().startUp(arguments, QDir::currentPath(), &message)) {
    case KalvorServiceProvider::Startup::handedOver:
        return 0;
    case KalvorServiceProvider::Startup::failed:
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return 1;
    case KalvorServiceProvider::Startup::showWindow:
        if (!message.isEmpty()) // could not take the single-instance name; runs anyway
            std::fprintf(stderr, "%s\n", qPrintable(message));
        break;
    }
    m_appDelegate->applicationWillFinishLaunching();

    m_store = std::make_unique<FileDefaultsStore>(FileDefaultsStore::defaultFolder());
    m_favoritesManager = std::make_unique<FavoritesManager>(*m_store);
    m_appDelegate->applicationDidFinishLaunching();

    newWindow();
    return std::nullopt;
}

ContentView* KalvorApp::newWindow() {
    auto* window = new ContentView(*m_favoritesManager);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->resize(1000, 640);
    addFileMenu(window);
    m_windows.removeAll(nullptr);
    m_windows << window;
    window->show();
    return window;
}

void KalvorApp::addFileMenu(QMainWindow* window) {
    QMenu* file = window->menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction* newWindowAction = file->addAction(QStringLiteral("New Window"));
    newWindowAction->setObjectName(QStringLiteral("newWindowAction"));
    newWindowAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    connect(newWindowAction, &QAction::triggered, this, [this] { newWindow(); });

    // Directly after the new-item entries. Qt maps Ctrl to Command on macOS.
    QAction* newConnection = file->addAction(QStringLiteral("New connection"));
    newConnection->setObjectName(QStringLiteral("newConnectionAction"));
    newConnection->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(newConnection, &QAction::triggered, this, [] { AppNotifications::postNewConnection(); });

    file->addSeparator();
    QAction* close = file->addAction(QStringLiteral("Close Window"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, window, &QWidget::close);
    QAction* quit = file->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::closeAllWindows);
}
