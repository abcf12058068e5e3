// Opens the main window in each of its modes against a local test server and saves a picture of each:
//   kalvor_screenshots OUTPUT_FOLDER
// Run it under Xvfb (scripts/screenshots.sh) to see the platform's real fonts and theme.
#include "MemoryDefaultsStore.h"
#include "TestFtpServer.h"
#include "app/KalvorApp.h"
#include "model/FavoritesManager.h"
#include "security/CertificateRefusal.h"
#include "session/AppNotifications.h"
#include "session/HandInSlot.h"
#include "session/Prompter.h"
#include "session/RemoteTaskPool.h"
#include "ui/main/ContentView.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/FileTableModel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {

bool waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 20000);
}

void save(QWidget* window, const QString& folder, const QString& name) {
    QTest::qWait(150); // let animations and late paints settle: this is a picture, not a test
    QWidget* top = QApplication::activeModalWidget();
    QPixmap picture = window->grab();
    if (top && top != window) {
        // Window-modal dialogs are separate windows; draw them over the window's centre like a sheet.
        QPainter painter(&picture);
        const QPixmap sheet = top->grab();
        painter.drawPixmap((picture.width() - sheet.width()) / 2, 40, sheet);
    }
    picture.save(QDir(folder).filePath(name + QStringLiteral(".png")));
    std::printf("%s\n", qPrintable(QDir(folder).filePath(name + QStringLiteral(".png"))));
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    KalvorApp::applyIdentity();
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    TestFtpServer::Options options;
    options.slowSeconds = 30;
    // Slow transfers keep the progress on screen long enough to see it.
    options.throttleReceive = 400000;
    options.throttleSend = 400000;
    TestFtpServer server(TestFtpServer::Kind::pyftpdlib, options);
    if (!server.isRunning()) {
        std::fprintf(stderr, "server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    for (const char* name : {"Invoices", "Photos", "Projects", "Backups 2026"})
        server.makeFolder(QStringLiteral("/") + QString::fromUtf8(name));
    server.writeFile(QStringLiteral("/readme.txt"), QByteArray(1234, 'x'));
    server.writeFile(QStringLiteral("/report Q3.pdf"), QByteArray(845000, 'x'));
    server.writeFile(QStringLiteral("/photo-001.jpg"), QByteArray(2400000, 'x'));
    server.writeFile(QStringLiteral("/Übersicht.txt"), QByteArray(321, 'x'));
    server.makeFolder(QStringLiteral("/slow__slow__"));

    MemoryDefaultsStore store;
    FavoritesManager manager(store);
    Connection connection = server.connection();
    connection.name = QStringLiteral("Office server");
    manager.addConnection(connection);
    Connection other = Connection::makeNew();
    other.host = QStringLiteral("backup.example.org");
    manager.addConnection(other);
    manager.addFavorite(connection.id, QStringLiteral("Invoices"), QStringLiteral("/Invoices"));
    manager.addFavorite(connection.id, QStringLiteral("Photos"), QStringLiteral("/Photos"));

    AppNotifications notifications;
    HandInSlot handIns;
    RemoteTaskPool pool;
    SessionContext context{manager, pool, notifications, handIns};
    ContentView window(context);
    window.resize(1000, 640);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    BrowserState& state = window.state();
    save(&window, folder, QStringLiteral("empty"));

    state.showNewConnectionForm();
    save(&window, folder, QStringLiteral("form"));

    state.openConnection(connection);
    waitFor([&] { return !state.browser().isLoading(); });
    save(&window, folder, QStringLiteral("browsing"));

    // The details mode, sorted by size, with two entries selected from the keyboard's point of view.
    auto* list = window.findChild<FileListView*>();
    list->setMode(FileListView::Mode::details);
    list->detailsView()->sortByColumn(FileTableModel::SizeColumn, Qt::DescendingOrder);
    for (const int row : {4, 5})
        list->detailsView()->selectionModel()->select(
            list->tableModel()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->detailsView()->setFocus();
    save(&window, folder, QStringLiteral("details"));
    list->detailsView()->sortByColumn(FileTableModel::NameColumn, Qt::AscendingOrder);
    list->setMode(FileListView::Mode::list);

    // The question a certificate no authority vouches for brings up (its fields as the probe reads them).
    CertificateRefusal refusal;
    refusal.host = QStringLiteral("ftp.example.org");
    refusal.port = 21;
    refusal.certificate.subject = QStringLiteral("CN=ftp.example.org, O=Example Office");
    refusal.certificate.issuer = refusal.certificate.subject;
    refusal.certificate.notBefore = QDateTime(QDate(2026, 1, 12), QTime(9, 0), Qt::UTC);
    refusal.certificate.notAfter = QDateTime(QDate(2027, 1, 12), QTime(9, 0), Qt::UTC);
    QStringList fingerprint;
    for (int i = 0; i < 32; ++i)
        fingerprint << QStringLiteral("%1").arg((i * 37 + 11) % 256, 2, 16, QLatin1Char('0')).toUpper();
    refusal.certificate.fingerprint = fingerprint.join(u':');
    refusal.reason = QStringLiteral("it is self-signed: no authority vouches for it");
    window.prompter().ask(questions::certificate(refusal), [](int) {});
    waitFor([] { return QApplication::activeModalWidget() != nullptr; });
    save(&window, folder, QStringLiteral("certificate"));
    QApplication::activeModalWidget()->close();
    waitFor([] { return QApplication::activeModalWidget() == nullptr; });

    state.browser().dismissError();
    QTemporaryDir local;
    QList<QUrl> files;
    for (const char* name : {"big-one.bin", "second.bin"}) {
        QFile file(local.filePath(QString::fromUtf8(name)));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(QByteArray(3000000, 'x'));
        files << QUrl::fromLocalFile(file.fileName());
    }
    state.upload().start(connection, QStringLiteral("/"), files, &window.prompter(), &window, {});
    waitFor(
        [&] { return state.upload().progressLine() && state.upload().progressLine()->contains(u"/s, "); });
    save(&window, folder, QStringLiteral("uploading"));
    state.upload().cancel();
    waitFor([&] { return !state.upload().isBusy(); });

    QList<RemoteFile> chosen;
    for (const RemoteFile& entry : state.browser().files()) {
        if (entry.name == u"photo-001.jpg" || entry.name == u"Photos")
            chosen << entry;
    }
    state.download().start(connection, chosen, local.path(), &window.prompter(), &window, {});
    waitFor([&] {
        return state.download().progressLine() && state.download().progressLine()->contains(u"/s, ");
    });
    save(&window, folder, QStringLiteral("downloading"));
    state.download().cancel();
    waitFor([&] { return !state.download().isBusy(); });
    save(&window, folder, QStringLiteral("download-cancelled"));

    handIns.store(files);
    state.takeHandIn();
    waitFor([&] { return window.uploadSheet() != nullptr; });
    save(&window, folder, QStringLiteral("upload-sheet"));
    return 0;
}
