// The upload-to-favorite sheet end to end: real widgets on the offscreen platform, a real pyftpdlib server,
// real curl runs.

#include "TestFtpServer.h"
#include "ftp/UploadBatch.h"
#include "model/DefaultsStore.h"
#include "model/FavoritesManager.h"
#include "ui/panels/Icons.h"
#include "ui/panels/UploadToFavoriteFlow.h"
#include "ui/panels/UploadToFavoriteSheet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpontaneKeyEvent>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// A curl run to a local server takes milliseconds; this only bounds a hung one.
constexpr int remoteTimeoutMs = 30000;

const QString preparing = u"Preparing\u2026"_s;

// What the sheet showed after one change of its flow's state.
struct Snapshot {
    bool uploading = false;
    std::optional<QString> line;
    double value = 0;
    double total = 0;
    bool question = false;
    bool progressShown = false;
    bool uploadEnabled = false;
};

struct Harness {
    MemoryDefaultsStore store;
    FavoritesManager manager{store};
    QTemporaryDir local;
    QPointer<UploadToFavoriteSheet> sheet;
    QPointer<UploadToFavoriteFlow> flow;
    int dismissCalls = 0;
    QList<Snapshot> history;
    // Runs on every change after the sheet has rendered it.
    std::function<void(const UploadToFavoriteFlow&)> onChange;

    ~Harness() {
        delete sheet;
        // A flow still running would call back into this harness after it is gone.
        delete flow;
    }

    QUrl file(const QString& name, const QByteArray& content = QByteArray()) const {
        QFile out(local.filePath(name));
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
            qWarning("cannot write %s", qPrintable(out.fileName()));
        return QUrl::fromLocalFile(out.fileName());
    }

    Favorite favorite(const Connection& connection, const QString& name, const QString& path) {
        if (!manager.connectionFor(Favorite{{}, connection.id, {}, {}}))
            manager.addConnection(connection);
        manager.addFavorite(connection.id, name, path);
        return manager.favorites().last();
    }

    void present(const QList<QUrl>& files) {
        sheet = new UploadToFavoriteSheet(
            files, manager, [this] { ++dismissCalls; }, defaultCurlPath(), nullptr);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        flow = sheet->flow();
        QObject::connect(flow, &UploadToFavoriteFlow::changed, flow, [this] {
            const UploadToFavoriteFlow& f = *flow;
            history.append({f.isUploading(), f.uploadProgress(), f.uploadProgressValue(),
                            f.uploadProgressTotal(), f.showOverwriteAlert(),
                            sheet && child<QWidget>("uploadSheetProgressArea")->isVisibleTo(sheet),
                            sheet && child<QPushButton>("uploadSheetUpload")->isEnabled()});
            if (onChange)
                onChange(f);
        });
        sheet->show();
    }

    template <typename T> T* child(const char* name) const {
        T* found = sheet->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no %s in the sheet", name);
        return found;
    }

    QAbstractButton* row(const Favorite& favorite) const {
        for (QAbstractButton* candidate : sheet->favoriteRows()) {
            if (candidate->property("favoriteId").toUuid() == favorite.id)
                return candidate;
        }
        return nullptr;
    }

    void click(QAbstractButton* button) const {
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    bool checkShown(const Favorite& favorite) const {
        QAbstractButton* r = row(favorite);
        return r && r->findChild<QLabel*>(u"uploadSheetFavoriteCheck"_s)->isVisibleTo(r);
    }

    QStringList lines() const {
        QStringList result;
        for (const Snapshot& snapshot : history) {
            if (snapshot.line && (result.isEmpty() || result.last() != *snapshot.line))
                result.append(*snapshot.line);
        }
        return result;
    }

    bool ever(bool Snapshot::*flag) const {
        return std::any_of(history.cbegin(), history.cend(), [flag](const Snapshot& s) { return s.*flag; });
    }
};

// What the window's close button delivers: a close event from outside the program.
void closeFromWindowManager(QWidget* window) {
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(window, &event);
}

QStringList stored(const TestFtpServer& server) {
    return server.treeCommands().filter(u"STOR"_s);
}
qsizetype listings(const TestFtpServer& server) {
    return server.treeCommands().filter(u"LIST"_s).size();
}

} // namespace

class UploadSheetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { setUpIconTheme(); }

    void emptyListAndCancel_data() {
        QTest::addColumn<bool>("orphanFavorite");
        QTest::addColumn<QString>("how");
        QTest::newRow("no favorites, Cancel button") << false << u"button"_s;
        QTest::newRow("connection gone, Escape") << true << u"escape"_s;
        QTest::newRow("no favorites, window's close button") << false << u"window"_s;
    }
    void emptyListAndCancel() {
        QFETCH(bool, orphanFavorite);
        QFETCH(QString, how);
        Harness h;
        if (orphanFavorite)
            h.manager.addFavorite(QUuid::createUuid(), u"Lost"_s, u"/lost"_s);
        h.present({h.file(u"a.txt"_s), h.file(u"b.txt"_s)});
        QVERIFY(QTest::qWaitForWindowExposed(h.sheet));

        QCOMPARE(h.sheet->size(), QSize(400, 420));
        QCOMPARE(h.child<QLabel>("uploadSheetTitle")->text(), u"Upload to favorite folder"_s);
        QCOMPARE(h.child<QLabel>("uploadSheetFileCount")->text(), u"2 file(s) selected"_s);
        QVERIFY(h.sheet->favoriteRows().isEmpty());
        QVERIFY(!h.child<QLabel>("uploadSheetError")->isVisible());
        QVERIFY(!h.child<QWidget>("uploadSheetProgressArea")->isVisible());
        QVERIFY(!h.child<QPushButton>("uploadSheetUpload")->isEnabled());

        // Return with nothing to upload does nothing.
        QTest::keyClick(h.sheet, Qt::Key_Return);
        QVERIFY(h.sheet->isVisible());
        QCOMPARE(h.dismissCalls, 0);

        if (how == u"button")
            h.click(h.child<QPushButton>("uploadSheetCancel"));
        else if (how == u"escape")
            QTest::keyClick(h.sheet, Qt::Key_Escape);
        else
            closeFromWindowManager(h.sheet);
        QCOMPARE(h.dismissCalls, 1);
        QTRY_VERIFY(!h.sheet);
        QTRY_VERIFY(!h.flow); // nothing runs, so the flow goes with its sheet
        QCOMPARE(h.dismissCalls, 1);
    }

    void rowsFollowStoreAndSelection() {
        Harness h;
        Connection first = Connection::makeNew();
        first.host = u"one.example"_s;
        Connection second = Connection::makeNew();
        second.host = u"two.example"_s;
        const Favorite docs = h.favorite(first, u"Docs"_s, u"/pub/docs"_s);
        h.manager.addFavorite(QUuid::createUuid(), u"Lost"_s, u"/lost"_s);
        const Favorite site = h.favorite(second, u"Site"_s, u"www"_s);
        h.present({h.file(u"a.txt"_s)});
        QVERIFY(QTest::qWaitForWindowExposed(h.sheet));

        QCOMPARE(h.sheet->favoriteRows().size(), 2);
        QCOMPARE(h.sheet->favoriteRows().at(0)->property("favoriteId").toUuid(), docs.id);
        QCOMPARE(h.row(site)->findChild<QLabel*>(u"uploadSheetFavoritePath"_s)->text(), u"www"_s);
        QVERIFY(!h.checkShown(docs) && !h.checkShown(site));

        for (int click = 0; click < 2; ++click) { // clicking the selected row again keeps it selected
            h.click(h.row(site));
            QVERIFY(h.checkShown(site) && !h.checkShown(docs));
        }
        QVERIFY(h.child<QPushButton>("uploadSheetUpload")->isEnabled());

        const Favorite added = h.favorite(first, u"Added"_s, u"/added"_s);
        QCOMPARE(h.sheet->favoriteRows().size(), 3);
        QVERIFY(h.row(added) && h.checkShown(site));

        // The selected favorite's server is deleted: its row goes, and "Upload" quietly does nothing.
        h.manager.deleteConnection(second);
        QCOMPARE(h.sheet->favoriteRows().size(), 2);
        QVERIFY(!h.row(site));
        const qsizetype changes = h.history.size();
        h.click(h.child<QPushButton>("uploadSheetUpload"));
        QCOMPARE(h.history.size(), changes);
        QVERIFY(!h.flow->errorMessage());
        QCOMPARE(h.flow->runningTasks(), 0);
    }

    void uploadsWhenNothingExists_data() {
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::newRow("sized files") << QList<qint64>{100, 2500, 1};
        QTest::newRow("all empty") << QList<qint64>{0, 0, 0};
    }
    void uploadsWhenNothingExists() {
        QFETCH(QList<qint64>, sizes);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/data"_s);
        server.writeFile(u"/data/other.txt"_s, "x");
        Harness h;
        const Favorite data = h.favorite(server.connection(), u"Data"_s, u"/data"_s);
        QList<QUrl> files;
        qint64 total = 0;
        for (qsizetype i = 0; i < sizes.size(); ++i) {
            files << h.file(u"file%1.bin"_s.arg(i), QByteArray(sizes[i], char('a' + i)));
            total += sizes[i];
        }
        h.present(files);
        QVERIFY(QTest::qWaitForWindowExposed(h.sheet));
        h.click(h.row(data));
        QTest::keyClick(h.sheet, Qt::Key_Return);

        QTRY_COMPARE_WITH_TIMEOUT(h.dismissCalls, 1, remoteTimeoutMs);
        QTRY_VERIFY(!h.sheet);

        for (qsizetype i = 0; i < sizes.size(); ++i)
            QCOMPARE(server.readFile(u"/data/file%1.bin"_s.arg(i)), QByteArray(sizes[i], char('a' + i)));
        QCOMPARE(server.readFile(u"/data/other.txt"_s), QByteArray("x"));
        QVERIFY(server.commandLog().contains(u"LIST /data/"_s));
        QCOMPARE(listings(server), 1);
        QCOMPARE(stored(server).size(), sizes.size());
        QVERIFY(!h.ever(&Snapshot::question));

        // Checking: the error is cleared, nothing else shows and "Upload" stays enabled.
        QVERIFY(!h.history.isEmpty());
        QVERIFY(!h.history.first().progressShown);
        QVERIFY(h.history.first().uploadEnabled);
        // Transferring: the progress area and a disabled "Upload" for as long as the transfer runs.
        const auto firstUploading =
            std::find_if(h.history.cbegin(), h.history.cend(), [](const Snapshot& s) { return s.uploading; });
        QVERIFY(firstUploading != h.history.cend());
        QCOMPARE(firstUploading->line, std::optional<QString>(preparing));
        QCOMPARE(firstUploading->value, 0.0);
        QCOMPARE(firstUploading->total, total < 1 ? 1.0 : double(total));
        for (const Snapshot& snapshot : h.history) {
            QCOMPARE(snapshot.progressShown, snapshot.uploading || snapshot.line.has_value());
            QCOMPARE(snapshot.uploadEnabled, !snapshot.uploading);
        }

        QStringList expected{preparing};
        qint64 uploaded = 0;
        for (qsizetype i = 0; i < sizes.size(); ++i) {
            expected << files[i].fileName() + u" \u2014 "_s + formatByteCount(sizes[i]) + u" \u00b7 "_s +
                            formatByteCount(uploaded) + u'/' + formatByteCount(total);
            uploaded += sizes[i];
        }
        QCOMPARE(h.lines(), expected);
        const Snapshot& last = h.history.last();
        QVERIFY(!last.uploading && !last.line);
        QCOMPARE(last.value, 0.0);
    }

    void overwriteQuestion_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("overwrite") << u"overwrite"_s;
        QTest::newRow("cancel") << u"cancel"_s;
        QTest::newRow("escape") << u"escape"_s;
    }
    void overwriteQuestion() {
        QFETCH(QString, answer);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        const QStringList names{u"n1.txt"_s, u"x1.txt"_s, u"x2.txt"_s, u"n2.txt"_s, u"x3.txt"_s};
        for (const QString& name : names) {
            if (name.startsWith(u'x'))
                server.writeFile(u"/data/"_s + name, "old");
        }
        server.makeFolder(u"/data/n1.txt.d"_s);
        Harness h;
        const Favorite data = h.favorite(server.connection(), u"Data"_s, u"/data"_s);
        QList<QUrl> files;
        for (const QString& name : names)
            files << h.file(name, "new " + name.toUtf8());
        h.present(files);
        h.click(h.row(data));
        h.click(h.child<QPushButton>("uploadSheetUpload"));

        QTRY_VERIFY_WITH_TIMEOUT(h.sheet->overwriteQuestion(), remoteTimeoutMs);
        QMessageBox* box = h.sheet->overwriteQuestion();
        QCOMPARE(box->windowTitle(), u"Overwrite"_s);
        QCOMPARE(box->informativeText(), u"3 file(s) already exist on the server. Overwrite them?"_s);
        auto* cancel = box->findChild<QPushButton*>(u"uploadSheetOverwriteCancel"_s);
        auto* overwrite = box->findChild<QPushButton*>(u"uploadSheetOverwriteConfirm"_s);
        QCOMPARE(cancel->text(), u"Cancel"_s);
        QCOMPARE(overwrite->text(), u"Overwrite"_s);
        QCOMPARE(h.flow->pendingUploadFav()->id, data.id);
        QVERIFY(!h.ever(&Snapshot::uploading));

        if (answer == u"overwrite")
            h.click(overwrite);
        else if (answer == u"cancel")
            h.click(cancel);
        else
            QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!h.flow->showOverwriteAlert() && !h.flow->pendingUploadFav() && !h.flow->pendingUploadConn());

        if (answer == u"overwrite") {
            QTRY_COMPARE_WITH_TIMEOUT(h.dismissCalls, 1, remoteTimeoutMs);
            for (const QString& name : names)
                QCOMPARE(server.readFile(u"/data/"_s + name), "new " + name.toUtf8());
        } else {
            QTRY_VERIFY(!h.sheet->overwriteQuestion());
            QCOMPARE(h.dismissCalls, 0);
            QVERIFY(h.sheet->isVisible() && h.checkShown(data));
            QVERIFY(!h.ever(&Snapshot::uploading));
            QVERIFY(stored(server).isEmpty());
            QCOMPARE(server.readFile(u"/data/x1.txt"_s), QByteArray("old"));
            QVERIFY(!server.exists(u"/data/n1.txt"_s));
        }
        QCOMPARE(listings(server), 1); // the answer does not list the folder again
    }

    void whatCountsAsExisting_data() {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("localName");
        QTest::addColumn<bool>("exists");
        QTest::newRow("folder of the same name") << u"report/"_s << u"report"_s << false;
        QTest::newRow("other letter case") << u"Notes.TXT"_s << u"notes.txt"_s << false;
        QTest::newRow("canonically equivalent") << u"Caf\u00e9.txt"_s << u"Cafe\u0301.txt"_s << true;
    }
    void whatCountsAsExisting() {
        QFETCH(QString, remote);
        QFETCH(QString, localName);
        QFETCH(bool, exists);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        if (remote.endsWith(u'/'))
            server.makeFolder(u"/box/"_s + remote);
        else
            server.writeFile(u"/box/"_s + remote, "remote");
        Harness h;
        const Favorite box = h.favorite(server.connection(), u"Box"_s, u"/box"_s);
        h.present({h.file(u"first.txt"_s, "1"), h.file(localName, "local")});
        h.click(h.row(box));
        h.click(h.child<QPushButton>("uploadSheetUpload"));

        if (exists) {
            QTRY_VERIFY_WITH_TIMEOUT(h.sheet->overwriteQuestion(), remoteTimeoutMs);
            QCOMPARE(h.flow->overwriteConflictCount(), 1);
            QVERIFY(!h.ever(&Snapshot::uploading));
            return;
        }
        // No question: the transfer starts at once and runs to its end.
        QTRY_VERIFY_WITH_TIMEOUT(h.dismissCalls == 1 || (h.flow && h.flow->errorMessage()), remoteTimeoutMs);
        QVERIFY(h.ever(&Snapshot::uploading));
        QVERIFY(!h.ever(&Snapshot::question));
        QCOMPARE(server.readFile(u"/box/first.txt"_s), QByteArray("1"));
        if (!remote.endsWith(u'/')) {
            QCOMPARE(h.dismissCalls, 1);
            QCOMPARE(server.readFile(u"/box/"_s + localName), QByteArray("local"));
            QCOMPARE(server.readFile(u"/box/"_s + remote), QByteArray("remote"));
        }
    }

    void failuresShowInTheErrorBox() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/data"_s);
        Harness h;
        const Favorite data = h.favorite(server.connection(), u"Data"_s, u"/data"_s);
        const Favorite missing = h.favorite(server.connection(), u"Missing"_s, u"/missing"_s);
        h.present(
            {h.file(u"ok1.txt"_s, "one"), h.file(u"__denied__.txt"_s, "two"), h.file(u"ok3.txt"_s, "three")});
        QVERIFY(QTest::qWaitForWindowExposed(h.sheet));
        auto* error = h.child<QLabel>("uploadSheetError");
        auto* upload = h.child<QPushButton>("uploadSheetUpload");

        // The second upload is refused: the first stays, the third is never tried, the sheet stays open.
        h.click(h.row(data));
        h.click(upload);
        QTRY_VERIFY_WITH_TIMEOUT(h.flow->errorMessage(), remoteTimeoutMs);
        const QString uploadError = *h.flow->errorMessage();
        QVERIFY(error->isVisible() && !uploadError.isEmpty());
        QCOMPARE(error->text(), uploadError);
        QCOMPARE(server.readFile(u"/data/ok1.txt"_s), QByteArray("one"));
        QVERIFY(!server.exists(u"/data/__denied__.txt"_s));
        // ok1.txt, then __denied__.txt to its temporary name and once more directly; ok3.txt never tried.
        QCOMPARE(stored(server).size(), 3);
        QCOMPARE(h.flow->uploadProgressValue(), 0.0);
        QVERIFY(!h.child<QWidget>("uploadSheetProgressArea")->isVisible());
        QVERIFY(h.checkShown(data) && upload->isEnabled() && h.sheet->isVisible());
        QCOMPARE(h.dismissCalls, 0);

        // Again: what was uploaded before the failure now exists.
        h.click(upload);
        QVERIFY(!h.flow->errorMessage() && !error->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(h.sheet->overwriteQuestion(), remoteTimeoutMs);
        QCOMPARE(h.sheet->overwriteQuestion()->informativeText(),
                 u"1 file(s) already exist on the server. Overwrite them?"_s);
        h.click(h.sheet->overwriteQuestion()->findChild<QPushButton*>(u"uploadSheetOverwriteCancel"_s));

        // A folder that cannot be listed: its error replaces nothing until it arrives, then shows alone.
        h.click(h.row(missing));
        h.click(upload);
        QVERIFY(!error->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(h.flow->errorMessage(), remoteTimeoutMs);
        QVERIFY(*h.flow->errorMessage() != uploadError);
        QCOMPARE(error->text(), *h.flow->errorMessage());
        QVERIFY(error->isVisible() && !h.sheet->overwriteQuestion());
        QVERIFY(!h.child<QWidget>("uploadSheetProgressArea")->isVisible());

        // And once more: pressing "Upload" clears it before anything else happens.
        h.click(upload);
        QVERIFY(!h.flow->errorMessage() && !error->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(h.flow->errorMessage(), remoteTimeoutMs);
    }

    // A transfer that ends after its sheet was closed still runs that sheet's onDismiss once; how the
    // sheet was closed decides whether there was an earlier call.
    void transferOutlivesItsSheet_data() {
        QTest::addColumn<bool>("byCancel");
        QTest::addColumn<int>("expectedCalls");
        QTest::newRow("user pressed Cancel") << true << 2;
        QTest::newRow("presenter closed it") << false << 1;
    }
    void transferOutlivesItsSheet() {
        QFETCH(bool, byCancel);
        QFETCH(int, expectedCalls);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/data"_s);
        Harness h;
        const Favorite data = h.favorite(server.connection(), u"Data"_s, u"/data"_s);
        h.present({h.file(u"a.txt"_s, "a"), h.file(u"b.txt"_s, "b"), h.file(u"c.txt"_s, "c")});
        QVERIFY(QTest::qWaitForWindowExposed(h.sheet));
        // Close the sheet the moment the transfer starts, before its first upload is under way.
        int callsAtClose = -1;
        h.onChange = [&](const UploadToFavoriteFlow& flow) {
            if (callsAtClose >= 0 || flow.uploadProgress() != preparing)
                return;
            if (byCancel)
                h.click(h.child<QPushButton>("uploadSheetCancel"));
            else
                h.sheet->close();
            callsAtClose = h.dismissCalls;
        };
        h.click(h.row(data));
        h.click(h.child<QPushButton>("uploadSheetUpload"));

        QTRY_VERIFY_WITH_TIMEOUT(callsAtClose >= 0, remoteTimeoutMs);
        QCOMPARE(callsAtClose, expectedCalls - 1);
        QTRY_VERIFY(!h.sheet);
        // The flow outlives its sheet exactly as long as the transfer runs, and then deletes itself.
        QTRY_VERIFY_WITH_TIMEOUT(!h.flow, remoteTimeoutMs);
        QCOMPARE(h.dismissCalls, expectedCalls);
        for (const char* name : {"a", "b", "c"})
            QCOMPARE(server.readFile(u"/data/%1.txt"_s.arg(QLatin1String(name))), QByteArray(name));
    }
};

QTEST_MAIN(UploadSheetTest)
#include "tst_uploadsheet.moc"
