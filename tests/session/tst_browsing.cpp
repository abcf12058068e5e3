// One window's flows against real servers, with the user played by a script: navigation and stale listings,
// the connection form, hand-ins, deleting entries and connections, new folders, and the notice after any
// change that makes every window showing the changed folder list it again.
#include "SessionHarness.h"
#include "TestFtpServer.h"
#include "session/BrowserState.h"
#include "session/UploadToFavoriteFlow.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int remoteTimeoutMs = 30000;

RemoteFile entry(const QString& path, bool isDirectory = true) {
    RemoteFile file;
    file.path = path;
    file.name = path.section(u'/', -1);
    file.isDirectory = isDirectory;
    return file;
}

// Opens the folder of the stored connection and waits for its listing.
bool browse(BrowserState& state, const Connection& connection, const QString& folder) {
    state.openFavorite(Favorite{QUuid::createUuid(), connection.id, folder, folder});
    return state.browser().connection() && waitIdle(state) && !state.browser().errorMessage();
}

} // namespace

class BrowsingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void navigation_opensEntersAndGoesUp() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/pub/docs"_s);
        server.writeFile(u"/pub/readme.txt"_s, "hello");
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        BrowserState state(h.context, h.prompter);
        QCOMPARE(state.detailMode(), BrowserState::DetailMode::empty);

        state.openConnection(connection);
        QCOMPARE(state.detailMode(), BrowserState::DetailMode::browsing);
        QVERIFY(state.browser().isLoading());
        QVERIFY(waitIdle(state));
        QCOMPARE(entryNames(state.browser().files()), QStringList{u"pub"_s});

        state.browser().enterFolder(state.browser().files().first());
        QCOMPARE(state.browser().currentPath(), u"pub/"_s);
        QVERIFY(waitIdle(state));
        QCOMPARE(entryNames(state.browser().files()), (QStringList{u"docs"_s, u"readme.txt"_s}));

        state.browser().navigateUp();
        QCOMPARE(state.browser().currentPath(), u"/"_s);
        QVERIFY(!state.browser().canNavigateUp());
        QVERIFY(waitIdle(state));

        // A listing that fails empties the list and shows the text; dismissing hides it.
        state.browser().enterFolder(entry(u"/no-such-folder"_s));
        QVERIFY(waitIdle(state));
        QVERIFY(state.browser().errorMessage() && !state.browser().errorMessage()->isEmpty());
        QVERIFY(state.browser().files().isEmpty());
        state.browser().dismissError();
        QVERIFY(!state.browser().errorMessage());

        h.store.addFavorite(connection.id, u"Docs"_s, u"/pub/docs"_s);
        state.openFavorite(h.store.favorites().first());
        QCOMPARE(state.browser().currentPath(), u"/pub/docs/"_s);
        QVERIFY(waitIdle(state));
        QVERIFY(!state.browser().errorMessage());

        // A favorite whose connection is gone changes nothing.
        state.openFavorite(Favorite{QUuid::createUuid(), QUuid::createUuid(), u"x"_s, u"/x"_s});
        QCOMPARE(state.browser().currentPath(), u"/pub/docs/"_s);
        QVERIFY(!state.browser().isLoading());
    }

    void staleListing_isDropped_data() {
        QTest::addColumn<bool>("otherConnection");
        QTest::newRow("an earlier folder") << false;
        QTest::newRow("the same folder of another connection") << true;
    }
    void staleListing_isDropped() {
        QFETCH(bool, otherConnection);
        KALVOR_START_SERVER(slow, TestFtpServer::Kind::pyftpdlib);
        TestFtpServer::Options quick;
        quick.slowSeconds = 0;
        KALVOR_START_SERVER(fast, TestFtpServer::Kind::pyftpdlib, quick);
        slow.writeFile(u"/d__slow__/old.txt"_s);
        slow.writeFile(u"/b/new.txt"_s);
        fast.writeFile(u"/d__slow__/new.txt"_s);
        SessionHarness h;
        BrowserState state(h.context, h.prompter);
        QSignalSpy dropped(&state.browser(), &FolderBrowser::listingDropped);

        state.openConnection(slow.connection());
        state.browser().enterFolder(entry(u"/d__slow__"_s));
        if (otherConnection) {
            state.openConnection(fast.connection());
            state.browser().enterFolder(entry(u"/d__slow__"_s));
        } else {
            state.browser().enterFolder(entry(u"/b"_s));
        }
        const auto slowListingDropped = [&] {
            return std::any_of(dropped.cbegin(), dropped.cend(),
                               [](const QList<QVariant>& args) { return args.first() == u"/d__slow__/"_s; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(slowListingDropped(), remoteTimeoutMs);
        QCOMPARE(entryNames(state.browser().files()), QStringList{u"new.txt"_s});
        QVERIFY(!state.browser().isLoading());
    }

    void connectionForm_savesOnlyAReachableServer_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<qint64>("port");
        QTest::addColumn<bool>("savable");
        QTest::newRow("host and port 21") << u"ftp.example.com"_s << qint64(21) << true;
        QTest::newRow("lowest port") << u"h"_s << qint64(1) << true;
        QTest::newRow("highest port") << u"h"_s << qint64(65535) << true;
        QTest::newRow("no host") << QString() << qint64(21) << false;
        QTest::newRow("host of blanks") << u" \t "_s << qint64(21) << false;
        QTest::newRow("port 0 (no number typed)") << u"h"_s << qint64(0) << false;
        QTest::newRow("port above 65535") << u"h"_s << qint64(65536) << false;
        QTest::newRow("negative port") << u"h"_s << qint64(-21) << false;
    }
    void connectionForm_savesOnlyAReachableServer() {
        QFETCH(QString, host);
        QFETCH(qint64, port);
        QFETCH(bool, savable);
        SessionHarness h;
        BrowserState state(h.context, h.prompter);
        state.openConnection(Connection::makeNew()); // the form leaves it
        state.showNewConnectionForm();
        QCOMPARE(state.detailMode(), BrowserState::DetailMode::form);
        QVERIFY(!state.browser().connection());
        Connection edited = *state.editor().editing();
        edited.host = host;
        edited.port = port;
        state.editor().edit(edited);
        QCOMPARE(state.editor().canSave(), savable);
        state.editor().save();
        QCOMPARE(h.store.connections().size(), savable ? 1 : 0);
        // Saved: the form closes and the connection is not opened. Not saved: the form stays with the edits.
        QCOMPARE(state.detailMode(),
                 savable ? BrowserState::DetailMode::empty : BrowserState::DetailMode::form);
    }

    void connectionForm_editsAWorkingCopy() {
        SessionHarness h;
        BrowserState state(h.context, h.prompter);
        Connection stored = Connection::makeNew();
        stored.host = u"h"_s;
        h.store.addConnection(stored);
        h.store.addConnection(Connection::makeNew());

        // Cancelling drops the edits; the store is untouched.
        state.showEditConnectionForm(stored);
        Connection renamed = stored;
        renamed.name = u"renamed"_s;
        state.editor().edit(renamed);
        state.editor().cancel();
        QCOMPARE(h.store.connections().first(), stored);

        // Deleted while the form was open: saving adds it again, with its old id, at the end.
        state.showEditConnectionForm(stored);
        state.editor().edit(renamed);
        h.store.deleteConnection(stored);
        state.editor().save();
        QCOMPARE(h.store.connections().last(), renamed);
        QCOMPARE(h.store.connections().size(), 2);
    }

    void handIn_isPresentedOnce() {
        SessionHarness h;
        BrowserState first(h.context, h.prompter);
        BrowserState second(h.context, h.prompter);
        const QList<QUrl> files{h.localFile(u"a.txt"_s), h.localFile(u"b.txt"_s)};

        h.handIns.store({h.localFile(u"older.txt"_s)});
        h.handIns.store(files); // only the last hand-in waits
        first.takeHandIn();
        second.takeHandIn();
        QCOMPARE(first.pendingUpload()->urls, files);
        QVERIFY(!second.pendingUpload());

        // A late dismissal for another hand-in leaves this one; its own ends it, and no window brings it
        // back.
        first.dismissPendingUpload(QUuid::createUuid());
        QVERIFY(first.pendingUpload());
        first.dismissPendingUpload(first.pendingUpload()->id);
        QVERIFY(!first.pendingUpload());
        BrowserState later(h.context, h.prompter);
        later.takeHandIn();
        first.takeHandIn();
        QVERIFY(!later.pendingUpload() && !first.pendingUpload());
    }

    void deleteConnection_asksThenEveryWindowLeavesIt_data() {
        QTest::addColumn<int>("favorites");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::newRow("no favorite, Delete") << 0 << u"Delete"_s << u"Nothing on the server is deleted."_s;
        QTest::newRow("one favorite, Delete")
            << 1 << u"Delete"_s
            << u"Its favorite folder is deleted with it. Nothing on the server is deleted."_s;
        QTest::newRow("three favorites, Cancel")
            << 3 << u"Cancel"_s
            << u"Its 3 favorite folders are deleted with it. Nothing on the server is deleted."_s;
    }
    void deleteConnection_asksThenEveryWindowLeavesIt() {
        QFETCH(int, favorites);
        QFETCH(QString, answer);
        QFETCH(QString, message);
        SessionHarness h;
        Connection doomed = Connection::makeNew();
        doomed.name = u"Work"_s;
        doomed.host = u"127.0.0.1"_s;
        doomed.port = 1; // nothing listens: the listings fail, which is fine here
        Connection other = doomed;
        other.id = QUuid::createUuid();
        h.store.addConnection(doomed);
        h.store.addConnection(other);
        for (int i = 0; i < favorites; ++i)
            h.store.addFavorite(doomed.id, u"F"_s, u"/f%1"_s.arg(i));
        h.store.addFavorite(other.id, u"Kept"_s, u"/kept"_s);
        BrowserState asking(h.context, h.prompter);
        BrowserState browsing(h.context, h.prompter);
        BrowserState elsewhere(h.context, h.prompter);
        asking.openConnection(doomed);
        browsing.openConnection(doomed);
        elsewhere.openConnection(other);

        h.prompter.answers << answer;
        asking.deleteConnection(doomed);
        QTRY_VERIFY(!h.prompter.isAsking());
        QCOMPARE(h.prompter.asked.last().title, u"Delete the connection \u201cWork\u201d?"_s);
        QCOMPARE(h.prompter.asked.last().message, message);

        const bool deleted = answer == u"Delete";
        QCOMPARE(h.store.connections().size(), deleted ? 1 : 2);
        QCOMPARE(h.store.favorites().size(), deleted ? 1 : favorites + 1);
        for (BrowserState* window : {&asking, &browsing})
            QCOMPARE(window->detailMode(),
                     deleted ? BrowserState::DetailMode::empty : BrowserState::DetailMode::browsing);
        QCOMPARE(elsewhere.detailMode(), BrowserState::DetailMode::browsing);
    }

    void addToFavorites_takesFoldersOnly_data() {
        QTest::addColumn<RemoteFile>("candidate");
        QTest::addColumn<bool>("added");
        RemoteFile ambiguous = entry(u"/twice"_s);
        ambiguous.isAmbiguous = true;
        QTest::newRow("folder") << entry(u"/photos"_s) << true;
        QTest::newRow("file") << entry(u"/report.pdf"_s, false) << false;
        QTest::newRow("folder without a path") << entry(QString()) << false;
        QTest::newRow("folder whose name the listing does not tell") << ambiguous << false;
    }
    void addToFavorites_takesFoldersOnly() {
        QFETCH(RemoteFile, candidate);
        QFETCH(bool, added);
        SessionHarness h;
        BrowserState state(h.context, h.prompter);
        state.addToFavorites(entry(u"/x"_s)); // nothing open: nothing to add to
        Connection connection = Connection::makeNew();
        connection.port = 1;
        state.openConnection(connection);
        state.addToFavorites(candidate);
        QCOMPARE(h.store.favorites().size(), added ? 1 : 0);
        if (added)
            QCOMPARE(h.store.favorites().first().remotePath, candidate.path);
    }

    void delete_asksFirst_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("file") << u"notes.txt"_s << u"\u201cnotes.txt\u201d will be permanently deleted."_s;
        QTest::newRow("folder with everything in it")
            << u"tree"_s << u"The folder \u201ctree\u201d and all its contents will be deleted."_s;
    }
    void delete_asksFirst() {
        QFETCH(QString, name);
        QFETCH(QString, message);
        const QString button = u"Delete"_s;
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/in/notes.txt"_s, "n");
        server.writeFile(u"/in/tree/sub/deep.txt"_s, "d");
        server.writeFile(u"/in/keep.txt"_s, "k");
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        BrowserState state(h.context, h.prompter);
        QVERIFY(browse(state, connection, u"/in"_s));
        const RemoteFile target = *findEntry(state.browser().files(), name);

        h.prompter.answers << u"Cancel"_s;
        state.deletes().requestDelete(target);
        QTRY_VERIFY(!h.prompter.isAsking());
        QCOMPARE(h.prompter.asked.last().title, u"Are you sure you want to delete?"_s);
        QCOMPARE(h.prompter.asked.last().message, message);
        QCOMPARE(h.prompter.asked.last().choices.first().label, button);
        QCOMPARE(h.prompter.asked.last().choices.first().role, Question::Role::destructive);
        QVERIFY(!state.deletes().isDeleting());
        QVERIFY(server.exists(u"/in/"_s + name));

        h.prompter.answers << button;
        state.deletes().requestDelete(target);
        QTRY_VERIFY(state.deletes().isDeleting());
        QVERIFY(waitIdle(state));
        QVERIFY(!state.browser().errorMessage());
        QVERIFY(!server.exists(u"/in/"_s + name));
        QVERIFY(server.exists(u"/in/keep.txt"_s));
        QVERIFY(!findEntry(state.browser().files(), name)); // listed again
    }

    void newFolder_isCreatedWithTheNameTrimmed() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/a"_s);
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        BrowserState state(h.context, h.prompter);
        QVERIFY(browse(state, connection, u"/a"_s));
        NewFolderFlow& flow = state.newFolder();

        flow.openSheet();
        flow.setName(u" \t "_s);
        QVERIFY(!flow.canCreate());
        flow.create(); // a blank name does nothing
        QVERIFY(!flow.isCreating());

        flow.setName(u"  reports \t"_s);
        flow.create();
        QVERIFY(flow.isCreating() && !flow.canCreate() && !state.canOpenNewFolderSheet());
        QVERIFY(waitIdle(state));
        QVERIFY(!flow.isSheetShown());
        QVERIFY(server.treeCommands().contains(u"MKD /a/reports"_s));
        QVERIFY(findEntry(state.browser().files(), u"reports"_s));

        // A refused creation keeps the sheet open with the typed name and shows why.
        flow.openSheet();
        QVERIFY(flow.name().isEmpty());
        flow.setName(u"reports"_s);
        flow.create();
        QVERIFY(waitIdle(state));
        QVERIFY(flow.errorMessage()->startsWith(u"Could not create folder"_s));
        QVERIFY(!state.browser().errorMessage()); // in the sheet, not behind it
        QVERIFY(flow.isSheetShown());
        QCOMPARE(flow.name(), u"reports"_s);
        flow.setName(u"reports2"_s);
        QVERIFY(!flow.errorMessage()); // typing starts a new try
    }

    // Whichever window or sheet changed a folder, every window showing it lists it again; others do not.
    void change_isListedByEveryWindowShowingTheFolder_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("appears");
        QTest::newRow("upload from the sheet") << u"upload"_s << u"new.txt"_s;
        QTest::newRow("new folder") << u"mkdir"_s << u"made"_s;
        QTest::newRow("delete") << u"delete"_s << QString();
    }
    void change_isListedByEveryWindowShowingTheFolder() {
        QFETCH(QString, change);
        QFETCH(QString, appears);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/data/old.txt"_s, "o");
        server.makeFolder(u"/elsewhere"_s);
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        BrowserState acting(h.context, h.prompter);
        BrowserState watching(h.context, h.prompter);
        BrowserState other(h.context, h.prompter);
        QVERIFY(browse(acting, connection, change == u"upload" ? u"/elsewhere"_s : u"/data"_s));
        QVERIFY(browse(watching, connection, u"/data/"_s));
        QVERIFY(browse(other, connection, u"/elsewhere"_s));
        QSignalSpy otherLoads(&other.browser(), &FolderBrowser::loadingChanged);

        std::unique_ptr<UploadToFavoriteFlow> sheet;
        if (change == u"upload") {
            sheet = std::make_unique<UploadToFavoriteFlow>(QList<QUrl>{h.localFile(u"new.txt"_s, "n")},
                                                           h.store, acting.upload(), h.prompter);
            h.store.addFavorite(connection.id, u"Data"_s, u"/data"_s);
            sheet->select(h.store.favorites().first());
            sheet->upload();
        } else if (change == u"mkdir") {
            acting.newFolder().openSheet();
            acting.newFolder().setName(u"made"_s);
            acting.newFolder().create();
        } else {
            h.prompter.answers << u"Delete"_s;
            acting.deletes().requestDelete(*findEntry(acting.browser().files(), u"old.txt"_s));
        }
        QTRY_VERIFY_WITH_TIMEOUT(appears.isEmpty()
                                     ? !findEntry(watching.browser().files(), u"old.txt"_s)
                                     : findEntry(watching.browser().files(), appears) != nullptr,
                                 remoteTimeoutMs);
        QVERIFY(waitIdle(acting) && waitIdle(watching));
        QCOMPARE(otherLoads.size(), 0);
    }
};

QTEST_GUILESS_MAIN(BrowsingTest)
#include "tst_browsing.moc"
