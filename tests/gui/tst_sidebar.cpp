#include "app/AppNotifications.h"
#include "model/DefaultsStore.h"
#include "model/FavoritesManager.h"
#include "ui/panels/FavoritesSidebarView.h"
#include "ui/panels/Icons.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

Connection makeConnection(const QString& name, const QString& host, qint64 port = 21) {
    Connection connection = Connection::makeNew();
    connection.name = name;
    connection.host = host;
    connection.port = port;
    return connection;
}

// A sidebar over a real store, recording what it hands to its owner.
struct Sidebar {
    MemoryDefaultsStore store;
    FavoritesManager manager{store};
    std::unique_ptr<FavoritesSidebarView> view;
    QList<Favorite> favoritesOpened;
    QList<Connection> connectionsOpened;
    int addServerClicks = 0;

    void build() {
        view = std::make_unique<FavoritesSidebarView>(manager);
        view->onSelectAddServer = [this] { ++addServerClicks; };
        view->onSelectFavorite = [this](const Favorite& favorite) { favoritesOpened.append(favorite); };
        view->onSelectConnection = [this](const Connection& connection) {
            connectionsOpened.append(connection);
        };
        view->resize(240, 480);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    QListWidget* list() const { return view->list(); }

    // Each row as "<kind>:<text>", top to bottom.
    QStringList rows() const {
        static const char* const kinds[] = {"add", "header", "favorite", "connection"};
        QStringList result;
        for (int i = 0; i < list()->count(); ++i) {
            const int kind = list()->item(i)->data(FavoritesSidebarView::rowKindRole).toInt();
            result.append(QString::fromLatin1(kinds[kind]) + u':' + list()->item(i)->text());
        }
        return result;
    }

    int rowOf(const QString& text) const {
        for (int i = 0; i < list()->count(); ++i) {
            if (list()->item(i)->text() == text)
                return i;
        }
        qFatal("no row %s", qPrintable(text));
    }

    QPoint centerOf(const QString& text) const {
        return list()->visualItemRect(list()->item(rowOf(text))).center();
    }

    void click(const QString& text) {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, centerOf(text));
    }

    // Chooses the named item of the menu the row offers.
    void trigger(const QString& row, const QString& action) {
        std::unique_ptr<QMenu> menu(view->contextMenuForRow(rowOf(row)));
        QVERIFY(menu);
        const QList<QAction*> actions = menu->actions();
        auto it =
            std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == action; });
        QVERIFY2(it != actions.end(), qPrintable(action));
        (*it)->trigger();
    }
};

// The colour of the most opaque pixel of an icon.
QColor iconColor(const QIcon& icon) {
    const QImage image = icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
    QColor best;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!best.isValid() || image.pixelColor(x, y).alpha() > best.alpha())
                best = image.pixelColor(x, y);
        }
    }
    best.setAlpha(255);
    return best;
}

} // namespace

class SidebarTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { setUpIconTheme(); }

    void emptyStore_showsAddServerAndBothHeaders() {
        Sidebar sidebar;
        sidebar.build();
        QCOMPARE(sidebar.rows(),
                 (QStringList{u"add:Add Server"_s, u"header:Favorites"_s, u"header:Connections"_s}));
        for (int row = 0; row < 3; ++row)
            QVERIFY(!sidebar.view->contextMenuForRow(row));
    }

    void rows_followStoreOrderAndSkipOrphanFavorites() {
        Sidebar sidebar;
        const Connection work = makeConnection(u"Work"_s, u"ftp.work.example"_s);
        const Connection bare = makeConnection(QString(), u"h"_s, 21);
        sidebar.manager.addConnection(work);
        sidebar.manager.addConnection(bare);
        sidebar.manager.addFavorite(bare.id, u"Bare docs"_s, u"/docs"_s);
        sidebar.manager.addFavorite(QUuid::createUuid(), u"Orphan"_s, u"/lost"_s);
        sidebar.manager.addFavorite(work.id, u"Work site"_s, u"/www"_s);
        sidebar.build();

        QCOMPARE(sidebar.rows(),
                 (QStringList{u"add:Add Server"_s, u"header:Favorites"_s, u"favorite:Bare docs"_s,
                              u"favorite:Work site"_s, u"header:Connections"_s, u"connection:Work"_s,
                              u"connection:h:21"_s}));
        QCOMPARE(sidebar.manager.favorites().size(), 3); // the orphan stays in the store
        QCOMPARE(sidebar.list()->item(sidebar.rowOf(u"h:21"_s))->data(FavoritesSidebarView::idRole).toUuid(),
                 bare.id);

        // Later changes to the store show at once.
        Connection renamed = bare;
        renamed.name = u"Bare"_s;
        sidebar.manager.updateConnection(renamed);
        sidebar.manager.addConnection(makeConnection(QString(), u"new.example"_s, 2121));
        QCOMPARE(sidebar.rows().mid(5),
                 (QStringList{u"connection:Work"_s, u"connection:Bare"_s, u"connection:new.example:2121"_s}));
    }

    // A click and the menu's open item make the same single call, and leave no row marked.
    void clickAndMenuOpen_runTheRowsActionOnce() {
        Sidebar sidebar;
        const Connection work = makeConnection(u"Work"_s, u"h"_s);
        sidebar.manager.addConnection(work);
        sidebar.manager.addFavorite(work.id, u"Site"_s, u"/www/"_s);
        sidebar.build();
        const Favorite site = sidebar.manager.favorites().first();

        sidebar.click(u"Add Server"_s);
        QCOMPARE(sidebar.addServerClicks, 1);
        sidebar.click(u"Site"_s);
        QCOMPARE(sidebar.favoritesOpened, QList<Favorite>{site});
        sidebar.trigger(u"Site"_s, u"Connect and open"_s);
        QCOMPARE(sidebar.favoritesOpened, (QList<Favorite>{site, site}));
        sidebar.click(u"Work"_s);
        QCOMPARE(sidebar.connectionsOpened, QList<Connection>{work});
        sidebar.trigger(u"Work"_s, u"Connect"_s);
        QCOMPARE(sidebar.connectionsOpened, (QList<Connection>{work, work}));
        sidebar.click(u"Favorites"_s);
        sidebar.click(u"Connections"_s);

        QCOMPARE(sidebar.addServerClicks, 1);
        QCOMPARE(sidebar.favoritesOpened.size(), 2);
        QCOMPARE(sidebar.connectionsOpened.size(), 2);
        QVERIFY(sidebar.list()->selectedItems().isEmpty());
        QVERIFY(!sidebar.list()->currentIndex().isValid());
        QCOMPARE(sidebar.manager.favorites().size(), 1);
    }

    void contextMenus_haveExactItems_data() {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QStringList>("destructive");
        QTest::newRow("favorite") << u"Site"_s
                                  << QStringList{u"Connect and open"_s, u"Remove from favorites"_s}
                                  << QStringList{u"Remove from favorites"_s};
        QTest::newRow("connection") << u"Work"_s << QStringList{u"Connect"_s, u"Edit"_s, u"Delete"_s}
                                    << QStringList{u"Delete"_s};
    }

    void contextMenus_haveExactItems() {
        QFETCH(QString, row);
        QFETCH(QStringList, items);
        QFETCH(QStringList, destructive);
        Sidebar sidebar;
        const Connection work = makeConnection(u"Work"_s, u"h"_s);
        sidebar.manager.addConnection(work);
        sidebar.manager.addFavorite(work.id, u"Site"_s, u"/www"_s);
        sidebar.build();

        std::unique_ptr<QMenu> menu(sidebar.view->contextMenuForRow(sidebar.rowOf(row)));
        QVERIFY(menu);
        QStringList texts, marked;
        for (const QAction* action : menu->actions()) {
            QVERIFY(!action->isSeparator());
            texts.append(action->text());
            if (action->property("destructive").toBool())
                marked.append(action->text());
        }
        QCOMPARE(texts, items);
        QCOMPARE(marked, destructive);
    }

    void edit_postsOneNotificationWithTheRowsConnection() {
        Sidebar sidebar;
        const Connection other = makeConnection(u"Other"_s, u"o"_s);
        const Connection work = makeConnection(QString(), u"h"_s, 990);
        sidebar.manager.addConnection(other);
        sidebar.manager.addConnection(work);
        sidebar.build();
        const QStringList before = sidebar.rows();
        QSignalSpy edits(&AppNotifications::instance(), &AppNotifications::editConnection);

        sidebar.trigger(u"h:990"_s, u"Edit"_s);

        QCOMPARE(edits.size(), 1);
        const std::optional<Connection> posted = AppNotifications::connectionIn(edits.first().first());
        QVERIFY(posted && *posted == work);
        QCOMPARE(sidebar.rows(), before);
        QCOMPARE(sidebar.manager.connections(), (QList<Connection>{other, work}));
        QVERIFY(sidebar.connectionsOpened.isEmpty());
    }

    // Through a real right click: the menu pops up and its Delete item is chosen.
    void delete_removesConnectionAndItsFavoritesAtOnce() {
        Sidebar sidebar;
        const Connection doomed = makeConnection(u"Doomed"_s, u"d"_s);
        const Connection kept = makeConnection(u"Kept"_s, u"k"_s);
        sidebar.manager.addConnection(doomed);
        sidebar.manager.addConnection(kept);
        sidebar.manager.addFavorite(doomed.id, u"D1"_s, u"/1"_s);
        sidebar.manager.addFavorite(kept.id, u"K1"_s, u"/1"_s);
        sidebar.manager.addFavorite(doomed.id, u"D2"_s, u"/2"_s);
        sidebar.build();

        QStringList seen;
        QTimer::singleShot(0, this, [&seen] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* action : menu->actions())
                seen.append(action->text());
            menu->actions().last()->trigger();
            menu->close();
        });
        const QPoint pos = sidebar.centerOf(u"Doomed"_s);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, sidebar.list()->viewport()->mapToGlobal(pos));
        QCoreApplication::sendEvent(sidebar.list()->viewport(), &event);

        QCOMPARE(seen, (QStringList{u"Connect"_s, u"Edit"_s, u"Delete"_s}));
        QCOMPARE(sidebar.rows(), (QStringList{u"add:Add Server"_s, u"header:Favorites"_s, u"favorite:K1"_s,
                                              u"header:Connections"_s, u"connection:Kept"_s}));
        QCOMPARE(sidebar.manager.connections(), QList<Connection>{kept});
        QCOMPARE(sidebar.manager.favorites().size(), 1);
        QVERIFY(sidebar.connectionsOpened.isEmpty());
    }

    void removeFavorite_removesOnlyThatFavorite() {
        Sidebar sidebar;
        const Connection work = makeConnection(u"Work"_s, u"h"_s);
        sidebar.manager.addConnection(work);
        sidebar.manager.addFavorite(work.id, u"A"_s, u"/a"_s);
        sidebar.manager.addFavorite(work.id, u"B"_s, u"/b"_s);
        sidebar.build();

        sidebar.trigger(u"A"_s, u"Remove from favorites"_s);

        QCOMPARE(sidebar.rows(), (QStringList{u"add:Add Server"_s, u"header:Favorites"_s, u"favorite:B"_s,
                                              u"header:Connections"_s, u"connection:Work"_s}));
        QCOMPARE(sidebar.manager.favorites().size(), 1);
        QVERIFY(sidebar.favoritesOpened.isEmpty());
    }

    void addServer_takesAccentWhileFormShown() {
        Sidebar sidebar;
        const Connection work = makeConnection(u"Work"_s, u"h"_s);
        sidebar.manager.addConnection(work);
        sidebar.manager.addFavorite(work.id, u"Site"_s, u"/"_s);
        sidebar.build();
        QPalette palette = QApplication::palette();
        const QColor accent(0x12, 0x7a, 0xe0);
        const QColor primary(0x20, 0x20, 0x20);
        palette.setColor(QPalette::Highlight, accent);
        palette.setColor(QPalette::Text, primary);
        sidebar.view->setPalette(palette);

        for (const bool shown : {false, true, false}) {
            sidebar.view->setShowConnectionForm(shown);
            const QListWidgetItem* addServer = sidebar.list()->item(0);
            QCOMPARE(addServer->foreground().color(), shown ? accent : primary);
            QCOMPARE(iconColor(addServer->icon()), shown ? accent : primary);
            const QListWidgetItem* favorite = sidebar.list()->item(sidebar.rowOf(u"Site"_s));
            QCOMPARE(favorite->foreground().color(), primary);
            QCOMPARE(iconColor(favorite->icon()), primary);
        }
    }
};

QTEST_MAIN(SidebarTest)
#include "tst_sidebar.moc"
