#include "model/DefaultsStore.h"
#include "security/TrustStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

TrustedCertificate entry(const QString& host, int port, char keyByte) {
    const auto pin = PublicKeyPin::fromBase64(QString::fromLatin1(QByteArray(32, keyByte).toBase64()));
    const QDateTime time(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    return TrustedCertificate{host,
                              port,
                              *pin,
                              QStringLiteral("AB:CD"),
                              QStringLiteral("CN = ") + host,
                              QStringLiteral("CN = issuer"),
                              time,
                              time.addYears(1),
                              time.addDays(7)};
}

} // namespace

class TrustStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void operations_keepOneTrustPerHostAndPort() {
        QTemporaryDir root;
        FileDefaultsStore files(root.path());
        // The window and kalvorctl each hold their own; neither caches what the other wrote.
        TrustStore window(files);
        TrustStore tool(files);
        const TrustedCertificate first = entry(QStringLiteral("ftp.example.org"), 21, 'a');
        QVERIFY(window.trust(first));
        QCOMPARE(tool.lookup(QStringLiteral("FTP.Example.org"), 21), first);
        QCOMPARE(tool.lookup(QStringLiteral("ftp.example.org"), 990), std::nullopt);
        QCOMPARE(tool.lookup(QStringLiteral("example.org"), 21), std::nullopt);

        QVERIFY(tool.trust(first)); // the same key again is no conflict
        const TrustedCertificate changed = entry(QStringLiteral("ftp.example.org"), 21, 'b');
        QVERIFY(!window.trust(changed));
        QVERIFY2(window.errorString().contains(QStringLiteral("replace")), qPrintable(window.errorString()));
        QCOMPARE(tool.lookup(QStringLiteral("ftp.example.org"), 21), first);

        const TrustedCertificate otherPort = entry(QStringLiteral("ftp.example.org"), 990, 'c');
        QVERIFY(tool.trust(otherPort));
        QVERIFY(window.replace(changed));
        QCOMPARE(tool.entries(), (QList<TrustedCertificate>{otherPort, changed}));
        QVERIFY(tool.forget(QStringLiteral("ftp.example.org"), 21));
        QCOMPARE(window.entries(), QList<TrustedCertificate>{otherPort});
        QCOMPARE(decodeTrustedCertificates(*files.value(TrustStore::key())),
                 QList<TrustedCertificate>{otherPort});
    }

    void damagedFile_trustsNothingAndIsKeptAsideOnChange_data() {
        QTest::addColumn<QByteArray>("damaged");
        const QByteArray good = encodeTrustedCertificates({entry(QStringLiteral("h"), 21, 'a')});
        QTest::newRow("not JSON") << QByteArray("[{\"host\":");
        QTest::newRow("pin not a SHA-256") << QByteArray(good).replace("YWFh", "YWF");
        QTest::newRow("port out of range") << QByteArray(good).replace("21", "70000");
        QTest::newRow("a member missing") << QByteArray(good).replace("\"trustedAt\"", "\"trusted\"");
    }

    void damagedFile_trustsNothingAndIsKeptAsideOnChange() {
        QFETCH(QByteArray, damaged);
        QTemporaryDir root;
        FileDefaultsStore files(root.path());
        QVERIFY(files.setValue(TrustStore::key(), damaged));
        TrustStore store(files);
        QCOMPARE(store.lookup(QStringLiteral("h"), 21), std::nullopt);
        QVERIFY(!store.errorString().isEmpty());

        const TrustedCertificate added = entry(QStringLiteral("h"), 21, 'b');
        QVERIFY2(store.trust(added), qPrintable(store.errorString()));
        QCOMPARE(store.entries(), QList<TrustedCertificate>{added});
        const QStringList aside =
            QDir(root.path()).entryList({TrustStore::key() + QStringLiteral(".corrupt-*")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(files.value(QFileInfo(aside.first()).completeBaseName()), damaged);
    }
};

QTEST_GUILESS_MAIN(TrustStoreTest)
#include "tst_truststore.moc"
