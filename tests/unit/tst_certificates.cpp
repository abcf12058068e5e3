#include "security/ServerCertificate.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray run(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), arguments);
    openssl.write(input);
    openssl.closeWriteChannel();
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        qWarning("openssl %s: %s", qPrintable(arguments.join(u' ')),
                 openssl.readAllStandardError().constData());
    return openssl.readAllStandardOutput();
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
        QTest::addColumn<QStringList>("key");
        QTest::addColumn<int>("days");
        QTest::newRow("rsa 2048") << QStringList{QStringLiteral("rsa:2048")} << 2;
        QTest::newRow("ec P-256") << QStringList{QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                                 QStringLiteral("ec_paramgen_curve:prime256v1")}
                                  << 30;
        QTest::newRow("ec P-384, valid past 2049")
            << QStringList{QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                           QStringLiteral("ec_paramgen_curve:secp384r1")}
            << 40000;
        QTest::newRow("ed25519") << QStringList{QStringLiteral("ed25519")} << 1;
    }

    void generatedCertificate_matchesOpenssl() {
        QFETCH(QStringList, key);
        QFETCH(int, days);
        QTemporaryDir work;
        const QByteArray pem =
            run(QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-nodes"),
                            QStringLiteral("-subj"), QStringLiteral("/CN=kalvor.test"),
                            QStringLiteral("-days"), QString::number(days), QStringLiteral("-keyout"),
                            work.filePath(QStringLiteral("key")), QStringLiteral("-newkey")} +
                key);
        const QByteArray fingerprint = run({QStringLiteral("x509"), QStringLiteral("-noout"),
                                            QStringLiteral("-fingerprint"), QStringLiteral("-sha256")},
                                           pem);
        const QByteArray publicKey =
            run({QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-pubkey")}, pem);
        const QByteArray spki = run({QStringLiteral("pkey"), QStringLiteral("-pubin"),
                                     QStringLiteral("-outform"), QStringLiteral("der")},
                                    publicKey);
        const QList<QByteArray> dates = run({QStringLiteral("x509"), QStringLiteral("-noout"),
                                             QStringLiteral("-startdate"), QStringLiteral("-enddate")},
                                            pem)
                                            .split('\n');
        QVERIFY(dates.size() >= 2);
        const auto opensslDate = [](const QByteArray& line) {
            return QDateTime::fromString(QString::fromLatin1(line.mid(line.indexOf('=') + 1)).simplified(),
                                         QStringLiteral("MMM d HH:mm:ss yyyy 'GMT'"))
                .toUTC();
        };

        QString error;
        const auto chain = parseCurlCertificates("Subject:CN = kalvor.test\n" + pem, error);
        QVERIFY2(chain, qPrintable(error));
        QCOMPARE(chain->size(), 1);
        const ServerCertificate& certificate = chain->first();
        QCOMPARE(certificate.fingerprint,
                 QString::fromLatin1(fingerprint.mid(fingerprint.indexOf('=') + 1).trimmed()));
        QCOMPARE(certificate.pin.base64(),
                 QString::fromLatin1(QCryptographicHash::hash(spki, QCryptographicHash::Sha256).toBase64()));
        QCOMPARE(certificate.notBefore.toSecsSinceEpoch(), opensslDate(dates[0]).toSecsSinceEpoch());
        QCOMPARE(certificate.notAfter.toSecsSinceEpoch(), opensslDate(dates[1]).toSecsSinceEpoch());
    }

    void curlChain_readInOrderWithNamesAndPins() {
        QString error;
        const auto chain = parseCurlCertificates(chainText(), error);
        QVERIFY2(chain, qPrintable(error));
        QCOMPARE(chain->size(), 2);
        QCOMPARE(chain->at(0).subject, QStringLiteral("CN = 127.0.0.1"));
        QCOMPARE(chain->at(0).issuer, QStringLiteral("CN = Kalvor Test Root, O = Kalvor Tests"));
        QCOMPARE(chain->at(1).subject, chain->at(0).issuer);
        // What openssl computed for the two files the server was given.
        QCOMPARE(chain->at(0).pin.base64(), QStringLiteral("e6D/K4pZm1i1WrSkzxMJ+jbP/aHUdUv9hNUzNFrEAuY="));
        QCOMPARE(chain->at(1).pin.base64(), QStringLiteral("zosqKhdr141zZ7OPnLk4V+aX+Vv+5B1EeNetYs39Lq8="));
        QCOMPARE(chain->at(0).fingerprint,
                 QStringLiteral("60:FF:3F:16:CF:27:35:CF:3B:97:1A:3D:C5:78:A8:86:09:4E:"
                                "E4:C7:C2:AD:A0:B4:89:BC:DE:31:1D:EC:3B:3C"));
        QCOMPARE(chain->at(1).notAfter, QDateTime(QDate(2036, 12, 3), QTime(19, 32, 24), Qt::UTC));
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

    void pinText_onlyCanonicalSha256_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("canonical") << QStringLiteral("e6D/K4pZm1i1WrSkzxMJ+jbP/aHUdUv9hNUzNFrEAuY=") << true;
        QTest::newRow("short digest") << QStringLiteral("e6D/K4pZm1i1WrSkzxMJ+jbP/aHUdUv9hNUzNFrE") << false;
        QTest::newRow("quote inside")
            << QStringLiteral("e6D/K4pZm1i1WrSkzxMJ+jbP/aHUdUv9hNUz\"FrEAuY=") << false;
        QTest::newRow("line break") << QStringLiteral("e6D/K4pZm1i1WrSkzxMJ+jbP/aHUdUv9hNUzNFrEAuY=\n")
                                    << false;
    }

    void pinText_onlyCanonicalSha256() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(PublicKeyPin::fromBase64(text).has_value(), valid);
    }
};

QTEST_GUILESS_MAIN(CertificatesTest)
#include "tst_certificates.moc"
