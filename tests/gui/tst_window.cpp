// The whole window with real widgets on the offscreen platform: that each control reaches its flow and each
// flow's state and questions reach the screen. The flows' rules are tested without widgets (tests/session).
#include "WindowDriver.h"
#include "session/UploadToFavoriteFlow.h"
#include "ui/main/ElidedLabel.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

constexpr int remoteTimeoutMs = 30000;

class WindowTest : public WindowTestCase {
    Q_OBJECT

    bool toolbarEnabled() const {
        return action(u"uploadFileAction"_s)->isEnabled() || action(u"newFolderAction"_s)->isEnabled() ||
               action(u"downloadAction"_s)->isEnabled();
    }

    QLabel* notice() const { return child<QLabel>(u"transferNotice"_s); }

private Q_SLOTS:
    void initTestCase() { setUpIconTheme(); }
    void init() { showWindow(); }
    void cleanup() { closeWindow(); }

    void modes_formAndBrowsing() {
        // The toolbar is there from the start, so opening a connection moves nothing; it acts only on a
        // folder.
        QCOMPARE(page(), u"emptyPage"_s);
        QVERIFY(child<QToolBar>(u"mainToolbar"_s)->isVisible() && !toolbarEnabled());
        const auto look = [this](const QString& name) { return action(name)->icon().pixmap(16).toImage(); };
        QVERIFY(look(u"uploadFileAction"_s) != look(u"newFolderAction"_s)); // each action its own icon

        // The form: focus in its first field, Save only once it can be saved.
        Q_EMIT m_h->notifications.newConnection();
        QTRY_VERIFY(child<QLineEdit>(u"nameField"_s)->hasFocus());
        auto* save = child<QPushButton>(u"saveButton"_s);
        QVERIFY(!save->isEnabled());
        QTest::keyClicks(child<QLineEdit>(u"hostField"_s), u"127.0.0.1"_s);
        child<QLineEdit>(u"portField"_s)->selectAll();
        QTest::keyClicks(child<QLineEdit>(u"portField"_s), u"1"_s);
        QTest::mouseClick(save, Qt::LeftButton);

        // Browsing: the open connection marked in the sidebar, the display name, and a failed listing's text
        // verbatim in the banner; nothing to act on in a folder that could not be listed.
        clickSidebar(FavoritesSidebarView::RowKind::Connection);
        QVERIFY(sidebar()->item(sidebar()->count() - 1)->data(FavoritesSidebarView::openRole).toBool());
        QCOMPARE(child<QLabel>(u"headerName"_s)->text(), u"127.0.0.1:1"_s);
        QVERIFY(waitIdle(state()));
        QVERIFY(!toolbarEnabled());
        QVERIFY(errorShown());
        QTest::mouseClick(child<QPushButton>(u"errorBannerDismiss"_s), Qt::LeftButton);
        QVERIFY(!banner()->isVisible());
    }

    // The file list's keys, a drop, the typed path, questions and sheets reach their flows, the server and
    // the screen.
    void browsing_keysQuestionsAndSheets() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/docs/a.txt"_s, "a");
        server.makeFolder(u"/photos"_s);
        const Connection connection = addAndOpen(server);
        QVERIFY(waitIdle(state()));
        // Ctrl+L turns the path into a field: Escape puts the path back, Return goes where was typed, even
        // after another window took the keyboard; the keyboard returns to where it was either way.
        QAbstractItemView* list = fileList()->currentView();
        auto* path = child<ElidedLabel>(u"headerPath"_s);
        auto* field = child<QLineEdit>(u"headerPathField"_s);
        for (const Qt::Key end : {Qt::Key_Escape, Qt::Key_Return}) {
            list->setFocus();
            QTest::keyClick(list, Qt::Key_L, Qt::ControlModifier);
            QTRY_VERIFY(field->hasFocus());
            QTest::keyClicks(field, u"/docs"_s);
            QWidget other;
            other.show();
            other.activateWindow();
            QTRY_VERIFY(other.isActiveWindow());
            m_window->activateWindow();
            QTRY_VERIFY(field->hasFocus());
            QTest::keyClick(field, end);
            QCOMPARE(field->text(), u"/"_s);
            if (end == Qt::Key_Escape) {
                QVERIFY(!state().browser().isLoading()); // nothing asked for
                QTRY_VERIFY(list->hasFocus());
            }
        }
        QVERIFY(waitIdle(state()));
        QCOMPARE(path->fullText(), u"/docs/"_s);
        QTRY_VERIFY(list->hasFocus()); // back where the keyboard was, across the listing

        list->setCurrentIndex(list->model()->index(fileRow(u"a.txt"_s), 0));
        QTest::keyClick(list, Qt::Key_F2);
        QLineEdit* editor = nullptr;
        QTRY_VERIFY((editor = qobject_cast<QLineEdit*>(QApplication::focusWidget())));
        QTest::keyClicks(editor, u"b"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(shown(u"b.txt"_s) && !shown(u"a.txt"_s), remoteTimeoutMs);

        QMimeData data;
        data.setUrls({m_h->localFile(u"dropped.txt"_s, "d")});
        const QPoint middle = list->viewport()->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &enter);
        QDropEvent drop(middle, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &drop);
        QTRY_VERIFY_WITH_TIMEOUT(shown(u"dropped.txt"_s), remoteTimeoutMs); // listed again: it is there

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

        // A folder stops being a favorite from its menu.
        m_h->store.addFavorite(connection.id, u"Photos"_s, u"/photos"_s);
        menuFor(u"photos"_s)->findChild<QAction*>(u"removeFromFavoritesAction"_s)->trigger();
        QVERIFY(m_h->store.favorites().isEmpty());

        // Delete asks in a box, and Escape there keeps the entry.
        menuFor(u"photos"_s)->findChild<QAction*>(u"deleteAction"_s)->trigger();
        QTRY_VERIFY(child<QMessageBox>(u"questionBox"_s));
        QTest::keyClick(child<QMessageBox>(u"questionBox"_s), Qt::Key_Escape);
        QTRY_VERIFY(!child<QMessageBox>(u"questionBox"_s));
        QVERIFY(waitIdle(state()) && server.exists(u"/photos"_s));

        // New folder: Create only for a usable name; Escape closes.
        action(u"newFolderAction"_s)->trigger();
        QTRY_VERIFY(m_window->newFolderSheet());
        auto* name = m_window->newFolderSheet()->findChild<QLineEdit*>(u"newFolderName"_s);
        auto* create = m_window->newFolderSheet()->findChild<QPushButton*>(u"newFolderCreate"_s);
        QVERIFY(!create->isEnabled());
        QTest::keyClicks(name, u"made"_s);
        QVERIFY(create->isEnabled());
        QTest::keyClick(m_window->newFolderSheet(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->newFolderSheet());
        QVERIFY(!state().newFolder().isSheetShown());

        // The header follows the folder, shortening a long path in the middle.
        RemoteFile deep;
        deep.path = u"/start/"_s + QString(300, u'x') + u"/end"_s;
        state().browser().enterFolder(deep);
        QVERIFY(path->text().startsWith(u"/sta"_s) && path->text().endsWith(u"end/"_s));
        QVERIFY(path->text().contains(QChar(0x2026)));
        QVERIFY(waitIdle(state()));
    }

    // The selection comes down into the chosen folder; a running transfer shows in the header.
    void transfers_choosersAndProgress() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/a.txt"_s, "a");
        server.writeFile(u"/docs/b.txt"_s, "b");
        server.writeFile(u"/zz.txt"_s, "z");
        addAndOpen(server);
        QVERIFY(waitIdle(state()));
        // The toolbar's own: the list's context menu has one of that name too.
        auto* toolbar = child<QToolBar>(u"mainToolbar"_s);
        auto* download = toolbar->findChild<QAction*>(u"downloadAction"_s);
        QVERIFY(!download->isEnabled()); // nothing selected
        QListView* list = fileList()->listView();
        for (const QString& name : {u"a.txt"_s, u"docs"_s})
            list->selectionModel()->select(list->model()->index(fileRow(name), 0),
                                           QItemSelectionModel::Select);

        QTemporaryDir into;
        QTest::mouseClick(toolbar->widgetForAction(download), Qt::LeftButton);
        QVERIFY(windowdriver::choose(m_window.get(), u"downloadFolderChooser"_s, into.path()));
        QTRY_COMPARE_WITH_TIMEOUT(notice()->text(), u"2 files downloaded to %1"_s.arg(into.path()),
                                  remoteTimeoutMs);

        // While a transfer runs the header shows it, and its stop button ends it without an error. (The fault
        // tests upload through the chooser.)
        const HoldingCurl curl;
        m_h->pool.setCurlPath(curl.path());
        QVERIFY(state().upload().start(*state().browser().connection(), u"/"_s,
                                       {m_h->localFile(u"b.txt"_s), m_h->localFile(u"c.txt"_s)},
                                       &m_h->prompter, this, {}));
        auto* line = child<QLabel>(u"transferProgressText"_s);
        QTRY_VERIFY(line->isVisible() && line->text().startsWith(u"b.txt"_s));
        QVERIFY(child<QProgressBar>(u"transferProgressBar"_s)->isVisible());
        QVERIFY(!action(u"uploadFileAction"_s)->isEnabled() && !action(u"newFolderAction"_s)->isEnabled());
        QTest::mouseClick(child<QPushButton>(u"transferCancelButton"_s), Qt::LeftButton);
        curl.release();
        QVERIFY(waitIdle(state()));
        QVERIFY(!line->isVisible());
        QCOMPARE(notice()->text(), u"Upload cancelled"_s);
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
        m_h->store.addFavorite(connection.id, u"Root"_s, u"/"_s); // rows follow the store
        QCOMPARE(sheet->favoriteRows().size(), 2);
        QTest::mouseClick(sheet->favoriteRows().first(), Qt::LeftButton);

        // The sheet asks over itself; "Cancel" there keeps the sheet, "Overwrite" uploads and closes it.
        QTest::mouseClick(upload, Qt::LeftButton);
        QVERIFY(windowdriver::answerQuestion(sheet, u"Cancel"_s));
        QVERIFY(sheet->isVisible() && state().pendingUpload());
        QTest::mouseClick(upload, Qt::LeftButton);
        QVERIFY(windowdriver::answerQuestion(sheet, u"Overwrite"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->uploadSheet(), remoteTimeoutMs);
        QVERIFY(!state().pendingUpload());
        // No connection is open, so the footer says it (both went: x.txt was overwritten).
        QCOMPARE(child<QLabel>(u"footer"_s)->text(), u"2 files uploaded to Data"_s);

        // A new hand-in replaces the sheet shown; Escape is the sheet's "Cancel": the hand-in is over.
        for (const QString& name : {u"z.txt"_s, u"p.txt"_s}) {
            const QPointer<UploadToFavoriteSheet> before = m_window->uploadSheet();
            m_h->handIns.store({m_h->localFile(name)});
            state().takeHandIn();
            QTRY_VERIFY(m_window->uploadSheet() && m_window->uploadSheet() != before && !before);
        }
        QCOMPARE(m_window->uploadSheet()->flow().files().first().fileName(), u"p.txt"_s);
        QTest::keyClick(m_window->uploadSheet(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->uploadSheet());
        QVERIFY(!state().pendingUpload());
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
