// One window's flows against real servers, with the user played by a script: navigation and stale listings,
// the connection form, hand-ins, deleting entries and connections, new folders, and the notice after any
// change that makes every window showing the changed folder list it again.
#include "SessionHarness.h"
#include "TestFtpServer.h"
#include "session/BrowserState.h"
#include "session/UploadToFavoriteFlow.h"

#include <QDir>
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
        QCOMPARE(state.isFavorite(candidate), added);
        // Every spelling of the folder counts, and removing takes them all.
        h.store.addFavorite(connection.id, u"again"_s, candidate.path + u'/');
        QVERIFY(state.isFavorite(candidate));
        state.removeFromFavorites(candidate);
        QVERIFY(h.store.favorites().isEmpty() && !state.isFavorite(candidate));
    }

    void delete_asksOnceForTheSelection_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("message");
        QTest::newRow("file") << QStringList{u"notes.txt"_s}
                              << u"\u201cnotes.txt\u201d will be permanently deleted."_s;
        QTest::newRow("folder with everything in it")
            << QStringList{u"tree"_s}
            << u"The folder \u201ctree\u201d and all its contents will be deleted."_s;
        QTest::newRow("a file and a folder")
            << QStringList{u"tree"_s, u"notes.txt"_s}
            << u"The 2 selected items will be permanently deleted, folders with all their contents."_s;
    }
    void delete_asksOnceForTheSelection() {
        QFETCH(QStringList, names);
        QFETCH(QString, message);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/in/notes.txt"_s, "n");
        server.writeFile(u"/in/tree/sub/deep.txt"_s, "d");
        server.writeFile(u"/in/keep.txt"_s, "k");
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        BrowserState state(h.context, h.prompter);
        QVERIFY(browse(state, connection, u"/in"_s));
        QList<RemoteFile> targets;
        for (const QString& name : names)
            targets << *findEntry(state.browser().files(), name);

        h.prompter.answers << u"Cancel"_s;
        state.deletes().requestDelete(targets);
        QTRY_VERIFY(!h.prompter.isAsking());
        QCOMPARE(h.prompter.asked.last().title, u"Are you sure you want to delete?"_s);
        QCOMPARE(h.prompter.asked.last().message, message);
        QCOMPARE(h.prompter.asked.last().choices.first().role, Question::Role::destructive);
        QVERIFY(!state.deletes().isDeleting());
        QVERIFY(server.exists(u"/in/"_s + names.first()));

        h.prompter.answers << u"Delete"_s;
        state.deletes().requestDelete(targets);
        QTRY_VERIFY(state.deletes().isDeleting());
        QVERIFY(waitIdle(state));
        QVERIFY(!state.browser().errorMessage());
        for (const QString& name : names) {
            QVERIFY(!server.exists(u"/in/"_s + name));
            QVERIFY(!findEntry(state.browser().files(), name)); // listed again
        }
        QVERIFY(server.exists(u"/in/keep.txt"_s));
    }

    // Refused before anything is sent: a name that would leave the folder, smuggle a command, not be
    // writable in the connection's encoding, or replace another entry (some servers do that silently).
    void rename_refusesWhatCannotBeAName_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("problem");
        QTest::newRow("a slash") << u"x/y"_s << u"cannot contain"_s;
        QTest::newRow("a backslash") << u"x\\y"_s << u"cannot contain"_s;
        QTest::newRow("dot dot") << u".."_s << u"not a name of its own"_s;
        QTest::newRow("blank") << u" \t"_s << u"cannot be empty"_s;
        QTest::newRow("a line break") << u"x\r\nDELE b.txt"_s << u"control characters"_s;
        QTest::newRow("not in the encoding") << u"\u65e5\u672c"_s << u"Western (ISO-8859-1)"_s;
        QTest::newRow("another entry's name") << u"b.txt "_s << u"\u201cb.txt\u201d already exists"_s;
    }
    void rename_refusesWhatCannotBeAName() {
        QFETCH(QString, typed);
        QFETCH(QString, problem);
        SessionHarness h;
        const HoldingCurl curl(
            "-rw-r--r-- 1 u g 5 Jan 01 2024 a.txt\r\n-rw-r--r-- 1 u g 5 Jan 01 2024 b.txt");
        h.pool.setCurlPath(curl.path());
        Connection connection = Connection::makeNew();
        connection.host = u"127.0.0.1"_s;
        connection.textEncoding = {u"ISO-8859-1"_s};
        BrowserState state(h.context, h.prompter);
        state.openConnection(connection);
        QVERIFY(waitIdle(state));
        const int runs = curl.runs();
        state.renames().rename(*findEntry(state.browser().files(), u"a.txt"_s), typed);
        QVERIFY(waitIdle(state));
        const QString error = state.browser().errorMessage().value_or(QString());
        QVERIFY2(error.startsWith(u"Could not rename \u201ca.txt\u201d: "_s) && error.contains(problem),
                 qPrintable(error));
        QCOMPARE(curl.runs(), runs);
    }

    void rename_onTheServer_data() {
        QTest::addColumn<TestFtpServer::Kind>("kind");
        QTest::newRow("pyftpdlib") << TestFtpServer::Kind::pyftpdlib;
        QTest::newRow("vsftpd") << TestFtpServer::Kind::vsftpd;
    }
    void rename_onTheServer() {
        QFETCH(TestFtpServer::Kind, kind);
        KALVOR_START_SERVER(server, kind);
        server.writeFile(u"/d/a.txt"_s, "a");
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        BrowserState state(h.context, h.prompter);
        QVERIFY(browse(state, connection, u"/d"_s));
        state.renames().rename(*findEntry(state.browser().files(), u"a.txt"_s), u" c d.txt"_s);
        QVERIFY(state.renames().isRenaming());
        QTRY_VERIFY_WITH_TIMEOUT(findEntry(state.browser().files(), u"c d.txt"_s), remoteTimeoutMs);
        QCOMPARE(server.readFile(u"/d/c d.txt"_s), QByteArray("a"));
        QVERIFY(!server.exists(u"/d/a.txt"_s) && !state.browser().errorMessage());
        // The server's refusal names the entry.
        state.renames().rename(entry(u"/d/gone.txt"_s, false), u"x"_s);
        QVERIFY(waitIdle(state));
        QVERIFY(state.browser().errorMessage()->startsWith(u"Could not rename \u201c/d/gone.txt\u201d"_s));
    }

    // A typed path, or a link, becomes the current folder only once it lists; otherwise the list stays
    // where it was and says why.
    void goTo_movesOnlyOnceTheFolderLists_data() {
        QTest::addColumn<QString>("typed"); // "link:<path>" opens a link entry to that path instead
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::newRow("absolute") << u"/pub/docs"_s << u"/pub/docs/"_s << QString();
        QTest::newRow("dots and doubled slashes") << u"pub//./x/../docs/"_s << u"/pub/docs/"_s << QString();
        QTest::newRow("the login folder") << u"/.."_s << u"/"_s << QString();
        QTest::newRow("missing") << u"/pub/none"_s << u"/pub/"_s << u"none"_s;
        QTest::newRow("a control character") << u"/pub\n"_s << u"/pub/"_s << u"control characters"_s;
        QTest::newRow("a link to a folder") << u"link:/pub/docs"_s << u"/pub/docs/"_s << QString();
        QTest::newRow("a link to a file")
            << u"link:/pub/readme.txt"_s << u"/pub/"_s
            << u"\u201creadme.txt\u201d links to \u201cthere\u201d, which is not a folder"_s;
    }
    void goTo_movesOnlyOnceTheFolderLists() {
        QFETCH(QString, typed);
        QFETCH(QString, path);
        QFETCH(QString, error);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/pub/docs"_s);
        server.writeFile(u"/pub/readme.txt"_s, "r");
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        BrowserState state(h.context, h.prompter);
        QVERIFY(browse(state, connection, u"/pub"_s));
        if (typed.startsWith(u"link:")) {
            RemoteFile link = entry(typed.mid(5), false);
            link.isLink = true;
            link.linkTarget = u"there"_s;
            state.browser().enterFolder(link);
        } else {
            state.browser().goTo(typed);
        }
        QVERIFY(waitIdle(state));
        QCOMPARE(state.browser().currentPath(), path);
        QCOMPARE(state.browser().errorMessage().value_or(QString()).contains(error), true);
        QCOMPARE(state.browser().errorMessage().has_value(), !error.isEmpty());
        if (!error.isEmpty())
            QCOMPARE(entryNames(state.browser().files()), (QStringList{u"docs"_s, u"readme.txt"_s}));
    }

    // Dropped files go into the current folder; a folder among them is left out, and said so once the
    // upload is over (the listing after it would wipe an earlier word).
    void uploadDropped_takesFilesAndSaysWhichFoldersItLeftOut() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/in"_s);
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        BrowserState state(h.context, h.prompter);
        QVERIFY(browse(state, connection, u"/in"_s));
        QVERIFY(QDir(h.local.path()).mkdir(u"Holiday"_s));
        state.uploadDropped({h.localFile(u"a.txt"_s, "a"),
                             QUrl::fromLocalFile(h.local.filePath(u"Holiday"_s)),
                             QUrl(u"https://example.org/b.txt"_s)});
        QVERIFY(waitIdle(state));
        QCOMPARE(server.readFile(u"/in/a.txt"_s), QByteArray("a"));
        QVERIFY(!server.exists(u"/in/Holiday"_s) && !server.exists(u"/in/b.txt"_s));
        QVERIFY(findEntry(state.browser().files(), u"a.txt"_s));
        QCOMPARE(
            state.browser().errorMessage().value_or(QString()),
            u"Kalvor uploads files, not folders: \u201cHoliday\u201d was left out. Drop the files inside it "
            "instead."_s);
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
            acting.deletes().requestDelete({*findEntry(acting.browser().files(), u"old.txt"_s)});
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
