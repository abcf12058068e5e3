#include "model/DefaultsStore.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString connectionsKey = u"Kalvor.connections"_s;
const QString favoritesKey = u"Kalvor.favorites"_s;

constexpr QFile::Permissions ownerReadWrite = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions readableByAll = ownerReadWrite | QFile::ReadGroup | QFile::ReadOther;

// QFile::permissions() also reports the "user" bits, which mirror the owner bits for the owner.
QFile::Permissions modeBits(const QString& path) {
    return QFileInfo(path).permissions() &
           ~QFile::Permissions(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
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

    std::unique_ptr<QTemporaryDir> m_root;

private Q_SLOTS:
    void init() { m_root = std::make_unique<QTemporaryDir>(); }

    void write_ownerOnly() {
        const QString folder = m_root->filePath(u"config/Kalvor"_s);
        FileDefaultsStore store(folder);
        QVERIFY(!store.contains(connectionsKey));
        QCOMPARE(store.value(connectionsKey), std::nullopt);
        QVERIFY(!QFileInfo::exists(m_root->filePath(u"config"_s))); // reading creates nothing

        const QByteArray data("[{\"password\":\"s3cret\"}]");
        QVERIFY2(store.setValue(connectionsKey, data), qPrintable(store.errorString()));
        const QString path = folder + u"/Kalvor.connections.json"_s;
        QCOMPARE(readAll(path), data);
        QCOMPARE(modeBits(path), ownerReadWrite);
        QCOMPARE(modeBits(folder), ownerReadWrite | QFile::ExeOwner);
        QCOMPARE(modeBits(m_root->filePath(u"config"_s)), ownerReadWrite | QFile::ExeOwner);

        // A file someone made readable to all is tightened on the next write.
        QFile::setPermissions(path, readableByAll);
        QVERIFY(store.setValue(connectionsKey, "[1]"));
        QCOMPARE(modeBits(path), ownerReadWrite);
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
        FileDefaultsStore store(m_root->filePath(u"config"_s));
        QVERIFY(store.setValue(favoritesKey, "[]"));
        const QString target = m_root->filePath(u"elsewhere.txt"_s);
        if (targetExists) {
            writeFile(target, "someone else's file");
            QFile::setPermissions(target, readableByAll);
        }
        // The keep-aside name carries the current second; a link on each of the next few leaves no way out.
        QStringList links;
        const QDateTime now = QDateTime::currentDateTime();
        for (int second = 0; second < (asideCopy ? 3 : 1); ++second) {
            links << store.filePath(asideCopy ? connectionsKey + u".corrupt-"_s +
                                                    now.addSecs(second).toString(u"yyyyMMdd'T'HHmmss"_s)
                                              : connectionsKey);
            QVERIFY(QFile::link(target, links.last()));
        }

        if (asideCopy) {
            const auto sideKey = store.keepAside(connectionsKey, "[\"bad\"]");
            QVERIFY2(sideKey, qPrintable(store.errorString()));
            QCOMPARE(store.value(*sideKey), "[\"bad\"]"_ba);
            QVERIFY(!links.contains(store.filePath(*sideKey)));
        } else {
            QVERIFY(!store.setValue(connectionsKey, "[\"secret\"]"));
            QVERIFY2(store.errorString().contains(u"symbolic link"_s), qPrintable(store.errorString()));
            QVERIFY(store.contains(connectionsKey));
        }
        for (const QString& link : std::as_const(links))
            QCOMPARE(QFileInfo(link).symLinkTarget(), target);
        QCOMPARE(QFileInfo::exists(target), targetExists);
        if (targetExists) {
            QCOMPARE(readAll(target), "someone else's file"_ba);
            QCOMPARE(modeBits(target), readableByAll);
        }
    }
};

QTEST_GUILESS_MAIN(DefaultsStoreTest)
#include "tst_defaultsstore.moc"
