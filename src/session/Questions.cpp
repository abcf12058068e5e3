#include "Prompter.h"
#include "security/CertificateRefusal.h"

#include <QLocale>
#include <QStringList>

int Question::cancelChoice() const {
    for (qsizetype i = 0; i < choices.size(); ++i) {
        if (choices.at(i).role == Role::cancel)
            return int(i);
    }
    return -1;
}

namespace {

QString dateText(const QDateTime& time) {
    return QLocale().toString(time.toLocalTime(), QLocale::ShortFormat);
}

// 32 byte pairs in two lines of 16: short enough to read and compare aloud.
QString fingerprintText(const QString& fingerprint) {
    return fingerprint.size() == 95 ? fingerprint.left(47) + u'\n' + fingerprint.mid(48) : fingerprint;
}

} // namespace

namespace questions {

Question overwrite(const QStringList& existingNames, const QString& where) {
    const QString message =
        existingNames.size() == 1
            ? QStringLiteral("%1 already exists %2. Overwrite it?").arg(existingNames.first(), where)
            : QStringLiteral("%1 files already exist %2. Overwrite them?")
                  .arg(existingNames.size())
                  .arg(where);
    return {QStringLiteral("Overwrite"),
            message,
            {{QStringLiteral("Overwrite"), Question::Role::accept},
             {QStringLiteral("Skip existing"), Question::Role::accept},
             {QStringLiteral("Cancel"), Question::Role::cancel}}};
}

Question deleteEntries(const QStringList& names, qsizetype folderCount) {
    // The name goes in the message: on the button a long one made the button as wide as the screen.
    QString message;
    if (names.size() == 1)
        message = folderCount
                      ? QStringLiteral("The folder \u201c%1\u201d and all its contents will be deleted.")
                            .arg(names.first())
                      : QStringLiteral("\u201c%1\u201d will be permanently deleted.").arg(names.first());
    else
        message =
            folderCount
                ? QStringLiteral("The %1 selected items will be permanently deleted, folders with all "
                                 "their contents.")
                      .arg(names.size())
                : QStringLiteral("The %1 selected items will be permanently deleted.").arg(names.size());
    return {QStringLiteral("Are you sure you want to delete?"),
            message,
            {{QStringLiteral("Delete"), Question::Role::destructive},
             {QStringLiteral("Cancel"), Question::Role::cancel}}};
}

Question deleteConnection(const QString& displayName, qsizetype favoriteCount) {
    QString message = QStringLiteral("Nothing on the server is deleted.");
    if (favoriteCount == 1)
        message.prepend(QStringLiteral("Its favorite folder is deleted with it. "));
    else if (favoriteCount > 1)
        message.prepend(QStringLiteral("Its %1 favorite folders are deleted with it. ").arg(favoriteCount));
    return {QStringLiteral("Delete the connection \u201c%1\u201d?").arg(displayName),
            message,
            {{QStringLiteral("Delete"), Question::Role::destructive},
             {QStringLiteral("Cancel"), Question::Role::cancel}}};
}

Question quitWhileBusy() {
    return {QStringLiteral("Quit while work is running?"),
            QStringLiteral("An upload or a delete is still running. Quitting stops it before it is done."),
            {{QStringLiteral("Quit"), Question::Role::destructive},
             {QStringLiteral("Cancel"), Question::Role::cancel}}};
}

Question certificate(const CertificateRefusal& refusal) {
    const ServerCertificate& shown = refusal.certificate;
    QList<std::pair<QString, QString>> facts{
        {QStringLiteral("Subject"), shown.subject},
        {QStringLiteral("Issuer"), shown.issuer},
        {QStringLiteral("Valid"),
         QStringLiteral("%1 to %2").arg(dateText(shown.notBefore), dateText(shown.notAfter))}};
    if (refusal.keyChanged()) {
        facts.append({QStringLiteral("Trusted SHA-256"), fingerprintText(refusal.previous->fingerprint)});
        facts.append({QStringLiteral("Presented SHA-256"), fingerprintText(shown.fingerprint)});
        return {
            QStringLiteral("The certificate of %1 has changed").arg(refusal.serverName()),
            QStringLiteral("The server presented a different key from the one you trusted on %1. Someone may "
                           "be intercepting the connection to read your password and files. Replace the "
                           "trusted certificate only if you know that the server's certificate was "
                           "renewed. Your user name and password have not been sent.")
                .arg(dateText(refusal.previous->trustedAt)),
            {{QStringLiteral("Replace the trusted certificate"), Question::Role::destructive},
             {QStringLiteral("Cancel"), Question::Role::cancel}},
            facts};
    }
    facts.append({QStringLiteral("SHA-256"), fingerprintText(shown.fingerprint)});
    return {
        QStringLiteral("Trust the certificate of %1?").arg(refusal.serverName()),
        QStringLiteral("Kalvor cannot verify this server's certificate: %1. Trust it only if you know it is "
                       "the server's own; Kalvor then accepts it from this server from now on. Your user "
                       "name and password have not been sent.")
            .arg(refusal.reason),
        {{QStringLiteral("Trust this certificate"), Question::Role::accept},
         {QStringLiteral("Cancel"), Question::Role::cancel}},
        facts};
}

} // namespace questions
