#include "security/TlsPolicy.h"

#include <QTest>

using namespace Qt::StringLiterals;
using tlspolicy::TlsFailure;

namespace {

const QString pinText = u"e6D/K4pZm1i1WrSkzxMJ+jbP/aHUdUv9hNUzNFrEAuY="_s;

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
        const Connection implicit = connection(true, Connection::TlsMode::implicit);
        const QStringList verified{u"ssl-reqd"_s};
        const QStringList pinnedLines{u"ssl-reqd"_s, u"insecure"_s,
                                      u"pinnedpubkey = \"sha256//"_s + pinText + u'"'};
        QTest::newRow("plain, a stale pin changes nothing")
            << connection(false, Connection::TlsMode::explicitTLS) << true << u"ftp"_s << QStringList();
        QTest::newRow("implicit, verified") << implicit << false << u"ftps"_s << verified;
        QTest::newRow("implicit, pinned") << implicit << true << u"ftps"_s << pinnedLines;
    }
    void curlOptions_perSecurityAndPin() {
        QFETCH(Connection, server);
        QFETCH(bool, pinned);
        QFETCH(QString, scheme);
        QFETCH(QStringList, lines);
        QCOMPARE(tlspolicy::urlScheme(server), scheme);
        QCOMPARE(tlspolicy::curlOptions(server, pinned ? PublicKeyPin::fromBase64(pinText) : std::nullopt),
                 lines);
        if (!pinned) // a null pin pins nothing: never "insecure"
            QCOMPARE(tlspolicy::curlOptions(server, PublicKeyPin()), lines);
    }

    // curl's own line on standard error, as --show-error prints it, read into a kind and a reason. Known
    // texts are one table walked in order: a text that holds another, one found, and one unknown.
    void classifyFailure() {
        using Kind = TlsFailure::Kind;
        const auto check = [](int code, const char* message, Kind kind, const char* reasonPart) {
            const TlsFailure failure = tlspolicy::classifyFailure(
                code, u"curl: (%1) %2\nMore details here: https://curl.se\n"_s.arg(code).arg(
                          QLatin1String(message)));
            QCOMPARE(failure.kind, kind);
            QVERIFY2(failure.reason.contains(QLatin1String(reasonPart)), qPrintable(failure.reason));
        };
        check(60, "SSL certificate problem: self-signed certificate", Kind::notTrusted, "self-signed");
        check(60, "SSL certificate problem: self-signed certificate in certificate chain", Kind::notTrusted,
              "authority this computer does not trust");
        check(60, "SSL certificate problem: invalid CA certificate", Kind::notTrusted,
              "invalid CA certificate");
        check(90, "SSL: public key does not match pinned public key", Kind::keyChanged, "intercepting");
        check(64, "Requested SSL level failed", Kind::noTls, "does not offer TLS");
        check(35, "error:0A00010B:SSL routines::wrong version number", Kind::handshakeFailed,
              "wrong version number");
        check(67, "Access denied: 530", Kind::none, "");
    }
};

QTEST_GUILESS_MAIN(TlsPolicyTest)
#include "tst_tlspolicy.moc"
