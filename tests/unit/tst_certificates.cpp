#include "security/ServerCertificate.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// openssl with space-separated arguments, reading input.
QByteArray openssl(const QString& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.start(u"openssl"_s, arguments.split(u' '));
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

// What curl printed for the test servers' chain.
std::optional<QList<ServerCertificate>> testChain() {
    QFile file(QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/certificates/curl-certs-chain.txt"));
    QString error;
    return file.open(QIODevice::ReadOnly) ? parseCurlCertificates(file.readAll(), error) : std::nullopt;
}

// A certificate block the way curl prints it, around any DER.
QByteArray curlBlock(const QByteArray& der) {
    QByteArray pem = "Subject:CN = x\n-----BEGIN CERTIFICATE-----\n";
    for (qsizetype at = 0; at < der.toBase64().size(); at += 64)
        pem += der.toBase64().mid(at, 64) + '\n';
    return pem + "-----END CERTIFICATE-----\n";
}

} // namespace

class CertificatesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void generatedCertificate_matchesOpenssl_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("days");
        QTest::newRow("rsa 2048") << u"rsa:2048"_s << 2;
        QTest::newRow("ec P-384, valid past 2049") << u"ec -pkeyopt ec_paramgen_curve:secp384r1"_s << 40000;
    }
    void generatedCertificate_matchesOpenssl() {
        QFETCH(QString, key);
        QFETCH(int, days);
        QTemporaryDir work;
        const QByteArray pem =
            openssl(u"req -x509 -nodes -subj /CN=kalvor.test -days %1 -keyout %2 -newkey %3"_s.arg(
                QString::number(days), work.filePath(u"key"_s), key));
        const QByteArray facts = openssl(u"x509 -noout -fingerprint -sha256 -dates"_s, pem);
        const QByteArray spki =
            openssl(u"pkey -pubin -outform der"_s, openssl(u"x509 -noout -pubkey"_s, pem));
        const auto date = [&](const char* name) {
            return QDateTime::fromString(opensslValue(facts, name), u"MMM d HH:mm:ss yyyy 'GMT'"_s).toUTC();
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
        const auto chain = testChain();
        QVERIFY(chain && chain->size() == 2);
        QCOMPARE(chain->at(0).issuer, u"CN = Kalvor Test Root, O = Kalvor Tests"_s);
        // What openssl computed for the leaf and the root the server was given.
        QCOMPARE(chain->at(0).pin.base64(), u"e6D/K4pZm1i1WrSkzxMJ+jbP/aHUdUv9hNUzNFrEAuY="_s);
        QCOMPARE(chain->at(1).pin.base64(), u"zosqKhdr141zZ7OPnLk4V+aX+Vv+5B1EeNetYs39Lq8="_s);
    }

    void hostileText_failsWithReason_data() {
        QTest::addColumn<QByteArray>("text");
        const auto chain = testChain();
        QVERIFY(chain);
        const QByteArray der = chain->first().der;
        const QByteArray block = curlBlock(der);
        QByteArray longLength = der;
        longLength[1] = char(0x84); // a four-byte length far past the end
        QTest::newRow("no certificate block") << "curl: (90) SSL: public key does not match\n"_ba;
        QTest::newRow("block without PEM") << "Subject:CN = x\nIssuer:CN = x\n"_ba;
        QTest::newRow("PEM never ends") << block.left(block.indexOf("-----END"));
        QTest::newRow("not base64")
            << "Subject:CN = x\n-----BEGIN CERTIFICATE-----\nSubject:CN = y\n-----END CERTIFICATE-----\n"_ba;
        QTest::newRow("two PEMs in one block") << block + block.mid(block.indexOf("-----BEGIN"));
        QTest::newRow("DER with trailing bytes") << curlBlock(der + QByteArray(1, '\0'));
        QTest::newRow("length past the end") << curlBlock(longLength);
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
