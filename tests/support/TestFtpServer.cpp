#include "TestFtpServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString python = QStringLiteral("/usr/bin/python3");
constexpr int startDeadlineMs = 30000;
constexpr int stopDeadlineMs = 15000;

QString supportFile(const QString& name) {
    return QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/") + name;
}

QString relative(const QString& remotePath) {
    QString path = remotePath;
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    return path;
}

QString withTrailingSlash(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

QStringList readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return lines;
}

// vsftpd writes `... FTP command: Client "127.0.0.1", "CWD a"`; keep the quoted command.
QStringList vsftpdCommands(const QStringList& logLines) {
    static const QString marker = QStringLiteral("FTP command: Client \"");
    static const QString separator = QStringLiteral("\", \"");
    QStringList commands;
    for (const QString& line : logLines) {
        const qsizetype at = line.indexOf(marker);
        if (at < 0)
            continue;
        const qsizetype start = line.indexOf(separator, at + marker.size());
        if (start < 0 || !line.endsWith(u'"'))
            continue;
        const qsizetype from = start + separator.size();
        commands.append(line.mid(from, line.size() - 1 - from));
    }
    return commands;
}

// Both servers' logs in one form: the password masked and every LIST naming the folder it listed.
// Sessions follow each other in the tests, so a USER line starts a new one at the root.
QStringList normalised(const QStringList& commands) {
    QStringList out;
    QString cwd = QStringLiteral("/");
    for (const QString& command : commands) {
        const QString verb = command.section(u' ', 0, 0).toUpper();
        const QString argument = command.mid(verb.size() + 1);
        if (verb == u"USER") {
            cwd = QStringLiteral("/");
        } else if (verb == u"PASS") {
            out.append(QStringLiteral("PASS ******"));
            continue;
        } else if (verb == u"CWD") {
            cwd = QDir::cleanPath(argument.startsWith(u'/') ? argument : cwd + u'/' + argument);
        } else if ((verb == u"LIST" || verb == u"NLST" || verb == u"MLSD") && argument.isEmpty()) {
            out.append(verb + u' ' + withTrailingSlash(cwd));
            continue;
        }
        out.append(command);
    }
    return out;
}

} // namespace

TestFtpServer::TestFtpServer(Kind kind)
    : TestFtpServer(kind, Options()) {}

TestFtpServer::TestFtpServer(Kind kind, const Options& options)
    : m_kind(kind) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (kind == Kind::vsftpd) {
        static const char* const modes[] = {"implicit", "explicit", "plain"};
        m_tls = options.vsftpdTls;
        QStringList arguments{QString::fromLatin1(modes[static_cast<int>(options.vsftpdTls)])};
        if (options.selfSigned)
            arguments << QStringLiteral("--self-signed");
        start(supportFile(QStringLiteral("vsftpd_server.py")), arguments);
        return;
    }
    m_tls = Tls::none;

    m_scratch = std::make_unique<QTemporaryDir>();
    if (!m_scratch->isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_scratch->errorString();
        return;
    }
    m_rootPath = m_scratch->filePath(QStringLiteral("root"));
    m_logPath = m_scratch->filePath(QStringLiteral("commands.log"));
    QDir().mkpath(m_rootPath);
    m_user = QStringLiteral("tester");
    m_password = QStringLiteral("secret");

    static const char* const listingNames[] = {"unix", "dos", "bare"};
    QStringList arguments{QStringLiteral("--root"),
                          m_rootPath,
                          QStringLiteral("--listing"),
                          QString::fromLatin1(listingNames[static_cast<int>(options.listing)]),
                          QStringLiteral("--log"),
                          m_logPath,
                          QStringLiteral("--slow-seconds"),
                          QString::number(options.slowSeconds)};
    if (!options.hangPattern.isEmpty())
        arguments << QStringLiteral("--hang-pattern") << options.hangPattern;
    if (!options.dieOn.isEmpty())
        arguments << QStringLiteral("--die-on") << options.dieOn;
    if (options.dieAfterBytes > 0)
        arguments << QStringLiteral("--die-after-bytes") << QString::number(options.dieAfterBytes);
    if (!options.stallListing.isEmpty())
        arguments << QStringLiteral("--stall-listing") << options.stallListing;
    if (options.throttleReceive > 0)
        arguments << QStringLiteral("--throttle-receive") << QString::number(options.throttleReceive);
    if (options.throttleSend > 0)
        arguments << QStringLiteral("--throttle-send") << QString::number(options.throttleSend);
    if (!options.refuseRename.isEmpty())
        arguments << QStringLiteral("--refuse-rename") << options.refuseRename;
    if (!options.endless.isEmpty())
        arguments << QStringLiteral("--endless") << options.endless;
    int index = 0;
    for (auto it = options.rawListings.cbegin(); it != options.rawListings.cend(); ++it) {
        const QString file = m_scratch->filePath(QStringLiteral("listing-%1").arg(index++));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(it.value()) != it.value().size()) {
            m_error = QStringLiteral("cannot write ") + file;
            return;
        }
        arguments << QStringLiteral("--raw-listing") << it.key() + u'=' + file;
    }
    start(supportFile(QStringLiteral("ftp_server.py")), arguments);
}

bool TestFtpServer::start(const QString& script, const QStringList& arguments) {
    m_process.start(python, QStringList{script} + arguments, QIODevice::ReadOnly);
    if (!m_process.waitForStarted(startDeadlineMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(script, m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(startDeadlineMs);
    while (true) {
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            const QString key = line.section(u' ', 0, 0);
            const QString value = line.section(u' ', 1);
            if (key == u"PORT") {
                m_port = value.toUShort();
                return m_port != 0;
            }
            if (key == u"SKIP")
                m_skipReason = value;
            else if (key == u"ERROR")
                m_error = value;
            else if (key == u"ROOT")
                m_rootPath = value;
            else if (key == u"USER")
                m_user = value;
            else if (key == u"PASSWORD")
                m_password = value;
            else if (key == u"LOG")
                m_logPath = value;
            else if (key == u"AUTHORITY") // every test server's; set before any curl of this process runs
                qputenv("CURL_CA_BUNDLE", QFile::encodeName(value));
        }
        if (!m_skipReason.isEmpty())
            return false;
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
            break;
        m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    }
    if (m_error.isEmpty()) {
        m_error = m_process.state() == QProcess::NotRunning
                      ? QStringLiteral("%1 exited before it was ready").arg(script)
                      : QStringLiteral("%1 not ready after %2 ms").arg(script).arg(startDeadlineMs);
    }
    return false;
}

TestFtpServer::~TestFtpServer() {
    stop();
}

void TestFtpServer::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(stopDeadlineMs)) {
        m_process.kill();
        m_process.waitForFinished(stopDeadlineMs);
    }
}

bool TestFtpServer::replaceCertificate() {
    if (m_kind != Kind::vsftpd || ::kill(pid_t(m_process.processId()), SIGUSR1) != 0)
        return false;
    const QDeadlineTimer deadline(startDeadlineMs);
    while (m_process.state() == QProcess::Running && !deadline.hasExpired()) {
        while (m_process.canReadLine()) {
            if (m_process.readLine().trimmed() == "REPLACED")
                return true;
        }
        m_process.waitForReadyRead(int(deadline.remainingTime()));
    }
    return false;
}

bool TestFtpServer::waitForExit(int msecs) {
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(msecs);
}

Connection TestFtpServer::connection() const {
    Connection connection;
    connection.id = QUuid::createUuid();
    connection.name = m_kind == Kind::vsftpd ? QStringLiteral("vsftpd") : QStringLiteral("pyftpdlib");
    connection.host = QStringLiteral("127.0.0.1");
    connection.port = m_port;
    connection.username = m_user;
    connection.password = m_password;
    connection.useTLS = m_tls != Tls::none;
    connection.tlsMode =
        m_tls == Tls::explicitTLS ? Connection::TlsMode::explicitTLS : Connection::TlsMode::implicit;
    return connection;
}

QStringList TestFtpServer::commandLog() const {
    const QStringList lines = readLines(m_logPath);
    return normalised(m_kind == Kind::vsftpd ? vsftpdCommands(lines) : lines);
}

QStringList TestFtpServer::treeCommands() const {
    static const QStringList verbs{QStringLiteral("LIST"), QStringLiteral("DELE"), QStringLiteral("RMD"),
                                   QStringLiteral("MKD"), QStringLiteral("STOR")};
    QStringList out;
    for (const QString& command : commandLog()) {
        if (verbs.contains(command.section(u' ', 0, 0)))
            out.append(command);
    }
    return out;
}

QString TestFtpServer::asLogged(const QString& command) const {
    if (m_kind != Kind::vsftpd)
        return command;
    QByteArray bytes = command.toUtf8();
    for (char& byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value < 0x20 || value >= 0x7f)
            byte = '?';
    }
    return QString::fromLatin1(bytes);
}

QString TestFtpServer::localPath(const QString& remotePath) const {
    const QString path = relative(remotePath);
    return path.isEmpty() ? m_rootPath : m_rootPath + u'/' + path;
}

// vsftpd serves as the test account, so what the test puts on disk must belong to it; pyftpdlib runs as the
// test itself. A "__denied__" component keeps the path root's, so vsftpd refuses changes inside it.
void TestFtpServer::handOver(const QString& remotePath) const {
    if (m_kind != Kind::vsftpd)
        return;
    const passwd* account = ::getpwnam(m_user.toLocal8Bit().constData());
    if (account == nullptr)
        return;
    QString path = m_rootPath;
    for (const QString& part : relative(remotePath).split(u'/', Qt::SkipEmptyParts)) {
        if (part.contains(u"__denied__"))
            return;
        path += u'/' + part;
        if (::lchown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid) != 0)
            qWarning("cannot hand %s over to the test account", qPrintable(path));
    }
}

void TestFtpServer::makeFolder(const QString& remotePath) const {
    QDir().mkpath(localPath(remotePath));
    handOver(remotePath);
}

void TestFtpServer::writeFile(const QString& remotePath, const QByteArray& content) const {
    const QString local = localPath(remotePath);
    QDir().mkpath(QFileInfo(local).path());
    QFile file(local);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qWarning("cannot write %s", qPrintable(local));
    file.close();
    handOver(remotePath);
}

void TestFtpServer::makeSymlink(const QString& remotePath, const QString& target) const {
    const QString local = localPath(remotePath);
    QDir().mkpath(QFileInfo(local).path());
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(local).constData()) != 0)
        qWarning("cannot link %s", qPrintable(local));
    handOver(remotePath);
}

bool TestFtpServer::exists(const QString& remotePath) const {
    const QFileInfo info(localPath(remotePath));
    return info.exists() || info.isSymLink();
}

bool TestFtpServer::isFolder(const QString& remotePath) const {
    const QFileInfo info(localPath(remotePath));
    return info.isDir() && !info.isSymLink();
}

QStringList TestFtpServer::temporaryFiles() const {
    QStringList found;
    QDirIterator it(m_rootPath, {QStringLiteral(".kalvor-*")}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}

QByteArray TestFtpServer::readFile(const QString& remotePath) const {
    QFile file(localPath(remotePath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
