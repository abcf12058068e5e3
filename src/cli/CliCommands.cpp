#include "CliCommands.h"

#include "ftp/FTPClientError.h"
#include "model/ServerText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

namespace {

QString byteCount(qint64 bytes) {
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

TransferProgressSink terminalProgress(QTextStream& err, bool show) {
    if (!show)
        return {};
    return [&err](const TransferProgress& p) {
        QString line = QStringLiteral("\r%1/%2 %3  %4 / %5")
                           .arg(p.itemIndex + 1)
                           .arg(p.itemCount)
                           .arg(p.itemName, byteCount(p.doneBytes), byteCount(p.totalBytes));
        if (p.bytesPerSecond > 0)
            line += QStringLiteral("  %1/s").arg(byteCount(qint64(p.bytesPerSecond)));
        if (p.secondsLeft)
            line += QStringLiteral("  %1:%2 left")
                        .arg(*p.secondsLeft / 60)
                        .arg(*p.secondsLeft % 60, 2, 10, QChar(u'0'));
        if (p.directUpload)
            line += QStringLiteral("  (sent directly: the server refused the safe replace)");
        err << line << QStringLiteral("\x1b[K") << Qt::flush;
    };
}

int put(const CliRequest& request, const FTPClient& client, const OperationControlPtr& control,
        QTextStream& err, bool showProgress) {
    QStringList locals = request.operands;
    const QString folder = locals.takeLast();
    for (const QString& local : locals) {
        if (!QFileInfo(local).isFile()) {
            err << QStringLiteral("Not a file: %1\n").arg(local);
            return 1;
        }
    }
    if (request.existing != CliRequest::Existing::overwrite) {
        QSet<QString> existing;
        for (const RemoteFile& entry : client.listDirectory(folder, control)) {
            if (!entry.isDirectory)
                existing.insert(entry.name);
        }
        QStringList conflicts;
        for (auto it = locals.begin(); it != locals.end();) {
            const auto name =
                servertext::fromUserText(QFileInfo(*it).fileName(), client.connection().textEncoding);
            if (name && existing.contains(*name)) {
                conflicts << *it;
                if (request.existing == CliRequest::Existing::skip) {
                    it = locals.erase(it);
                    continue;
                }
            }
            ++it;
        }
        if (request.existing == CliRequest::Existing::refuse && !conflicts.isEmpty()) {
            err << QStringLiteral("Already on the server (use --overwrite or --skip-existing): %1\n")
                       .arg(conflicts.join(QStringLiteral(", ")));
            return 1;
        }
    }
    QList<QUrl> files;
    for (const QString& local : locals)
        files << QUrl::fromLocalFile(QFileInfo(local).absoluteFilePath());
    const QList<UploadOutcome> outcomes =
        client.uploadFiles(files, folder, control, terminalProgress(err, showProgress));
    if (showProgress && !files.isEmpty())
        err << QStringLiteral("\n");
    for (const UploadOutcome& outcome : outcomes) {
        if (outcome.uploadedDirectly)
            err << QStringLiteral("%1 was sent directly: the server refused to replace it safely.\n")
                       .arg(servertext::forDisplay(outcome.remoteName, client.connection().textEncoding));
    }
    return 0;
}

// The command itself; remote failures are thrown.
int runCommand(const CliRequest& request, const FTPClient& client, const OperationControlPtr& control,
               QTextStream& out, QTextStream& err, bool showProgress) {
    switch (request.command) {
    case CliRequest::Command::ls:
        for (const RemoteFile& entry : client.listDirectory(request.operands.first(), control))
            out << servertext::forDisplay(entry.name, client.connection().textEncoding)
                << (entry.isDirectory ? QStringLiteral("/\n") : QStringLiteral("\n"));
        return 0;
    case CliRequest::Command::mkdir:
        client.createDirectory(request.operands.first(), control);
        return 0;
    case CliRequest::Command::rm:
        if (request.recursive)
            client.deleteDirectory(request.operands.first(), control);
        else
            client.deleteFile(request.operands.first(), control);
        return 0;
    case CliRequest::Command::get: {
        const QString remote = request.operands.first();
        QString local = request.operands.last();
        if (QFileInfo(local).isDir())
            local = QDir(local).filePath(remote.section(u'/', -1));
        client.downloadFiles({{remote, local, 0}}, control, terminalProgress(err, showProgress));
        if (showProgress)
            err << QStringLiteral("\n");
        return 0;
    }
    case CliRequest::Command::put:
        return put(request, client, control, err, showProgress);
    case CliRequest::Command::help:
        break;
    }
    return 0;
}

bool mayTrust(CliRequest::Trust trust, const CertificateRefusal& refusal) {
    return trust == CliRequest::Trust::replace ||
           (trust == CliRequest::Trust::firstUse && !refusal.keyChanged());
}

QString refusalAdvice(const CertificateRefusal& refusal) {
    return refusal.keyChanged()
               ? QStringLiteral("Only if you know that the server's certificate was renewed, run again with "
                                "--replace-trust.")
               : QStringLiteral("Compare the fingerprint with the one the server's administrator gives you, "
                                "then run again with --trust to trust it.");
}

} // namespace

int runCliCommand(const CliRequest& request, const FTPClient& client, TrustStore& trust,
                  const OperationControlPtr& control, QTextStream& out, QTextStream& err, bool showProgress) {
    for (bool retried = false;; retried = true) {
        try {
            return runCommand(request, client, control, out, err, showProgress);
        } catch (const OperationError& error) {
            if (showProgress)
                err << QStringLiteral("\n");
            const auto* failure = dynamic_cast<const FTPClientError*>(&error);
            const CertificateRefusal* refusal = failure ? failure->refusal() : nullptr;
            if (refusal && !retried && mayTrust(request.trust, *refusal)) {
                // Nothing was sent: the command can start over with the certificate trusted.
                const TrustedCertificate accepted = refusal->toTrust(QDateTime::currentDateTimeUtc());
                if (!(refusal->keyChanged() ? trust.replace(accepted) : trust.trust(accepted))) {
                    err << QStringLiteral("Could not keep the certificate as trusted: %1\n")
                               .arg(trust.errorString());
                    return 1;
                }
                err << QStringLiteral("Trusted the certificate of %1 (SHA-256 %2).\n")
                           .arg(refusal->serverName(), refusal->certificate.fingerprint);
                continue;
            }
            err << error.description() << u'\n';
            if (refusal)
                err << refusalAdvice(*refusal) << u'\n';
            return 1;
        }
    }
}
