#include "model/DefaultsStore.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString connectionsKey = QStringLiteral("Kalvor.connections");
const QString favoritesKey = QStringLiteral("Kalvor.favorites");

constexpr QFile::Permissions ownerReadWrite = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions ownerAll = ownerReadWrite | QFile::ExeOwner;

// QFile::permissions() also reports the "user" bits, which mirror the owner bits for the owner.
QFile::Permissions modeBits(const QString& path) {
    return QFileInfo(path).permissions() &
           (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup |
            QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), data.size());
}

} // namespace

class DefaultsStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void write_createsOwnerOnlyFolderAndFile() {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("config/Kalvor"));
        FileDefaultsStore store(folder);
        QVERIFY(!store.contains(connectionsKey));
        QCOMPARE(store.value(connectionsKey), std::nullopt);
        QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("config")))); // reading creates nothing

        const QByteArray data("[{\"password\":\"s3cret\"}]");
        QVERIFY2(store.setValue(connectionsKey, data), qPrintable(store.errorString()));
        const QString path = folder + QStringLiteral("/Kalvor.connections.json");
        QCOMPARE(store.filePath(connectionsKey), path);
        QCOMPARE(readAll(path), data);
        QCOMPARE(store.value(connectionsKey), data);
        QCOMPARE(modeBits(path), ownerReadWrite);
        QCOMPARE(modeBits(folder), ownerAll);
        QCOMPARE(modeBits(root.filePath(QStringLiteral("config"))), ownerAll);
    }

    void write_tightensLooseModeOfExistingFile() {
        QTemporaryDir root;
        FileDefaultsStore store(root.path());
        const QString path = store.filePath(favoritesKey);
        writeFile(path, "[]");
        QFile::setPermissions(path, ownerReadWrite | QFile::ReadGroup | QFile::ReadOther);
        QVERIFY(store.setValue(favoritesKey, "[1]"));
        QCOMPARE(modeBits(path), ownerReadWrite);
    }

    void defaultFolder_followsXdgConfigHome() {
        QTemporaryDir root;
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path()));
        const QString folder = FileDefaultsStore::defaultFolder();
        if (saved.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", saved);

        QVERIFY2(folder.startsWith(root.path() + u'/'), qPrintable(folder));
        FileDefaultsStore store(folder);
        QVERIFY(store.setValue(connectionsKey, "[]"));
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Kalvor.connections.json")));
    }

    void interruptedWrite_leavesPreviousFileWhole() {
        QTemporaryDir root;
        FileDefaultsStore store(root.path());
        QVERIFY(store.setValue(connectionsKey, "[\"old\"]"));
        {
            // What a crash between writing and renaming leaves behind: the new bytes in a file beside the
            // target that was never renamed over it.
            QSaveFile pending(store.filePath(connectionsKey));
            QVERIFY(pending.open(QIODevice::WriteOnly));
            pending.write("[\"new, but never committed");
            writeFile(store.filePath(connectionsKey) + QStringLiteral(".Xa1b2C"), "[\"stray");
        }
        QCOMPARE(store.value(connectionsKey), QByteArray("[\"old\"]"));
        QVERIFY(store.setValue(connectionsKey, "[\"newer\"]"));
        QCOMPARE(store.value(connectionsKey), QByteArray("[\"newer\"]"));
    }

    void keepAside_neverReplacesAnything() {
        QTemporaryDir root;
        FileDefaultsStore store(root.path());
        QVERIFY(store.setValue(connectionsKey, "current"));
        const auto first = store.keepAside(connectionsKey, "bad 1");
        const auto second = store.keepAside(connectionsKey, "bad 2");
        QVERIFY(first && second);
        QVERIFY(*first != *second);
        QVERIFY2(first->startsWith(connectionsKey + QStringLiteral(".corrupt-")), qPrintable(*first));
        QCOMPARE(store.value(*first), QByteArray("bad 1"));
        QCOMPARE(store.value(*second), QByteArray("bad 2"));
        QCOMPARE(store.value(connectionsKey), QByteArray("current"));
        QCOMPARE(modeBits(store.filePath(*first)), ownerReadWrite);
    }

    void symlinkedFile_neverWrittenThroughNorReplaced_data() {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("asideCopy");
        QTest::newRow("link to a file, saving") << true << false;
        QTest::newRow("dangling link, saving") << false << false;
        QTest::newRow("link to a file at the keep-aside name") << true << true;
        QTest::newRow("dangling link at the keep-aside name") << false << true;
    }

    void symlinkedFile_neverWrittenThroughNorReplaced() {
        QFETCH(bool, targetExists);
        QFETCH(bool, asideCopy);
        QTemporaryDir root;
        FileDefaultsStore store(root.filePath(QStringLiteral("config")));
        QVERIFY(store.setValue(favoritesKey, "[]"));
        const QString target = root.filePath(QStringLiteral("elsewhere.txt"));
        if (targetExists) {
            writeFile(target, "someone else's file");
            QFile::setPermissions(target, ownerReadWrite | QFile::ReadGroup | QFile::ReadOther);
        }
        // The keep-aside name carries the current second; a link on each of the next few leaves no way out.
        QStringList links;
        const QDateTime now = QDateTime::currentDateTime();
        for (int second = 0; second < (asideCopy ? 3 : 1); ++second) {
            const QString key = asideCopy
                                    ? connectionsKey + QStringLiteral(".corrupt-") +
                                          now.addSecs(second).toString(QStringLiteral("yyyyMMdd'T'HHmmss"))
                                    : connectionsKey;
            links.append(store.filePath(key));
            QVERIFY(QFile::link(target, links.last()));
        }

        if (asideCopy) {
            const auto sideKey = store.keepAside(connectionsKey, "[\"bad\"]");
            QVERIFY2(sideKey, qPrintable(store.errorString()));
            QCOMPARE(store.value(*sideKey), QByteArray("[\"bad\"]"));
            QVERIFY(!links.contains(store.filePath(*sideKey)));
        } else {
            QVERIFY(!store.setValue(connectionsKey, "[\"secret\"]"));
            QVERIFY2(store.errorString().contains(QStringLiteral("symbolic link")),
                     qPrintable(store.errorString()));
            QVERIFY(store.contains(connectionsKey));
        }
        for (const QString& link : std::as_const(links))
            QCOMPARE(QFileInfo(link).symLinkTarget(), target);
        QCOMPARE(QFileInfo::exists(target), targetExists);
        if (targetExists) {
            QCOMPARE(readAll(target), QByteArray("someone else's file"));
            QCOMPARE(modeBits(target), ownerReadWrite | QFile::ReadGroup | QFile::ReadOther);
        }
    }
};

QTEST_GUILESS_MAIN(DefaultsStoreTest)
#include "tst_defaultsstore.moc"
