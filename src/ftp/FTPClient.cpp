#include "FTPClient.h"

#include "CurlExitText.h"
#include "CurlTrace.h"
#include "FTPClientError.h"
#include "FTPClientInternal.h"
#include "ListingParser.h"
#include "model/ServerText.h"

#include <algorithm>

using namespace ftpinternal;

FTPClient::FTPClient(Connection connection, QString curlPath)
    : m_connection(std::move(connection)) {
    m_options.curlPath = std::move(curlPath);
}

FTPClient::FTPClient(Connection connection, FTPClientOptions options)
    : m_connection(std::move(connection))
    , m_options(std::move(options)) {}

QString FTPClient::serverName() const {
    return m_connection.host + u':' + QString::number(m_connection.port);
}

QString FTPClient::rootURL() const {
    return makeURL(QString());
}

QString FTPClient::makeURL(const QString& path) const {
    return fileURL(withTrailingSlash(withLeadingSlash(path)));
}

QString FTPClient::fileURL(const QString& path) const {
    // curl rejects literal spaces and decodes %XX itself, so every byte outside the unreserved set is
    // encoded; "/" stays a separator. Implicit TLS has a scheme of its own; explicit TLS is plain ftp://
    // upgraded before the login.
    const QByteArray encoded =
        servertext::toServer(withLeadingSlash(path)).toPercentEncoding(QByteArrayLiteral("/"));
    return (m_connection.usesImplicitTLS() ? QStringLiteral("ftps://") : QStringLiteral("ftp://")) +
           m_connection.host + u':' + QString::number(m_connection.port) + QString::fromLatin1(encoded);
}

CurlConfig FTPClient::baseConfig() const {
    CurlConfig config;
    // show-error: curl's own line names what TLS refused (tlspolicy::classifyFailure reads it).
    config.add("silent").add("show-error").add("verbose").add("globoff");
    config.add("user", m_connection.username + u':' + password());
    config.add("connect-timeout", qint64(m_options.connectTimeoutSeconds));
    // The stall rule: slower than this many bytes a second for the whole stall time ends the transfer. A
    // listing dripped a byte at a time would otherwise hold an operation forever.
    config.add("speed-limit", qint64(stallSpeedLimit));
    config.add("speed-time", qint64(m_options.stallSeconds));
    return config;
}

QByteArray FTPClient::listConfig(const QStringList& folders, const QByteArray& nonce) const {
    CurlConfig config = baseConfig();
    addTlsOptions(config, RunKind::listing);
    config.add("fail-early").add("write-out", transferRecordFormat(nonce));
    for (const QString& folder : folders)
        config.add("url", makeURL(folder));
    return config.text();
}

QByteArray FTPClient::commandConfig(const QByteArrayList& commands) const {
    CurlConfig config = baseConfig();
    addTlsOptions(config, RunKind::command);
    // No body: the commands ride on a run that neither lists nor transfers anything.
    config.add("head");
    for (const QByteArray& command : commands)
        config.add("quote", command);
    config.add("url", rootURL());
    return config.text();
}

CurlResult FTPClient::run(const QByteArray& config, const OperationControlPtr& control,
                          std::function<CurlTick(qint64, const QByteArray&)> onTick) const {
    CurlRun run;
    run.program = m_options.curlPath;
    run.config = config;
    run.control = control;
    run.limits.stallSeconds = m_options.stallSeconds;
    run.limits.outputCap = m_options.outputCap;
    run.onTick = std::move(onTick);
    return runCurl(run);
}

void FTPClient::requireSafe(const QString& text) const {
    // A CR LF inside a raw command would let a name smuggle a second FTP command to the server.
    if (holdsControlCharacter(text) || holdsControlCharacter(m_connection.host) ||
        holdsControlCharacter(m_connection.username) || holdsControlCharacter(m_connection.password))
        throw FTPClientError::unsafePath();
}

QString FTPClient::forDisplay(const QString& serverText) const {
    return servertext::forDisplay(serverText, m_connection.textEncoding);
}

FTPClientError FTPClient::failure(const CurlResult& result, const QString& leading,
                                  const QString& item) const {
    QString reason;
    switch (result.end) {
    case CurlResult::End::cancelled:
        return FTPClientError::cancelled();
    case CurlResult::End::stalled:
        return FTPClientError::timedOut(
            QStringLiteral("%1 stopped answering: nothing arrived for %2 seconds. "
                           "Check the connection and try again.")
                .arg(serverName())
                .arg(m_options.stallSeconds));
    case CurlResult::End::outputTooLarge:
        return FTPClientError::outputTooLarge(
            QStringLiteral("The listing from %1 is larger than %2 MB, so Kalvor stopped reading it.")
                .arg(serverName())
                .arg(m_options.outputCap >> 20));
    case CurlResult::End::crashed:
        reason = curlCrashText(result.signal, serverName());
        break;
    case CurlResult::End::ended:
    case CurlResult::End::exited:
        if (std::optional<FTPClientError> refusal = certificateRefusal(result))
            return *refusal;
        reason = tlsFailureText(result).value_or(curlExitText(result.exitStatus, serverName()));
        // What the server said about the command that failed is the most useful part.
        if (const auto reply = lastFailedReply(result.errorOutput);
            reply && isAboutTheCommand(result.exitStatus))
            reason =
                curlReplyText(result.exitStatus, serverName(), forDisplay(servertext::fromServer(*reply)));
        break;
    }
    const bool timedOut = result.end != CurlResult::End::crashed && result.exitStatus == 28;
    const QString text = leading.isEmpty() ? reason
                         : item.isEmpty()  ? leading + QStringLiteral(": ") + reason
                                           : leading + QStringLiteral(" \u201c") + forDisplay(item) +
                                                QStringLiteral("\u201d: ") + reason;
    if (timedOut)
        return FTPClientError::timedOut(text);
    return item.isEmpty() ? FTPClientError::commandFailed(text) : FTPClientError::itemFailed(item, text);
}

void FTPClient::runCommands(const QList<RemoteCommand>& commands, const OperationControlPtr& control) const {
    QByteArrayList texts;
    for (const RemoteCommand& command : commands)
        texts.append(command.command);
    const CurlResult result = run(commandConfig(texts), control);
    if (result.succeeded())
        return;
    // The first refused command ended the run: name the item it was about.
    RemoteCommand failed = commands.value(0);
    if (result.end == CurlResult::End::exited && result.exitStatus == 21) {
        if (const auto sent = curltrace::lastCommand(result.errorOutput, commandVerbs(texts))) {
            const auto at =
                std::find_if(commands.cbegin(), commands.cend(), [&](const RemoteCommand& command) {
                    return withoutFailureMark(command.command) == sent->command;
                });
            if (at != commands.cend())
                failed = *at;
        }
    }
    throw failure(result, failed.leading, failed.item);
}

QList<RemoteFile> FTPClient::listDirectory(const QString& path, const OperationControlPtr& control) const {
    requireSafe(path);
    const QByteArray nonce = newRecordNonce();
    const CurlResult result = run(listConfig({path}, nonce), control);
    if (!result.succeeded())
        throw failure(result, QStringLiteral("Could not open folder"), path);
    const QList<TransferRecord> records = parseTransferRecords(result.output, nonce);
    if (records.size() != 1)
        throw FTPClientError::commandFailed(unreadableListingText(serverName()));
    return parseFolderListing(records.first().body, path);
}

void FTPClient::createDirectory(const QString& path, const OperationControlPtr& control) const {
    requireSafe(path);
    runCommands({{"MKD " + servertext::toServer(path), path, QStringLiteral("Could not create folder")}},
                control);
}

void FTPClient::deleteFile(const QString& path, const OperationControlPtr& control) const {
    requireSafe(path);
    runCommands({{"DELE " + serverPath(path), path, QStringLiteral("Could not delete file")}}, control);
}

void FTPClient::rename(const QString& from, const QString& to, const OperationControlPtr& control) const {
    requireSafe(from);
    requireSafe(to);
    const QString leading = QStringLiteral("Could not rename");
    runCommands({{"RNFR " + serverPath(from), from, leading}, {"RNTO " + serverPath(to), from, leading}},
                control);
}
