// Faults on purpose, with real processes and real servers behind a real window: servers that die or hang,
// a curl that crashes or floods, a settings folder that refuses writes, a settings file cut short. Each
// case asserts what the user sees, that nothing is claimed done that was not, and that the window still
// works afterwards.
#include "ReadOnlyFolder.h"
#include "WindowDriver.h"
#include "model/FavoritesManager.h"
#include "model/RecordJson.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

namespace {

constexpr int deadlineMs = 60000;
// A 200 MB flood, parsed and shown, may take a while on a loaded machine; it must end, not be quick.
constexpr int floodDeadlineMs = 300000;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the folder holds: every entry's name and bytes.
QMap<QString, QByteArray> entriesIn(const QString& folder) {
    QMap<QString, QByteArray> entries;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        entries.insert(name, readAll(folder + u'/' + name));
    return entries;
}

} // namespace

class FaultsTest : public WindowTestCase {
    Q_OBJECT

    QLabel* busyText() const { return child<QLabel>(u"busyText"_s); }

    // The banner for settings that could not be saved, which every mode shows.
    bool settingsErrorShown() const {
        const auto* text = child<QLabel>(u"settingsBannerText"_s);
        return text && text->isVisible() && !m_h->store.lastSaveError().isEmpty() &&
               text->text() == m_h->store.lastSaveError();
    }

    // A live server opens and lists: the window still works.
    void stillWorks() {
        TestFtpServer spare(TestFtpServer::Kind::pyftpdlib);
        QVERIFY2(spare.isRunning(), qPrintable(spare.errorString()));
        spare.writeFile(u"/alive.txt"_s, "a");
        addAndOpen(spare);
        QVERIFY(waitIdle(state()));
        QVERIFY2(!state().browser().errorMessage(), qPrintable(error()));
        QCOMPARE(shownNames(), QStringList{u"alive.txt"_s});
        QVERIFY(!banner()->isVisible());
    }

private Q_SLOTS:
    void initTestCase() { setUpIconTheme(); }

    void cleanup() {
        m_window.reset();
        // Every curl run this test started has ended: nothing is left running behind the window.
        QVERIFY(!m_h || QTest::qWaitFor([this] { return m_h->pool.tasksRunning() == 0; }, deadlineMs));
        m_h.reset();
    }

    void serverKilledMidway_reportsTheErrorAndClaimsNothing_data() {
        QTest::addColumn<bool>("uploading"); // else deleting a folder tree
        QTest::newRow("upload") << true;
        QTest::newRow("recursive delete") << false;
    }
    void serverKilledMidway_reportsTheErrorAndClaimsNothing() {
        QFETCH(bool, uploading);
        showWindow();
        TestFtpServer::Options dying;
        if (uploading)
            dying.dieAfterBytes = 1 << 20;
        else
            dying.dieOn = u"DELE:2"_s; // the first file goes, then the server dies
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib, dying);
        const QStringList tree{u"/tree/a.txt"_s, u"/tree/b.txt"_s, u"/tree/sub/c.txt"_s,
                               u"/tree/sub/d.txt"_s};
        for (const QString& path : tree)
            server.writeFile(path, "x");
        m_h->localFile(u"big.bin"_s, QByteArray(32 << 20, 'k'));
        m_h->localFile(u"later.txt"_s, "later");

        addAndOpen(server);
        QVERIFY(waitIdle(state()));
        QSignalSpy loading(&state().browser(), &FolderBrowser::loadingChanged);
        if (uploading) {
            action(u"uploadFileAction"_s)->trigger();
            QVERIFY(windowdriver::choose(m_window.get(), u"uploadFileChooser"_s, m_h->local.path(),
                                         {u"big.bin"_s, u"later.txt"_s}));
        } else {
            QVERIFY(confirmDeleteOf(u"tree"_s));
        }
        QTRY_VERIFY_WITH_TIMEOUT(errorShown(), deadlineMs);
        QVERIFY(waitIdle(state()));
        QVERIFY(server.waitForExit(deadlineMs)); // the fault did happen
        QVERIFY2(errorShown(), qPrintable(error()));
        QVERIFY(!state().upload().progressLine() && !busyText()->isVisible());
        QVERIFY(!child<QProgressBar>(u"transferProgressBar"_s)->isVisible());
        QCOMPARE(state().upload().progressValue(), 0.0); // what went to temporary files is not counted
        // Not reloaded as if the work had been done.
        QCOMPARE(loading.size(), 0);
        QCOMPARE(shownNames(), QStringList{u"tree"_s});
        if (uploading) {
            // The first failure ends the batch: nothing reaches its real name (files go up under temporary
            // names and are renamed only once all before them are complete).
            const QStringList commands = server.treeCommands();
            QCOMPARE(commands.mid(0, 2), (QStringList{u"LIST /"_s, u"LIST /"_s}));
            QVERIFY(commands.size() > 2);
            for (const QString& command : commands.mid(2))
                QVERIFY2(command.startsWith(u"STOR .kalvor-"_s), qPrintable(command));
            QVERIFY(!server.exists(u"/big.bin"_s) && !server.exists(u"/later.txt"_s));
        } else {
            QCOMPARE(std::count_if(tree.begin(), tree.end(),
                                   [&](const QString& path) { return server.exists(path); }),
                     tree.size() - 1);
            QVERIFY(server.isFolder(u"/tree/sub"_s));
            QVERIFY(server.commandLog().filter(u"RMD"_s).isEmpty());
        }
        QVERIFY(action(u"uploadFileAction"_s)->isEnabled());

        stillWorks();
    }

    // A LIST that never ends holds up nothing but itself: other folders and other work go on, and only the
    // stuck operation's own sign stays.
    void serverThatNeverAnswers_blocksOnlyItsOwnOperation() {
        showWindow();
        TestFtpServer::Options hanging;
        hanging.hangPattern = u"__hang__"_s;
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib, hanging);
        server.writeFile(u"/__hang__/inside.txt"_s, "i");
        server.writeFile(u"/open/gone.txt"_s, "g");
        server.writeFile(u"/open/here.txt"_s, "h");
        QSignalSpy dropped(&state().browser(), &FolderBrowser::listingDropped);
        const auto deleting = [this] {
            return state().deletes().isDeleting() && busyText()->isVisible() &&
                   busyText()->text() == u"Deleting\u2026"_s;
        };
        addAndOpen(server);
        QVERIFY(waitIdle(state()));

        // The folder whose listing never comes is entered, left, and deleted (its tree cannot be listed).
        openEntry(u"__hang__"_s);
        QTRY_VERIFY_WITH_TIMEOUT(server.commandLog().contains(u"LIST /__hang__/"_s), deadlineMs);
        QVERIFY(state().browser().isLoading() && fileList()->isLoading());
        state().browser().navigateUp();
        QVERIFY(waitIdle(state()));
        QVERIFY(confirmDeleteOf(u"__hang__"_s));
        QTRY_VERIFY_WITH_TIMEOUT(server.commandLog().count(u"LIST /__hang__/"_s) == 2, deadlineMs);
        QVERIFY(deleting());

        // Meanwhile another folder lists, the toolbar acts, and a second delete that completes leaves the
        // stuck one's sign.
        openEntry(u"open"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!state().browser().isLoading(), deadlineMs);
        QCOMPARE(shownNames(), (QStringList{u"gone.txt"_s, u"here.txt"_s}));
        QVERIFY(!fileList()->isLoading() && !state().browser().errorMessage());
        QVERIFY(action(u"uploadFileAction"_s)->isEnabled() && action(u"newFolderAction"_s)->isEnabled());
        QVERIFY(confirmDeleteOf(u"gone.txt"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!server.exists(u"/open/gone.txt"_s) && !state().browser().isLoading() &&
                                     shownNames() == QStringList{u"here.txt"_s},
                                 deadlineMs);
        QVERIFY(deleting() && server.exists(u"/__hang__/inside.txt"_s));

        // Stopping the server ends both stuck curl runs: the delete reports, the old listing is dropped.
        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(errorShown(), deadlineMs);
        QVERIFY(!state().deletes().isDeleting());
        QTRY_COMPARE_WITH_TIMEOUT(dropped.size(), 1, deadlineMs);
        QCOMPARE(dropped.first().first().toString(), u"__hang__/"_s);
        QCOMPARE(shownNames(), QStringList{u"here.txt"_s});
    }

    void crashingCurl_givesAClearError_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("expected"); // part of the error text
        QTest::newRow("listing") << u"list"_s << u"signal 11"_s;
        QTest::newRow("upload") << u"upload"_s << u"signal 11"_s;
        QTest::newRow("delete") << u"delete"_s << u"signal 11"_s;
        QTest::newRow("new folder") << u"mkdir"_s << u"Could not create folder"_s;
    }

    void crashingCurl_givesAClearError() {
        QFETCH(QString, operation);
        QFETCH(QString, expected);
        showWindow();
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/keep.txt"_s, "k");
        const QString crashing = m_h->fakeCurl(u"crashing-curl"_s, "kill -SEGV $$");
        state().openConnection(server.connection());
        QVERIFY(waitIdle(state()));
        QCOMPARE(shownNames(), QStringList{u"keep.txt"_s});

        m_h->pool.setCurlPath(crashing);
        if (operation == u"list") {
            state().browser().loadFiles();
        } else if (operation == u"upload") {
            m_h->localFile(u"up.txt"_s, "up");
            action(u"uploadFileAction"_s)->trigger();
            QVERIFY(windowdriver::choose(m_window.get(), u"uploadFileChooser"_s, m_h->local.path(),
                                         {u"up.txt"_s}));
        } else if (operation == u"delete") {
            QVERIFY(confirmDeleteOf(u"keep.txt"_s));
        } else {
            state().newFolder().openSheet();
            state().newFolder().setName(u"new"_s);
            state().newFolder().create();
        }
        QVERIFY(waitIdle(state()));

        // A new folder's error shows in its sheet, the others in the window's banner.
        const bool inSheet = operation == u"mkdir";
        const QString message = inSheet ? state().newFolder().errorMessage().value_or(u"<none>"_s) : error();
        QVERIFY2(inSheet ? m_window->newFolderSheet()->findChild<QLabel*>(u"newFolderError"_s)->isVisible()
                         : errorShown(),
                 qPrintable(message));
        QVERIFY2(message.contains(expected), qPrintable(message));
        // One run, and it failed: no reload or follow-up treats the crash as success (an upload lists its
        // folder first, and stops there).
        QCOMPARE(m_h->fakeCurlRuns(crashing), 1);
        QCOMPARE(state().upload().progressValue(), 0.0);
        QCOMPARE(shownNames(), operation == u"list" ? QStringList() : QStringList{u"keep.txt"_s});
        if (inSheet)
            QVERIFY(state().newFolder().isSheetShown()); // still open, the name kept for another try
        QVERIFY(server.exists(u"/keep.txt"_s));
    }

    void floodingCurl_neitherHangsNorCrashesTheWindow_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome"); // "error", "error or entries", "entries"
        QTest::newRow("binary garbage on stdout")
            << QByteArray("head -c 200000000 /dev/urandom\nexit 0") << u"error"_s;
        // About two million lines of letters and digits: each may pass for a bare name.
        QTest::newRow("text garbage on stdout")
            << QByteArray(
                   "head -c 150000000 /dev/urandom | base64 -w 98 | tr -d '+/' | head -c 200000000\nexit 0")
            << u"error or entries"_s;
        // Answers as curl would: the listing, then the record its config asked for.
        QTest::newRow("garbage on stderr only")
            << QByteArray(
                   "nonce=$(sed -n 's/^write-out = \"\\\\\\\\n\\([^ ]*\\) .*/\\1/p')\n"
                   "printf 'drwxr-xr-x 2 u g 4096 Jan 01 2024 survivor\\r\\n'\n"
                   "head -c 200000000 /dev/urandom >&2\nprintf '\\n%s 0 226 44 0 u\\n' \"$nonce\"\nexit 0")
            << u"entries"_s;
    }

    void floodingCurl_neitherHangsNorCrashesTheWindow() {
        QFETCH(QByteArray, body);
        QFETCH(QString, outcome);
        showWindow();
        const QString flooding = m_h->fakeCurl(u"flooding-curl"_s, body);

        // The GUI thread's pulse: ticks must keep coming while the flood is read, parsed and shown.
        int ticks = 0;
        int ticksWhileLoading = 0;
        QTimer pulse;
        connect(&pulse, &QTimer::timeout, this, [&] {
            ++ticks;
            ticksWhileLoading += state().browser().isLoading() ? 1 : 0;
        });
        pulse.start(10);

        Connection connection = Connection::makeNew();
        connection.host = u"flood.invalid"_s;
        m_h->pool.setCurlPath(flooding);
        state().openConnection(connection);
        QVERIFY(waitIdle(state(), floodDeadlineMs));
        const int ticksAtResult = ticks;
        QVERIFY(QTest::qWaitFor([&] { return ticks > ticksAtResult + 2; }, deadlineMs));
        pulse.stop();

        QCOMPARE(m_h->fakeCurlRuns(flooding), 1);
        QVERIFY(ticksWhileLoading > 0);
        const bool listed = !state().browser().errorMessage() && !fileList()->files().isEmpty();
        if (outcome == u"error")
            QVERIFY(errorShown() && fileList()->files().isEmpty());
        else if (outcome == u"entries")
            QVERIFY2(listed && shownNames() == QStringList{u"survivor"_s}, qPrintable(error()));
        else
            QVERIFY(errorShown() || listed);

        m_h->pool.setCurlPath(defaultCurlPath());
        stillWorks();
    }

    void settingsFolderRefusesWrites_showsTheErrorAndKeepsTheLists_data() {
        QTest::addColumn<bool>("fullDisk"); // else a read-only folder
        QTest::newRow("read-only folder") << false;
        QTest::newRow("full disk") << true;
    }

    void settingsFolderRefusesWrites_showsTheErrorAndKeepsTheLists() {
        QFETCH(bool, fullDisk);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/docs"_s);
        QTemporaryDir config;
        const QString folder = config.filePath(u"Kalvor"_s);
        QVERIFY(QDir().mkpath(folder));
        // A full disk: a tiny file system (root only), filled up to the last byte once the settings are in.
        const bool mounted =
            fullDisk && QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=16k"_s,
                                                       u"tmpfs"_s, folder}) == 0;
        const auto unmount = qScopeGuard([&] {
            if (mounted)
                QProcess::execute(u"umount"_s, {folder});
        });
        if (fullDisk && !mounted)
            QSKIP("cannot mount a small file system here (needs root)");
        auto store = std::make_unique<FileDefaultsStore>(folder);
        const Connection kept = server.connection();
        const Favorite keptFavorite{QUuid::createUuid(), kept.id, u"Root"_s, u"/"_s};
        QVERIFY(store->setValue(FavoritesManager::connectionsKey(), encodeConnections({kept})));
        QVERIFY(store->setValue(FavoritesManager::favoritesKey(), encodeFavorites({keptFavorite})));

        std::unique_ptr<ReadOnlyFolder> readOnly;
        if (fullDisk)
            QProcess::execute(u"sh"_s, {u"-c"_s, u"cat /dev/zero > \"$0/filler\""_s, folder});
        else if (!(readOnly = std::make_unique<ReadOnlyFolder>(folder))->active())
            QSKIP("this user can write into any folder");
        QVERIFY(!ReadOnlyFolder::canCreateIn(folder));
        const auto entriesBefore = entriesIn(folder);
        showWindow(std::move(store));
        QCOMPARE(m_h->store.connections(), QList<Connection>{kept});

        // While browsing: add a favorite from the file list's menu. The banner says why it was not saved.
        clickSidebar(FavoritesSidebarView::RowKind::Connection, kept.id);
        QVERIFY(waitIdle(state()));
        menuFor(u"docs"_s)->findChild<QAction*>(u"addToFavoritesAction"_s)->trigger();
        QCOMPARE(m_h->store.favorites().size(), 2);
        QVERIFY(sidebarShows(m_h->store.favorites().last().name));
        QVERIFY2(m_h->store.lastSaveError().contains(u"Kalvor.favorites.json"_s),
                 qPrintable(m_h->store.lastSaveError()));
        QVERIFY(settingsErrorShown());
        QTest::mouseClick(child<QPushButton>(u"settingsBannerDismiss"_s), Qt::LeftButton);
        QVERIFY(!settingsErrorShown());

        // From the form: the new connection stays in the sidebar, and the failure must be seen.
        QSignalSpy saveFailed(&m_h->store, &FavoritesManager::saveFailed);
        addConnectionThroughForm(u"Added"_s, u"added.invalid"_s);
        QCOMPARE(saveFailed.size(), 1);
        QCOMPARE(m_h->store.connections().size(), 2);
        QCOMPARE(state().detailMode(), BrowserState::DetailMode::empty);
        QVERIFY(settingsErrorShown()); // seen although no folder is shown

        // Nothing moved on disk: both files still hold what was saved before the fault.
        QCOMPARE(entriesIn(folder), entriesBefore);
    }

    void settingsFileCutShort_loadsTheRestAndLosesNothing_data() {
        QTest::addColumn<bool>("connectionsCut"); // else the favorites file is the one cut short
        QTest::newRow("connections cut short") << true;
        QTest::newRow("favorites cut short") << false;
    }

    void settingsFileCutShort_loadsTheRestAndLosesNothing() {
        QFETCH(bool, connectionsCut);
        QTemporaryDir config;
        const QString folder = config.filePath(u"Kalvor"_s);
        auto store = std::make_unique<FileDefaultsStore>(folder);
        const QString damagedKey =
            connectionsCut ? FavoritesManager::connectionsKey() : FavoritesManager::favoritesKey();
        const QString connectionsFile = store->filePath(FavoritesManager::connectionsKey());
        const QString favoritesFile = store->filePath(FavoritesManager::favoritesKey());
        const Connection first{QUuid::createUuid(), u"First"_s, u"first.invalid"_s, 21, {}, {}};
        const QList<Favorite> favorites{{QUuid::createUuid(), first.id, u"Pub"_s, u"/pub"_s}};
        QVERIFY(store->setValue(FavoritesManager::connectionsKey(), encodeConnections({first})));
        QVERIFY(store->setValue(FavoritesManager::favoritesKey(), encodeFavorites(favorites)));
        // What a writer that died halfway through would have left.
        const QByteArray whole = readAll(store->filePath(damagedKey));
        const QByteArray cutShort = whole.left(whole.size() / 2);
        QVERIFY(store->setValue(damagedKey, cutShort));
        const auto entriesBefore = entriesIn(folder);

        showWindow(std::move(store));
        QCOMPARE(m_h->store.connections(), connectionsCut ? QList<Connection>() : QList<Connection>{first});
        QCOMPARE(m_h->store.favorites(), connectionsCut ? favorites : QList<Favorite>());
        QCOMPARE(sidebarShows(u"First"_s), !connectionsCut);
        QVERIFY(!state().browser().errorMessage());
        // Loading writes nothing: the damaged file is still there, as it was.
        QCOMPARE(entriesIn(folder), entriesBefore);

        addConnectionThroughForm(u"Added"_s, u"added.invalid"_s);
        const Connection added = m_h->store.connections().last();
        QCOMPARE(added.name, u"Added"_s);

        // The damaged bytes were kept aside before anything replaced them; both files decode again.
        const QStringList sideFiles =
            QDir(folder).entryList({damagedKey + u".corrupt-*.json"_s}, QDir::Files);
        QCOMPARE(sideFiles.size(), 1);
        QCOMPARE(readAll(folder + u'/' + sideFiles.first()), cutShort);
        QCOMPARE(decodeConnections(readAll(connectionsFile)),
                 (connectionsCut ? QList<Connection>{added} : QList<Connection>{first, added}));
        QCOMPARE(decodeFavorites(readAll(favoritesFile)), connectionsCut ? favorites : QList<Favorite>());
        QCOMPARE(entriesIn(folder).size(), entriesBefore.size() + 1);
    }
};

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
