#include "security/TlsPolicy.h"

#include <QTest>

using tlspolicy::TlsFailure;

namespace {

const QString pinText = QStringLiteral("e6D/K4pZm1i1WrSkzxMJ+jbP/aHUdUv9hNUzNFrEAuY=");

Connection connection(bool useTLS, Connection::TlsMode mode) {
    Connection c = Connection::makeNew();
    c.useTLS = useTLS;
    c.tlsMode = mode;
    return c;
}

} // namespace

class TlsPolicyTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void curlOptions_perSecurityAndPin_data() {
        QTest::addColumn<Connection>("server");
        QTest::addColumn<bool>("pinned");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QStringList>("lines");
        const Connection plain = connection(false, Connection::TlsMode::explicitTLS);
        const Connection implicit = connection(true, Connection::TlsMode::implicit);
        const Connection explicitTls = connection(true, Connection::TlsMode::explicitTLS);
        const QStringList verified{QStringLiteral("ssl-reqd")};
        const QStringList pinnedLines{QStringLiteral("ssl-reqd"), QStringLiteral("insecure"),
                                      QStringLiteral("pinnedpubkey = \"sha256//") + pinText + u'"'};
        QTest::newRow("plain, a stale pin changes nothing")
            << plain << true << QStringLiteral("ftp") << QStringList();
        QTest::newRow("implicit, verified") << implicit << false << QStringLiteral("ftps") << verified;
        QTest::newRow("explicit, verified") << explicitTls << false << QStringLiteral("ftp") << verified;
        QTest::newRow("implicit, pinned") << implicit << true << QStringLiteral("ftps") << pinnedLines;
        QTest::newRow("explicit, pinned") << explicitTls << true << QStringLiteral("ftp") << pinnedLines;
    }

    void curlOptions_perSecurityAndPin() {
        QFETCH(Connection, server);
        QFETCH(bool, pinned);
        QFETCH(QString, scheme);
        QFETCH(QStringList, lines);
        const auto pin = pinned ? PublicKeyPin::fromBase64(pinText) : std::nullopt;
        QCOMPARE(tlspolicy::urlScheme(server), scheme);
        QCOMPARE(tlspolicy::curlOptions(server, pin), lines);
    }

    void probe_neverPassesItsPinAndPrintsTheChain() {
        const QStringList lines = tlspolicy::probeOptions(connection(true, Connection::TlsMode::explicitTLS));
        QVERIFY(lines.contains(QStringLiteral("insecure")));
        QVERIFY(lines.contains(QStringLiteral("write-out = \"%{certs}\"")));
        const QStringList pins = lines.filter(QStringLiteral("pinnedpubkey"));
        QCOMPARE(pins.size(), 1);
        const QString pin = pins.first().section(QStringLiteral("sha256//"), 1).chopped(1);
        QCOMPARE(QByteArray::fromBase64(pin.toLatin1()), QByteArray(32, '\0'));
        QCOMPARE(tlspolicy::probeOptions(connection(false, Connection::TlsMode::implicit)), QStringList());
    }

    void classifyFailure_data() {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("standardError");
        QTest::addColumn<TlsFailure::Kind>("kind");
        QTest::addColumn<QString>("reasonPart");
        using Kind = TlsFailure::Kind;
        QTest::newRow("self-signed") << 60
                                     << QStringLiteral(
                                            "curl: (60) SSL certificate problem: self-signed certificate\n"
                                            "More details here: https://curl.se/docs/sslcerts.html\n")
                                     << Kind::notTrusted << QStringLiteral("self-signed");
        QTest::newRow("unknown root in the chain")
            << 60
            << QStringLiteral(
                   "curl: (60) SSL certificate problem: self-signed certificate in certificate chain")
            << Kind::notTrusted << QStringLiteral("authority this computer does not trust");
        QTest::newRow("expired") << 60
                                 << QStringLiteral(
                                        "curl: (60) SSL certificate problem: certificate has expired")
                                 << Kind::notTrusted << QStringLiteral("expired");
        QTest::newRow("not yet valid")
            << 60 << QStringLiteral("curl: (60) SSL certificate problem: certificate is not yet valid")
            << Kind::notTrusted << QStringLiteral("not valid yet");
        QTest::newRow("other host, by common name")
            << 60
            << QStringLiteral(
                   "curl: (60) SSL: certificate subject name '127.0.0.1' does not match target host name "
                   "'localhost'")
            << Kind::notTrusted << QStringLiteral("another host name");
        QTest::newRow("other host, by alternative names")
            << 60
            << QStringLiteral(
                   "curl: (60) SSL: no alternative certificate subject name matches target host name 'a'")
            << Kind::notTrusted << QStringLiteral("another host name");
        QTest::newRow("unknown issuer")
            << 60
            << QStringLiteral("curl: (60) SSL certificate problem: unable to get local issuer certificate")
            << Kind::notTrusted << QStringLiteral("authority this computer does not know");
        QTest::newRow("other verification fault keeps curl's words")
            << 60 << QStringLiteral("curl: (60) SSL certificate problem: invalid CA certificate")
            << Kind::notTrusted << QStringLiteral("invalid CA certificate");
        QTest::newRow("key changed") << 90
                                     << QStringLiteral(
                                            "curl: (90) SSL: public key does not match pinned public key")
                                     << Kind::keyChanged << QStringLiteral("intercepting");
        QTest::newRow("server without TLS") << 64 << QStringLiteral("curl: (64) Requested SSL level failed")
                                            << Kind::noTls << QStringLiteral("does not offer TLS");
        QTest::newRow("handshake") << 35
                                   << QStringLiteral(
                                          "curl: (35) error:0A00010B:SSL routines::wrong version number")
                                   << Kind::handshakeFailed << QStringLiteral("wrong version number");
        QTest::newRow("login refused is no TLS matter")
            << 67 << QStringLiteral("curl: (67) Access denied: 530") << Kind::none << QString();
    }

    void classifyFailure() {
        QFETCH(int, exitCode);
        QFETCH(QString, standardError);
        QFETCH(TlsFailure::Kind, kind);
        QFETCH(QString, reasonPart);
        const TlsFailure failure = tlspolicy::classifyFailure(exitCode, standardError);
        QCOMPARE(failure.kind, kind);
        QVERIFY2(failure.reason.contains(reasonPart), qPrintable(failure.reason));
    }
};

QTEST_GUILESS_MAIN(TlsPolicyTest)
#include "tst_tlspolicy.moc"
