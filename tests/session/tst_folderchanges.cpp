// Deleting and creating against a real server with the user played by a script, and the notice after any
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

const RemoteFile* find(const QList<RemoteFile>& files, const QString& name) {
    for (const RemoteFile& file : files) {
        if (file.name == name)
            return &file;
    }
    return nullptr;
}

bool waitIdle(BrowserState& state) {
    return QTest::qWaitFor(
        [&] {
            return !state.browser().isLoading() && !state.upload().isBusy() &&
                   !state.deletes().isDeleting() && !state.newFolder().isCreating();
        },
        remoteTimeoutMs);
}

// Opens the folder of the stored connection and waits for its listing.
bool browse(BrowserState& state, const Connection& connection, const QString& folder) {
    state.openFavorite(Favorite{QUuid::createUuid(), connection.id, folder, folder});
    return state.browser().connection() && waitIdle(state) && !state.browser().errorMessage();
}

} // namespace

class FolderChangesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void delete_asksFirst_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("button");
        QTest::newRow("file") << u"notes.txt"_s << u"This file will be permanently deleted."_s
                              << u"Delete file: notes.txt"_s;
        QTest::newRow("folder with everything in it")
            << u"tree"_s << u"The folder and all its contents will be deleted."_s << u"Delete folder: tree"_s;
    }
    void delete_asksFirst() {
        QFETCH(QString, name);
        QFETCH(QString, message);
        QFETCH(QString, button);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/in/notes.txt"_s, "n");
        server.writeFile(u"/in/tree/sub/deep.txt"_s, "d");
        server.writeFile(u"/in/keep.txt"_s, "k");
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        BrowserState state(h.context, h.prompter);
        QVERIFY(browse(state, connection, u"/in"_s));
        const RemoteFile target = *find(state.browser().files(), name);

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
        QVERIFY(!find(state.browser().files(), name)); // listed again
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
        QVERIFY(find(state.browser().files(), u"reports"_s));

        // A refused creation keeps the sheet open with the typed name and shows why.
        flow.openSheet();
        QVERIFY(flow.name().isEmpty());
        flow.setName(u"reports"_s);
        flow.create();
        QVERIFY(waitIdle(state));
        QVERIFY(state.browser().errorMessage()->startsWith(u"Could not create folder"_s));
        QVERIFY(flow.isSheetShown());
        QCOMPARE(flow.name(), u"reports"_s);
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
            h.prompter.answers << u"Delete file: old.txt"_s;
            acting.deletes().requestDelete(*find(acting.browser().files(), u"old.txt"_s));
        }
        QTRY_VERIFY_WITH_TIMEOUT(appears.isEmpty() ? !find(watching.browser().files(), u"old.txt"_s)
                                                   : find(watching.browser().files(), appears) != nullptr,
                                 remoteTimeoutMs);
        QVERIFY(waitIdle(acting) && waitIdle(watching));
        QCOMPARE(otherLoads.size(), 0);
    }
};

QTEST_GUILESS_MAIN(FolderChangesTest)
#include "tst_folderchanges.moc"
