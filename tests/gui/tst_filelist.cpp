// The file list on its own, with real widgets on the offscreen platform: the desktop habits driven by real
// keys, clicks and drops, observed through what the list announces. The flows behind the announcements are
// tested without widgets (tests/session).
#include "MemoryDefaultsStore.h"
#include "ui/panels/FileListModel.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/FileTableModel.h"
#include "ui/panels/Icons.h"
#include "ui/panels/PathBar.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;
using Mode = FileListView::Mode;

namespace {

RemoteFile entry(const QString& name, bool isDirectory, std::optional<qint64> size = {}, int month = 0) {
    RemoteFile file;
    file.id = QUuid::createUuid();
    file.name = name;
    file.path = u"/data/"_s + name;
    file.isDirectory = isDirectory;
    file.size = size;
    if (month)
        file.modified = QDateTime(QDate(2024, month, 1), QTime(12, 0));
    return file;
}

// In the listing's order (folders first, by name). "link" is a link, "twice" an entry whose exact name the
// listing does not tell, "fav" a favorite folder.
QList<RemoteFile> listing() {
    RemoteFile link = entry(u"link"_s, false);
    link.isLink = true;
    link.linkTarget = u"/srv/docs"_s;
    RemoteFile twice = entry(u"twice"_s, false, 200);
    twice.isAmbiguous = true;
    return {entry(u"dir"_s, true, 4096, 3),
            entry(u"fav"_s, true, {}, 1),
            entry(u"a.txt"_s, false, 300, 2),
            entry(u"b.txt"_s, false, 100, 4),
            link,
            twice};
}

QString names(const QList<RemoteFile>& files) {
    QStringList result;
    for (const RemoteFile& file : files)
        result << file.name;
    return result.join(u',');
}

// A shown list whose every announcement is logged as the user would describe it ("open dir", "up").
struct ShownList {
    MemoryDefaultsStore store;
    FileListView view;
    QStringList log;

    explicit ShownList(const QList<RemoteFile>& files = listing(), Mode mode = Mode::list) {
        view.usePreferences(store);
        view.setMode(mode);
        view.setCurrentPath(u"/data/"_s, true);
        view.setFiles(files);
        view.setFavoriteTest([](const RemoteFile& file) { return file.name == u"fav"; });
        const auto note = [this](const QString& what) {
            return [this, what](const auto&... args) { log << (what + ... + (u' ' + text(args))).trimmed(); };
        };
        QObject::connect(&view, &FileListView::folderSelected, &view, note(u"open"_s));
        QObject::connect(&view, &FileListView::navigateUpRequested, &view, note(u"up"_s));
        QObject::connect(&view, &FileListView::refreshRequested, &view, note(u"refresh"_s));
        QObject::connect(&view, &FileListView::deleteRequested, &view, note(u"delete"_s));
        QObject::connect(&view, &FileListView::downloadRequested, &view, note(u"download"_s));
        QObject::connect(&view, &FileListView::renameRequested, &view, note(u"rename"_s));
        QObject::connect(&view, &FileListView::addFavoriteRequested, &view, note(u"favorite"_s));
        QObject::connect(&view, &FileListView::removeFavoriteRequested, &view, note(u"unfavorite"_s));
        QObject::connect(&view, &FileListView::filesDropped, &view, note(u"drop"_s));
        view.resize(500, 500);
        view.show();
        QApplication::setActiveWindow(&view);
        view.currentView()->setFocus();
    }
    static QString text(const RemoteFile& file) { return file.name; }
    static QString text(const QList<RemoteFile>& files) { return names(files); }
    static QString text(const QString& typed) { return typed; }
    static QString text(const QList<QUrl>& urls) { return QString::number(urls.size()) + u" files"_s; }

    QAbstractItemView* list() const { return view.currentView(); }
    QPoint pointOf(const QString& name) const {
        const QModelIndexList found =
            list()->model()->match(list()->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        return found.isEmpty() ? QPoint(-1, -1) : list()->visualRect(found.first()).center();
    }
    // "click:a.txt ctrl:dir shift:b.txt double:dir", one gesture after the other ("_" for a space).
    void gestures(const QString& script) {
        for (const QString& step : script.split(u' ', Qt::SkipEmptyParts)) {
            const QString how = step.section(u':', 0, 0);
            const QPoint at = pointOf(step.section(u':', 1).replace(u'_', u' '));
            QWidget* viewport = list()->viewport();
            if (how == u"double") {
                QTest::mouseClick(viewport, Qt::LeftButton, {}, at); // a double click starts as a click
                QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
            } else {
                QTest::mouseClick(viewport, Qt::LeftButton,
                                  how == u"ctrl"    ? Qt::ControlModifier
                                  : how == u"shift" ? Qt::ShiftModifier
                                                    : Qt::NoModifier,
                                  at);
            }
        }
    }
};

} // namespace

class FileListTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(u"en_US"_s));
        setUpIconTheme();
    }

    // No heading over an empty group, and over an empty folder a note instead of headings.
    void headings_data() {
        QTest::addColumn<QList<RemoteFile>>("files");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("note");
        const RemoteFile file = entry(u"z.txt"_s, false, 1'500'000, 2);
        QTest::newRow("both groups") << QList<RemoteFile>{entry(u"d"_s, true), file}
                                     << QStringList{u"Parent folder"_s, u"Folders"_s, u"d"_s, u"Files"_s,
                                                    u"z.txt"_s}
                                     << false;
        QTest::newRow("files only") << QList<RemoteFile>{file}
                                    << QStringList{u"Parent folder"_s, u"Files"_s, u"z.txt"_s} << false;
        QTest::newRow("empty folder") << QList<RemoteFile>{} << QStringList{u"Parent folder"_s} << true;
    }
    void headings() {
        QFETCH(QList<RemoteFile>, files);
        QFETCH(QStringList, rows);
        QFETCH(bool, note);
        ShownList shown(files);
        QAbstractItemModelTester tester(shown.view.model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester tableTester(shown.view.tableModel(),
                                             QAbstractItemModelTester::FailureReportingMode::QtTest);
        QStringList shownRows;
        for (int row = 0; row < shown.view.model()->rowCount(); ++row)
            shownRows << shown.view.model()->index(row).data().toString();
        QCOMPARE(shownRows, rows);
        auto* emptyNote = shown.view.findChild<QLabel*>(u"emptyFolderNote"_s);
        QTRY_COMPARE(emptyNote->isVisible(), note);
        shown.view.setLoading(true); // only the loading sign
        QVERIFY(!shown.list()->isVisible() && !emptyNote->isVisible());
        shown.view.setLoading(false);
        shown.view.setListingFailed(true); // no entries, but not known to be empty
        QVERIFY(shown.list()->isVisible() && !emptyNote->isVisible());
    }

    void mouse_data() {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("a click selects a file")
            << Mode::list << u"click:a.txt"_s << u"a.txt"_s << QStringList{};
        QTest::newRow("Ctrl adds") << Mode::list << u"click:a.txt ctrl:dir"_s << u"dir,a.txt"_s
                                   << QStringList{};
        QTest::newRow("Shift spans") << Mode::list << u"click:fav shift:b.txt"_s << u"fav,a.txt,b.txt"_s
                                     << QStringList{};
        QTest::newRow("a heading is not selected")
            << Mode::list << u"click:Files"_s << QString() << QStringList{};
        QTest::newRow("double click opens a folder")
            << Mode::list << u"double:dir"_s << u"dir"_s << QStringList{u"open dir"_s};
        QTest::newRow("double click on the parent row")
            << Mode::list << u"double:Parent_folder"_s << QString() << QStringList{u"up"_s};
        QTest::newRow("double click on a file")
            << Mode::list << u"double:a.txt"_s << u"a.txt"_s << QStringList{};
        QTest::newRow("details: Ctrl adds")
            << Mode::details << u"click:b.txt ctrl:fav"_s << u"fav,b.txt"_s << QStringList{};
        QTest::newRow("details: double click opens a link")
            << Mode::details << u"double:link"_s << u"link"_s << QStringList{u"open link"_s};
    }
    void mouse() {
        QFETCH(Mode, mode);
        QFETCH(QString, script);
        QFETCH(QString, selected);
        QFETCH(QStringList, log);
        ShownList shown(listing(), mode);
        QVERIFY(QTest::qWaitForWindowActive(&shown.view));
        shown.gestures(script);
        QCOMPARE(names(shown.view.selectedEntries()), selected);
        QCOMPARE(shown.log, log);
    }

    void keys_data() {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("log");
        const auto key = [](Qt::Key k, Qt::KeyboardModifiers modifiers = {}) {
            return QKeyCombination(modifiers, k).toCombined();
        };
        QTest::newRow("Return opens a folder")
            << Mode::list << u"click:dir"_s << key(Qt::Key_Return) << QStringList{u"open dir"_s};
        QTest::newRow("Enter opens a link")
            << Mode::details << u"click:link"_s << key(Qt::Key_Enter) << QStringList{u"open link"_s};
        QTest::newRow("Return on a file")
            << Mode::list << u"click:a.txt"_s << key(Qt::Key_Return) << QStringList{};
        QTest::newRow("Backspace goes up")
            << Mode::list << QString() << key(Qt::Key_Backspace) << QStringList{u"up"_s};
        QTest::newRow("Alt+Up goes up")
            << Mode::details << QString() << key(Qt::Key_Up, Qt::AltModifier) << QStringList{u"up"_s};
        QTest::newRow("F5 reloads") << Mode::list << QString() << key(Qt::Key_F5)
                                    << QStringList{u"refresh"_s};
        QTest::newRow("Ctrl+R reloads")
            << Mode::details << QString() << key(Qt::Key_R, Qt::ControlModifier) << QStringList{u"refresh"_s};
        QTest::newRow("Delete deletes the selection")
            << Mode::list << u"click:a.txt ctrl:dir"_s << key(Qt::Key_Delete)
            << QStringList{u"delete dir,a.txt"_s};
        QTest::newRow("Ctrl+A selects all; an unsure entry stops Delete")
            << Mode::details << u"click:dir"_s << key(Qt::Key_A, Qt::ControlModifier) << QStringList{};
        QTest::newRow("details: Delete")
            << Mode::details << u"click:b.txt"_s << key(Qt::Key_Delete) << QStringList{u"delete b.txt"_s};
    }
    void keys() {
        QFETCH(Mode, mode);
        QFETCH(QString, script);
        QFETCH(int, key);
        QFETCH(QStringList, log);
        ShownList shown(listing(), mode);
        QVERIFY(QTest::qWaitForWindowActive(&shown.view));
        QTRY_VERIFY(shown.list()->hasFocus());
        shown.gestures(script);
        const QKeyCombination pressed = QKeyCombination::fromCombined(key);
        QTest::keyClick(shown.list(), pressed.key(), pressed.keyboardModifiers());
        if (pressed.key() == Qt::Key_A) {
            QCOMPARE(shown.view.selectedEntries().size(), listing().size());
            QTest::keyClick(shown.list(), Qt::Key_Delete);
        }
        QCOMPARE(shown.log, log);
    }

    // Rename edits the name in place (never an entry the listing is unsure of): Return asks for it, Escape
    // keeps the name, Backspace edits the text rather than going up.
    void rename_data() {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<Qt::Key>("end");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("list, Return") << Mode::list << Qt::Key_Return << QStringList{u"rename a.txt c.txt"_s};
        QTest::newRow("details, Return")
            << Mode::details << Qt::Key_Return << QStringList{u"rename a.txt c.txt"_s};
        QTest::newRow("Escape") << Mode::list << Qt::Key_Escape << QStringList{};
    }
    void rename() {
        QFETCH(Mode, mode);
        QFETCH(Qt::Key, end);
        QFETCH(QStringList, log);
        ShownList shown(listing(), mode);
        QVERIFY(QTest::qWaitForWindowActive(&shown.view));
        shown.gestures(u"click:twice"_s);
        QTest::keyClick(shown.list(), Qt::Key_F2);
        QVERIFY(!shown.view.actions().action(FileListActions::Act::rename)->isEnabled());
        QVERIFY(!qobject_cast<QLineEdit*>(QApplication::focusWidget()));
        shown.gestures(u"click:a.txt"_s);
        QTest::keyClick(shown.list(), Qt::Key_F2);
        QLineEdit* editor = nullptr;
        QTRY_VERIFY((editor = qobject_cast<QLineEdit*>(QApplication::focusWidget())));
        QCOMPARE(editor->selectedText(), u"a"_s); // the name without its extension
        QTest::keyClicks(editor, u"cc"_s);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClick(editor, end);
        QTRY_VERIFY(!qobject_cast<QLineEdit*>(QApplication::focusWidget())); // closed, Return's commit done
        QCOMPARE(shown.log, log);
    }

    // The menu acts on the selection, offers what applies to it, and keeps acting on the entries it was
    // opened for when the listing changes under it.
    void contextMenu_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("a folder") << QString() << u"dir"_s
                                  << QStringList{u"Download"_s, u"Rename"_s, u"Add to favorites"_s,
                                                 u"Delete"_s}
                                  << QStringList{u"download dir"_s, u"favorite dir"_s, u"delete dir"_s};
        QTest::newRow("a favorite folder")
            << QString() << u"fav"_s
            << QStringList{u"Download"_s, u"Rename"_s, u"Remove from favorites"_s, u"Delete"_s}
            << QStringList{u"download fav"_s, u"unfavorite fav"_s, u"delete fav"_s};
        QTest::newRow("outside the selection: that entry alone")
            << u"click:a.txt"_s << u"b.txt"_s << QStringList{u"Download"_s, u"Rename"_s, u"Delete"_s}
            << QStringList{u"download b.txt"_s, u"delete b.txt"_s};
        QTest::newRow("within the selection")
            << u"click:a.txt ctrl:b.txt"_s << u"b.txt"_s << QStringList{u"Download"_s, u"Delete"_s}
            << QStringList{u"download a.txt,b.txt"_s, u"delete a.txt,b.txt"_s};
        QTest::newRow("an unsure entry: nothing enabled")
            << QString() << u"twice"_s << QStringList{u"(Download)"_s, u"(Rename)"_s, u"(Delete)"_s}
            << QStringList{};
    }
    void contextMenu() {
        QFETCH(QString, script);
        QFETCH(QString, target);
        QFETCH(QStringList, items);
        QFETCH(QStringList, log);
        ShownList shown;
        QVERIFY(QTest::qWaitForWindowActive(&shown.view));
        shown.gestures(script);
        const QPoint at = shown.pointOf(target);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, shown.list()->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(shown.list()->viewport(), &event);
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())));
        QStringList shownItems;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                shownItems << (action->isEnabled() ? action->text() : u'(' + action->text() + u')');
        }
        QCOMPARE(shownItems, items);
        shown.view.setFiles({}); // the listing changes while the menu is open
        for (QAction* action : menu->actions()) {
            if (action->isEnabled() && action->objectName() != u"renameAction")
                action->trigger();
        }
        menu->close();
        QCOMPARE(shown.log, log);
    }

    void drop_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("local files") << QList<QUrl>{QUrl::fromLocalFile(u"/tmp/a"_s),
                                                    QUrl(u"https://x.org/b"_s),
                                                    QUrl::fromLocalFile(u"/tmp/c"_s)}
                                     << QStringList{u"drop 2 files"_s};
        QTest::newRow("no local file") << QList<QUrl>{QUrl(u"https://x.org/b"_s)} << QStringList{};
    }
    void drop() {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QStringList, log);
        ShownList shown;
        QVERIFY(QTest::qWaitForWindowExposed(&shown.view));
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = shown.pointOf(u"a.txt"_s);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(shown.list()->viewport(), &enter);
        QCOMPARE(enter.isAccepted(), !log.isEmpty());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(shown.list()->viewport(), &drop);
        QCOMPARE(shown.log, log);
    }

    // Clicks on the details headings sort (folders first, names breaking ties); the mode and the sort are
    // the user's, so the next list opens with them.
    void details_sortsAndIsRemembered_data() {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QString>("order");
        QTest::newRow("size") << QList<int>{FileTableModel::SizeColumn}
                              << u"dir,fav,link,b.txt,twice,a.txt"_s;
        QTest::newRow("size, descending")
            << QList<int>{FileTableModel::SizeColumn, FileTableModel::SizeColumn}
            << u"dir,fav,a.txt,twice,b.txt,link"_s;
        QTest::newRow("date") << QList<int>{FileTableModel::ModifiedColumn}
                              << u"fav,dir,link,twice,a.txt,b.txt"_s;
        QTest::newRow("name, descending")
            << QList<int>{FileTableModel::NameColumn} << u"fav,dir,twice,link,b.txt,a.txt"_s;
    }
    void details_sortsAndIsRemembered() {
        QFETCH(QList<int>, clicks);
        QFETCH(QString, order);
        ShownList shown(listing(), Mode::details);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.view));
        shown.gestures(u"click:a.txt"_s);
        QHeaderView* header = shown.view.detailsView()->header();
        for (const int column : clicks)
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 8, header->height() / 2));
        const auto shownOrder = [](QAbstractItemModel* model) {
            QStringList rows;
            for (int row = 0; row < model->rowCount(); ++row) {
                if (const QVariant file = model->index(row, 0).data(remoteFileRole); file.isValid())
                    rows << file.value<RemoteFile>().name;
            }
            return rows.join(u',');
        };
        QCOMPARE(shownOrder(shown.view.tableModel()), order);
        QCOMPARE(names(shown.view.selectedEntries()), u"a.txt"_s); // the selection stays on its entry

        FileListView next;
        next.usePreferences(shown.store);
        next.setFiles(listing());
        QCOMPARE(next.mode(), Mode::details);
        QCOMPARE(next.sort(), shown.view.sort());
        next.setMode(Mode::list); // the plain list shows the same order
        QCOMPARE(shownOrder(next.model()), order);
    }

    // Ctrl+L turns the path into a field; Enter asks for what was typed, Escape puts the path back; the
    // keyboard returns to where it was either way.
    void pathBar_data() {
        QTest::addColumn<Qt::Key>("end");
        QTest::addColumn<QStringList>("entered");
        QTest::newRow("Enter") << Qt::Key_Enter << QStringList{u"/data/x/../y"_s};
        QTest::newRow("Escape") << Qt::Key_Escape << QStringList{};
    }
    void pathBar() {
        QFETCH(Qt::Key, end);
        QFETCH(QStringList, entered);
        QWidget window;
        auto* bar = new PathBar(&window);
        auto* elsewhere = new QLineEdit(&window);
        bar->setPath(u"data/"_s, {});
        QCOMPARE(bar->shownPath(), u"/data/"_s);
        QStringList asked;
        connect(bar, &PathBar::pathEntered, bar, [&](const QString& typed) { asked << typed; });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        elsewhere->setFocus();
        QTest::keyClick(elsewhere, Qt::Key_L, Qt::ControlModifier);
        auto* field = bar->findChild<QLineEdit*>(u"headerPathField"_s);
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClick(field, Qt::Key_End);
        QTest::keyClicks(field, u"x/../y"_s);
        QTest::keyClick(field, end);
        QCOMPARE(asked, entered);
        QVERIFY(!bar->isEditing());
        QCOMPARE(field->text(), u"/data/"_s);
        QTRY_VERIFY(elsewhere->hasFocus());
    }
};

QTEST_MAIN(FileListTest)
#include "tst_filelist.moc"
