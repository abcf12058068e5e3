#include "security/ServerCertificate.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// openssl with space-separated arguments, reading input.
QByteArray openssl(const QString& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.start(QStringLiteral("openssl"), arguments.split(u' '));
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        qWarning("openssl %s: %s", qPrintable(arguments), process.readAllStandardError().constData());
    return process.readAllStandardOutput();
}

// The text after '=' on the line that starts with name, as openssl prints "name=value".
QString opensslValue(const QByteArray& text, const char* name) {
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(name))
            return QString::fromLatin1(line.mid(line.indexOf('=') + 1)).simplified();
    }
    return QString();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray chainText() {
    return readFile(QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/certificates/curl-certs-chain.txt"));
}

// A certificate block the way curl prints it, around any DER.
QByteArray curlBlock(const QByteArray& der) {
    QByteArray pem = "Subject:CN = x\n-----BEGIN CERTIFICATE-----\n";
    for (qsizetype at = 0; at < der.toBase64().size(); at += 64)
        pem += der.toBase64().mid(at, 64) + '\n';
    return pem + "-----END CERTIFICATE-----\n";
}

QByteArray firstDer() {
    QString error;
    const auto chain = parseCurlCertificates(chainText(), error);
    return chain ? chain->first().der : QByteArray();
}

} // namespace

class CertificatesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void generatedCertificate_matchesOpenssl_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("days");
        QTest::newRow("rsa 2048") << QStringLiteral("rsa:2048") << 2;
        QTest::newRow("ec P-256") << QStringLiteral("ec -pkeyopt ec_paramgen_curve:prime256v1") << 30;
        QTest::newRow("ec P-384, valid past 2049")
            << QStringLiteral("ec -pkeyopt ec_paramgen_curve:secp384r1") << 40000;
        QTest::newRow("ed25519") << QStringLiteral("ed25519") << 1;
    }

    void generatedCertificate_matchesOpenssl() {
        QFETCH(QString, key);
        QFETCH(int, days);
        QTemporaryDir work;
        const QByteArray pem =
            openssl(QStringLiteral("req -x509 -nodes -subj /CN=kalvor.test -days %1 -keyout %2 -newkey %3")
                        .arg(QString::number(days), work.filePath(QStringLiteral("key")), key));
        const QByteArray facts = openssl(QStringLiteral("x509 -noout -fingerprint -sha256 -dates"), pem);
        const QByteArray spki = openssl(QStringLiteral("pkey -pubin -outform der"),
                                        openssl(QStringLiteral("x509 -noout -pubkey"), pem));
        const auto date = [&](const char* name) {
            return QDateTime::fromString(opensslValue(facts, name),
                                         QStringLiteral("MMM d HH:mm:ss yyyy 'GMT'"))
                .toUTC();
        };

        QString error;
        const auto chain = parseCurlCertificates("Subject:CN = kalvor.test\n" + pem, error);
        QVERIFY2(chain, qPrintable(error));
        QCOMPARE(chain->size(), 1);
        const ServerCertificate& certificate = chain->first();
        QCOMPARE(certificate.fingerprint, opensslValue(facts, "sha256 Fingerprint"));
        QCOMPARE(certificate.pin.base64(),
                 QString::fromLatin1(QCryptographicHash::hash(spki, QCryptographicHash::Sha256).toBase64()));
        QCOMPARE(certificate.notBefore.toSecsSinceEpoch(), date("notBefore").toSecsSinceEpoch());
        QCOMPARE(certificate.notAfter.toSecsSinceEpoch(), date("notAfter").toSecsSinceEpoch());
    }

    void curlChain_readInOrderWithNamesAndPins() {
        QString error;
        const auto chain = parseCurlCertificates(chainText(), error);
        QVERIFY2(chain, qPrintable(error));
        QCOMPARE(chain->size(), 2);
        QCOMPARE(chain->at(0).subject, QStringLiteral("CN = 127.0.0.1"));
        QCOMPARE(chain->at(0).issuer, QStringLiteral("CN = Kalvor Test Root, O = Kalvor Tests"));
        // What openssl computed for the leaf and the root the server was given.
        QCOMPARE(chain->at(0).pin.base64(), QStringLiteral("e6D/K4pZm1i1WrSkzxMJ+jbP/aHUdUv9hNUzNFrEAuY="));
        QCOMPARE(chain->at(1).pin.base64(), QStringLiteral("zosqKhdr141zZ7OPnLk4V+aX+Vv+5B1EeNetYs39Lq8="));
    }

    void hostileText_failsWithReason_data() {
        QTest::addColumn<QByteArray>("text");
        const QByteArray der = firstDer();
        QVERIFY(!der.isEmpty());
        const QByteArray block = curlBlock(der);
        QByteArray longLength = der;
        longLength[1] = char(0x84); // a four-byte length far past the end
        QByteArray shortInner = der;
        shortInner[5] = char(0x7f); // the body claims more than the certificate holds
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no certificate block") << QByteArray("curl: (90) SSL: public key does not match\n");
        QTest::newRow("block without PEM") << QByteArray("Subject:CN = x\nIssuer:CN = x\n");
        QTest::newRow("PEM never ends") << block.left(block.indexOf("-----END"));
        QTest::newRow("not base64") << QByteArray(
            "Subject:CN = x\n-----BEGIN CERTIFICATE-----\nSubject:CN = y\n"
            "-----END CERTIFICATE-----\n");
        QTest::newRow("two PEMs in one block") << block + block.mid(block.indexOf("-----BEGIN"));
        QTest::newRow("DER cut short") << curlBlock(der.left(der.size() / 2));
        QTest::newRow("DER with trailing bytes") << curlBlock(der + QByteArray(1, '\0'));
        QTest::newRow("length past the end") << curlBlock(longLength);
        QTest::newRow("inner length past its parent") << curlBlock(shortInner);
        QTest::newRow("indefinite length") << curlBlock(QByteArray::fromHex("3080") + der.mid(4));
        QTest::newRow("seventeen certificates") << block.repeated(17);
    }

    void hostileText_failsWithReason() {
        QFETCH(QByteArray, text);
        QString error;
        QCOMPARE(parseCurlCertificates(text, error), std::nullopt);
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CertificatesTest)
#include "tst_certificates.moc"
