#include "KalvorApp.h"

#include "AppDelegate.h"
#include "HandInArguments.h"
#include "WindowPlacement.h"
#include "keyring/KeychainVault.h"
#include "model/DefaultsStore.h"
#include "model/FavoritesManager.h"
#include "session/Quitting.h"
#include "ui/main/ContentView.h"
#include "ui/panels/Icons.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QMenuBar>
#include <QScreen>

#include <cstdio>

KalvorApp::KalvorApp()
    : m_appDelegate(std::make_unique<AppDelegate>(m_handIns)) {
    connect(&m_handIns, &HandInSlot::arrived, this, &KalvorApp::presentHandIn);
}

KalvorApp::~KalvorApp() {
    // Windows hold the store and the pool by reference: they must not outlive them.
    for (const QPointer<ContentView>& window : std::as_const(m_windows))
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
    // Said here, in the terminal of whoever typed them; the files among them still go.
    for (const QString& item : arguments) {
        const QString why = whyNotAFile(item, QDir::currentPath());
        if (!why.isEmpty())
            std::fprintf(stderr, "%s: %s\n", qPrintable(item), qPrintable(why));
    }
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

    const QString settingsFolder = FileDefaultsStore::defaultFolder();
    m_store = std::make_unique<FileDefaultsStore>(settingsFolder);
    m_vault = std::make_unique<KeychainVault>();
    // The trusted certificates are read afresh for every run, so kalvorctl's changes count at once. Questions
    // about a certificate go to the window the user works in.
    m_pool.setSecurity({[settingsFolder] { return std::make_unique<FileDefaultsStore>(settingsFolder); },
                        m_vault.get(),
                        [this]() -> Prompter* {
                            ContentView* window = frontWindow();
                            return window ? &window->prompter() : nullptr;
                        }});
    m_favoritesManager = std::make_unique<FavoritesManager>(*m_store);
    m_context = std::make_unique<SessionContext>(
        SessionContext{*m_favoritesManager, m_pool, m_notifications, m_handIns});
    m_appDelegate->applicationDidFinishLaunching();

    newWindow();
    return std::nullopt;
}

ContentView* KalvorApp::newWindow() {
    // On the screen of the window in front, one step down and right of it.
    const ContentView* front = frontWindow();
    QScreen* screen = front ? front->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1000, 640);
    QMargins frame;
    std::optional<QPoint> cascade;
    if (front) {
        const QRect inner = front->geometry();
        const QRect outer = front->frameGeometry();
        frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
        cascade = inner.topLeft() + QPoint(32, 32);
    }
    const QRect placed = placeWindow(QSize(1000, 640), available, frame, cascade);

    auto* window = new ContentView(*m_context);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // A small screen (or a large scale factor) lowers the usual minimum rather than push the window off it.
    window->setMinimumSize(window->minimumSize().boundedTo(placed.size()));
    window->setGeometry(placed);
    window->installEventFilter(this);
    addFileMenu(window);
    m_windows.removeAll(nullptr);
    m_windows << window;
    window->show();
    return window;
}

QList<ContentView*> KalvorApp::openWindows() const {
    QList<ContentView*> open;
    for (const QPointer<ContentView>& window : m_windows) {
        if (window && window->isVisible())
            open << window;
    }
    return open;
}

ContentView* KalvorApp::frontWindow() const {
    const QList<ContentView*> open = openWindows();
    for (ContentView* window : open) {
        if (window->isActiveWindow())
            return window;
    }
    return open.isEmpty() ? nullptr : open.last();
}

void KalvorApp::presentHandIn() {
    // One window presents it; with none open it waits in the slot for the next window that comes on screen.
    if (ContentView* window = frontWindow())
        window->state().takeHandIn();
}

void KalvorApp::requestQuit() {
    ContentView* window = frontWindow();
    const auto quit = [this] {
        m_quitting = true;
        QApplication::closeAllWindows();
    };
    if (!window) {
        quit();
        return;
    }
    quitWhenConfirmed(m_pool, window->prompter(), quit);
}

bool KalvorApp::eventFilter(QObject* watched, QEvent* event) {
    // Closing the last window quits: while work runs that needs the same question as Quit.
    if (event->type() == QEvent::Close && !m_quitting && m_pool.changesRunning() > 0) {
        const QList<ContentView*> open = openWindows();
        if (open.size() == 1 && open.first() == watched) {
            event->ignore();
            requestQuit();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
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
    connect(newConnection, &QAction::triggered, &m_notifications, &AppNotifications::newConnection);

    file->addSeparator();
    QAction* close = file->addAction(QStringLiteral("Close Window"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, window, &QWidget::close);
    QAction* quit = file->addAction(QStringLiteral("Quit"));
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &KalvorApp::requestQuit);
}
