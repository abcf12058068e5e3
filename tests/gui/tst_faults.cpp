#include "ReadOnlyFolder.h"
#include "SessionHarness.h"
#include "TestFtpServer.h"
#include "WindowDriver.h"
#include "model/FavoritesManager.h"
#include "model/RecordJson.h"
#include "ui/main/ContentView.h"
#include "ui/main/ErrorBanner.h"
#include "ui/panels/FavoritesSidebarView.h"
#include "ui/panels/FileListModel.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/Icons.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <memory>

namespace {

constexpr int operationDeadlineMs = 60000;
// A 200 MB flood, parsed and shown, may take a while on a loaded machine; it must end, not be quick.
constexpr int floodDeadlineMs = 300000;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QUrl makeLocalFile(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    const QByteArray chunk(1 << 20, 'k');
    for (qint64 left = size; left > 0; left -= chunk.size())
        file.write(chunk.constData(), std::min<qint64>(left, chunk.size()));
    return QUrl::fromLocalFile(path);
}

QStringList entriesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A tiny file system mounted over a folder (root only), to be filled up to the last byte.
class TinyFileSystem {
public:
    explicit TinyFileSystem(const QString& path)
        : m_path(path) {
        m_mounted = QProcess::execute(QStringLiteral("mount"),
                                      {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                       QStringLiteral("size=16k"), QStringLiteral("tmpfs"), m_path}) == 0;
    }
    ~TinyFileSystem() {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_path});
    }
    bool mounted() const { return m_mounted; }

    // Takes every free byte; true when not even one more byte fits afterwards.
    bool fill() const {
        QFile filler(m_path + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray chunk(512, 'f');
        while (filler.write(chunk) == chunk.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
        filler.close();
        return !ReadOnlyFolder::canCreateIn(m_path);
    }

private:
    QString m_path;
    bool m_mounted = false;
};

} // namespace

// Faults on purpose, with real processes and real servers behind a real window: servers that die or hang,
// a curl that crashes or floods, a settings folder that refuses writes, a settings file cut short. Each
// case asserts what the user sees, that nothing is claimed done that was not, and that the window still
// works afterwards.
class FaultsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SessionHarness> m_h;
    std::unique_ptr<ContentView> m_window;

    BrowserState& state() const { return m_window->state(); }
    ErrorBanner* banner() const { return m_window->findChild<ErrorBanner*>(QStringLiteral("errorBanner")); }
    FileListView* fileList() const { return m_window->findChild<FileListView*>(); }
    QListWidget* sidebarList() const {
        return m_window->findChild<QListWidget*>(QStringLiteral("sidebarList"));
    }
    QAction* action(const char* name) const {
        return m_window->findChild<QAction*>(QString::fromLatin1(name));
    }
    QLabel* busyText() const { return m_window->findChild<QLabel*>(QStringLiteral("busyText")); }
    QString currentPage() const {
        return m_window->findChild<QStackedWidget*>(QStringLiteral("detail"))->currentWidget()->objectName();
    }

    void showWindow(std::unique_ptr<DefaultsStore> store = std::make_unique<MemoryDefaultsStore>()) {
        m_h = std::make_unique<SessionHarness>(std::move(store));
        m_window = std::make_unique<ContentView>(m_h->context);
        m_window->resize(900, 600);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    QStringList shownNames() const { return entryNames(fileList()->files()); }

    // The banner for settings that could not be saved, which every mode shows.
    bool settingsErrorShown() const {
        const auto* text = m_window->findChild<QLabel*>(QStringLiteral("settingsBannerText"));
        return text && text->isVisible() && !m_h->store.lastSaveError().isEmpty() &&
               text->text() == m_h->store.lastSaveError();
    }

    bool errorShown() const {
        const std::optional<QString>& message = state().browser().errorMessage();
        return message && !message->isEmpty() && banner()->isVisible() && banner()->message() == *message;
    }

    // Asks to delete the listed entry of that name and confirms with the destructive button.
    bool confirmDeleteOf(const QString& name) {
        const int row = fileRow(name);
        if (row < 0)
            return false;
        const RemoteFile entry = *fileList()->model()->fileAt(row);
        state().deletes().requestDelete({entry});
        return windowdriver::answerQuestion(m_window.get(), QStringLiteral("Delete"));
    }

    int fileRow(const QString& name) const {
        const FileListModel* model = fileList()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (const RemoteFile* file = model->fileAt(row); file && file->name == name)
                return row;
        }
        return -1;
    }

    // A double click on the entry's row, as the user would open it.
    void openEntry(const QString& name) {
        const int row = fileRow(name);
        QVERIFY2(row >= 0, qPrintable(name));
        QListView* view = fileList()->listView();
        const QModelIndex index = view->model()->index(row, 0);
        view->scrollTo(index);
        QTRY_VERIFY(view->visualRect(index).isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }

    int sidebarRow(FavoritesSidebarView::RowKind kind, const QUuid& id = QUuid()) const {
        for (int row = 0; row < sidebarList()->count(); ++row) {
            const QListWidgetItem* item = sidebarList()->item(row);
            if (item->data(FavoritesSidebarView::rowKindRole).toInt() == int(kind) &&
                (id.isNull() || item->data(FavoritesSidebarView::idRole).value<QUuid>() == id))
                return row;
        }
        return -1;
    }

    void clickSidebar(FavoritesSidebarView::RowKind kind, const QUuid& id = QUuid()) {
        const int row = sidebarRow(kind, id);
        QVERIFY(row >= 0);
        QTest::mouseClick(sidebarList()->viewport(), Qt::LeftButton, {},
                          sidebarList()->visualItemRect(sidebarList()->item(row)).center());
    }

    // Saves the server's connection and opens it through the sidebar, as the user would.
    Connection addAndOpen(const TestFtpServer& server) {
        const Connection connection = server.connection(); // a fresh id on every call
        m_h->store.addConnection(connection);
        clickSidebar(FavoritesSidebarView::RowKind::Connection, connection.id);
        return connection;
    }

    // Opens a live server and checks that its listing arrives: the window still works.
    void openAndList(const TestFtpServer& server, const QString& expectedName) {
        const Connection connection = addAndOpen(server);
        QVERIFY(state().browser().connection() && state().browser().connection()->id == connection.id);
        QVERIFY(waitIdle(state()));
        QVERIFY2(!state().browser().errorMessage(),
                 qPrintable(state().browser().errorMessage().value_or(QString())));
        QVERIFY(shownNames().contains(expectedName));
        QVERIFY(!banner()->isVisible());
    }

    // Adds a connection the way the user does: Add Server, type, Save.
    void addConnectionThroughForm(const QString& name, const QString& host) {
        clickSidebar(FavoritesSidebarView::RowKind::AddServer);
        QCOMPARE(currentPage(), QStringLiteral("formPage"));
        QTest::keyClicks(m_window->findChild<QLineEdit*>(QStringLiteral("nameField")), name);
        QTest::keyClicks(m_window->findChild<QLineEdit*>(QStringLiteral("hostField")), host);
        QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
        QVERIFY(currentPage() != QStringLiteral("formPage"));
    }

    bool sidebarShowsConnectionNamed(const QString& name) const {
        for (int row = 0; row < sidebarList()->count(); ++row) {
            if (sidebarList()->item(row)->text() == name)
                return true;
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase() { setUpIconTheme(); }

    void cleanup() {
        m_window.reset();
        // Every curl run this test started has ended: nothing is left running behind the window.
        QVERIFY(!m_h ||
                QTest::qWaitFor([this] { return m_h->pool.tasksRunning() == 0; }, operationDeadlineMs));
        m_h.reset();
    }

    void serverKilledMidUpload_reportsTheErrorAndClaimsNothing() {
        showWindow();
        constexpr qint64 bigSize = 32 << 20;
        TestFtpServer::Options dying;
        dying.dieAfterBytes = 1 << 20;
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib, dying);
        KALVOR_START_SERVER(spare, TestFtpServer::Kind::pyftpdlib);
        spare.writeFile(QStringLiteral("/alive.txt"), "a");
        const QList<QUrl> files{makeLocalFile(m_h->local.filePath(QStringLiteral("big.bin")), bigSize),
                                makeLocalFile(m_h->local.filePath(QStringLiteral("later.txt")), 5)};

        addAndOpen(server);
        QVERIFY(waitIdle(state()));
        QSignalSpy loading(&state().browser(), &FolderBrowser::loadingChanged);
        // On localhost the whole batch may start and fail between two looks: record what the window showed.
        QStringList progressLines;
        QObject watching;
        connect(&state().upload(), &UploadJob::progressChanged, &watching, [&] {
            if (state().upload().isTransferring() && state().upload().progressLine())
                progressLines << *state().upload().progressLine();
        });
        action("uploadFileAction")->trigger();
        QVERIFY(windowdriver::chooseFiles(m_window.get(), m_h->local.path(),
                                          {QStringLiteral("big.bin"), QStringLiteral("later.txt")}));
        QVERIFY(QTest::qWaitFor([&] { return !progressLines.isEmpty() && !state().upload().isBusy(); },
                                operationDeadlineMs));

        QVERIFY(server.waitForExit(operationDeadlineMs)); // the fault did happen
        QVERIFY2(errorShown(),
                 qPrintable(state().browser().errorMessage().value_or(QStringLiteral("<none>"))));
        QVERIFY(!state().upload().isTransferring());
        QVERIFY(!state().upload().progressLine());
        QCOMPARE(state().upload().progressValue(), 0.0); // no byte counted as uploaded
        QVERIFY(!m_window->findChild<QProgressBar*>(QStringLiteral("transferProgressBar"))->isVisible());
        // The first failure ends the batch: nothing reaches its real name (files go up under temporary names
        // and are renamed only once all before them are complete), and no reload pretends success.
        const QStringList commands = server.treeCommands();
        QCOMPARE(commands.mid(0, 2), (QStringList{QStringLiteral("LIST /"), QStringLiteral("LIST /")}));
        QVERIFY(commands.size() > 2);
        for (const QString& command : commands.mid(2))
            QVERIFY2(command.startsWith(QStringLiteral("STOR .kalvor-")), qPrintable(command));
        QCOMPARE(loading.size(), 0);
        QVERIFY(!server.exists(QStringLiteral("/big.bin")));
        QVERIFY(!server.exists(QStringLiteral("/later.txt")));
        QVERIFY(action("uploadFileAction")->isEnabled());

        openAndList(spare, QStringLiteral("alive.txt"));
    }

    void serverKilledMidRecursiveDeletion_leavesTheRestAndSaysSo() {
        showWindow();
        TestFtpServer::Options dying;
        dying.dieOn = QStringLiteral("DELE:2"); // the first file goes, then the server dies
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib, dying);
        KALVOR_START_SERVER(spare, TestFtpServer::Kind::pyftpdlib);
        spare.writeFile(QStringLiteral("/alive.txt"), "a");
        const QStringList tree{QStringLiteral("/tree/a.txt"), QStringLiteral("/tree/b.txt"),
                               QStringLiteral("/tree/sub/c.txt"), QStringLiteral("/tree/sub/d.txt")};
        for (const QString& path : tree)
            server.writeFile(path, "x");

        addAndOpen(server);
        QVERIFY(waitIdle(state()));
        QVERIFY(confirmDeleteOf(QStringLiteral("tree")));
        QVERIFY(state().deletes().isDeleting());
        QVERIFY(waitIdle(state()));

        QVERIFY(server.waitForExit(operationDeadlineMs));
        QVERIFY2(errorShown(),
                 qPrintable(state().browser().errorMessage().value_or(QStringLiteral("<none>"))));
        QVERIFY(!state().deletes().isDeleting());
        QVERIFY(!busyText()->isVisible());
        int left = 0;
        for (const QString& path : tree)
            left += server.exists(path) ? 1 : 0;
        QCOMPARE(left, int(tree.size()) - 1);
        QVERIFY(server.isFolder(QStringLiteral("/tree/sub")));
        QVERIFY(server.commandLog().filter(QStringLiteral("RMD")).isEmpty());
        // The folder is not shown as gone: the listing was not reloaded as if the delete had worked.
        QCOMPARE(shownNames(), QStringList{QStringLiteral("tree")});

        openAndList(spare, QStringLiteral("alive.txt"));
    }

    // A LIST that never ends holds up nothing but itself: other folders, other work and the form go on, and
    // only the stuck operation's own sign stays.
    void serverThatNeverAnswers_blocksOnlyItsOwnOperation() {
        showWindow();
        TestFtpServer::Options hanging;
        hanging.hangPattern = QStringLiteral("__hang__");
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib, hanging);
        server.writeFile(QStringLiteral("/__hang__/inside.txt"), "i");
        server.writeFile(QStringLiteral("/open/here.txt"), "h");
        QSignalSpy dropped(&state().browser(), &FolderBrowser::listingDropped);

        const Connection connection = addAndOpen(server);
        QVERIFY(waitIdle(state()));

        // Enter the folder whose listing never comes: it stays loading...
        openEntry(QStringLiteral("__hang__"));
        QCOMPARE(state().browser().currentPath(), QStringLiteral("__hang__/"));
        QTRY_VERIFY_WITH_TIMEOUT(server.commandLog().contains(QStringLiteral("LIST /__hang__/")),
                                 operationDeadlineMs);
        QVERIFY(state().browser().isLoading());
        QVERIFY(fileList()->isLoading());
        // ...and the user goes elsewhere: the parent and another folder list at once.
        state().browser().navigateUp();
        QVERIFY(waitIdle(state()));
        QVERIFY(shownNames().contains(QStringLiteral("open")));
        openEntry(QStringLiteral("open"));
        QVERIFY(waitIdle(state()));
        QCOMPARE(shownNames(), QStringList{QStringLiteral("here.txt")});
        QVERIFY(!fileList()->isLoading());
        QVERIFY(!state().browser().errorMessage());

        // The form can be shown and saved meanwhile.
        addConnectionThroughForm(QStringLiteral("Meanwhile"), QStringLiteral("example.invalid"));
        QCOMPARE(m_h->store.connections().size(), 2);
        QCOMPARE(m_h->store.connections().last().name, QStringLiteral("Meanwhile"));
        QVERIFY(sidebarShowsConnectionNamed(QStringLiteral("Meanwhile")));

        // A delete that gets stuck (its folder cannot be listed) keeps "Deleting…" and blocks nothing else.
        clickSidebar(FavoritesSidebarView::RowKind::Connection, connection.id);
        QVERIFY(waitIdle(state()));
        QVERIFY(confirmDeleteOf(QStringLiteral("__hang__")));
        QTRY_VERIFY_WITH_TIMEOUT(server.commandLog().count(QStringLiteral("LIST /__hang__/")) == 2,
                                 operationDeadlineMs);
        QVERIFY(state().deletes().isDeleting());
        QVERIFY(busyText()->isVisible());
        QCOMPARE(busyText()->text(), QStringLiteral("Deleting\u2026"));

        openEntry(QStringLiteral("open"));
        QTRY_VERIFY_WITH_TIMEOUT(!state().browser().isLoading(), operationDeadlineMs);
        QCOMPARE(shownNames(), QStringList{QStringLiteral("here.txt")});
        QVERIFY(action("uploadFileAction")->isEnabled());
        QVERIFY(action("newFolderAction")->isEnabled());

        action("newFolderAction")->trigger();
        QTRY_VERIFY(m_window->newFolderSheet());
        QLineEdit* folderName =
            m_window->newFolderSheet()->findChild<QLineEdit*>(QStringLiteral("newFolderName"));
        QTest::keyClicks(folderName, QStringLiteral("made"));
        QTest::keyClick(folderName, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(shownNames().contains(QStringLiteral("made")), operationDeadlineMs);
        QVERIFY(server.isFolder(QStringLiteral("/open/made")));

        const QUrl small = makeLocalFile(m_h->local.filePath(QStringLiteral("small.txt")), 10);
        action("uploadFileAction")->trigger();
        QVERIFY(windowdriver::chooseFiles(m_window.get(), m_h->local.path(), {small.fileName()}));
        QTRY_VERIFY_WITH_TIMEOUT(shownNames().contains(QStringLiteral("small.txt")), operationDeadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(!state().upload().isBusy() && !state().browser().isLoading(),
                                 operationDeadlineMs);
        QCOMPARE(server.readFile(QStringLiteral("/open/small.txt")).size(), 10);

        // Still the only sign left: the stuck delete's own.
        QVERIFY(state().deletes().isDeleting());
        QCOMPARE(busyText()->text(), QStringLiteral("Deleting\u2026"));
        QVERIFY(busyText()->isVisible());
        QVERIFY(!state().browser().errorMessage());
        QVERIFY(server.exists(QStringLiteral("/__hang__/inside.txt")));

        // A second delete that completes must not take the stuck one's sign with it.
        QVERIFY(confirmDeleteOf(QStringLiteral("here.txt")));
        QTRY_VERIFY_WITH_TIMEOUT(!shownNames().contains(QStringLiteral("here.txt")) &&
                                     !state().browser().isLoading(),
                                 operationDeadlineMs);
        QVERIFY(!server.exists(QStringLiteral("/open/here.txt")));
        QVERIFY(state().deletes().isDeleting() && busyText()->isVisible());

        // Stopping the server ends both stuck curl runs: the delete reports, the old listing is dropped.
        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(errorShown(), operationDeadlineMs);
        QVERIFY(!state().deletes().isDeleting());
        QTRY_COMPARE_WITH_TIMEOUT(dropped.size(), 1, operationDeadlineMs);
        QCOMPARE(dropped.first().first().toString(), QStringLiteral("__hang__/"));
        QCOMPARE(shownNames(), (QStringList{QStringLiteral("made"), QStringLiteral("small.txt")}));
    }

    void crashingCurl_givesAClearError_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("expected"); // part of the error text
        const QString signalText = QStringLiteral("signal 11");
        QTest::newRow("listing") << QStringLiteral("list") << signalText;
        QTest::newRow("upload") << QStringLiteral("upload") << signalText;
        QTest::newRow("delete") << QStringLiteral("delete") << signalText;
        QTest::newRow("new folder") << QStringLiteral("mkdir") << QStringLiteral("Could not create folder");
    }

    void crashingCurl_givesAClearError() {
        QFETCH(QString, operation);
        QFETCH(QString, expected);
        showWindow();
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(QStringLiteral("/keep.txt"), "k");
        const QString crashing = m_h->fakeCurl(QStringLiteral("crashing-curl"), "kill -SEGV $$");
        const Connection connection = server.connection();
        state().openConnection(connection);
        QVERIFY(waitIdle(state()));
        QCOMPARE(shownNames(), QStringList{QStringLiteral("keep.txt")});

        m_h->pool.setCurlPath(crashing);
        if (operation == u"list") {
            state().browser().loadFiles();
        } else if (operation == u"upload") {
            makeLocalFile(m_h->local.filePath(QStringLiteral("up.txt")), 3);
            action("uploadFileAction")->trigger();
            QVERIFY(windowdriver::chooseFiles(m_window.get(), m_h->local.path(), {QStringLiteral("up.txt")}));
        } else if (operation == u"delete") {
            QVERIFY(confirmDeleteOf(QStringLiteral("keep.txt")));
        } else {
            state().newFolder().openSheet();
            state().newFolder().setName(QStringLiteral("new"));
            state().newFolder().create();
        }
        QVERIFY(waitIdle(state()));

        // A new folder's error shows in its sheet, the others in the window's banner.
        const bool inSheet = operation == u"mkdir";
        const QString error =
            (inSheet ? state().newFolder().errorMessage() : state().browser().errorMessage())
                .value_or(QStringLiteral("<none>"));
        QVERIFY2(inSheet ? m_window->newFolderSheet()
                               ->findChild<QLabel*>(QStringLiteral("newFolderError"))
                               ->isVisible()
                         : errorShown(),
                 qPrintable(error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        // One run, and it failed: no reload or follow-up treats the crash as success (an upload lists its
        // folder first, and stops there).
        QCOMPARE(m_h->fakeCurlRuns(crashing), 1);
        QCOMPARE(state().upload().progressValue(), 0.0);
        if (operation == u"list")
            QVERIFY(fileList()->files().isEmpty());
        else
            QCOMPARE(shownNames(), QStringList{QStringLiteral("keep.txt")});
        if (operation == u"mkdir")
            QVERIFY(state().newFolder().isSheetShown()); // still open, the name kept for another try
        QVERIFY(server.exists(QStringLiteral("/keep.txt")));
    }

    void floodingCurl_neitherHangsNorCrashesTheWindow_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome"); // "error", "error or entries", "entries"
        QTest::newRow("binary garbage on stdout")
            << QByteArray("head -c 200000000 /dev/urandom\nexit 0") << QStringLiteral("error");
        // About two million lines of letters and digits: each may pass for a bare name.
        QTest::newRow("text garbage on stdout")
            << QByteArray(
                   "head -c 150000000 /dev/urandom | base64 -w 98 | tr -d '+/' | head -c 200000000\nexit 0")
            << QStringLiteral("error or entries");
        // Answers as curl would: the listing, then the record its config asked for.
        QTest::newRow("garbage on stderr only")
            << QByteArray(
                   "nonce=$(sed -n 's/^write-out = \"\\\\\\\\n\\([^ ]*\\) .*/\\1/p')\n"
                   "printf 'drwxr-xr-x 2 u g 4096 Jan 01 2024 survivor\\r\\n'\n"
                   "head -c 200000000 /dev/urandom >&2\nprintf '\\n%s 0 226 44 0 u\\n' \"$nonce\"\nexit 0")
            << QStringLiteral("entries");
    }

    void floodingCurl_neitherHangsNorCrashesTheWindow() {
        QFETCH(QByteArray, body);
        QFETCH(QString, outcome);
        showWindow();
        KALVOR_START_SERVER(spare, TestFtpServer::Kind::pyftpdlib);
        spare.writeFile(QStringLiteral("/alive.txt"), "a");
        const QString flooding = m_h->fakeCurl(QStringLiteral("flooding-curl"), body);

        // The GUI thread's pulse: ticks must keep coming while the flood is read, parsed and shown.
        int ticks = 0;
        int ticksWhileLoading = 0;
        QTimer pulse;
        pulse.setInterval(10);
        connect(&pulse, &QTimer::timeout, this, [&] {
            ++ticks;
            if (state().browser().isLoading())
                ++ticksWhileLoading;
        });
        pulse.start();

        Connection connection = Connection::makeNew();
        connection.host = QStringLiteral("flood.invalid");
        m_h->pool.setCurlPath(flooding);
        state().openConnection(connection);
        QVERIFY(waitIdle(state(), floodDeadlineMs));
        const int ticksAtResult = ticks;
        QVERIFY(QTest::qWaitFor([&] { return ticks > ticksAtResult + 2; }, operationDeadlineMs));
        pulse.stop();

        QCOMPARE(m_h->fakeCurlRuns(flooding), 1);
        QVERIFY(ticksWhileLoading > 0);
        if (outcome == u"error") {
            QVERIFY(errorShown());
            QVERIFY(fileList()->files().isEmpty());
        } else if (outcome == u"entries") {
            QVERIFY2(!state().browser().errorMessage(),
                     qPrintable(state().browser().errorMessage().value_or(QString())));
            QCOMPARE(shownNames(), QStringList{QStringLiteral("survivor")});
        } else {
            QVERIFY(errorShown() || (!state().browser().errorMessage() && !fileList()->files().isEmpty()));
        }

        m_h->pool.setCurlPath(defaultCurlPath());
        openAndList(spare, QStringLiteral("alive.txt"));
    }

    void settingsFolderRefusesWrites_showsTheErrorAndKeepsTheLists_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("read-only folder") << QStringLiteral("read-only");
        QTest::newRow("full disk") << QStringLiteral("full");
    }

    void settingsFolderRefusesWrites_showsTheErrorAndKeepsTheLists() {
        QFETCH(QString, fault);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(QStringLiteral("/docs"));
        QTemporaryDir config;
        const QString folder = config.filePath(QStringLiteral("Kalvor"));
        QVERIFY(QDir().mkpath(folder));
        std::unique_ptr<TinyFileSystem> tiny;
        if (fault == u"full") {
            tiny = std::make_unique<TinyFileSystem>(folder);
            if (!tiny->mounted())
                QSKIP("cannot mount a small file system here (needs root)");
        }

        auto store = std::make_unique<FileDefaultsStore>(folder);
        Connection kept = server.connection();
        kept.name = QStringLiteral("Kept");
        const Favorite keptFavorite{QUuid::createUuid(), kept.id, QStringLiteral("Root"),
                                    QStringLiteral("/")};
        QVERIFY(store->setValue(FavoritesManager::connectionsKey(), encodeConnections({kept})));
        QVERIFY(store->setValue(FavoritesManager::favoritesKey(), encodeFavorites({keptFavorite})));
        const QString connectionsFile = store->filePath(FavoritesManager::connectionsKey());
        const QString favoritesFile = store->filePath(FavoritesManager::favoritesKey());
        const QByteArray connectionsBefore = readAll(connectionsFile);
        const QByteArray favoritesBefore = readAll(favoritesFile);

        std::unique_ptr<ReadOnlyFolder> readOnly;
        if (fault == u"full") {
            QVERIFY2(tiny->fill(), "the small file system still takes writes");
        } else {
            readOnly = std::make_unique<ReadOnlyFolder>(folder);
            if (!readOnly->active())
                QSKIP("this user can write into any folder");
        }
        const QStringList entriesBefore = entriesIn(folder);
        showWindow(std::move(store));
        QCOMPARE(m_h->store.connections(), QList<Connection>{kept});

        // While browsing: add a favorite from the file list's menu. The banner says why it was not saved.
        clickSidebar(FavoritesSidebarView::RowKind::Connection, kept.id);
        QVERIFY(waitIdle(state()));
        const int row = fileRow(QStringLiteral("docs"));
        QVERIFY(row >= 0);
        std::unique_ptr<QMenu> menu = fileList()->contextMenuFor(fileList()->model()->index(row, 0));
        QVERIFY(menu);
        menu->findChild<QAction*>(QStringLiteral("addToFavoritesAction"))->trigger();
        QCOMPARE(m_h->store.favorites().size(), 2);
        QVERIFY(sidebarRow(FavoritesSidebarView::RowKind::Favorite, m_h->store.favorites().last().id) >= 0);
        // Nothing on disk moved: the same files, byte for byte.
        QCOMPARE(readAll(connectionsFile), connectionsBefore);
        QCOMPARE(readAll(favoritesFile), favoritesBefore);
        QCOMPARE(entriesIn(folder), entriesBefore);
        QVERIFY2(m_h->store.lastSaveError().contains(QStringLiteral("Kalvor.favorites.json")),
                 qPrintable(m_h->store.lastSaveError()));
        QVERIFY(settingsErrorShown());
        QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("settingsBannerDismiss")),
                          Qt::LeftButton);
        QVERIFY(!settingsErrorShown());

        // From the form: the new connection stays in the sidebar, and the failure must be seen.
        QSignalSpy saveFailed(&m_h->store, &FavoritesManager::saveFailed);
        addConnectionThroughForm(QStringLiteral("Added"), QStringLiteral("added.invalid"));
        QCOMPARE(saveFailed.size(), 1);
        QCOMPARE(m_h->store.connections().size(), 2);
        QCOMPARE(m_h->store.connections().last().name, QStringLiteral("Added"));
        QVERIFY(sidebarShowsConnectionNamed(QStringLiteral("Added")));
        QCOMPARE(state().detailMode(), BrowserState::DetailMode::empty);
        QVERIFY(settingsErrorShown()); // seen although no folder is shown

        // Still nothing moved on disk, and both files decode to what was saved before the fault.
        QCOMPARE(entriesIn(folder), entriesBefore);
        QCOMPARE(readAll(connectionsFile), connectionsBefore);
        QCOMPARE(readAll(favoritesFile), favoritesBefore);
        QCOMPARE(decodeConnections(readAll(connectionsFile)), QList<Connection>{kept});
        QCOMPARE(decodeFavorites(readAll(favoritesFile)), QList<Favorite>{keptFavorite});
    }

    void settingsFileCutShort_loadsTheRestAndLosesNothing_data() {
        QTest::addColumn<bool>("connectionsCut"); // else the favorites file is the one cut short
        QTest::newRow("connections cut short") << true;
        QTest::newRow("favorites cut short") << false;
    }

    void settingsFileCutShort_loadsTheRestAndLosesNothing() {
        QFETCH(bool, connectionsCut);
        QTemporaryDir config;
        const QString folder = config.filePath(QStringLiteral("Kalvor"));
        QVERIFY(QDir().mkpath(folder));
        auto store = std::make_unique<FileDefaultsStore>(folder);
        const QString connectionsFile = store->filePath(FavoritesManager::connectionsKey());
        const QString favoritesFile = store->filePath(FavoritesManager::favoritesKey());

        Connection first = Connection::makeNew();
        first.name = QStringLiteral("First");
        first.host = QStringLiteral("first.invalid");
        Connection second = Connection::makeNew();
        second.name = QStringLiteral("Second");
        second.host = QStringLiteral("second.invalid");
        const QList<Connection> connections{first, second};
        const QList<Favorite> favorites{
            {QUuid::createUuid(), first.id, QStringLiteral("Pub"), QStringLiteral("/pub")},
            {QUuid::createUuid(), second.id, QStringLiteral("Up"), QStringLiteral("/up")}};
        const QByteArray connectionsJson = encodeConnections(connections);
        const QByteArray favoritesJson = encodeFavorites(favorites);
        // What a writer that died halfway through would have left.
        const QByteArray cutShort = (connectionsCut ? connectionsJson : favoritesJson)
                                        .left((connectionsCut ? connectionsJson : favoritesJson).size() / 2);
        QVERIFY(writeAll(connectionsFile, connectionsCut ? cutShort : connectionsJson));
        QVERIFY(writeAll(favoritesFile, connectionsCut ? favoritesJson : cutShort));
        const QStringList entriesBefore = entriesIn(folder);

        showWindow(std::move(store));
        if (connectionsCut) {
            QVERIFY(m_h->store.connections().isEmpty());
            QCOMPARE(m_h->store.favorites(), favorites);
        } else {
            QCOMPARE(m_h->store.connections(), connections);
            QVERIFY(m_h->store.favorites().isEmpty());
            QVERIFY(sidebarShowsConnectionNamed(QStringLiteral("Second")));
        }
        QVERIFY(!state().browser().errorMessage());
        // Loading writes nothing: the damaged file is still there, as it was.
        QCOMPARE(entriesIn(folder), entriesBefore);
        QCOMPARE(readAll(connectionsCut ? connectionsFile : favoritesFile), cutShort);

        addConnectionThroughForm(QStringLiteral("Added"), QStringLiteral("added.invalid"));
        QVERIFY2(!state().browser().errorMessage(),
                 qPrintable(state().browser().errorMessage().value_or(QString())));
        const Connection added = m_h->store.connections().last();
        QCOMPARE(added.name, QStringLiteral("Added"));

        // The damaged bytes were kept aside before anything replaced them; both files decode again.
        const QString damagedKey =
            connectionsCut ? FavoritesManager::connectionsKey() : FavoritesManager::favoritesKey();
        const QStringList sideFiles =
            QDir(folder).entryList({damagedKey + QStringLiteral(".corrupt-*.json")}, QDir::Files);
        QCOMPARE(sideFiles.size(), 1);
        QCOMPARE(readAll(folder + u'/' + sideFiles.first()), cutShort);
        QCOMPARE(QFileInfo(folder + u'/' + sideFiles.first()).permissions() &
                     (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
        if (connectionsCut) {
            QCOMPARE(decodeConnections(readAll(connectionsFile)), QList<Connection>{added});
            QCOMPARE(decodeFavorites(readAll(favoritesFile)), favorites);
        } else {
            QCOMPARE(decodeConnections(readAll(connectionsFile)), (QList<Connection>{first, second, added}));
            QCOMPARE(decodeFavorites(readAll(favoritesFile)), QList<Favorite>());
        }
        QCOMPARE(entriesIn(folder).size(), entriesBefore.size() + 1);
    }
};

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
