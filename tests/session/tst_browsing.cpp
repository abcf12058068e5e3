// One window's flows against real servers, with the user played by a script: navigation and stale listings,
// the connection form, hand-ins, deleting, renaming and creating entries, and the notice after any change
// that makes every window showing the changed folder list it again.
#include "SessionHarness.h"
#include "TestFtpServer.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Mode = BrowserState::DetailMode;

namespace {

constexpr int remoteTimeoutMs = 30000;

RemoteFile entry(const QString& path, bool isDirectory = true) {
    RemoteFile file;
    file.name = path.section(u'/', -1);
    file.path = path;
    file.isDirectory = isDirectory;
    return file;
}

// A window on a fresh pyftpdlib server holding `tree` (as TestFtpServer::seed takes it), its connection
// stored.
struct Window {
    TestFtpServer server{TestFtpServer::Kind::pyftpdlib};
    SessionHarness h;
    const Connection connection = server.connection();
    BrowserState state{h.context, h.prompter};
    FolderBrowser& browser = state.browser();

    explicit Window(const QStringList& tree) {
        server.seed(tree);
        h.store.addConnection(connection);
    }
    // Opens folder (in this window unless another is named) and waits for its listing.
    bool browse(const QString& folder, BrowserState* window = nullptr) {
        BrowserState& in = window ? *window : state;
        in.openFavorite(Favorite{QUuid::createUuid(), connection.id, folder, folder});
        return server.isRunning() && in.browser().connection() && waitIdle(in) &&
               !in.browser().errorMessage();
    }
    RemoteFile listed(const QString& name) const { return *findEntry(browser.files(), name); }
    QString error() const { return browser.errorMessage().value_or(QString()); }
};

} // namespace

class BrowsingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void navigation_opensEntersAndGoesUp() {
        Window w({u"pub/docs/"_s, u"pub/readme.txt"_s});
        QVERIFY(w.server.isRunning());
        w.state.openConnection(w.connection);
        QVERIFY(w.browser.isLoading() && waitIdle(w.state));
        QCOMPARE(entryNames(w.browser.files()), QStringList{u"pub"_s});

        w.browser.enterFolder(w.browser.files().first());
        QCOMPARE(w.browser.currentPath(), u"pub/"_s);
        w.browser.navigateUp();
        QCOMPARE(w.browser.currentPath(), u"/"_s);
        QVERIFY(!w.browser.canNavigateUp() && waitIdle(w.state));

        // A favorite whose connection is gone changes nothing.
        const QString before = w.browser.currentPath();
        w.state.openFavorite(Favorite{QUuid::createUuid(), QUuid::createUuid(), u"x"_s, u"/x"_s});
        QVERIFY(w.browser.currentPath() == before && !w.browser.isLoading());
    }

    void staleListing_isDropped_data() {
        QTest::addColumn<bool>("otherConnection");
        QTest::newRow("an earlier folder") << false;
        QTest::newRow("the same folder of another connection") << true;
    }
    void staleListing_isDropped() {
        QFETCH(bool, otherConnection);
        Window w({u"d__slow__/old.txt"_s, u"b/new.txt"_s});
        KALVOR_START_SERVER(fast, TestFtpServer::Kind::pyftpdlib, {.slowSeconds = 0});
        fast.writeFile(u"/d__slow__/new.txt"_s);
        QSignalSpy dropped(&w.browser, &FolderBrowser::listingDropped);

        w.state.openConnection(w.connection);
        w.browser.enterFolder(entry(u"/d__slow__"_s));
        if (otherConnection)
            w.state.openConnection(fast.connection());
        w.browser.enterFolder(entry(otherConnection ? u"/d__slow__"_s : u"/b"_s));
        QTRY_VERIFY_WITH_TIMEOUT(
            std::any_of(dropped.cbegin(), dropped.cend(),
                        [](const QList<QVariant>& args) { return args.first() == u"/d__slow__/"_s; }),
            remoteTimeoutMs);
        QCOMPARE(entryNames(w.browser.files()), QStringList{u"new.txt"_s});
        QVERIFY(!w.browser.isLoading());
    }

    void connectionForm_savesOnlyAReachableServer_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<qint64>("port");
        QTest::addColumn<bool>("savable");
        QTest::newRow("lowest port") << u"h"_s << qint64(1) << true;
        QTest::newRow("highest port") << u"h"_s << qint64(65535) << true;
        QTest::newRow("host of blanks") << u" \t "_s << qint64(21) << false;
        QTest::newRow("port 0 (no number typed)") << u"h"_s << qint64(0) << false;
        QTest::newRow("port above 65535") << u"h"_s << qint64(65536) << false;
    }
    void connectionForm_savesOnlyAReachableServer() {
        QFETCH(QString, host);
        QFETCH(qint64, port);
        QFETCH(bool, savable);
        SessionHarness h;
        BrowserState state(h.context, h.prompter);
        state.openConnection(Connection::makeNew()); // the form leaves it
        state.showNewConnectionForm();
        QVERIFY(state.detailMode() == Mode::form && !state.browser().connection());
        Connection edited = *state.editor().editing();
        edited.host = host;
        edited.port = port;
        state.editor().edit(edited);
        QCOMPARE(state.editor().canSave(), savable);
        state.editor().save();
        QCOMPARE(h.store.connections().size(), savable ? 1 : 0);
        // Saved: the form closes and the connection is not opened. Not saved: the form stays with the edits.
        QCOMPARE(state.detailMode(), savable ? Mode::empty : Mode::form);
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

    // A late dismissal for another hand-in leaves the one shown; its own ends it for good.
    void handIn_isDismissedOnlyByItsOwnId() {
        SessionHarness h;
        BrowserState state(h.context, h.prompter);
        h.handIns.store({h.localFile(u"a.txt"_s)});
        state.takeHandIn();
        state.dismissPendingUpload(QUuid::createUuid());
        QVERIFY(state.pendingUpload());
        state.dismissPendingUpload(state.pendingUpload()->id);
        state.takeHandIn();
        QVERIFY(!state.pendingUpload());
    }

    void deleteConnection_asksThenEveryWindowLeavesIt_data() {
        QTest::addColumn<int>("favorites");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        const QString nothing = u"Nothing on the server is deleted."_s;
        QTest::newRow("no favorite, Delete") << 0 << u"Delete"_s << nothing;
        QTest::newRow("one favorite, Delete")
            << 1 << u"Delete"_s << u"Its favorite folder is deleted with it. "_s + nothing;
        QTest::newRow("three favorites, Cancel")
            << 3 << u"Cancel"_s << u"Its 3 favorite folders are deleted with it. "_s + nothing;
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
        BrowserState asking(h.context, h.prompter), browsing(h.context, h.prompter),
            elsewhere(h.context, h.prompter);
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
            QCOMPARE(window->detailMode(), deleted ? Mode::empty : Mode::browsing);
        QCOMPARE(elsewhere.detailMode(), Mode::browsing);
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
        SessionHarness h;
        BrowserState state(h.context, h.prompter);
        Connection nowhere = Connection::makeNew();
        nowhere.port = 1;
        state.openConnection(nowhere);
        QList<RemoteFile> targets;
        for (const QString& name : names)
            targets << entry(u"/"_s + name, !name.endsWith(u".txt"));
        h.prompter.answers << u"Cancel"_s;
        state.deletes().requestDelete(targets);
        QTRY_VERIFY(!h.prompter.isAsking());
        const Question& asked = h.prompter.asked.last();
        QCOMPARE(asked.title, u"Are you sure you want to delete?"_s);
        QCOMPARE(asked.message, message);
        QCOMPARE(asked.choices.first().role, Question::Role::destructive);
        QVERIFY(!state.deletes().isDeleting());
    }

    // Deleting, and a refusal partway through a selection, which says how much of it went before; the list
    // shows what is gone.
    void delete_refusalPartwaySaysWhatWentBefore() {
        Window w({u"in/a.txt"_s, u"in/b__denied__.txt"_s});
        QVERIFY(w.browse(u"/in"_s));
        w.h.prompter.answers << u"Delete"_s;
        w.state.deletes().requestDelete({w.listed(u"a.txt"_s), w.listed(u"b__denied__.txt"_s)});
        QTRY_VERIFY(w.state.deletes().isDeleting());
        QVERIFY(waitIdle(w.state));
        QVERIFY2(w.error().contains(u"b__denied__.txt"_s) &&
                     w.error().endsWith(u" 1 of the 2 items were deleted before that."_s),
                 qPrintable(w.error()));
        QCOMPARE(entryNames(w.browser.files()), QStringList{u"b__denied__.txt"_s});
    }

    // A rename goes to the server with the name trimmed. Refused before anything is sent: a name that would
    // leave the folder, smuggle a command, not be writable in the connection's encoding, or replace another
    // entry (some servers do that silently). The server's own refusal names the entry too.
    void rename_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("problem"); // empty: renamed
        QTest::newRow("renamed, trimmed") << u"a.txt"_s << u" c d.txt"_s << QString();
        QTest::newRow("a slash") << u"a.txt"_s << u"x/y"_s << u"cannot contain"_s;
        QTest::newRow("a backslash") << u"a.txt"_s << u"x\\y"_s << u"cannot contain"_s;
        QTest::newRow("dot dot") << u"a.txt"_s << u".."_s << u"not a name of its own"_s;
        QTest::newRow("blank") << u"a.txt"_s << u" \t"_s << u"cannot be empty"_s;
        QTest::newRow("a line break") << u"a.txt"_s << u"x\r\nDELE b.txt"_s << u"control characters"_s;
        QTest::newRow("not in the encoding") << u"a.txt"_s << u"\u65e5\u672c"_s << u"Western (ISO-8859-1)"_s;
        QTest::newRow("another entry's name")
            << u"a.txt"_s << u"b.txt "_s << u"\u201cb.txt\u201d already exists"_s;
        QTest::newRow("refused by the server") << u"gone.txt"_s << u"x"_s << u"550"_s;
    }
    void rename() {
        QFETCH(QString, from);
        QFETCH(QString, typed);
        QFETCH(QString, problem);
        Window w({u"d/a.txt"_s, u"d/b.txt"_s});
        Connection latin1 = w.connection;
        latin1.textEncoding = {u"ISO-8859-1"_s};
        w.h.store.updateConnection(latin1);
        QVERIFY(w.browse(u"/d"_s));
        const RemoteFile* listed = findEntry(w.browser.files(), from);
        const QString shown = listed ? from : u"/d/"_s + from; // the listing's name, or the path asked for
        const bool sent = problem.isEmpty() || !listed;
        w.state.renames().rename(listed ? *listed : entry(shown, false), typed);
        QCOMPARE(w.state.renames().isRenaming(), sent);
        QVERIFY(waitIdle(w.state));
        QCOMPARE(w.server.commandLog().filter(u"RNFR"_s).size(), sent ? 1 : 0);
        if (problem.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(findEntry(w.browser.files(), u"c d.txt"_s), remoteTimeoutMs);
            QVERIFY(!w.browser.errorMessage());
            QVERIFY(w.server.readFile(u"/d/c d.txt"_s) == "d/a.txt" && !w.server.exists(u"/d/a.txt"_s));
        } else {
            QVERIFY2(w.error().startsWith(u"Could not rename \u201c%1\u201d: "_s.arg(shown)) &&
                         w.error().contains(problem),
                     qPrintable(w.error()));
        }
    }

    // A typed path, or a link, becomes the current folder only once it lists; otherwise the list stays
    // where it was and says why.
    void goTo_movesOnlyOnceTheFolderLists_data() {
        QTest::addColumn<QString>("typed"); // "link:<path>" opens a link entry to that path instead
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::newRow("dots and doubled slashes") << u"pub//./x/../docs/"_s << u"/pub/docs/"_s << QString();
        QTest::newRow("the login folder") << u"/.."_s << u"/"_s << QString();
        QTest::newRow("missing") << u"/pub/none"_s << u"/pub/"_s << u"none"_s;
        QTest::newRow("a control character") << u"/pub\n"_s << u"/pub/"_s << u"control characters"_s;
        QTest::newRow("a delete character") << u"/p\x7fub"_s << u"/pub/"_s << u"control characters"_s;
        QTest::newRow("a link to a folder") << u"link:/pub/docs"_s << u"/pub/docs/"_s << QString();
        QTest::newRow("a link to a file")
            << u"link:/pub/readme.txt"_s << u"/pub/"_s
            << u"\u201creadme.txt\u201d links to \u201cthere\u201d, which is not a folder"_s;
    }
    void goTo_movesOnlyOnceTheFolderLists() {
        QFETCH(QString, typed);
        QFETCH(QString, path);
        QFETCH(QString, error);
        Window w({u"pub/docs/"_s, u"pub/readme.txt"_s});
        QVERIFY(w.browse(u"/pub"_s));
        if (typed.startsWith(u"link:")) {
            RemoteFile link = entry(typed.mid(5), false);
            link.isLink = true;
            link.linkTarget = u"there"_s;
            w.browser.enterFolder(link);
        } else {
            w.browser.goTo(typed);
        }
        QVERIFY(waitIdle(w.state));
        QCOMPARE(w.browser.currentPath(), path);
        QVERIFY2(w.error().contains(error) && w.browser.errorMessage().has_value() == !error.isEmpty(),
                 qPrintable(w.error()));
        if (!error.isEmpty())
            QCOMPARE(entryNames(w.browser.files()), (QStringList{u"docs"_s, u"readme.txt"_s}));
    }

    // Dropped files go into the current folder; a folder among them is left out, and said so once the
    // upload is over (the listing after it would wipe an earlier word).
    void uploadDropped_takesFilesAndSaysWhichFoldersItLeftOut() {
        Window w({u"in/"_s});
        QVERIFY(w.browse(u"/in"_s));
        QVERIFY(QDir(w.h.local.path()).mkdir(u"Holiday"_s));
        w.state.uploadDropped({w.h.localFile(u"a.txt"_s, "a"),
                               QUrl::fromLocalFile(w.h.local.filePath(u"Holiday"_s)),
                               QUrl(u"https://example.org/b.txt"_s)});
        QVERIFY(waitIdle(w.state));
        QCOMPARE(w.server.readFile(u"/in/a.txt"_s), "a"_ba);
        QVERIFY(!w.server.exists(u"/in/Holiday"_s) && !w.server.exists(u"/in/b.txt"_s));
        QVERIFY(findEntry(w.browser.files(), u"a.txt"_s));
        QCOMPARE(w.error(),
                 u"Kalvor uploads files, not folders: \u201cHoliday\u201d was left out. Drop the files "
                 "inside it instead."_s);
    }

    // A folder is created with the name trimmed, and every window showing the folder lists it again; others
    // do not. (Each change relists its own window through the same notice, so the tests of each change show
    // that it is sent.)
    void newFolder_isCreatedAndListedByEveryWindowShowingIt() {
        Window w({u"a/"_s, u"elsewhere/"_s});
        BrowserState watching(w.h.context, w.h.prompter), other(w.h.context, w.h.prompter);
        QVERIFY(w.browse(u"/a"_s) && w.browse(u"/a/"_s, &watching) && w.browse(u"/elsewhere"_s, &other));
        QSignalSpy otherLoads(&other.browser(), &FolderBrowser::loadingChanged);
        NewFolderFlow& flow = w.state.newFolder();
        flow.openSheet();
        flow.setName(u" \t "_s);
        flow.create(); // a blank name does nothing
        QVERIFY(!flow.isCreating());

        flow.setName(u"  reports \t"_s);
        flow.create();
        QVERIFY(flow.isCreating() && !flow.canCreate() && !w.state.canOpenNewFolderSheet());
        QVERIFY(waitIdle(w.state) && !flow.isSheetShown());
        QVERIFY(w.server.treeCommands().contains(u"MKD /a/reports"_s));
        QVERIFY(findEntry(w.browser.files(), u"reports"_s));
        QTRY_VERIFY_WITH_TIMEOUT(findEntry(watching.browser().files(), u"reports"_s), remoteTimeoutMs);
        QVERIFY(waitIdle(watching));
        QCOMPARE(otherLoads.size(), 0);

        // A refused creation keeps the sheet open with the typed name and shows why.
        flow.openSheet();
        QVERIFY(flow.name().isEmpty());
        flow.setName(u"reports"_s);
        flow.create();
        QVERIFY(waitIdle(w.state));
        QVERIFY(flow.errorMessage()->startsWith(u"Could not create folder"_s));
        QVERIFY(!w.browser.errorMessage()); // in the sheet, not behind it
        QVERIFY(flow.isSheetShown() && flow.name() == u"reports"_s);
        flow.setName(u"reports2"_s);
        QVERIFY(!flow.errorMessage()); // typing starts a new try
    }
};

QTEST_GUILESS_MAIN(BrowsingTest)
#include "tst_browsing.moc"
