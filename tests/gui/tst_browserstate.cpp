#include "TestFtpServer.h"
#include "app/AppNotifications.h"
#include "app/PendingUploadSlot.h"
#include "model/DefaultsStore.h"
#include "model/FavoritesManager.h"
#include "ui/main/BrowserState.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList names(const QList<RemoteFile>& files) {
    QStringList result;
    for (const RemoteFile& file : files)
        result << file.name;
    return result;
}

const RemoteFile* find(const QList<RemoteFile>& files, const QString& name) {
    for (const RemoteFile& file : files) {
        if (file.name == name)
            return &file;
    }
    return nullptr;
}

} // namespace

// The window's brain against real servers: navigation, stale results, and the upload, delete and
// new-folder flows, observed through the state's fields only.
class BrowserStateTest : public QObject {
    Q_OBJECT

    MemoryDefaultsStore m_store;
    QTemporaryDir m_local;

    QUrl localFile(const QString& name, const QByteArray& content) {
        QFile file(m_local.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(content);
        return QUrl::fromLocalFile(file.fileName());
    }

    static bool waitIdle(const BrowserState& state) {
        return QTest::qWaitFor(
            [&] {
                return !state.isLoading() && !state.isUploading() && !state.isDeleting() &&
                       !state.isCreatingFolder();
            },
            30000);
    }

private Q_SLOTS:
    void init() { m_store = MemoryDefaultsStore(); }

    void parentRule_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("parent");
        QTest::newRow("nested") << "/a/b/c/"
                                << "/a/b/";
        QTest::newRow("one level") << "/a/"
                                   << "/";
        QTest::newRow("no trailing slash") << "/a/b"
                                           << "/a/";
        QTest::newRow("doubled slashes") << "//a//b//"
                                         << "/a/";
        QTest::newRow("relative") << "a/b/"
                                  << "/a/";
        QTest::newRow("root") << "/"
                              << "/";
    }

    void parentRule() {
        QFETCH(QString, path);
        QFETCH(QString, parent);
        QCOMPARE(BrowserState::parentPath(path), parent);
    }

    void newState_isEmptyAndStartsNothing() {
        FavoritesManager manager(m_store);
        BrowserState state(manager);
        QCOMPARE(state.detailMode(), BrowserState::DetailMode::empty);
        QCOMPARE(state.currentPath(), QStringLiteral("/"));
        QVERIFY(!state.isLoading());
        state.loadFiles(); // nothing open: nothing happens
        QVERIFY(!state.isLoading());
        QCOMPARE(state.mainUploadProgressTotal(), 1.0);
    }

    void navigation_opensEntersAndGoesUp() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(QStringLiteral("/pub/docs"));
        server.writeFile(QStringLiteral("/pub/readme.txt"), "hello");
        FavoritesManager manager(m_store);
        const Connection connection = server.connection();
        manager.addConnection(connection);
        BrowserState state(manager);

        state.openConnection(connection);
        QCOMPARE(state.detailMode(), BrowserState::DetailMode::browsing);
        QVERIFY(state.isLoading());
        QVERIFY(waitIdle(state));
        QCOMPARE(names(state.files()), QStringList{QStringLiteral("pub")});

        state.enterFolder(state.files().first());
        QCOMPARE(state.currentPath(), QStringLiteral("pub/"));
        QVERIFY(waitIdle(state));
        QCOMPARE(names(state.files()), (QStringList{QStringLiteral("docs"), QStringLiteral("readme.txt")}));
        QCOMPARE(state.files().first().path, QStringLiteral("pub/docs"));

        state.navigateUp();
        QCOMPARE(state.currentPath(), QStringLiteral("/"));
        QVERIFY(!state.canNavigateUp());
        QVERIFY(waitIdle(state));

        manager.addFavorite(connection.id, QStringLiteral("Docs"), QStringLiteral("/pub/docs"));
        state.openFavorite(manager.favorites().first());
        QCOMPARE(state.currentPath(), QStringLiteral("/pub/docs/"));
        QVERIFY(waitIdle(state));
        QVERIFY(!state.errorMessage());

        // A favorite whose connection is gone changes nothing.
        const Favorite orphan{QUuid::createUuid(), QUuid::createUuid(), QStringLiteral("x"),
                              QStringLiteral("/x")};
        state.openFavorite(orphan);
        QCOMPARE(state.currentPath(), QStringLiteral("/pub/docs/"));
        QVERIFY(!state.isLoading());
    }

    void listingError_emptiesTheListAndShowsTheText() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(QStringLiteral("/a.txt"));
        FavoritesManager manager(m_store);
        BrowserState state(manager);
        state.openConnection(server.connection());
        QVERIFY(waitIdle(state));
        QCOMPARE(state.files().size(), 1);
        RemoteFile missing;
        missing.path = QStringLiteral("/no-such-folder");
        state.enterFolder(missing);
        QVERIFY(waitIdle(state));
        QVERIFY(state.errorMessage() && !state.errorMessage()->isEmpty());
        QVERIFY(state.files().isEmpty());
        state.dismissError();
        QVERIFY(!state.errorMessage());
    }

    void staleListing_ofAnEarlierFolderIsDropped() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(QStringLiteral("/a__slow__/old.txt"));
        server.writeFile(QStringLiteral("/b/new.txt"));
        FavoritesManager manager(m_store);
        BrowserState state(manager);
        QSignalSpy dropped(&state, &BrowserState::listingDropped);
        state.openConnection(server.connection());
        QVERIFY(waitIdle(state));

        RemoteFile slow;
        slow.path = QStringLiteral("/a__slow__");
        RemoteFile fast;
        fast.path = QStringLiteral("/b");
        state.enterFolder(slow);
        state.enterFolder(fast);
        QTRY_COMPARE_WITH_TIMEOUT(names(state.files()), QStringList{QStringLiteral("new.txt")}, 20000);
        QVERIFY(!state.isLoading());
        QTRY_COMPARE_WITH_TIMEOUT(dropped.size(), 1, 20000);
        QCOMPARE(dropped.first().first().toString(), QStringLiteral("/a__slow__/"));
        QCOMPARE(names(state.files()), QStringList{QStringLiteral("new.txt")});
    }

    // Two servers with the same folder: the slow one's listing must not land under the other's header.
    void staleListing_ofAnotherConnectionIsDropped() {
        TestFtpServer::Options slowOptions;
        slowOptions.slowSeconds = 3;
        KALVOR_START_SERVER(slowServer, TestFtpServer::Kind::pyftpdlib, slowOptions);
        TestFtpServer::Options fastOptions;
        fastOptions.slowSeconds = 0;
        KALVOR_START_SERVER(fastServer, TestFtpServer::Kind::pyftpdlib, fastOptions);
        slowServer.writeFile(QStringLiteral("/d__slow__/from-a.txt"));
        fastServer.writeFile(QStringLiteral("/d__slow__/from-b.txt"));

        FavoritesManager manager(m_store);
        const Connection a = slowServer.connection();
        const Connection b = fastServer.connection();
        manager.addConnection(a);
        manager.addConnection(b);
        manager.addFavorite(a.id, QStringLiteral("A"), QStringLiteral("/d__slow__"));
        manager.addFavorite(b.id, QStringLiteral("B"), QStringLiteral("/d__slow__"));
        BrowserState state(manager);
        QSignalSpy dropped(&state, &BrowserState::listingDropped);

        state.openFavorite(manager.favorites().at(0));
        state.openFavorite(manager.favorites().at(1));
        QTRY_COMPARE_WITH_TIMEOUT(names(state.files()), QStringList{QStringLiteral("from-b.txt")}, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(dropped.size(), 1, 20000);
        QCOMPARE(names(state.files()), QStringList{QStringLiteral("from-b.txt")});
        QCOMPARE(state.currentConnection()->id, b.id);
    }

    void upload_asksOnceAboutExistingFilesOnly_data() {
        QTest::addColumn<bool>("overwrite");
        QTest::newRow("Overwrite uploads all") << true;
        QTest::newRow("Cancel uploads none") << false;
    }

    void upload_asksOnceAboutExistingFilesOnly() {
        QFETCH(bool, overwrite);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(QStringLiteral("/in/one.txt"), "old");
        server.makeFolder(QStringLiteral("/in/two.txt"));       // a folder of the same name: no conflict
        server.writeFile(QStringLiteral("/in/THREE.txt"), "x"); // another letter case: no conflict
        FavoritesManager manager(m_store);
        BrowserState state(manager);
        QList<QUrl> files{localFile(QStringLiteral("one.txt"), "new one"),
                          localFile(QStringLiteral("three.txt"), "333")};
        if (!overwrite) // a server cannot store a file over a folder, so this one is only counted
            files.insert(1, localFile(QStringLiteral("two.txt"), "22"));
        state.setFileChooser([files](auto answer) { answer(files); });
        state.openConnection(server.connection());
        RemoteFile in;
        in.path = QStringLiteral("/in");
        state.enterFolder(in);
        QVERIFY(waitIdle(state));

        state.chooseUploadFiles();
        QTRY_VERIFY_WITH_TIMEOUT(state.showMainOverwriteAlert(), 20000);
        QCOMPARE(state.mainOverwriteConflictCount(), 1);
        QCOMPARE(BrowserState::overwriteMessage(state.mainOverwriteConflictCount()),
                 QStringLiteral("1 file(s) already exist on the server. Overwrite them?"));
        QCOMPARE(state.pendingMainUploadURLs()->size(), files.size());
        QCOMPARE(*state.pendingMainUploadPath(), QStringLiteral("/in/"));

        if (!overwrite) {
            state.cancelOverwrite();
            QVERIFY(!state.pendingMainUploadURLs() && !state.pendingMainUploadPath() &&
                    !state.pendingMainUploadConn());
            QVERIFY(!state.isUploading());
            QCOMPARE(server.readFile(QStringLiteral("/in/one.txt")), QByteArray("old"));
            QVERIFY(!server.exists(QStringLiteral("/in/three.txt")));
            return;
        }
        QStringList lines;
        connect(&state, &BrowserState::activityChanged, this, [&] {
            if (state.mainUploadProgressText())
                lines << *state.mainUploadProgressText();
        });
        state.confirmOverwrite();
        QVERIFY(state.isUploading());
        QCOMPARE(*state.mainUploadProgressText(), QStringLiteral("Preparing\u2026"));
        QCOMPARE(state.mainUploadProgressTotal(), 10.0);
        QVERIFY(waitIdle(state));
        QVERIFY(!state.errorMessage());
        QVERIFY(!state.mainUploadProgressText());
        QCOMPARE(server.readFile(QStringLiteral("/in/one.txt")), QByteArray("new one"));
        QCOMPARE(server.readFile(QStringLiteral("/in/three.txt")), QByteArray("333"));
        // Each line names the file, its own size, then the bytes already done and the total.
        QVERIFY2(lines.contains(QStringLiteral("three.txt \u2014 3 bytes \u00b7 7 bytes/10 bytes")),
                 qPrintable(lines.join(u'|')));
        // The folder is listed again at the end.
        QVERIFY(find(state.files(), QStringLiteral("three.txt")));
    }

    void upload_stopsAtTheFirstFailureWithoutReloading() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(QStringLiteral("/up"));
        FavoritesManager manager(m_store);
        BrowserState state(manager);
        const QList<QUrl> files{localFile(QStringLiteral("first.txt"), "1"),
                                localFile(QStringLiteral("second__denied__.txt"), "2"),
                                localFile(QStringLiteral("third.txt"), "3")};
        state.setFileChooser([files](auto answer) { answer(files); });
        state.openConnection(server.connection());
        RemoteFile up;
        up.path = QStringLiteral("/up");
        state.enterFolder(up);
        QVERIFY(waitIdle(state));
        // Only this folder's listings count: the first listing of the root may still be on its way.
        const qsizetype listingsBefore = server.treeCommands().filter(QStringLiteral("LIST /up/")).size();

        state.chooseUploadFiles();
        QTRY_VERIFY_WITH_TIMEOUT(state.errorMessage().has_value(), 20000);
        QVERIFY(waitIdle(state));
        QVERIFY(!state.isUploading());
        QVERIFY(!state.mainUploadProgressText());
        QVERIFY(server.exists(QStringLiteral("/up/first.txt")));
        QVERIFY(!server.exists(QStringLiteral("/up/third.txt")));
        const QStringList commands = server.treeCommands();
        QVERIFY(commands.filter(QStringLiteral("third.txt")).isEmpty());
        // One listing for the conflict check, none after the failure.
        QCOMPARE(commands.filter(QStringLiteral("LIST /up/")).size(), listingsBefore + 1);
    }

    void upload_ofEmptyFilesHasABarTotalOfOne() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        FavoritesManager manager(m_store);
        BrowserState state(manager);
        state.openConnection(server.connection());
        QVERIFY(waitIdle(state));
        state.performUpload({localFile(QStringLiteral("e1"), {}), localFile(QStringLiteral("e2"), {})},
                            server.connection(), QStringLiteral("/"));
        QCOMPARE(state.mainUploadProgressTotal(), 1.0);
        QVERIFY(waitIdle(state));
        QVERIFY(server.exists(QStringLiteral("/e2")));
    }

    void delete_ofAFolderRemovesTheWholeTreeAndReloads() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(QStringLiteral("/tree/sub/deep/file.txt"), "x");
        server.writeFile(QStringLiteral("/tree/top.txt"), "y");
        server.writeFile(QStringLiteral("/keep.txt"), "z");
        FavoritesManager manager(m_store);
        BrowserState state(manager);
        state.openConnection(server.connection());
        QVERIFY(waitIdle(state));
        const RemoteFile tree = *find(state.files(), QStringLiteral("tree"));

        state.requestDelete(tree);
        QCOMPARE(state.fileToDelete()->name, QStringLiteral("tree"));
        QCOMPARE(BrowserState::deleteButtonLabel(tree), QStringLiteral("Delete folder: tree"));
        QCOMPARE(BrowserState::deleteMessage(tree),
                 QStringLiteral("The folder and all its contents will be deleted."));
        state.cancelDelete();
        QVERIFY(!state.fileToDelete());
        QVERIFY(server.exists(QStringLiteral("/tree")));

        state.requestDelete(tree);
        state.confirmDelete();
        QVERIFY(!state.fileToDelete());
        QVERIFY(state.isDeleting());
        QTRY_VERIFY_WITH_TIMEOUT(!state.isDeleting(), 20000);
        QVERIFY(waitIdle(state));
        QVERIFY(!state.errorMessage());
        QVERIFY(!server.exists(QStringLiteral("/tree")));
        QCOMPARE(names(state.files()), QStringList{QStringLiteral("keep.txt")});

        const RemoteFile keep = state.files().first();
        QCOMPARE(BrowserState::deleteButtonLabel(keep), QStringLiteral("Delete file: keep.txt"));
        QCOMPARE(BrowserState::deleteMessage(keep), QStringLiteral("This file will be permanently deleted."));
    }

    void newFolder_isCreatedWithTheNameTrimmed() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(QStringLiteral("/a"));
        FavoritesManager manager(m_store);
        BrowserState state(manager);
        state.openConnection(server.connection());
        RemoteFile a;
        a.path = QStringLiteral("/a");
        state.enterFolder(a);
        QVERIFY(waitIdle(state));

        state.openNewFolderSheet();
        QVERIFY(state.showNewFolderSheet());
        state.setNewFolderName(QStringLiteral(" \t "));
        QVERIFY(!state.canCreateFolder());
        state.createFolderInCurrentConnection(); // a blank name does nothing
        QVERIFY(!state.isCreatingFolder());

        state.setNewFolderName(QStringLiteral("  reports \t"));
        QVERIFY(state.canCreateFolder());
        state.createFolderInCurrentConnection();
        QVERIFY(state.isCreatingFolder());
        QVERIFY(!state.canOpenNewFolderSheet());
        QVERIFY(waitIdle(state));
        QVERIFY(!state.showNewFolderSheet());
        QVERIFY(state.newFolderName().isEmpty());
        QVERIFY(server.isFolder(QStringLiteral("/a/reports")));
        QVERIFY(server.treeCommands().contains(QStringLiteral("MKD /a/reports")));
        QVERIFY(find(state.files(), QStringLiteral("reports")));

        // A failed creation keeps the sheet open with the typed name.
        state.openNewFolderSheet();
        state.setNewFolderName(QStringLiteral("reports"));
        state.createFolderInCurrentConnection();
        QTRY_VERIFY_WITH_TIMEOUT(!state.isCreatingFolder(), 20000);
        QVERIFY(state.errorMessage()->startsWith(
            QStringLiteral("Could not create folder \u201c/a/reports\u201d: ")));
        QVERIFY(state.showNewFolderSheet());
        QCOMPARE(state.newFolderName(), QStringLiteral("reports"));
    }

    void connectionForm_savesThroughTheStore() {
        MemoryDefaultsStore store;
        FavoritesManager manager(store);
        BrowserState state(manager);
        state.showNewConnectionForm();
        QCOMPARE(state.detailMode(), BrowserState::DetailMode::form);
        Connection edited = state.formConnection();
        QCOMPARE(edited.port, 21);
        edited.host = QStringLiteral("h");
        state.setFormConnection(edited);
        state.saveConnectionForm();
        QCOMPARE(state.detailMode(), BrowserState::DetailMode::empty);
        QCOMPARE(manager.connections().size(), 1);
        QCOMPARE(manager.connections().first().host, QStringLiteral("h"));

        // Edited while another process deleted it: saving adds it again, with its old id, at the end.
        const Connection stored = manager.connections().first();
        manager.addConnection(Connection::makeNew());
        state.showEditConnectionForm(QVariant::fromValue(stored));
        manager.deleteConnection(stored);
        state.saveConnectionForm();
        QCOMPARE(manager.connections().last().id, stored.id);

        // Cancelling drops the working copy; the store is untouched.
        state.showEditConnectionForm(QVariant::fromValue(stored));
        Connection renamed = stored;
        renamed.name = QStringLiteral("renamed");
        state.setFormConnection(renamed);
        state.cancelConnectionForm();
        QVERIFY(!state.editingConnection());
        QCOMPARE(manager.connections().last().name, stored.name);

        // Anything but a connection is ignored.
        state.showEditConnectionForm(QVariant(42));
        QCOMPARE(state.detailMode(), BrowserState::DetailMode::empty);
    }

    void handedInFiles_comeFromTheNotificationAndTheSlot() {
        FavoritesManager manager(m_store);
        BrowserState state(manager);
        const QList<QUrl> urls{QUrl::fromLocalFile(QStringLiteral("/tmp/a")),
                               QUrl::fromLocalFile(QStringLiteral("/tmp/b"))};

        state.takeHandedInFiles(QVariant::fromValue(QList<QUrl>()));
        QVERIFY(!state.pendingUploadURLs());
        state.takeHandedInFiles(QVariant::fromValue(urls));
        QCOMPARE(state.pendingUploadURLs()->urls, urls);
        const QUuid first = state.pendingUploadURLs()->id;

        storePendingServiceURLs({urls.first()});
        state.takePendingServiceFiles();
        QCOMPARE(state.pendingUploadURLs()->urls, QList<QUrl>{urls.first()});
        QVERIFY(!takePendingServiceURLs());

        // A late dismissal from the first presentation leaves the newer hand-in alone.
        state.dismissPendingUpload(first);
        QVERIFY(state.pendingUploadURLs());
        state.dismissPendingUpload(state.pendingUploadURLs()->id);
        QVERIFY(!state.pendingUploadURLs());
    }
};

QTEST_MAIN(BrowserStateTest)
#include "tst_browserstate.moc"
