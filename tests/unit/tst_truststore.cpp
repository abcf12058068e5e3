#include "model/DefaultsStore.h"
#include "security/TrustStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

TrustedCertificate entry(const QString& host, int port, char keyByte) {
    const auto pin = PublicKeyPin::fromBase64(QString::fromLatin1(QByteArray(32, keyByte).toBase64()));
    const QDateTime t(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    return TrustedCertificate{host,        port, *pin,          u"AB:CD"_s,  u"CN = "_s + host,
                              u"CN = i"_s, t,    t.addYears(1), t.addDays(7)};
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
        const TrustedCertificate first = entry(u"ftp.example.org"_s, 21, 'a');
        QVERIFY(window.trust(first));
        QCOMPARE(tool.lookup(u"FTP.Example.org"_s, 21), first);
        QCOMPARE(tool.lookup(u"ftp.example.org"_s, 990), std::nullopt);
        QCOMPARE(tool.lookup(u"example.org"_s, 21), std::nullopt);

        QVERIFY(tool.trust(first)); // the same key again is no conflict
        const TrustedCertificate changed = entry(u"ftp.example.org"_s, 21, 'b');
        QVERIFY(!window.trust(changed));
        QVERIFY2(window.errorString().contains(u"replace"_s), qPrintable(window.errorString()));
        QCOMPARE(tool.lookup(u"ftp.example.org"_s, 21), first);

        const TrustedCertificate otherPort = entry(u"ftp.example.org"_s, 990, 'c');
        QVERIFY(tool.trust(otherPort));
        QVERIFY(window.replace(changed));
        QCOMPARE(tool.entries(), (QList<TrustedCertificate>{otherPort, changed}));
        QVERIFY(tool.forget(u"ftp.example.org"_s, 21));
        QCOMPARE(window.entries(), QList<TrustedCertificate>{otherPort});
    }

    void damagedFile_trustsNothingAndIsKeptAsideOnChange_data() {
        QTest::addColumn<QByteArray>("damaged");
        const QByteArray good = encodeTrustedCertificates({entry(u"h"_s, 21, 'a')});
        QTest::newRow("not JSON") << "[{\"host\":"_ba;
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
        QCOMPARE(store.lookup(u"h"_s, 21), std::nullopt);
        QVERIFY(!store.errorString().isEmpty());

        const TrustedCertificate added = entry(u"h"_s, 21, 'b');
        QVERIFY2(store.trust(added), qPrintable(store.errorString()));
        QCOMPARE(store.entries(), QList<TrustedCertificate>{added});
        const QStringList aside =
            QDir(root.path()).entryList({TrustStore::key() + u".corrupt-*"_s}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(files.value(QFileInfo(aside.first()).completeBaseName()), damaged);
    }
};

QTEST_GUILESS_MAIN(TrustStoreTest)
#include "tst_truststore.moc"
