// The whole window with real widgets on the offscreen platform: that each control reaches its flow and each
// flow's state and questions reach the screen. The flows' rules are tested without widgets (tests/session).
#include "SessionHarness.h"
#include "TestFtpServer.h"
#include "WindowDriver.h"
#include "session/UploadToFavoriteFlow.h"
#include "ui/main/ContentView.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/ErrorBanner.h"
#include "ui/panels/FavoritesSidebarView.h"
#include "ui/panels/FileListModel.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/Icons.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

constexpr int remoteTimeoutMs = 30000;

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SessionHarness> m_h;
    std::unique_ptr<ContentView> m_window;

    template <typename T> T* child(const QString& name) const { return m_window->findChild<T*>(name); }
    QString page() const { return child<QStackedWidget>(u"detail"_s)->currentWidget()->objectName(); }
    QAction* action(const QString& name) const { return child<QAction>(name); }
    BrowserState& state() const { return m_window->state(); }

    const RemoteFile* shown(const QString& name) const {
        return findEntry(child<FileListView>(u"fileList"_s)->files(), name);
    }

    // The entry's context menu, as a right click would show it.
    std::unique_ptr<QMenu> menuFor(const QString& name) const {
        auto* list = child<FileListView>(u"fileList"_s);
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            if (list->model()->index(row).data().toString() == name)
                return list->contextMenuFor(list->model()->index(row));
        }
        return nullptr;
    }

    Connection openServer(const TestFtpServer& server) {
        const Connection connection = server.connection();
        m_h->store.addConnection(connection);
        state().openConnection(connection);
        return connection;
    }

private Q_SLOTS:
    void initTestCase() { setUpIconTheme(); }

    void init() {
        m_h = std::make_unique<SessionHarness>();
        m_window = std::make_unique<ContentView>(m_h->context);
        m_window->resize(900, 600);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() {
        m_window.reset();
        m_h.reset();
    }

    bool toolbarEnabled() const {
        return action(u"uploadFileAction"_s)->isEnabled() || action(u"newFolderAction"_s)->isEnabled() ||
               action(u"downloadAction"_s)->isEnabled();
    }

    void modes_formAndBrowsing() {
        // The toolbar is there from the start, so opening a connection moves nothing; it acts only on a
        // folder.
        auto* toolbar = child<QToolBar>(u"mainToolbar"_s);
        QCOMPARE(page(), u"emptyPage"_s);
        QVERIFY(toolbar->isVisible() && !toolbarEnabled());
        const int listTop = child<QWidget>(u"sidebarList"_s)->mapTo(m_window.get(), QPoint()).y();

        // The form: focus in its first field, Save only for a host and a port that exists.
        Q_EMIT m_h->notifications.newConnection();
        QCOMPARE(page(), u"formPage"_s);
        QVERIFY(!toolbarEnabled());
        QTRY_VERIFY(child<QLineEdit>(u"nameField"_s)->hasFocus());
        auto* save = child<QPushButton>(u"saveButton"_s);
        QVERIFY(!save->isEnabled());
        QTest::keyClicks(child<QLineEdit>(u"hostField"_s), u"127.0.0.1"_s);
        QVERIFY(save->isEnabled());
        auto* port = child<QLineEdit>(u"portField"_s);
        port->selectAll();
        QTest::keyClicks(port, u"70000"_s);
        QVERIFY(!save->isEnabled());
        port->selectAll();
        QTest::keyClicks(port, u"1"_s);
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(page(), u"emptyPage"_s);
        QCOMPARE(m_h->store.connections().size(), 1);

        // Browsing: the open connection marked in the sidebar, the display name, and a failed listing's text
        // verbatim in the banner; nothing to act on in a folder that could not be listed.
        QListWidget* sidebar = child<QListWidget>(u"sidebarList"_s);
        QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {},
                          sidebar->visualItemRect(sidebar->item(sidebar->count() - 1)).center());
        QCOMPARE(page(), u"browsingPage"_s);
        QVERIFY(sidebar->item(sidebar->count() - 1)->data(FavoritesSidebarView::openRole).toBool());
        QCOMPARE(child<QWidget>(u"sidebarList"_s)->mapTo(m_window.get(), QPoint()).y(), listTop);
        QCOMPARE(child<QLabel>(u"headerName"_s)->text(), u"127.0.0.1:1"_s);
        QVERIFY(waitIdle(state()));
        QVERIFY(!toolbarEnabled());
        auto* banner = child<ErrorBanner>(u"errorBanner"_s);
        QVERIFY(banner->isVisible());
        QCOMPARE(banner->message(), *state().browser().errorMessage());
        QTest::mouseClick(child<QPushButton>(u"errorBannerDismiss"_s), Qt::LeftButton);
        QVERIFY(!banner->isVisible());
    }

    void browsing_questionsAndSheets() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/notes.txt"_s, "n");
        server.makeFolder(u"/photos"_s);
        const Connection connection = openServer(server);
        QVERIFY(waitIdle(state()));
        auto* path = child<ElidedLabel>(u"headerPath"_s);
        QCOMPARE(path->fullText(), u"/"_s);

        // A folder becomes a favorite from its menu, and stops being one from there.
        menuFor(u"photos"_s)->findChild<QAction*>(u"addToFavoritesAction"_s)->trigger();
        QCOMPARE(m_h->store.favorites().size(), 1);
        QCOMPARE(m_h->store.favorites().first().connectionId, connection.id);
        menuFor(u"photos"_s)->findChild<QAction*>(u"removeFromFavoritesAction"_s)->trigger();
        QVERIFY(m_h->store.favorites().isEmpty());
        menuFor(u"photos"_s)->findChild<QAction*>(u"addToFavoritesAction"_s)->trigger();

        // Delete asks in a box: Escape keeps the entry, its destructive button deletes and the list follows.
        menuFor(u"photos"_s)->findChild<QAction*>(u"deleteAction"_s)->trigger();
        QTRY_VERIFY(child<QMessageBox>(u"questionBox"_s));
        QTest::keyClick(child<QMessageBox>(u"questionBox"_s), Qt::Key_Escape);
        QTRY_VERIFY(!child<QMessageBox>(u"questionBox"_s));
        QVERIFY(waitIdle(state()) && server.exists(u"/photos"_s));
        menuFor(u"notes.txt"_s)->findChild<QAction*>(u"deleteAction"_s)->trigger();
        QString message;
        QVERIFY(windowdriver::answerQuestion(m_window.get(), u"Delete"_s, &message));
        QCOMPARE(message, u"\u201cnotes.txt\u201d will be permanently deleted."_s);
        QTRY_VERIFY_WITH_TIMEOUT(!shown(u"notes.txt"_s), remoteTimeoutMs);
        QVERIFY(!server.exists(u"/notes.txt"_s));

        // New folder: Create only for a usable name, Return creates, the list follows, Escape closes.
        action(u"newFolderAction"_s)->trigger();
        QTRY_VERIFY(m_window->newFolderSheet());
        auto* name = m_window->newFolderSheet()->findChild<QLineEdit*>(u"newFolderName"_s);
        auto* create = m_window->newFolderSheet()->findChild<QPushButton*>(u"newFolderCreate"_s);
        QTest::keyClicks(name, u"   "_s);
        QVERIFY(!create->isEnabled());
        QTest::keyClicks(name, u"made"_s);
        QVERIFY(create->isEnabled());
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(shown(u"made"_s), remoteTimeoutMs);
        QTRY_VERIFY(!m_window->newFolderSheet());
        // A refusal shows in the sheet, which keeps its size; the window's banner stays clear.
        action(u"newFolderAction"_s)->trigger();
        QTRY_VERIFY(m_window->newFolderSheet());
        const QSize sheetSize = m_window->newFolderSheet()->size();
        QTest::keyClicks(m_window->newFolderSheet()->findChild<QLineEdit*>(u"newFolderName"_s),
                         u"no__denied__"_s);
        QTest::keyClick(m_window->newFolderSheet(), Qt::Key_Return);
        auto* refusal = m_window->newFolderSheet()->findChild<QLabel*>(u"newFolderError"_s);
        QTRY_VERIFY_WITH_TIMEOUT(refusal->isVisible(), remoteTimeoutMs);
        QVERIFY(refusal->text().contains(u"no__denied__"_s) &&
                !child<ErrorBanner>(u"errorBanner"_s)->isVisible());
        QCOMPARE(m_window->newFolderSheet()->size(), sheetSize);
        QTest::keyClick(m_window->newFolderSheet(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->newFolderSheet());
        QVERIFY(!state().newFolder().isSheetShown());

        // Entering a folder through the list; the header follows, shortening a long path in the middle.
        QListView* list = child<FileListView>(u"fileList"_s)->listView();
        const int photos =
            list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, u"photos"_s).first().row();
        const QPoint photosRow = list->visualRect(list->model()->index(photos, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, photosRow);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, photosRow);
        QCOMPARE(path->fullText(), u"/photos/"_s);
        QVERIFY(waitIdle(state()));
        RemoteFile deep;
        deep.path = u"/start/"_s + QString(300, u'x') + u"/end"_s;
        state().browser().enterFolder(deep);
        QVERIFY(path->text().startsWith(u"/sta"_s) && path->text().endsWith(u"end/"_s));
        QVERIFY(path->text().contains(QChar(0x2026)));
        QVERIFY(waitIdle(state()));
    }

    // The file list's keys, a drop and the typed path reach their flows, the server and the screen.
    void browsing_keysDropAndTypedPath() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/docs/a.txt"_s, "a");
        openServer(server);
        QVERIFY(waitIdle(state()));
        QAbstractItemView* list = child<FileListView>(u"fileList"_s)->currentView();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_L, Qt::ControlModifier);
        auto* field = child<QLineEdit>(u"headerPathField"_s);
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClicks(field, u"/docs"_s);
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(waitIdle(state()));
        QCOMPARE(child<ElidedLabel>(u"headerPath"_s)->fullText(), u"/docs/"_s);
        QTRY_VERIFY(list->hasFocus()); // back where the keyboard was, across the listing

        const QModelIndex a =
            list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, u"a.txt"_s).first();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(a).center());
        QTest::keyClick(list, Qt::Key_F2);
        QLineEdit* editor = nullptr;
        QTRY_VERIFY((editor = qobject_cast<QLineEdit*>(QApplication::focusWidget())));
        QTest::keyClicks(editor, u"b"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(shown(u"b.txt"_s), remoteTimeoutMs);
        QVERIFY(server.exists(u"/docs/b.txt"_s) && !server.exists(u"/docs/a.txt"_s));

        QMimeData data;
        data.setUrls({m_h->localFile(u"dropped.txt"_s, "d")});
        const QPoint middle = list->viewport()->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &enter);
        QDropEvent drop(middle, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &drop);
        QTRY_VERIFY_WITH_TIMEOUT(shown(u"dropped.txt"_s), remoteTimeoutMs);
        QCOMPARE(server.readFile(u"/docs/dropped.txt"_s), QByteArray("d"));

        QTRY_VERIFY(list->hasFocus());
        QTest::keyClick(list, Qt::Key_Backspace);
        QVERIFY(waitIdle(state()));
        QCOMPARE(state().browser().currentPath(), u"/"_s);
        server.writeFile(u"/new.txt"_s);
        QTest::keyClick(list, Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(shown(u"new.txt"_s), remoteTimeoutMs);

        // Tab reaches the toolbar's buttons as well.
        QSet<QAction*> reached;
        for (int i = 0; i < 40; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (auto* button = qobject_cast<QToolButton*>(QApplication::focusWidget()))
                reached << button->defaultAction();
        }
        QVERIFY(reached.contains(action(u"uploadFileAction"_s)) &&
                reached.contains(action(u"newFolderAction"_s)));
    }

    void upload_chooserOverwriteBoxAndProgress() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/a.txt"_s, "old");
        openServer(server);
        QVERIFY(waitIdle(state()));
        m_h->localFile(u"a.txt"_s, "new");
        const QUrl b = m_h->localFile(u"b.txt"_s, QByteArray(2000, 'b'));

        action(u"uploadFileAction"_s)->trigger();
        QVERIFY(windowdriver::chooseFiles(m_window.get(), m_h->local.path(), {u"a.txt"_s, u"b.txt"_s}));
        // The box is wide enough for its title, and names the file.
        QTRY_VERIFY(child<QMessageBox>(u"questionBox"_s));
        auto* box = child<QMessageBox>(u"questionBox"_s);
        QTRY_VERIFY(box->width() >
                    box->fontMetrics().horizontalAdvance(box->windowTitle() + u" \u2014 Kalvor"_s) + 100);
        QString message;
        QVERIFY(windowdriver::answerQuestion(m_window.get(), u"Skip existing"_s, &message));
        QCOMPARE(message, u"a.txt already exists on the server. Overwrite it?"_s);
        QTRY_VERIFY_WITH_TIMEOUT(shown(u"b.txt"_s), remoteTimeoutMs);
        QCOMPARE(server.readFile(u"/a.txt"_s), QByteArray("old"));
        QCOMPARE(server.readFile(u"/b.txt"_s).size(), 2000);
        auto* notice = child<QLabel>(u"transferNotice"_s);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(),
                 u"1 file uploaded to %1"_s.arg(state().browser().connection()->displayName()));

        // While a transfer runs the header shows it, and its stop button ends it without an error.
        const HoldingCurl curl;
        m_h->pool.setCurlPath(curl.path());
        QVERIFY(state().upload().start(*state().browser().connection(), u"/"_s,
                                       {b, m_h->localFile(u"c.txt"_s)}, &m_h->prompter, this, {}));
        auto* line = child<QLabel>(u"transferProgressText"_s);
        QTRY_COMPARE(line->text(), u"b.txt \u2014 2.00 kB \u00b7 0 bytes/2.00 kB"_s);
        QVERIFY(child<QProgressBar>(u"transferProgressBar"_s)->isVisible());
        QVERIFY(!action(u"uploadFileAction"_s)->isEnabled() && !action(u"newFolderAction"_s)->isEnabled());
        QTest::mouseClick(child<QPushButton>(u"transferCancelButton"_s), Qt::LeftButton);
        curl.release();
        QVERIFY(waitIdle(state()));
        QVERIFY(!line->isVisible());
        QVERIFY(!state().browser().errorMessage());
        QCOMPARE(notice->text(), u"Upload cancelled"_s);
        QCOMPARE(curl.runs(), 4); // the check, the upload, taking its temporary files away, the listing after
    }

    void download_theSelectionIntoAChosenFolder() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/a.txt"_s, "a");
        server.writeFile(u"/docs/b.txt"_s, "b");
        server.writeFile(u"/zz.txt"_s, "z");
        openServer(server);
        QVERIFY(waitIdle(state()));
        // The toolbar's own: the list's context menu has one of that name too.
        auto* download = child<QToolBar>(u"mainToolbar"_s)->findChild<QAction*>(u"downloadAction"_s);
        QVERIFY(!download->isEnabled()); // nothing selected
        QListView* list = child<FileListView>(u"fileList"_s)->listView();
        for (const QString& name : {u"a.txt"_s, u"docs"_s})
            list->selectionModel()->select(
                list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, name).first(),
                QItemSelectionModel::Select);
        QVERIFY(download->isEnabled());

        QTemporaryDir into;
        QTest::mouseClick(child<QToolBar>(u"mainToolbar"_s)->widgetForAction(download), Qt::LeftButton);
        QVERIFY(windowdriver::chooseFolder(m_window.get(), into.path()));
        QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>(u"transferNotice"_s)->isVisible(), remoteTimeoutMs);
        QCOMPARE(child<QLabel>(u"transferNotice"_s)->text(), u"2 files downloaded to %1"_s.arg(into.path()));
        QFile b(into.filePath(u"docs/b.txt"_s));
        QVERIFY(b.open(QIODevice::ReadOnly) && b.readAll() == "b" &&
                QFileInfo::exists(into.filePath(u"a.txt"_s)));
        QVERIFY(!QFileInfo::exists(into.filePath(u"zz.txt"_s)));
    }

    void handIn_sheetUploadsAndCloses() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/data/x.txt"_s, "old");
        const Connection connection = server.connection();
        m_h->store.addConnection(connection);
        m_h->store.addFavorite(connection.id, u"Data"_s, u"/data"_s);
        m_h->handIns.store({m_h->localFile(u"x.txt"_s, "new"), m_h->localFile(u"y.txt"_s, "y")});
        state().takeHandIn();
        QTRY_VERIFY(m_window->uploadSheet());
        UploadToFavoriteSheet* sheet = m_window->uploadSheet();
        QCOMPARE(sheet->findChild<QLabel*>(u"uploadSheetFileCount"_s)->text(), u"x.txt and y.txt"_s);
        auto* upload = sheet->findChild<QPushButton*>(u"uploadSheetUpload"_s);
        QVERIFY(!upload->isEnabled());
        m_h->store.addFavorite(connection.id, u"Root"_s, u"/"_s); // rows follow the store
        QCOMPARE(sheet->favoriteRows().size(), 2);
        QVERIFY(!sheet->findChild<QScrollArea*>(u"uploadSheetFavorites"_s)->verticalScrollBar()->isVisible());
        QTest::mouseClick(sheet->favoriteRows().first(), Qt::LeftButton);
        QVERIFY(upload->isEnabled());

        // The sheet asks over itself; "Cancel" there keeps the sheet, "Overwrite" uploads and closes it.
        QTest::mouseClick(upload, Qt::LeftButton);
        QVERIFY(windowdriver::answerQuestion(sheet, u"Cancel"_s));
        QVERIFY(sheet->isVisible() && state().pendingUpload());
        QTest::mouseClick(upload, Qt::LeftButton);
        QVERIFY(windowdriver::answerQuestion(sheet, u"Overwrite"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->uploadSheet(), remoteTimeoutMs);
        QVERIFY(!state().pendingUpload());
        QCOMPARE(server.readFile(u"/data/x.txt"_s), QByteArray("new"));
        QCOMPARE(server.readFile(u"/data/y.txt"_s), QByteArray("y"));
        // No connection is open, so the footer says it.
        QCOMPARE(child<QLabel>(u"footer"_s)->text(), u"2 files uploaded to Data"_s);

        // A new hand-in replaces the sheet shown; Escape is the sheet's "Cancel": the hand-in is over.
        m_h->handIns.store({m_h->localFile(u"z.txt"_s)});
        state().takeHandIn();
        QTRY_VERIFY(m_window->uploadSheet());
        const QPointer<UploadToFavoriteSheet> first = m_window->uploadSheet();
        m_h->handIns.store({m_h->localFile(u"p.txt"_s), m_h->localFile(u"q.txt"_s)});
        state().takeHandIn();
        QTRY_VERIFY(m_window->uploadSheet() && m_window->uploadSheet() != first);
        QCOMPARE(m_window->uploadSheet()->flow().files().size(), 2);
        QTRY_VERIFY(!first);
        QTest::keyClick(m_window->uploadSheet(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->uploadSheet());
        QVERIFY(!state().pendingUpload());
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
