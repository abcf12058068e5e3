// The file list on its own, with real widgets on the offscreen platform: the desktop habits driven by real
// keys, clicks and drops, observed through what the list announces. The flows behind the announcements are
// tested without widgets (tests/session).
#include "SessionHarness.h"
#include "ui/panels/FileListModel.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/FileTableModel.h"
#include "ui/panels/Icons.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
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
    return entryNames(files).join(u',');
}

// The rows' text, or with files only the names of the entries, in the order shown.
QString rowsOf(const QAbstractItemModel* model, bool filesOnly = false) {
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (const QVariant file = model->index(row, 0).data(remoteFileRole); file.isValid() || !filesOnly)
            rows << model->index(row, 0).data().toString();
    }
    return rows.join(u',');
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
    static bool editing() { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }

    // One gesture after the other: "click:a.txt ctrl:dir shift:b.txt double:dir" on rows ("_" for a space),
    // "key:Ctrl+R" and "type:text" to the focused widget, "drop:/tmp/a,https://x.org/b" on the list (a drag
    // the list turns away is logged as "no drop"), "menu:dir" to right-click, empty the listing under the
    // open menu and take every enabled item (logging "rename" for an edit in place, of a row no longer
    // there).
    void gestures(const QString& script) {
        QWidget* viewport = list()->viewport();
        for (const QString& step : script.split(u' ', Qt::SkipEmptyParts)) {
            const QString how = step.section(u':', 0, 0);
            const QString what = step.section(u':', 1).replace(u'_', u' ');
            if (how == u"key") {
                const QKeyCombination key = QKeySequence::fromString(what)[0];
                QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
            } else if (how == u"type") {
                QTest::keyClicks(QApplication::focusWidget(), what);
            } else if (how == u"drop") {
                QList<QUrl> urls;
                for (const QString& url : what.split(u','))
                    urls << QUrl::fromUserInput(url);
                QMimeData data;
                data.setUrls(urls);
                const QPoint at = viewport->rect().center();
                QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
                QCoreApplication::sendEvent(viewport, &enter);
                if (!enter.isAccepted())
                    log << u"no drop"_s;
                QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
                QCoreApplication::sendEvent(viewport, &drop);
            } else if (how == u"menu") {
                const QPoint at = pointOf(what);
                QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
                QCoreApplication::sendEvent(viewport, &event);
                QMenu* menu = nullptr;
                QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())));
                view.setFiles({});
                for (QAction* action : menu->actions()) {
                    if (action->isEnabled() && action->objectName() == u"renameAction")
                        log << u"rename"_s;
                    else if (action->isEnabled())
                        action->trigger();
                }
                menu->close();
            } else if (how == u"double") {
                QTest::mouseClick(viewport, Qt::LeftButton, {}, pointOf(what)); // a double click starts so
                QTest::mouseDClick(viewport, Qt::LeftButton, {}, pointOf(what));
            } else {
                const auto modifiers = how == u"ctrl"    ? Qt::ControlModifier
                                       : how == u"shift" ? Qt::ShiftModifier
                                                         : Qt::NoModifier;
                QTest::mouseClick(viewport, Qt::LeftButton, modifiers, pointOf(what));
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
        QTest::addColumn<QString>("rows");
        const RemoteFile file = entry(u"z.txt"_s, false, 1'500'000, 2);
        QTest::newRow("both groups") << QList<RemoteFile>{entry(u"d"_s, true), file}
                                     << u"Parent folder,Folders,d,Files,z.txt"_s;
        QTest::newRow("files only") << QList<RemoteFile>{file} << u"Parent folder,Files,z.txt"_s;
        QTest::newRow("empty folder") << QList<RemoteFile>{} << u"Parent folder"_s;
    }
    void headings() {
        QFETCH(QList<RemoteFile>, files);
        QFETCH(QString, rows);
        ShownList shown(files);
        QAbstractItemModelTester tester(shown.view.model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester tableTester(shown.view.tableModel(),
                                             QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(rowsOf(shown.view.model()), rows);
        QVERIFY(!shown.view.model()->fileAt(shown.view.model()->rowCount())); // one past the last row
        auto* emptyNote = shown.view.findChild<QLabel*>(u"emptyFolderNote"_s);
        QTRY_COMPARE(emptyNote->isVisible(), files.isEmpty());
        shown.view.setLoading(true); // only the loading sign
        QVERIFY(!shown.list()->isVisible() && !emptyNote->isVisible());
        shown.view.setLoading(false);
        shown.view.setListingFailed(true); // no entries, but not known to be empty
        QVERIFY(shown.list()->isVisible() && !emptyNote->isVisible());
    }

    // Mouse, keys, in-place rename and drops: what ends selected, and what the list asked for.
    void gestures_data() {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("log");
        const auto row = [](const char* name, Mode mode, const QString& script, const QString& selected,
                            const QStringList& log) {
            QTest::newRow(name) << mode << script << selected << log;
        };
        row("Shift spans", Mode::list, u"click:fav shift:b.txt"_s, u"fav,a.txt,b.txt"_s, {});
        row("a heading is not selected", Mode::list, u"click:Files"_s, {}, {});
        row("double click opens a folder", Mode::list, u"double:dir"_s, u"dir"_s, {u"open dir"_s});
        row("double click on the parent row", Mode::list, u"double:Parent_folder"_s, {}, {u"up"_s});
        row("details: double click opens a link", Mode::details, u"double:link"_s, u"link"_s,
            {u"open link"_s});
        row("Return on a file", Mode::list, u"click:a.txt key:Return"_s, u"a.txt"_s, {});
        row("Alt+Up goes up", Mode::details, u"key:Alt+Up"_s, {}, {u"up"_s});
        row("Ctrl+R reloads", Mode::details, u"key:Ctrl+R"_s, {}, {u"refresh"_s});
        row("Delete deletes the selection", Mode::list, u"click:a.txt ctrl:dir key:Del"_s, u"dir,a.txt"_s,
            {u"delete dir,a.txt"_s});
        row("Ctrl+A selects all; an unsure entry stops Delete", Mode::details,
            u"click:dir key:Ctrl+A key:Del"_s, names(listing()), {});
        // Rename edits the name without its extension in place (never an entry the listing is unsure of):
        // Return asks for it, Escape keeps the name, Backspace edits the text rather than going up.
        const QString rename =
            u"click:twice key:F2 type:x key:Return click:a.txt key:F2 type:cc key:Backspace"_s;
        row("rename in details", Mode::details, rename + u" key:Return"_s, u"a.txt"_s,
            {u"rename a.txt c.txt"_s});
        row("rename, Escape", Mode::list, rename + u" key:Escape"_s, u"a.txt"_s, {});
        row("drop of local files", Mode::list, u"drop:/tmp/a,https://x.org/b,/tmp/c"_s, {},
            {u"drop 2 files"_s});
        // The menu acts on the selection, offers what applies to it, and keeps acting on the entries it was
        // opened for when the listing changes under it.
        row("menu of a folder", Mode::list, u"menu:dir"_s, {},
            {u"download dir"_s, u"rename"_s, u"favorite dir"_s, u"delete dir"_s});
        row("menu of a favorite folder", Mode::list, u"menu:fav"_s, {},
            {u"download fav"_s, u"rename"_s, u"unfavorite fav"_s, u"delete fav"_s});
        row("menu outside the selection: that entry alone", Mode::list, u"click:a.txt menu:b.txt"_s, {},
            {u"download b.txt"_s, u"rename"_s, u"delete b.txt"_s});
        row("menu within the selection", Mode::details, u"click:a.txt ctrl:b.txt menu:b.txt"_s, {},
            {u"download a.txt,b.txt"_s, u"delete a.txt,b.txt"_s});
        row("menu of an unsure entry: nothing enabled", Mode::list, u"menu:twice"_s, {}, {});
        row("drop of no local file", Mode::list, u"drop:https://x.org/b"_s, {}, {u"no drop"_s});
    }
    void gestures() {
        QFETCH(Mode, mode);
        QFETCH(QString, script);
        QFETCH(QString, selected);
        QFETCH(QStringList, log);
        ShownList shown(listing(), mode);
        QVERIFY(QTest::qWaitForWindowActive(&shown.view));
        QTRY_VERIFY(shown.list()->hasFocus());
        shown.gestures(script);
        QTRY_VERIFY(!ShownList::editing()); // an edit ends with its Return or Escape
        QCOMPARE(names(shown.view.selectedEntries()), selected);
        QCOMPARE(shown.log, log);
    }

    // A folder whose exact name the listing does not tell is neither opened nor edited in place.
    void unsureFolder_isNotOpenedNorEdited() {
        RemoteFile twin = entry(u"twin"_s, true);
        twin.isAmbiguous = true;
        for (const Mode mode : {Mode::list, Mode::details}) {
            ShownList shown({twin}, mode);
            QVERIFY(QTest::qWaitForWindowActive(&shown.view));
            shown.gestures(u"double:twin key:Return"_s);
            shown.list()->edit(shown.list()->indexAt(shown.pointOf(u"twin"_s)));
            QVERIFY(!ShownList::editing());
            QCOMPARE(shown.log, QStringList());
        }
    }

    // Clicks on the details headings sort (folders first, names breaking ties); the mode and the sort are
    // the user's, so the next list opens with them.
    void details_sortsAndIsRemembered_data() {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QString>("order");
        QTest::newRow("size") << QList<int>{FileTableModel::SizeColumn}
                              << u"dir,fav,link,b.txt,twice,a.txt"_s;
        QTest::newRow("date, descending")
            << QList<int>{FileTableModel::ModifiedColumn, FileTableModel::ModifiedColumn}
            << u"dir,fav,b.txt,a.txt,link,twice"_s;
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
        QCOMPARE(rowsOf(shown.view.tableModel(), true), order);
        QCOMPARE(names(shown.view.selectedEntries()), u"a.txt"_s); // the selection stays on its entry

        FileListView next;
        next.usePreferences(shown.store);
        next.setFiles(listing());
        QCOMPARE(next.mode(), Mode::details);
        QCOMPARE(next.sort(), shown.view.sort());
        next.setMode(Mode::list); // the plain list shows the same order
        QCOMPARE(rowsOf(next.model(), true), order);
    }
};

QTEST_MAIN(FileListTest)
#include "tst_filelist.moc"
