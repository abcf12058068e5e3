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
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Connection makeConnection(const QString& name, const QString& host) {
    Connection connection = Connection::makeNew();
    connection.name = name;
    connection.host = host;
    return connection;
}

} // namespace

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
        const Connection work = makeConnection(u"Work"_s, u"w"_s);
        const Connection bare = makeConnection(QString(), u"h"_s);
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
        QCOMPARE(addServer.size(), 1);
        QCOMPARE(favorite.size(), 1);
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

    void form_port_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("port");
        QTest::addColumn<QString>("shown");
        QTest::newRow("grouped on leaving") << u"2121"_s << 2121LL << u"2,121"_s;
        QTest::newRow("typed with grouping") << u"2,121"_s << 2121LL << u"2,121"_s;
        QTest::newRow("letters are no port") << u"abc"_s << 0LL << u"0"_s;
        QTest::newRow("emptied is no port") << QString() << 0LL << u"0"_s;
        QTest::newRow("above 65535 is kept as typed") << u"70000"_s << 70000LL << u"70,000"_s;
    }
    void form_port() {
        QFETCH(QString, typed);
        QFETCH(qint64, port);
        QFETCH(QString, shown);
        ConnectionFormView form;
        Connection record = Connection::makeNew();
        connect(&form, &ConnectionFormView::connectionEdited, &form, [&](const Connection& edited) {
            record = edited;
            form.setConnection(record); // the owner writes every edit back
        });
        form.setConnection(record);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto* field = form.findChild<QLineEdit*>(u"portField"_s);
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, typed);
        QCOMPARE(field->text(), typed); // not regrouped under the cursor
        QCOMPARE(record.port, port);
        form.findChild<QLineEdit*>(u"hostField"_s)->setFocus();
        QTRY_COMPARE(field->text(), shown);
    }

    void form_textEditsWriteTheWholeRecord_data() {
        QTest::addColumn<QString>("field");
        for (const char* name :
             {"nameField", "hostField", "usernameField", "passwordField", "encodingChoice"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void form_textEditsWriteTheWholeRecord() {
        QFETCH(QString, field);
        ConnectionFormView form;
        Connection start{QUuid::createUuid(), u"n"_s, u"h"_s, 990, u"u"_s, u"p"_s, false};
        start.passwordInKeyring = true;
        form.setConnection(start);
        QSignalSpy edits(&form, &ConnectionFormView::connectionEdited);
        Connection expected = start;
        if (field == u"encodingChoice") {
            auto* choice = form.findChild<QComboBox*>(field);
            choice->setCurrentIndex(2);
            Q_EMIT choice->activated(2);
            expected.textEncoding = servertext::offeredEncodings().at(2);
        } else {
            // A typed password replaces the one in the keyring.
            expected.passwordInKeyring = field != u"passwordField";
            QTest::keyClicks(form.findChild<QLineEdit*>(field), u"x:"_s);
            (field == u"nameField"       ? expected.name
             : field == u"hostField"     ? expected.host
             : field == u"usernameField" ? expected.username
                                         : expected.password) += u"x:"_s;
        }
        QVERIFY(!edits.isEmpty());
        QCOMPARE(edits.last().first().value<Connection>(), expected);
    }

    // The port follows the security choice while it is the previous choice's usual port.
    void form_securityChoice_data() {
        QTest::addColumn<int>("fromChoice"); // 0 none, 1 explicit TLS, 2 implicit TLS
        QTest::addColumn<qint64>("fromPort");
        QTest::addColumn<int>("choice");
        QTest::addColumn<qint64>("port");
        QTest::newRow("21 becomes 990 for implicit TLS") << 0 << 21LL << 2 << 990LL;
        QTest::newRow("990 becomes 21 for explicit TLS") << 2 << 990LL << 1 << 21LL;
        QTest::newRow("990 becomes 21 for plain FTP") << 2 << 990LL << 0 << 21LL;
        QTest::newRow("21 stays for explicit TLS") << 0 << 21LL << 1 << 21LL;
        QTest::newRow("a port of the user's own stays") << 0 << 2121LL << 2 << 2121LL;
    }
    void form_securityChoice() {
        QFETCH(int, fromChoice);
        QFETCH(qint64, fromPort);
        QFETCH(int, choice);
        QFETCH(qint64, port);
        const auto mode = [](int index) {
            return index == 1 ? Connection::TlsMode::explicitTLS : Connection::TlsMode::implicit;
        };
        Connection record = Connection::makeNew();
        record.port = fromPort;
        record.useTLS = fromChoice != 0;
        record.tlsMode = mode(fromChoice);
        ConnectionFormView form;
        form.setConnection(record);
        auto* security = form.findChild<QComboBox*>(u"securityChoice"_s);
        QCOMPARE(security->currentIndex(), fromChoice);
        QSignalSpy edits(&form, &ConnectionFormView::connectionEdited);
        security->setCurrentIndex(choice);
        Q_EMIT security->activated(choice);
        const auto edited = edits.last().first().value<Connection>();
        QCOMPARE(edited.useTLS, choice != 0);
        if (choice != 0)
            QCOMPARE(edited.tlsMode, mode(choice));
        QCOMPARE(edited.port, port);
        QCOMPARE(form.findChild<QLineEdit*>(u"portField"_s)->text(), QLocale().toString(port));
    }

    // In a main window (no dialog hands out Return and Escape): Return saves only while Save is enabled.
    void form_keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("saveEnabled");
        QTest::addColumn<int>("saves");
        QTest::addColumn<int>("cancels");
        QTest::newRow("Return saves") << int(Qt::Key_Return) << true << 1 << 0;
        QTest::newRow("Enter saves") << int(Qt::Key_Enter) << true << 1 << 0;
        QTest::newRow("Return with Save disabled") << int(Qt::Key_Return) << false << 0 << 0;
        QTest::newRow("Escape cancels") << int(Qt::Key_Escape) << false << 0 << 1;
    }
    void form_keys() {
        QFETCH(int, key);
        QFETCH(bool, saveEnabled);
        QFETCH(int, saves);
        QFETCH(int, cancels);
        QMainWindow window;
        auto* form = new ConnectionFormView;
        window.setCentralWidget(form);
        form->setSaveEnabled(saveEnabled);
        QSignalSpy saved(form, &ConnectionFormView::saveRequested);
        QSignalSpy cancelled(form, &ConnectionFormView::cancelRequested);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* port = form->findChild<QLineEdit*>(u"portField"_s);
        port->setFocus();
        QTRY_VERIFY(port->hasFocus());
        QTest::keyClick(port, Qt::Key(key));
        QCOMPARE(saved.size(), saves);
        QCOMPARE(cancelled.size(), cancels);
        QCOMPARE(form->findChild<QPushButton*>(u"saveButton"_s)->isEnabled(), saveEnabled);
    }
};

QTEST_MAIN(WidgetsTest)
#include "tst_widgets.moc"
