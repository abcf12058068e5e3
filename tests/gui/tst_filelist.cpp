#include "ftp/UploadBatch.h"
#include "ui/panels/FileListModel.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/Icons.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

using namespace Qt::StringLiterals;

using Kind = FileListModel::RowKind;

namespace {

RemoteFile entry(const QString& name, bool isDirectory, std::optional<qint64> size = std::nullopt,
                 std::optional<QString> path = std::nullopt) {
    RemoteFile file;
    file.id = QUuid::createUuid();
    file.name = name;
    file.path = path.value_or(u"/data/"_s + name);
    file.isDirectory = isDirectory;
    file.size = size;
    return file;
}

RemoteFile folder(const QString& name, std::optional<qint64> size = std::nullopt) {
    return entry(name, true, size);
}

RemoteFile file(const QString& name, std::optional<qint64> size = std::nullopt) {
    return entry(name, false, size);
}

// The rows as the user reads them, top to bottom: "parent", "[Folders]", "folder a", "file b", ...
QStringList renderedRows(const FileListModel& model) {
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row);
        const QString text = index.data().toString();
        switch (Kind(index.data(FileListModel::KindRole).toInt())) {
        case Kind::ParentFolder:
            rows << u"parent: "_s + text;
            break;
        case Kind::SectionHeader:
            rows << u'[' + text + u']';
            break;
        case Kind::Folder:
            rows << u"folder "_s + text;
            break;
        case Kind::File:
            rows << u"file "_s + text;
            break;
        }
    }
    return rows;
}

int rowNamed(const FileListModel& model, const QString& text) {
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.index(row).data().toString() == text)
            return row;
    }
    return -1;
}

// Everything the view can report, recorded so a test can say "exactly this, and nothing else".
struct Recorder {
    QList<RemoteFile> selected;
    QList<RemoteFile> deleted;
    QList<QPair<QString, QString>> favorites;
    int navigatedUp = 0;

    void attach(FileListView& view) {
        view.onSelectFolder = [this](const RemoteFile& f) { selected << f; };
        view.onDelete = [this](const RemoteFile& f) { deleted << f; };
        view.onAddFavorite = [this](const QString& name, const QString& path) {
            favorites << qMakePair(name, path);
        };
        view.onNavigateUp = [this] { ++navigatedUp; };
    }
    int total() const { return int(selected.size() + deleted.size() + favorites.size()) + navigatedUp; }
};

QPoint pointInRow(const QListView& list, int row, double xFraction) {
    const QRect rect = list.visualRect(list.model()->index(row, 0));
    return {rect.left() + qRound((rect.width() - 1) * xFraction), rect.center().y()};
}

QStringList actionTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << (action->isSeparator() ? u"---"_s : action->text());
    return texts;
}

} // namespace

class TestFileList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { setUpIconTheme(); }

    void model_passesTesterAcrossListingsAndParentRowChanges() {
        FileListView view;
        QAbstractItemModelTester tester(view.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(view.model(), &QAbstractItemModel::modelReset);
        QSignalSpy inserts(view.model(), &QAbstractItemModel::rowsInserted);

        view.onNavigateUp = [] {};
        view.setCurrentPath(u"/pub"_s);
        view.setFiles({file(u"z.txt"_s, 10), folder(u"a"_s), file(u"b"_s), folder(u"c"_s, 4096)});
        QCOMPARE(resets.size(), 1);
        QCOMPARE(inserts.size(), 1); // the parent row, when the path left the root; not the entries
        view.setCurrentPath(u"/"_s);
        view.setFiles({});
        view.setFiles(QList<RemoteFile>(1000, file(u"same"_s)));
        QCOMPARE(resets.size(), 3);
        QCOMPARE(view.model()->rowCount(), 1002);
        view.onNavigateUp = {};
        view.setCurrentPath(u"/pub"_s);
        QCOMPARE(view.model()->rowCount(), 1002);
    }

    void rows_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("canNavigateUp");
        QTest::addColumn<QList<RemoteFile>>("files");
        QTest::addColumn<QStringList>("expected");

        const QList<RemoteFile> mixed{file(u"z.txt"_s), folder(u"b"_s), file(u"a.txt"_s), folder(u"a"_s)};
        QTest::newRow("root with a way up: no parent row")
            << u"/"_s << true << mixed << QStringList{u"[Folders]"_s, u"folder b"_s,   u"folder a"_s,
                                                      u"[Files]"_s,   u"file z.txt"_s, u"file a.txt"_s};
        QTest::newRow("subfolder without a way up: no parent row")
            << u"/pub"_s << false << mixed << QStringList{u"[Folders]"_s, u"folder b"_s,   u"folder a"_s,
                                                          u"[Files]"_s,   u"file z.txt"_s, u"file a.txt"_s};
        QTest::newRow("subfolder with a way up")
            << u"/pub"_s << true << QList<RemoteFile>{folder(u"x"_s), file(u"y"_s)}
            << QStringList{u"parent: Parent folder"_s, u"[Folders]"_s, u"folder x"_s, u"[Files]"_s,
                           u"file y"_s};
        QTest::newRow("empty subfolder: parent row and two empty sections")
            << u"/pub/empty"_s << true << QList<RemoteFile>{}
            << QStringList{u"parent: Parent folder"_s, u"[Folders]"_s, u"[Files]"_s};
        QTest::newRow("trailing slash is not the root")
            << u"/pub/"_s << true << QList<RemoteFile>{}
            << QStringList{u"parent: Parent folder"_s, u"[Folders]"_s, u"[Files]"_s};
    }

    void rows() {
        QFETCH(QString, path);
        QFETCH(bool, canNavigateUp);
        QFETCH(QList<RemoteFile>, files);
        QFETCH(QStringList, expected);

        FileListView view;
        if (canNavigateUp)
            view.onNavigateUp = [] {};
        view.setCurrentPath(path);
        view.setFiles(files);
        QCOMPARE(renderedRows(*view.model()), expected);
    }

    void parentRow_followsActionAssignedAfterTheSetters() {
        FileListView view;
        view.setCurrentPath(u"/pub"_s);
        view.setFiles({file(u"a"_s)});
        view.onNavigateUp = [] {};
        QTRY_COMPARE(view.model()->kindAt(0), Kind::ParentFolder);

        view.setCurrentPath(u"/"_s);
        view.onNavigateUp = {};
        view.setCurrentPath(u"/pub"_s);
        QTRY_COMPARE(view.model()->kindAt(0), Kind::SectionHeader);
    }

    void sizeLine_data() {
        QTest::addColumn<RemoteFile>("entry");
        QTest::addColumn<QString>("expected");
        QTest::newRow("file with a size") << file(u"a.bin"_s, 1'500'000) << formatByteCount(1'500'000);
        QTest::newRow("empty file") << file(u"empty"_s, 0) << formatByteCount(0);
        QTest::newRow("file without a size: name only") << file(u"a.bin"_s) << QString();
        QTest::newRow("folder whose line carried a size") << folder(u"dir"_s, 4096) << QString();
    }

    void sizeLine() {
        QFETCH(RemoteFile, entry);
        QFETCH(QString, expected);
        FileListView view;
        view.setCurrentPath(u"/"_s);
        view.setFiles({entry});
        const QModelIndex index = view.model()->index(rowNamed(*view.model(), entry.name));
        QCOMPARE(index.data(FileListModel::SizeTextRole).toString(), expected);
        QCOMPARE(index.data().toString(), entry.name);
        QCOMPARE(index.data(FileListModel::RemoteFileRole).value<RemoteFile>().id, entry.id);
    }

    void loading_showsOnlyTheIndicator() {
        FileListView view;
        view.resize(400, 500);
        view.setCurrentPath(u"/pub"_s);
        view.setFiles({folder(u"a"_s), file(u"b"_s)});
        view.setLoading(true);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        auto* list = view.findChild<QListView*>(u"fileList"_s);
        auto* indicator = view.findChild<QWidget*>(u"loadingIndicator"_s);
        auto* label = view.findChild<QLabel*>(u"loadingLabel"_s);
        QVERIFY(list && indicator && label);
        QVERIFY(!list->isVisible());
        QVERIFY(indicator->isVisible());
        QCOMPARE(label->text(), u"Loading\u2026"_s);
        QCOMPARE(label->foregroundRole(), QPalette::PlaceholderText);

        // Centred as a pair, the text 12 below the indicator.
        const QRect spinnerRect = indicator->geometry();
        const QRect labelRect(label->pos(), label->sizeHint());
        QCOMPARE(labelRect.top() - spinnerRect.bottom() - 1, 12);
        QVERIFY(qAbs(spinnerRect.center().x() - view.width() / 2) <= 1);
        QVERIFY(qAbs(labelRect.center().x() - view.width() / 2) <= 1);
        const int pairMiddle = (spinnerRect.top() + labelRect.bottom()) / 2;
        QVERIFY(qAbs(pairMiddle - view.height() / 2) <= 1);

        view.setLoading(false);
        QVERIFY(list->isVisible());
        QVERIFY(!indicator->isVisible());
        QCOMPARE(renderedRows(*view.model()).size(), 4);
    }

    void clickAnywhereOnFolderRow_opensItOnce_data() {
        QTest::addColumn<double>("xFraction");
        QTest::newRow("left edge") << 0.0;
        QTest::newRow("empty middle") << 0.6;
        QTest::newRow("right edge") << 1.0;
    }

    void clickAnywhereOnFolderRow_opensItOnce() {
        QFETCH(double, xFraction);
        FileListView view;
        Recorder recorder;
        recorder.attach(view);
        const RemoteFile target = folder(u"target"_s, 4096);
        view.setCurrentPath(u"/data"_s);
        view.setFiles({folder(u"other"_s), target, file(u"f"_s)});
        // The owner replaces the listing from inside the action, as the main window does.
        view.onSelectFolder = [&](const RemoteFile& f) {
            view.setFiles({});
            recorder.selected << f;
        };
        view.resize(500, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        const QPoint point = pointInRow(*view.listView(), rowNamed(*view.model(), u"target"_s), xFraction);
        QTest::mouseClick(view.listView()->viewport(), Qt::LeftButton, {}, point);
        QCOMPARE(recorder.total(), 1);
        QCOMPARE(recorder.selected.size(), 1);
        QCOMPARE(recorder.selected.first().id, target.id);
        QCOMPARE(recorder.selected.first().name, u"target"_s);
    }

    void clicksThatDoNothing_data() {
        QTest::addColumn<QString>("rowText");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("file row") << u"notes.txt"_s << Qt::LeftButton;
        QTest::newRow("Folders header") << u"Folders"_s << Qt::LeftButton;
        QTest::newRow("Files header") << u"Files"_s << Qt::LeftButton;
        QTest::newRow("right button on a folder") << u"dir"_s << Qt::RightButton;
    }

    void clicksThatDoNothing() {
        QFETCH(QString, rowText);
        QFETCH(Qt::MouseButton, button);
        FileListView view;
        Recorder recorder;
        recorder.attach(view);
        view.setCurrentPath(u"/data"_s);
        view.setFiles({folder(u"dir"_s), file(u"notes.txt"_s, 12)});
        view.resize(500, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        const QPoint point = pointInRow(*view.listView(), rowNamed(*view.model(), rowText), 0.5);
        QTest::mouseClick(view.listView()->viewport(), button, {}, point);
        QCOMPARE(recorder.total(), 0);
        QVERIFY(!view.listView()->selectionModel()->hasSelection());
    }

    void clickOnParentRow_navigatesUp() {
        FileListView view;
        Recorder recorder;
        recorder.attach(view);
        view.setCurrentPath(u"/data"_s);
        view.setFiles({});
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QTest::mouseClick(view.listView()->viewport(), Qt::LeftButton, {},
                          pointInRow(*view.listView(), 0, 0.5));
        QCOMPARE(recorder.navigatedUp, 1);
        QCOMPARE(recorder.total(), 1);
    }

    void contextMenu_actions_data() {
        QTest::addColumn<RemoteFile>("entry");
        QTest::addColumn<bool>("canAddFavorite");
        QTest::newRow("folder") << folder(u"photos"_s) << true;
        QTest::newRow("file") << file(u"report.pdf"_s, 2048) << true;
        QTest::newRow("entry without a path") << entry(u"odd"_s, false, std::nullopt, QString()) << false;
    }

    void contextMenu_actions() {
        QFETCH(RemoteFile, entry);
        QFETCH(bool, canAddFavorite);
        FileListView view;
        Recorder recorder;
        recorder.attach(view);
        view.setCurrentPath(u"/data"_s);
        view.setFiles({folder(u"other"_s), entry, file(u"zzz"_s)});
        const QModelIndex index = view.model()->index(rowNamed(*view.model(), entry.name));

        std::unique_ptr<QMenu> menu = view.contextMenuFor(index);
        QVERIFY(menu);
        QCOMPARE(actionTexts(*menu), (QStringList{u"Add to favorites"_s, u"---"_s, u"Delete"_s}));
        QAction* add = menu->actions().at(0);
        QAction* remove = menu->actions().at(2);
        QCOMPARE(add->isEnabled(), canAddFavorite);
        QVERIFY(remove->isEnabled());
        QVERIFY(remove->property("destructive").toBool());
        QVERIFY(!add->property("destructive").toBool());

        // The listing changes while the menu is open; the actions still name the entry they were shown for.
        view.setFiles({});
        add->trigger();
        remove->trigger();
        if (canAddFavorite)
            QCOMPARE(recorder.favorites, (QList<QPair<QString, QString>>{{entry.name, entry.path}}));
        QCOMPARE(recorder.deleted.size(), 1);
        QCOMPARE(recorder.deleted.first().id, entry.id);
        QCOMPARE(recorder.total(), canAddFavorite ? 2 : 1);
    }

    void contextMenu_noneOnHeadersOrParentRow() {
        FileListView view;
        view.onNavigateUp = [] {};
        view.setCurrentPath(u"/data"_s);
        view.setFiles({folder(u"a"_s), file(u"b"_s)});
        for (const QString& text : {u"Parent folder"_s, u"Folders"_s, u"Files"_s})
            QVERIFY2(!view.contextMenuFor(view.model()->index(rowNamed(*view.model(), text))),
                     qPrintable(text));
    }

    void contextMenu_realRightClickDeletesThroughThePopup() {
        FileListView view;
        Recorder recorder;
        recorder.attach(view);
        const RemoteFile target = file(u"old.log"_s, 99);
        view.setCurrentPath(u"/data"_s);
        view.setFiles({folder(u"dir"_s), target});
        view.resize(500, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QWidget* viewport = view.listView()->viewport();
        const QPoint point = pointInRow(*view.listView(), rowNamed(*view.model(), target.name), 0.8);
        QContextMenuEvent event(QContextMenuEvent::Mouse, point, viewport->mapToGlobal(point));
        QCoreApplication::sendEvent(viewport, &event);

        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())));
        QCOMPARE(menu->objectName(), u"fileListContextMenu"_s);
        auto* remove = menu->findChild<QAction*>(u"deleteAction"_s);
        QVERIFY(remove);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(remove).center());

        QTRY_COMPARE(recorder.deleted.size(), 1);
        QCOMPARE(recorder.deleted.first().id, target.id);
        QCOMPARE(recorder.total(), 1);
        QTRY_VERIFY(!QApplication::activePopupWidget());
    }
};

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
