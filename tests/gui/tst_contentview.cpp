#include "TestFtpServer.h"
#include "app/AppNotifications.h"
#include "model/DefaultsStore.h"
#include "model/FavoritesManager.h"
#include "ui/main/ContentView.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/ErrorBanner.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/Icons.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

// The whole window with real widgets on the offscreen platform: modes, header, toolbar enabling, banner,
// and the sheets and questions of the browsing view, driven by clicks and keys.
class ContentViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MemoryDefaultsStore> m_store;
    std::unique_ptr<FavoritesManager> m_manager;
    std::unique_ptr<ContentView> m_window;

    template <typename T> T* child(const char* name) const {
        return m_window->findChild<T*>(QString::fromLatin1(name));
    }

    QWidget* currentDetail() const { return child<QStackedWidget>("detail")->currentWidget(); }
    QAction* action(const char* name) const { return child<QAction>(name); }
    QToolBar* toolbar() const { return child<QToolBar>("mainToolbar"); }
    ErrorBanner* banner() const { return child<ErrorBanner>("errorBanner"); }

    bool waitIdle() const {
        BrowserState& state = m_window->state();
        return QTest::qWaitFor(
            [&] {
                return !state.isLoading() && !state.isUploading() && !state.isDeleting() &&
                       !state.isCreatingFolder();
            },
            30000);
    }

    void showWindow() {
        m_window = std::make_unique<ContentView>(*m_manager);
        m_window->resize(900, 600);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

private Q_SLOTS:
    void initTestCase() { setUpIconTheme(); }

    void init() {
        m_store = std::make_unique<MemoryDefaultsStore>();
        m_manager = std::make_unique<FavoritesManager>(*m_store);
        showWindow();
    }

    void cleanup() {
        m_window.reset();
        m_manager.reset();
    }

    void modes_showTheirPagesAndTheToolbarOnlyWhileBrowsing() {
        QCOMPARE(currentDetail()->objectName(), QStringLiteral("emptyPage"));
        QCOMPARE(child<QLabel>("emptyTitle")->text(), QStringLiteral("Select a server"));
        QCOMPARE(
            child<QLabel>("emptyDescription")->text(),
            QStringLiteral(
                "Add a new connection from Add Server in the sidebar, or select a connection or favorite."));
        QVERIFY(!toolbar()->isVisible());
        QVERIFY(m_window->windowTitle().isEmpty());
        QVERIFY(m_window->minimumWidth() >= 700 && m_window->minimumHeight() >= 450);

        m_window->state().showNewConnectionForm();
        QCOMPARE(currentDetail()->objectName(), QStringLiteral("formPage"));
        QVERIFY(!toolbar()->isVisible());

        Connection connection = Connection::makeNew();
        connection.host = QStringLiteral("127.0.0.1");
        connection.port = 1; // nothing listens there: the listing fails, which is fine here
        m_window->state().openConnection(connection);
        QCOMPARE(currentDetail()->objectName(), QStringLiteral("browsingPage"));
        QVERIFY(toolbar()->isVisible());
        QCOMPARE(action("uploadFileAction")->text(), QStringLiteral("Upload File"));
        QCOMPARE(action("newFolderAction")->text(), QStringLiteral("New Folder"));
        QCOMPARE(child<QLabel>("headerName")->text(), QStringLiteral("127.0.0.1:1"));
        QVERIFY(waitIdle());

        // The failed listing's text shows in the banner, verbatim; Dismiss hides it.
        QVERIFY(banner()->isVisible());
        QCOMPARE(banner()->message(), *m_window->state().errorMessage());
        QTest::mouseClick(child<QPushButton>("errorBannerDismiss"), Qt::LeftButton);
        QVERIFY(!banner()->isVisible());

        // The new-connection notification leaves the open connection for the form.
        AppNotifications::postNewConnection();
        QTRY_COMPARE(currentDetail()->objectName(), QStringLiteral("formPage"));
        QVERIFY(!m_window->state().currentConnection());
        QVERIFY(!toolbar()->isVisible());
    }

    void header_showsDisplayNameAndShortensLongPathsInTheMiddle() {
        Connection connection = Connection::makeNew();
        connection.host = QStringLiteral("h");
        connection.port = 2121;
        m_window->state().openConnection(connection);
        QCOMPARE(child<QLabel>("headerName")->text(), QStringLiteral("h:2121"));
        connection.name = QStringLiteral("Work");
        m_window->state().openConnection(connection);
        QCOMPARE(child<QLabel>("headerName")->text(), QStringLiteral("Work"));

        RemoteFile deep;
        deep.path = QStringLiteral("/beginning/") + QString(300, u'x') + QStringLiteral("/end");
        m_window->state().enterFolder(deep);
        auto* path = child<ElidedLabel>("headerPath");
        QCOMPARE(path->fullText(), deep.path + u'/');
        QVERIFY(path->text().startsWith(QStringLiteral("/beg")));
        QVERIFY(path->text().endsWith(QStringLiteral("end/")));
        QVERIFY(path->text().contains(QChar(0x2026)));
        QVERIFY(waitIdle());
    }

    void banner_showsTextVerbatimAndOnlyWhileBrowsing() {
        const QString tricky = QStringLiteral("<b>550</b> %1 &amp; \"quotes\"");
        Connection connection = Connection::makeNew();
        connection.host = QStringLiteral("127.0.0.1");
        connection.port = 1;
        m_window->state().openConnection(connection);
        QVERIFY(waitIdle());
        m_window->state().performDelete(RemoteFile{}, connection); // fails: empty path, nothing listens
        QVERIFY(waitIdle());
        QVERIFY(banner()->isVisible());
        // Rich text would have eaten the tags: the label must show plain text.
        auto* text = child<QLabel>("errorBannerText");
        QCOMPARE(text->textFormat(), Qt::PlainText);
        text->setText(tricky);
        QCOMPARE(text->text(), tricky);

        m_window->state().showNewConnectionForm();
        QVERIFY(m_window->state().errorMessage());
        QVERIFY(!banner()->isVisibleTo(m_window.get()));
    }

    void browsing_toolbarEnablingDeleteConfirmationAndNewFolderSheet() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(QStringLiteral("/notes.txt"), "n");
        server.writeFile(QStringLiteral("/slow__slow__/inside.txt"), "i");
        BrowserState& state = m_window->state();
        state.openConnection(server.connection());
        QVERIFY(!action("uploadFileAction")->isEnabled()); // listing runs
        QVERIFY(!action("newFolderAction")->isEnabled());
        QVERIFY(waitIdle());
        QVERIFY(action("uploadFileAction")->isEnabled());
        QVERIFY(action("newFolderAction")->isEnabled());

        // Delete a file: the confirmation's exact texts, then the destructive button deletes it.
        const RemoteFile* notes = nullptr;
        for (const RemoteFile& file : state.files())
            if (file.name == u"notes.txt")
                notes = &file;
        QVERIFY(notes);
        state.requestDelete(*notes);
        QTRY_VERIFY(m_window->deleteConfirmation());
        QMessageBox* box = m_window->deleteConfirmation();
        QCOMPARE(box->text(), QStringLiteral("Are you sure you want to delete?"));
        QCOMPARE(box->informativeText(), QStringLiteral("This file will be permanently deleted."));
        auto* destroy = box->findChild<QPushButton*>(QStringLiteral("deleteConfirm"));
        QCOMPARE(destroy->text(), QStringLiteral("Delete file: notes.txt"));
        QCOMPARE(box->buttonRole(destroy), QMessageBox::DestructiveRole);
        QTest::mouseClick(destroy, Qt::LeftButton);
        QVERIFY(!state.fileToDelete());
        QVERIFY(waitIdle());
        QVERIFY(!server.exists(QStringLiteral("/notes.txt")));

        // Escape is a cancel: nothing is deleted.
        state.requestDelete(state.files().first());
        QTRY_VERIFY(m_window->deleteConfirmation());
        QTest::keyClick(m_window->deleteConfirmation(), Qt::Key_Escape);
        QTRY_VERIFY(!state.fileToDelete());
        QVERIFY(server.exists(QStringLiteral("/slow__slow__")));

        // New folder: 320 wide, Create only for a usable name, Return creates, the listing follows.
        QVERIFY(action("newFolderAction")->isEnabled());
        action("newFolderAction")->trigger();
        QTRY_VERIFY(m_window->newFolderSheet());
        NewFolderSheet* sheet = m_window->newFolderSheet();
        QCOMPARE(sheet->width(), 320);
        auto* name = sheet->findChild<QLineEdit*>(QStringLiteral("newFolderName"));
        auto* create = sheet->findChild<QPushButton*>(QStringLiteral("newFolderCreate"));
        QCOMPARE(name->placeholderText(), QStringLiteral("Folder name"));
        QVERIFY(!create->isEnabled());
        QTest::keyClicks(name, QStringLiteral("   "));
        QVERIFY(!create->isEnabled());
        QTest::keyClicks(name, QStringLiteral("reports  "));
        QVERIFY(create->isEnabled());
        QTest::keyClick(name, Qt::Key_Return);
        QVERIFY(state.isCreatingFolder());
        QVERIFY(!action("newFolderAction")->isEnabled());
        QVERIFY(action("uploadFileAction")->isEnabled());
        QVERIFY(waitIdle());
        QTRY_VERIFY(!m_window->newFolderSheet());
        QVERIFY(server.isFolder(QStringLiteral("/reports")));

        // Escape closes the sheet without creating anything; it opens empty next time.
        action("newFolderAction")->trigger();
        QTRY_VERIFY(m_window->newFolderSheet());
        QVERIFY(m_window->newFolderSheet()
                    ->findChild<QLineEdit*>(QStringLiteral("newFolderName"))
                    ->text()
                    .isEmpty());
        QTest::keyClick(m_window->newFolderSheet(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->newFolderSheet());
        QVERIFY(!state.showNewFolderSheet());
    }

    void activityArea_showsProgressOrASpinner() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        QTemporaryDir local;
        QFile slowCurl(local.filePath(QStringLiteral("slow-curl")));
        QVERIFY(slowCurl.open(QIODevice::WriteOnly));
        // Waits until the test lets it go, so the busy signs can be looked at.
        slowCurl.write("#!/bin/sh\nwhile [ ! -e \"" + local.filePath(QStringLiteral("go")).toUtf8() +
                       "\" ]; do sleep 0.05; done\nexit 0\n");
        slowCurl.close();
        slowCurl.setPermissions(slowCurl.permissions() | QFile::ExeOwner);
        const auto release = [&] {
            QFile go(local.filePath(QStringLiteral("go")));
            QVERIFY(go.open(QIODevice::WriteOnly));
        };

        BrowserState& state = m_window->state();
        state.openConnection(server.connection());
        QVERIFY(waitIdle());
        state.setCurlPath(slowCurl.fileName());
        QFile data(local.filePath(QStringLiteral("data.bin")));
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.write(QByteArray(2000, 'x'));
        data.close();
        state.performUpload({QUrl::fromLocalFile(data.fileName())}, server.connection(), QStringLiteral("/"));
        auto* bar = child<QProgressBar>("uploadProgressBar");
        auto* line = child<QLabel>("uploadProgressText");
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(bar->width(), 120);
        QTRY_COMPARE(line->text(), QStringLiteral("data.bin \u2014 2.00 kB \u00b7 0 bytes/2.00 kB"));
        QVERIFY(!action("uploadFileAction")->isEnabled());
        QVERIFY(!action("newFolderAction")->isEnabled());
        release();
        QVERIFY(waitIdle());
        QVERIFY(!bar->isVisible());
        QFile::remove(local.filePath(QStringLiteral("go")));

        RemoteFile file;
        file.name = QStringLiteral("x");
        file.path = QStringLiteral("x");
        state.performDelete(file, server.connection());
        auto* busy = child<QLabel>("busyText");
        QTRY_VERIFY(busy->isVisible());
        QCOMPARE(busy->text(), QStringLiteral("Deleting\u2026"));
        QVERIFY(action("uploadFileAction")->isEnabled()); // a delete disables neither item
        QVERIFY(action("newFolderAction")->isEnabled());
        release();
        QVERIFY(waitIdle());
        QVERIFY(!busy->isVisible());
    }

    void overwriteQuestion_hasItsTextsAndRoles() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(QStringLiteral("/a.txt"), "old");
        QTemporaryDir local;
        QFile file(local.filePath(QStringLiteral("a.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("new");
        file.close();
        BrowserState& state = m_window->state();
        state.setFileChooser([&](auto answer) { answer({QUrl::fromLocalFile(file.fileName())}); });
        state.openConnection(server.connection());
        QVERIFY(waitIdle());
        action("uploadFileAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(m_window->overwriteQuestion(), 20000);
        QMessageBox* box = m_window->overwriteQuestion();
        QCOMPARE(box->text(), QStringLiteral("Overwrite"));
        QCOMPARE(box->informativeText(),
                 QStringLiteral("1 file(s) already exist on the server. Overwrite them?"));
        const QList<QAbstractButton*> buttons = box->buttons();
        QCOMPARE(buttons.size(), 2);
        auto* overwrite = box->findChild<QPushButton*>(QStringLiteral("overwriteConfirm"));
        QCOMPARE(box->buttonRole(overwrite), QMessageBox::AcceptRole);
        QTest::mouseClick(overwrite, Qt::LeftButton);
        QVERIFY(waitIdle());
        QTRY_COMPARE(server.readFile(QStringLiteral("/a.txt")), QByteArray("new"));
        QVERIFY(!state.showMainOverwriteAlert());
    }

    // A second hand-in while the sheet is up replaces it; the first sheet's late dismissal leaves it alone.
    void uploadSheet_isReplacedByANewHandIn() {
        const QList<QUrl> first{QUrl::fromLocalFile(QStringLiteral("/tmp/one"))};
        const QList<QUrl> second{QUrl::fromLocalFile(QStringLiteral("/tmp/two")),
                                 QUrl::fromLocalFile(QStringLiteral("/tmp/three"))};
        AppNotifications::postUploadFiles(first);
        QTRY_VERIFY(m_window->uploadSheet());
        QPointer<UploadToFavoriteSheet> firstSheet = m_window->uploadSheet();
        const QUuid firstId = m_window->state().pendingUploadURLs()->id;

        AppNotifications::postUploadFiles(second);
        QTRY_VERIFY(m_window->uploadSheet() && m_window->uploadSheet() != firstSheet);
        QCOMPARE(m_window->uploadSheet()->findChild<QLabel*>(QStringLiteral("uploadSheetFileCount"))->text(),
                 QStringLiteral("2 file(s) selected"));
        QTRY_VERIFY(!firstSheet || !firstSheet->isVisible());

        m_window->state().dismissPendingUpload(firstId); // what the first sheet's finished transfer would do
        QVERIFY(m_window->uploadSheet());
        QVERIFY(m_window->state().pendingUploadURLs());

        QTest::mouseClick(
            m_window->uploadSheet()->findChild<QPushButton*>(QStringLiteral("uploadSheetCancel")),
            Qt::LeftButton);
        QTRY_VERIFY(!m_window->uploadSheet());
        QVERIFY(!m_window->state().pendingUploadURLs());
    }
};

QTEST_MAIN(ContentViewTest)
#include "tst_contentview.moc"
