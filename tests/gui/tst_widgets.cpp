// The window's panels on their own, with real widgets on the offscreen platform: the sidebar and the
// connection form, driven by clicks and keys and observed through what they announce (the file list has
// tests of its own).
#include "MemoryDefaultsStore.h"
#include "model/FavoritesManager.h"
#include "ui/panels/ConnectionFormView.h"
#include "ui/panels/FavoritesSidebarView.h"
#include "ui/panels/Icons.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class WidgetsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(u"en_US"_s));
        setUpIconTheme();
    }

    void sidebar_rowsAndWhatTheyAnnounce() {
        MemoryDefaultsStore backend;
        FavoritesManager store(backend);
        const Connection work{QUuid::createUuid(), u"Work"_s, u"w"_s, 21, {}, {}};
        const Connection bare{QUuid::createUuid(), {}, u"h"_s, 21, {}, {}};
        store.addConnection(work);
        store.addConnection(bare);
        store.addFavorite(bare.id, u"Docs"_s, u"/docs"_s);
        store.addFavorite(QUuid::createUuid(), u"Orphan"_s, u"/lost"_s);
        store.addFavorite(work.id, u"Docs"_s, u"/w/docs"_s);
        FavoritesSidebarView sidebar(store);
        sidebar.resize(240, 480);
        sidebar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sidebar));
        QListWidget* list = sidebar.list();
        QStringList rows;
        for (int i = 0; i < list->count(); ++i)
            rows << list->item(i)->text();
        // Favorites of the same name say which server they are on.
        QCOMPARE(rows, (QStringList{u"Add Server"_s, u"Favorites"_s, u"Docs \u2014 h:21"_s,
                                    u"Docs \u2014 Work"_s, u"Connections"_s, u"Work"_s, u"h:21"_s}));

        QSignalSpy addServer(&sidebar, &FavoritesSidebarView::addServerSelected);
        QSignalSpy favorite(&sidebar, &FavoritesSidebarView::favoriteSelected);
        QSignalSpy connection(&sidebar, &FavoritesSidebarView::connectionSelected);
        QSignalSpy edit(&sidebar, &FavoritesSidebarView::editConnectionRequested);
        QSignalSpy remove(&sidebar, &FavoritesSidebarView::deleteConnectionRequested);
        for (const int row : {0, 1, 2, 4, 5})
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(row)).center());
        QVERIFY(addServer.size() == 1 && favorite.size() == 1);
        QCOMPARE(connection.first().first().value<Connection>(), work);
        QVERIFY(list->selectedItems().isEmpty());

        // The connection's menu: open, edit and delete are the owner's to do (it asks before deleting).
        std::unique_ptr<QMenu> menu(sidebar.contextMenuForRow(6));
        for (QAction* action : menu->actions())
            action->trigger();
        QCOMPARE(connection.size(), 2);
        QCOMPARE(edit.first().first().value<Connection>(), bare);
        QCOMPARE(remove.first().first().value<Connection>(), bare);
        QCOMPARE(store.connections().size(), 2);
        // A favorite's menu removes the favorite at once.
        std::unique_ptr<QMenu> favoriteMenu(sidebar.contextMenuForRow(2));
        favoriteMenu->actions().last()->trigger();
        QCOMPARE(store.favorites().size(), 2);
        QCOMPARE(list->count(), 6);
        QCOMPARE(list->item(2)->text(), u"Docs"_s); // alone again
        QVERIFY(!sidebar.contextMenuForRow(0) && !sidebar.contextMenuForRow(1));
        // "Add Server" takes the accent while the form is shown.
        sidebar.setShowConnectionForm(true);
        QCOMPARE(list->item(0)->foreground().color(), list->palette().color(QPalette::Highlight));
    }

    // Every edit announces the whole record: a typed password replaces the one in the keyring, the port is
    // kept as typed (grouped once the field is left), and the port follows the security choice (0 plain, 1
    // explicit TLS, 2 implicit) while it is the previous choice's usual port.
    void form_edits_data() {
        QTest::addColumn<Connection>("start");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input"); // typed over the field's text, or the choice's index
        QTest::addColumn<qint64>("port");   // the port announced
        Connection plain{QUuid::createUuid(), u"n"_s, u"h"_s, 21, u"u"_s, u"p"_s, false};
        plain.passwordInKeyring = true;
        Connection implicit = plain;
        implicit.port = 990;
        implicit.useTLS = true;
        Connection ownPort = plain;
        ownPort.port = 2121;
        for (const char* field : {"nameField", "hostField", "usernameField", "passwordField"})
            QTest::newRow(field) << plain << QString::fromLatin1(field) << u"x:"_s << 21LL;
        QTest::newRow("encoding") << plain << u"encodingChoice"_s << u"2"_s << 21LL;
        QTest::newRow("port typed with grouping") << plain << u"portField"_s << u"2,121"_s << 2121LL;
        QTest::newRow("letters are no port") << plain << u"portField"_s << u"abc"_s << 0LL;
        QTest::newRow("above 65535 is kept as typed") << plain << u"portField"_s << u"70000"_s << 70000LL;
        QTest::newRow("21 becomes 990 for implicit TLS") << plain << u"securityChoice"_s << u"2"_s << 990LL;
        QTest::newRow("990 becomes 21 for explicit TLS") << implicit << u"securityChoice"_s << u"1"_s << 21LL;
        QTest::newRow("990 becomes 21 for plain FTP") << implicit << u"securityChoice"_s << u"0"_s << 21LL;
        QTest::newRow("a port of the user's own stays") << ownPort << u"securityChoice"_s << u"2"_s << 2121LL;
    }
    void form_edits() {
        QFETCH(Connection, start);
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(qint64, port);
        Connection expected = start;
        expected.port = port;
        if (field == u"securityChoice") {
            expected.useTLS = input != u"0";
            expected.tlsMode = input == u"1" ? Connection::TlsMode::explicitTLS : start.tlsMode;
        } else if (field == u"encodingChoice") {
            expected.textEncoding = servertext::offeredEncodings().at(input.toInt());
        } else if (field != u"portField") {
            (field == u"nameField"       ? expected.name
             : field == u"hostField"     ? expected.host
             : field == u"usernameField" ? expected.username
                                         : expected.password) = input;
            expected.passwordInKeyring = field != u"passwordField";
        }

        ConnectionFormView form;
        Connection record = start;
        connect(&form, &ConnectionFormView::connectionEdited, &form, [&](const Connection& edited) {
            record = edited;
            form.setConnection(record); // the owner writes every edit back
        });
        form.setConnection(record);
        QCOMPARE(form.findChild<QComboBox*>(u"securityChoice"_s)->currentIndex(), start.useTLS ? 2 : 0);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        if (auto* choice = form.findChild<QComboBox*>(field)) {
            choice->setCurrentIndex(input.toInt());
            Q_EMIT choice->activated(input.toInt());
        } else {
            auto* edit = form.findChild<QLineEdit*>(field);
            edit->setFocus();
            QTRY_VERIFY(edit->hasFocus());
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Backspace);
            QTest::keyClicks(edit, input);
            QCOMPARE(edit->text(), input); // not regrouped under the cursor
        }
        QCOMPARE(record, expected);
        form.findChild<QLineEdit*>(u"nameField"_s)->setFocus();
        QTRY_COMPARE(form.findChild<QLineEdit*>(u"portField"_s)->text(), QLocale().toString(port));
    }

    // In a main window (no dialog hands out Return and Escape): Return and Enter save only while Save is
    // enabled; Escape cancels.
    void form_keys() {
        QMainWindow window;
        auto* form = new ConnectionFormView;
        window.setCentralWidget(form);
        QStringList log;
        connect(form, &ConnectionFormView::saveRequested, form, [&] { log << u"save"_s; });
        connect(form, &ConnectionFormView::cancelRequested, form, [&] { log << u"cancel"_s; });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* port = form->findChild<QLineEdit*>(u"portField"_s);
        port->setFocus();
        QTRY_VERIFY(port->hasFocus());
        for (const bool saveEnabled : {false, true}) {
            form->setSaveEnabled(saveEnabled);
            for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(port, key);
        }
        QCOMPARE(log, (QStringList{u"cancel"_s, u"save"_s, u"save"_s, u"cancel"_s}));
    }
};

QTEST_MAIN(WidgetsTest)
#include "tst_widgets.moc"
