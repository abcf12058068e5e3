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
        if (!pinned) // a null pin pins nothing: never "insecure"
            QCOMPARE(tlspolicy::curlOptions(server, PublicKeyPin()), lines);
    }

    void classifyFailure_data() {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("standardError");
        QTest::addColumn<TlsFailure::Kind>("kind");
        QTest::addColumn<QString>("reasonPart");
        using Kind = TlsFailure::Kind;
        // curl's own line on standard error, as --show-error prints it.
        const auto row = [](const char* name, int code, const char* message, Kind kind, const char* part) {
            QTest::newRow(name) << code
                                << QStringLiteral("curl: (%1) %2\nMore details here: https://curl.se\n")
                                       .arg(code)
                                       .arg(QLatin1String(message))
                                << kind << QString::fromLatin1(part);
        };
        row("self-signed", 60, "SSL certificate problem: self-signed certificate", Kind::notTrusted,
            "self-signed");
        row("unknown root in the chain", 60,
            "SSL certificate problem: self-signed certificate in certificate chain", Kind::notTrusted,
            "authority this computer does not trust");
        row("expired", 60, "SSL certificate problem: certificate has expired", Kind::notTrusted, "expired");
        row("other host", 60, "SSL: certificate subject name 'a' does not match target host name 'b'",
            Kind::notTrusted, "another host name");
        row("unknown issuer", 60, "SSL certificate problem: unable to get local issuer certificate",
            Kind::notTrusted, "authority this computer does not know");
        row("another fault keeps curl's words", 60, "SSL certificate problem: invalid CA certificate",
            Kind::notTrusted, "invalid CA certificate");
        row("key changed", 90, "SSL: public key does not match pinned public key", Kind::keyChanged,
            "intercepting");
        row("server without TLS", 64, "Requested SSL level failed", Kind::noTls, "does not offer TLS");
        row("handshake", 35, "error:0A00010B:SSL routines::wrong version number", Kind::handshakeFailed,
            "wrong version number");
        row("login refused is no TLS matter", 67, "Access denied: 530", Kind::none, "");
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
